#include "engine/Ipv6Neighbours.h"

#include "engine/AddressText.h"
#include "platform/NetPlatform.h"
#include "store/DeviceTable.h"

#include <QHostAddress>
#include <algorithm>
#include <vector>

namespace { } // namespace

QList<qint32> attachIpv6Neighbours(NetPlatform& net, DeviceTable& devices, const MacCheck& isDeviceMac)
{
    QList<qint32> changed;
    const std::optional<QList<Neighbour6Row>> rows = net.neighbours6();
    if (!rows)
        return changed;
    // Per device: link-local or not, and the address text.
    std::vector<QList<std::pair<bool, QString>>> found(size_t(devices.DeviceCount));
    for (const Neighbour6Row& row : *rows) {
        if (row.type == NeighbourType::Invalid || row.mac.isEmpty())
            continue;
        // Multicast addresses carry group MACs (33-33-..) by design: no device's, and not worth a line.
        const QHostAddress ip(row.ip.data());
        if (ip.isMulticast() || ip.isLoopback() || ip == QHostAddress(QHostAddress::AnyIPv6)
            || !isDeviceMac(row.mac, ip.toString()))
            continue;
        const qint32 index = devices.indexOfDevice(AddressText::macText(row.mac));
        if (index < 0)
            continue;
        const std::pair<bool, QString> address {ip.isLinkLocal(), ip.toString()};
        // A device on several links shows the same link-local address on each.
        if (!found[size_t(index)].contains(address))
            found[size_t(index)].append(address);
    }
    for (qint32 d = 0; d < devices.DeviceCount; ++d) {
        // Global addresses first, link-local ones last, each in address order: a new dump order is no change.
        auto& addresses = found[size_t(d)];
        std::sort(addresses.begin(), addresses.end());
        QStringList texts;
        for (const auto& address : std::as_const(addresses))
            texts << address.second;
        if (devices[d].Ipv6Addresses == texts)
            continue;
        devices[d].Ipv6Addresses = texts;
        changed.append(d);
    }
    return changed;
}
