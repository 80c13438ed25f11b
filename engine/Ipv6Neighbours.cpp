#include "engine/Ipv6Neighbours.h"

#include "engine/AddressText.h"
#include "platform/NetPlatform.h"
#include "store/DeviceStore.h"

#include <QHash>
#include <QHostAddress>
#include <algorithm>

QStringList attachIpv6Neighbours(NetPlatform& net, DeviceStore& devices, const MacCheck& isDeviceMac)
{
    QStringList changed;
    const std::optional<QList<Neighbour6Row>> rows = net.neighbours6();
    if (!rows)
        return changed;
    // Per device: link-local or not, and the address text.
    QHash<QString, QList<std::pair<bool, QString>>> found;
    for (const Neighbour6Row& row : *rows) {
        if (row.type == NeighbourType::Invalid || row.mac.isEmpty())
            continue;
        // Multicast addresses carry group MACs (33-33-..) by design: no device's, and not worth a line.
        const QHostAddress ip(row.ip.data());
        if (ip.isMulticast() || ip.isLoopback() || ip == QHostAddress(QHostAddress::AnyIPv6)
            || !isDeviceMac(row.mac, ip.toString()))
            continue;
        const QString mac = AddressText::macText(row.mac);
        if (!devices.contains(mac))
            continue;
        const std::pair<bool, QString> address {ip.isLinkLocal(), ip.toString()};
        // A device on several links shows the same link-local address on each.
        auto& addresses = found[mac];
        if (!addresses.contains(address))
            addresses.append(address);
    }
    for (DeviceRecord& device : devices) {
        // Global addresses first, link-local ones last, each in address order: a new dump order is no change.
        auto addresses = found.value(device.MacAddress);
        std::sort(addresses.begin(), addresses.end());
        QStringList texts;
        for (const auto& address : std::as_const(addresses))
            texts << address.second;
        if (device.Ipv6Addresses == texts)
            continue;
        device.Ipv6Addresses = texts;
        changed.append(device.MacAddress);
    }
    return changed;
}
