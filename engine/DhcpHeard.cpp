// Heard DHCP: a client that tells the address it holds on a swept range (INFORM) is admitted at once through the
// harvest's own admission; one that asks for an address (REQUEST) is only asking (the server may refuse, another
// device may hold it), so a stranger's REQUEST is kept until the device answers for that address by ARP or in
// the harvest, which admits it, and then names it. A known device doing either is sighted. Its host-name option,
// through the one name filter, names a device that has no name yet, at once; a reverse DNS or mDNS name found
// later replaces it as it would any name. A DISCOVER admits nobody (no address is settled yet) but may name a
// known device. What the client says about itself (request list, vendor class, client id, FQDN) comes in a
// report of its own after the message's and goes to the Describer.

#include "engine/AddressText.h"
#include "engine/Describer.h"
#include "engine/DiscoveryEngine.h"
#include "engine/ErrorTrap.h"
#include "platform/DebugSink.h"
#include "platform/NetPlatform.h"
#include "store/DeviceStore.h"

#include <QStringDecoder>

namespace {

QString dhcpKindText(Heard::Kind kind)
{
    switch (kind) {
    case Heard::DhcpRequest:
        return QStringLiteral("REQUEST");
    case Heard::DhcpInform:
        return QStringLiteral("INFORM");
    default:
        return QStringLiteral("DISCOVER");
    }
}

} // namespace

void DiscoveryEngine::dhcpHeard(const Heard& dhcp)
{
    runTrapped("DhcpHeard", [&] {
        lookAtClocks();
        if (!m_running || heardQuiet())
            return;
        const bool addressed = dhcp.ip != std::array<quint8, 4> {};
        const qint32 range = addressed ? rangeOf(dhcp.ip) : -1;
        const QString ip = addressed ? AddressText::ipText(dhcp.ip) : QString();
        const QByteArray macBytes = AddressText::macBytes(dhcp.mac);
        if (!isDeviceMac(macBytes, ip, QStringLiteral("DhcpHeard")))
            return;
        const QString mac = AddressText::macText(macBytes);
        const QByteArray name = QByteArray::fromStdString(dhcp.name);
        if (dhcp.options) {
            // The report of the message itself came first and admitted or sighted the client: a client not
            // known by now (a DISCOVER's) is described by its next message.
            // One whose REQUEST waits for its address to be confirmed keeps the report until then.
            if (!m_devices.find(mac)) {
                if (const auto pending = m_dhcpPending.find(mac); pending != m_dhcpPending.end())
                    pending->options = dhcp;
                return;
            }
            describeDhcpClient(mac, dhcp);
            return;
        }
        const bool settles = dhcp.kind != Heard::DhcpDiscover && range >= 0;
        if (settles && !m_devices.findDevice(mac) && dhcp.kind == Heard::DhcpRequest) {
            // Only asked for: the server may refuse it, or another device may hold it.
            if (m_dhcpPending.size() >= MaxPendingDhcp)
                m_dhcpPending.clear();
            m_dhcpPending.insert(mac, PendingDhcp {ip, name, std::nullopt});
            Log(kwEngine, QStringLiteral("DhcpHeard - %1 asks for %2; admitted once it answers there").arg(mac, ip));
            return;
        }
        // A newcomer's name goes into its admission, so that a likely return is known before its alerts go.
        if (settles && !name.isEmpty())
            m_admissionNames.insert(mac, QString::fromUtf8(name));
        DeviceRecord* device = settles ? heardSighting(mac, ip, range, true, QStringLiteral("DhcpHeard"),
                                   QStringLiteral("a DHCP ") + dhcpKindText(dhcp.kind))
                                       : m_devices.findDevice(mac);
        m_admissionNames.remove(mac);
        if (device && !name.isEmpty())
            nameFromDhcp(*device, name);
    });
}

void DiscoveryEngine::describeDhcpClient(const QString& mac, const Heard& dhcp)
{
    if (!dhcp.options)
        return;
    m_describer->dhcpOptions(mac, dhcp);
    // A client that gives no host name (option 12) may still give its FQDN's (option 81).
    const QByteArray fqdn = QByteArray::fromStdString(dhcp.options->fqdn);
    const qsizetype dot = fqdn.indexOf('.');
    const QByteArray host = dot < 0 ? fqdn : fqdn.left(dot);
    if (DeviceRecord* known = m_devices.find(mac); known && dhcp.name.empty() && !host.isEmpty())
        nameFromDhcp(*known, host);
}

void DiscoveryEngine::dhcpConfirmed(const QString& mac, const QString& ip)
{
    if (!m_dhcpPending.contains(mac))
        return;
    const PendingDhcp asked = m_dhcpPending.take(mac);
    DeviceRecord* device = m_devices.find(mac);
    if (asked.ip != ip || !device)
        return;
    if (!asked.name.isEmpty())
        nameFromDhcp(*device, asked.name);
    if (asked.options)
        describeDhcpClient(mac, *asked.options);
}

void DiscoveryEngine::nameFromDhcp(DeviceRecord& device, const QByteArray& name)
{
    const QString current = device.HostName;
    if (!(current.isEmpty() || current == DeviceRecord::unknownHostName()))
        return;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString raw = utf8.decode(name);
    if (utf8.hasError()) {
        if (m_nameRefusals.firstTime(device.MacAddress + QStringLiteral(" DHCP")))
            Log(kwEngine,
                QStringLiteral("Names - DHCP name of %1 refused, it is no UTF-8 text").arg(device.MacAddress));
        return;
    }
    const QString host = admittedName(device, QStringLiteral("DHCP"), raw);
    if (!host.isEmpty())
        storeHostName(device, host);
}
