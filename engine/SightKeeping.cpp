// Presence judged only while the monitor can see: a cycle's verdict counts for the devices of the views (subnets)
// that stayed on their adapters all through it; the others keep their presence, out of sight, with no event, no
// alert and their last sighting unchanged. Sleep (logind, a late tick, the wall clock jumping away from the
// monotonic one) voids the verdict of the cycle under way and holds every present device for the two cycles that
// re-establish presence; one that really left is offline once, at its last sighting.

#include "engine/AddressText.h"
#include "engine/DiscoveryEngine.h"
#include "engine/ErrorTrap.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "platform/NetPlatform.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

namespace {
constexpr qint64 kHeardQuietMs = 1000; // what the helper heard while the monitor slept arrives at once
} // namespace

qint64 DiscoveryEngine::blindSeconds() const
{
    return m_sight.blindSeconds(kwclock::now());
}

void DiscoveryEngine::lookAtClocks()
{
    const Clock& clock = kwclock::current();
    if (m_sight.clocksSaySlept(clock.now(), clock.monotonicMs()))
        afterSleep(QStringLiteral("the clocks say the machine slept or the monitor was stopped"));
}

void DiscoveryEngine::PrepareForSleep(bool sleeping)
{
    runTrapped("PrepareForSleep", [&] {
        m_sight.systemSleeping(sleeping, currentTime());
        afterSleep(sleeping ? QStringLiteral("the system goes to sleep") : QStringLiteral("the system woke up"));
    });
}

void DiscoveryEngine::afterSleep(const QString& how)
{
    const QDateTime now = currentTime();
    Log(kwEngine,
        QStringLiteral("Sight - %1 (last look %2): presence is re-established before anything is judged")
            .arg(how, TextForms::storedDate(m_sight.lastLook())));
    // The cycle under way is judged as it ends, with nothing in sight; the rows the kernel holds were answers
    // from just before the sleep and count as such.
    holdOutOfSight({}, now);
    setAway(true, m_sight.lastLook().isValid() ? std::min(m_sight.lastLook(), now) : now);
    m_heardQuietUntil = kwclock::current().monotonicMs() + kHeardQuietMs;
    reportSight();
}

bool DiscoveryEngine::heardQuiet() const
{
    return kwclock::current().monotonicMs() < m_heardQuietUntil;
}

void DiscoveryEngine::holdOutOfSight(const QSet<QString>& inSight, const QDateTime& now)
{
    for (DeviceRecord& device : m_devices) {
        // Offline devices stay so; one sighted since the last verdict is coming online, in sight.
        if (device.OnlineState == 0)
            continue;
        const auto view = m_seenOn.constFind(device.MacAddress);
        if (view != m_seenOn.cend() && inSight.contains(*view))
            continue;
        // Neither seen nor missed: the two cycles after its view returns decide.
        device.PresenceCountdown = SightedCountdown;
        if (!m_outOfSight.contains(device.MacAddress)) {
            m_outOfSight.insert(device.MacAddress);
            Q_EMIT sightLost(device.MacAddress, device.LastSeen.isValid() ? device.LastSeen : now);
        }
    }
}

void DiscoveryEngine::noteSighting(DeviceRecord& device, qint32 range, const QDateTime& now)
{
    device.LastSeen = now;
    if (range >= 0 && range < m_ranges.size()) {
        m_seenOn.insert(device.MacAddress, sightKey(range));
        // A device from before networks were told apart belongs to the one it is first seen on.
        const QString network = networkOfRange(range);
        if (device.Network.isEmpty() && !network.isEmpty()) {
            device.Network = network;
            m_unstored.append({Keys::deviceKey(device.MacAddress), {{DeviceCodec::Name::Network, network}}});
        }
    }
    if (m_outOfSight.remove(device.MacAddress) && device.isOnline())
        Q_EMIT sightRegained(device.MacAddress, device.IpAddress, now);
}

QDateTime DiscoveryEngine::offlineTime(const DeviceRecord& device, const QDateTime& now)
{
    if (!m_outOfSight.remove(device.MacAddress) || !device.LastSeen.isValid() || device.LastSeen > now)
        return now;
    // A second after it came online at the earliest, so that its dates still tell it is offline.
    return std::max(device.LastSeen, device.LastOnline.addSecs(1));
}

void DiscoveryEngine::reportSight()
{
    const Sight::State state = m_sight.state();
    if (state == m_reportedSight)
        return;
    m_reportedSight = state;
    const QString text = Sight::stateText(state);
    Log(kwEngine, QStringLiteral("Sight - ") + (text.isEmpty() ? QStringLiteral("watching again") : text));
    Q_EMIT sightChanged(state);
}

void DiscoveryEngine::setAway(bool away, const QDateTime& when)
{
    if (away == m_away)
        return;
    m_away = away;
    Q_EMIT awayChanged(away, when);
}
