// A phone or laptop with a private MAC address makes up a new one per network, and now and then anew for the
// same network, so the same machine comes back as a stranger. A private-MAC newcomer whose identity matches a
// known device that is away is a likely return of that device: the Admitted event (when the identity came with
// the first packet) or a LikelyReturn event names it, the history and the alerts say so, and the record keeps
// the link (LikelyReturnOf) for the window's "Same device — merge".

#include "engine/LikelyReturn.h"

#include "engine/DiscoveryEngine.h"
#include "recognition/MdnsName.h"
#include "store/DeviceDescription.h"
#include "store/DeviceStore.h"
#include "store/MacAddress.h"

namespace {

bool named(const QString& host)
{
    return !host.isEmpty() && host != DeviceRecord::unknownHostName();
}

bool generic(const QString& host)
{
    return MdnsName::isGeneric(host.section(QLatin1Char('.'), 0, 0));
}

} // namespace

bool identityMatches(const DeviceRecord& newcomer, const DeviceRecord& known,
    const Describer::DhcpIdentity* newcomerDhcp, const Describer::DhcpIdentity* knownDhcp)
{
    // The name its owner gave it, as the device itself announces it (never set for a name every such device has).
    if (!newcomer.MdnsName.isEmpty() && !MdnsName::isGeneric(newcomer.MdnsName)
        && MdnsName::identityForm(newcomer.MdnsName) == MdnsName::identityForm(known.MdnsName))
        return true;
    const bool bothDhcp = newcomerDhcp && knownDhcp;
    // A client id that is not the MAC is one the client keeps across addresses (a DUID, a Windows GUID).
    if (bothDhcp && !newcomerDhcp->clientIdIsMac && !knownDhcp->clientIdIsMac && !newcomerDhcp->clientId.isEmpty()
        && newcomerDhcp->clientId == knownDhcp->clientId)
        return true;
    if (!named(newcomer.HostName) || generic(newcomer.HostName)
        || newcomer.HostName.compare(known.HostName, Qt::CaseInsensitive) != 0)
        return false;
    // A stranger can copy a host name; copying the client's request list and vendor class as well is rarer.
    return !bothDhcp
        || (newcomerDhcp->requestList == knownDhcp->requestList && newcomerDhcp->vendorClass == knownDhcp->vendorClass);
}

const DeviceRecord* DiscoveryEngine::likelyEarlier(const DeviceRecord& newcomer) const
{
    if (!MacAddress::isLocallyAdministered(newcomer.MacAddress))
        return nullptr;
    // Of several earlier devices that match, the one seen last is the likeliest.
    const DeviceRecord* match = nullptr;
    const std::optional<Describer::DhcpIdentity> newcomerDhcp = m_describer->dhcpIdentity(newcomer.MacAddress);
    for (const DeviceRecord& known : std::as_const(m_devices)) {
        if (known.MacAddress == newcomer.MacAddress || known.isOnline())
            continue;
        const std::optional<Describer::DhcpIdentity> knownDhcp =
            newcomerDhcp ? m_describer->dhcpIdentity(known.MacAddress) : std::nullopt;
        if (!identityMatches(
                newcomer, known, newcomerDhcp ? &*newcomerDhcp : nullptr, knownDhcp ? &*knownDhcp : nullptr))
            continue;
        if (!match || known.LastOnline > match->LastOnline)
            match = &known;
    }
    return match;
}

std::optional<DeviceEvent> DiscoveryEngine::linkLikelyReturn(DeviceRecord& device)
{
    if (!device.NewDevice || !device.LikelyReturnOf.isEmpty() || m_returnsNoted.contains(device.MacAddress))
        return std::nullopt;
    const DeviceRecord* earlier = likelyEarlier(device);
    if (!earlier)
        return std::nullopt;
    m_returnsNoted.insert(device.MacAddress);
    device.LikelyReturnOf = earlier->MacAddress;
    DeviceEvent event = newEvent(DeviceEvent::Kind::LikelyReturn, device, currentTime());
    event.name = DeviceDescription::earlierName(*earlier);
    event.earlierMac = earlier->MacAddress;
    event.intruder = earlier->Intruder;
    return event;
}

void DiscoveryEngine::linkReturnsOf(const QString& departedMac)
{
    const DeviceRecord* departed = m_devices.find(departedMac);
    if (!departed || departed->isOnline())
        return;
    // Seen together for longer than a neighbour entry outlives its device: two devices of one name, not one.
    constexpr qint64 kTogetherSeconds = 120;
    QStringList newcomers;
    const std::optional<Describer::DhcpIdentity> departedDhcp = m_describer->dhcpIdentity(departedMac);
    for (const DeviceRecord& d : std::as_const(m_devices)) {
        if (!d.NewDevice || !d.isOnline() || !d.LikelyReturnOf.isEmpty() || m_returnsNoted.contains(d.MacAddress)
            || !MacAddress::isLocallyAdministered(d.MacAddress)
            || (departed->LastSeen.isValid() && d.FirstSeen.secsTo(departed->LastSeen) > kTogetherSeconds))
            continue;
        const auto newcomerDhcp = m_describer->dhcpIdentity(d.MacAddress);
        if (identityMatches(d, *departed, newcomerDhcp ? &*newcomerDhcp : nullptr,
                newcomerDhcp && departedDhcp ? &*departedDhcp : nullptr))
            newcomers.append(d.MacAddress);
    }
    // By MAC: a subscriber of one event may remove another device.
    for (const QString& mac : std::as_const(newcomers)) {
        DeviceRecord* device = m_devices.find(mac);
        if (const auto likely = device ? linkLikelyReturn(*device) : std::nullopt)
            Q_EMIT deviceEvent(*likely);
    }
}
