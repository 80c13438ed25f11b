// Who answers for a gateway address. A new MAC answering for the gateway while the gateway's known MAC is
// still about is what ARP spoofing looks like (an attacker putting itself between the network and the
// outside), not a new router: it is admitted as an intruder and its history says so. A gateway on a network
// seen for the first time, or one replaced after its predecessor has been gone a while, is admitted safe.

#include "engine/DiscoveryEngine.h"
#include "platform/DebugSink.h"
#include "store/DeviceStore.h"

namespace {
// How long a gateway's MAC still holds its address after the last sighting; longer than a sweep of a /24,
// short enough that replacing a router is not taken for an attack.
constexpr qint64 kGatewayHeldSecs = 120;
} // namespace

void DiscoveryEngine::noteGatewaySighting(const QString& mac, const QString& ip, const QDateTime& now)
{
    if (m_gateways.contains(ip))
        m_gatewaySightings.insert(mac, now);
}

bool DiscoveryEngine::gatewayHeldByOther(const QString& ip, const QString& mac, const QDateTime& now) const
{
    if (!m_gateways.contains(ip))
        return false;
    for (const DeviceRecord& device : m_devices) {
        if (device.IpAddress != ip || device.MacAddress == mac)
            continue;
        // Found in this sweep or the last (OnlineState holds the count from before this sweep's ageing).
        if (device.PresenceCountdown != 0 || device.OnlineState != 0)
            return true;
        // Coming online is a sighting too, and the only one known of a device not found since start-up.
        QDateTime seen = device.LastOnline;
        const auto sighting = m_gatewaySightings.constFind(device.MacAddress);
        if (sighting != m_gatewaySightings.cend() && (!seen.isValid() || *sighting > seen))
            seen = *sighting;
        if (seen.isValid() && seen.secsTo(now) <= kGatewayHeldSecs)
            return true;
    }
    return false;
}

void DiscoveryEngine::warnGatewayImpersonation(const DeviceRecord& device, const QString& ip, const QDateTime& now)
{
    Log(kwEngine,
        QStringLiteral("Gateway - %1 answers for the gateway %2 while its known MAC is about")
            .arg(device.MacAddress, ip));
    emitEvent(DeviceEvent::Kind::Impersonation, device, now, ip);
}
