// A phone or laptop with a private MAC address makes up a new one per network, and now and then anew for the
// same network, so the same machine comes back as a stranger. A private-MAC newcomer whose identity matches a
// known device that is away is a likely return of that device: the Admitted event (when the identity came with
// the first packet) or a LikelyReturn event names it, the history and the alerts say so, and the record keeps
// the link (LikelyReturnOf) for the window's "Same device — merge".

#include "engine/LikelyReturn.h"

#include "engine/frmClient.h"
#include "store/DeviceTable.h"
#include "store/MacAddress.h"

namespace {

bool named(const QString& host)
{
    return !host.isEmpty() && host != DeviceRecord::unknownHostName();
}

} // namespace

bool identityMatches(const DeviceRecord& newcomer, const DeviceRecord& known)
{
    // What exists today is the host name (reverse DNS, mDNS or the DHCP request's). The DHCP signature, vendor
    // class, a client id that is not the MAC and the mDNS device name join here as they are reported.
    return named(newcomer.HostName) && newcomer.HostName.compare(known.HostName, Qt::CaseInsensitive) == 0;
}

qint32 frmClient::likelyEarlier(const DeviceRecord& newcomer) const
{
    if (!MacAddress::isLocallyAdministered(newcomer.MacAddress))
        return -1;
    // Of several earlier devices that match, the one seen last is the likeliest.
    qint32 match = -1;
    for (qint32 d = 0; d < m_devices.DeviceCount; ++d) {
        const DeviceRecord& known = m_devices[d];
        if (known.MacAddress == newcomer.MacAddress || known.isOnline() || !identityMatches(newcomer, known))
            continue;
        if (match < 0 || known.LastOnline > m_devices[match].LastOnline)
            match = d;
    }
    return match;
}

std::optional<DeviceEvent> frmClient::linkLikelyReturn(qint32 slot)
{
    if (!m_devices.isValid(slot))
        return std::nullopt;
    DeviceRecord& device = m_devices[slot];
    if (!device.NewDevice || !device.LikelyReturnOf.isEmpty() || m_returnsNoted.contains(device.MacAddress))
        return std::nullopt;
    const qint32 match = likelyEarlier(device);
    if (match < 0)
        return std::nullopt;
    m_returnsNoted.insert(device.MacAddress);
    const DeviceRecord& earlier = m_devices[match];
    device.LikelyReturnOf = earlier.MacAddress;
    DeviceEvent event = newEvent(DeviceEvent::Kind::LikelyReturn, slot, currentTime());
    event.name = earlier.FriendlyName.isEmpty() ? earlier.HostName : earlier.FriendlyName;
    event.earlierMac = earlier.MacAddress;
    event.intruder = earlier.Intruder;
    return event;
}
