// A phone or laptop with a private MAC address makes up a new one per network, and now and then anew for the
// same network, so the same machine comes back as a stranger. Its host name often stays the same: a new
// private-MAC device named like an earlier one gets one history note pointing at it. Host names are not
// unique enough to merge the two by themselves; that is the user's call.

#include "engine/frmClient.h"
#include "store/DeviceTable.h"
#include "store/MacAddress.h"

namespace {
bool earlier(const DeviceRecord& a, qint32 slotA, const DeviceRecord& b, qint32 slotB)
{
    return a.FirstSeen < b.FirstSeen || (a.FirstSeen == b.FirstSeen && slotA < slotB);
}
} // namespace

void frmClient::notePossibleReturn(qint32 slot)
{
    if (!m_devices.isValid(slot))
        return;
    const DeviceRecord& device = m_devices[slot];
    if (!device.NewDevice || !MacAddress::isLocallyAdministered(device.MacAddress) || device.HostName.isEmpty()
        || device.HostName == DeviceRecord::unknownHostName() || m_returnsNoted.contains(device.MacAddress))
        return;
    // Of several earlier namesakes, the one seen last is the likeliest.
    qint32 match = -1;
    for (qint32 d = 0; d < m_devices.DeviceCount; ++d) {
        const DeviceRecord& other = m_devices[d];
        if (d == slot || !earlier(other, d, device, slot) || !MacAddress::isLocallyAdministered(other.MacAddress)
            || other.HostName.compare(device.HostName, Qt::CaseInsensitive) != 0)
            continue;
        if (match < 0 || other.LastOnline > m_devices[match].LastOnline)
            match = d;
    }
    if (match < 0)
        return;
    m_returnsNoted.insert(device.MacAddress);
    const DeviceRecord& old = m_devices[match];
    const QString name = old.FriendlyName.isEmpty() ? old.HostName : old.FriendlyName;
    DeviceEvent event = newEvent(DeviceEvent::Kind::PossibleReturn, slot, currentTime());
    event.name = name;
    event.earlierMac = old.MacAddress;
    Q_EMIT deviceEvent(event);
}
