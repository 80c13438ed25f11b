// A phone or laptop with a private MAC address makes up a new one per network, and now and then anew for the
// same network, so the same machine comes back as a stranger. Its host name often stays the same: a new
// private-MAC device named like an earlier one gets one history note pointing at it. Host names are not
// unique enough to merge the two by themselves; that is the user's call.

#include "engine/frmClient.h"
#include "store/DeviceStore.h"
#include "store/MacAddress.h"

void frmClient::notePossibleReturn(const DeviceRecord& device)
{
    if (!device.NewDevice || !MacAddress::isLocallyAdministered(device.MacAddress) || device.HostName.isEmpty()
        || device.HostName == DeviceRecord::unknownHostName() || m_returnsNoted.contains(device.MacAddress))
        return;
    // Of several earlier namesakes, the one seen last is the likeliest. Of two first seen at once, the one
    // that came into the store first is the earlier.
    const DeviceRecord* match = nullptr;
    bool before = true;
    for (const DeviceRecord& other : std::as_const(m_devices)) {
        if (&other == &device) {
            before = false;
            continue;
        }
        const bool earlier = other.FirstSeen < device.FirstSeen || (other.FirstSeen == device.FirstSeen && before);
        if (!earlier || !MacAddress::isLocallyAdministered(other.MacAddress)
            || other.HostName.compare(device.HostName, Qt::CaseInsensitive) != 0)
            continue;
        if (!match || other.LastOnline > match->LastOnline)
            match = &other;
    }
    if (!match)
        return;
    m_returnsNoted.insert(device.MacAddress);
    const QString name = match->FriendlyName.isEmpty() ? match->HostName : match->FriendlyName;
    DeviceEvent event = newEvent(DeviceEvent::Kind::PossibleReturn, device, currentTime());
    event.name = name;
    event.earlierMac = match->MacAddress;
    Q_EMIT deviceEvent(event);
}
