#include "engine/DiscoveryEngine.h"

#include "engine/AddressText.h"
#include "engine/Describer.h"
#include "engine/ErrorTrap.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "platform/NetPlatform.h"
#include "store/DeviceStore.h"
#include "store/MacAddress.h"
#include "store/Settings.h"

namespace {
constexpr int kTickMs = 100;
constexpr quint16 kTicksPerSecond = 10;
constexpr quint32 kLookupTimeoutSeconds = 99; // cancelled when pending for more than this
constexpr quint32 kRefreshSeconds = 31; // all names looked up again at least this far apart
constexpr quint32 kSweepGapSeconds = 5; // a new sweep is prepared when more than this has passed
constexpr qint64 kProblemRepeatSeconds = 3600; // the same problem is logged at most this often
} // namespace

DiscoveryEngine::DiscoveryEngine(DeviceStore& devices, NetPlatform& net, QObject* parent)
    : QObject(parent)
    , m_devices(devices)
    , m_net(net)
{
    Describer::Hooks hooks;
    hooks.changed = [this](const QString& mac, const QString& which) {
        const DeviceRecord* device = m_devices.find(mac);
        if (!device)
            return;
        DeviceEvent event = newEvent(DeviceEvent::Kind::Described, *device, currentTime());
        event.address = device->IpAddress;
        event.name = which;
        Q_EMIT deviceEvent(event);
    };
    hooks.log = [](const QString& line) { Log(kwEngine, line); };
    // The describer's values join the engine's own writes, after an admission still to be stored.
    hooks.write = [this](const QString& mac, const QList<std::pair<QString, QString>>& values) {
        m_unstored.append({Keys::deviceKey(mac), values});
    };
    hooks.flush = [this] { storeWrites(); };
    // The answer that names a device over mDNS comes seconds after its admission: a likely return is told then.
    hooks.named = [this](const QString& mac) {
        DeviceRecord* device = m_devices.find(mac);
        if (const auto likely = device ? linkLikelyReturn(*device) : std::nullopt)
            Q_EMIT deviceEvent(*likely);
    };
    m_describer = std::make_unique<Describer>(devices, net, std::move(hooks));
    m_sweepTimer.setInterval(kTickMs);
    connect(&m_sweepTimer, &QTimer::timeout, this, &DiscoveryEngine::sweepTick);
    m_net.setProblemReport([this](const QString& cause, const QString& detail) { logProblem(cause, detail); });
    m_net.setHeard([this](const Heard& heard) { heard.isDhcp() ? dhcpHeard(heard) : arpHeard(heard); });
}

DiscoveryEngine::~DiscoveryEngine()
{
    // The form's unload.
    if (m_loaded && !m_shutDown)
        Shutdown();
    m_net.setProblemReport(nullptr);
    m_net.setHeard(nullptr);
}

// A refused send or deletion repeats at every request of every sweep: one line per cause says it, and the
// line comes back at most once an hour while the cause lasts.
void DiscoveryEngine::logProblem(const QString& cause, const QString& detail)
{
    runTrapped("NetPlatform", [&] {
        if (dueToLog(cause))
            Log(kwEngine, QStringLiteral("NetPlatform - ") + (detail.isEmpty() ? cause : detail));
    });
}

bool DiscoveryEngine::dueToLog(const QString& cause)
{
    const QDateTime now = kwclock::now();
    const auto last = m_problemLogged.constFind(cause);
    if (last != m_problemLogged.constEnd() && last->secsTo(now) < kProblemRepeatSeconds && *last <= now)
        return false;
    m_problemLogged.insert(cause, now);
    return true;
}

bool DiscoveryEngine::isDeviceMac(const QByteArray& mac, const QString& ip, const QString& where)
{
    const MacAddress::Refusal why = MacAddress::refusal(mac);
    if (why == MacAddress::Refusal::Device)
        return true;
    if (dueToLog(QStringLiteral("refused MAC %1").arg(int(why))))
        Log(kwEngine,
            QStringLiteral("%1 - %2 at %3 is no device: its MAC address is %4; such addresses are never admitted, "
                           "and this is not logged again for an hour")
                .arg(where, AddressText::macText(mac), ip, MacAddress::refusalText(why)));
    return false;
}

DeviceEvent DiscoveryEngine::newEvent(DeviceEvent::Kind kind, const DeviceRecord& device, const QDateTime& when)
{
    DeviceEvent event;
    event.kind = kind;
    event.mac = device.MacAddress;
    event.time = when;
    return event;
}

void DiscoveryEngine::emitEvent(
    DeviceEvent::Kind kind, const DeviceRecord& device, const QDateTime& when, const QString& address)
{
    DeviceEvent event = newEvent(kind, device, when);
    event.address = address;
    Q_EMIT deviceEvent(event);
}

QDateTime DiscoveryEngine::currentTime()
{
    QDateTime now = kwclock::now();
    return now.addMSecs(-now.time().msec());
}

bool DiscoveryEngine::socketOpen() const
{
    return m_net.icmpSocketOpen();
}

void DiscoveryEngine::Load()
{
    runTrapped("Load", [this] {
        m_loaded = true;
        m_shutDown = false;
        m_ranges.clear();
        m_lookupMac.clear();
        m_nameWalk.clear();
        m_hostLookupHandle = 0;
        m_sweepTimer.start();
        if (!m_net.openIcmpSocket()) {
            Log(kwEngine, QStringLiteral("Startup - Failed to create socket"));
            return;
        }
        StartSystem();
        // The first tick comes as soon as the event loop runs instead of a tick's time later, and the timer
        // counts on from it, so the pace stays one batch a tick: a /24's first list stands a tenth of a second
        // sooner. A timer stopped meanwhile (ticks driven by hand) stays stopped.
        QTimer::singleShot(0, this, [this] {
            if (!m_sweepTimer.isActive())
                return;
            m_sweepTimer.start();
            sweepTick();
        });
    });
}

void DiscoveryEngine::StartSystem()
{
    runTrapped("StartSystem", [this] {
        // Without the raw socket nothing can be swept: the engine stays stopped whoever asks it to start.
        if (!m_net.icmpSocketOpen())
            return;
        m_running = true;
        // The store may have been loaded again meanwhile; what it holds of each sighting is already written.
        m_onlineAddressesValid = false;
        for (const DeviceRecord& device : std::as_const(m_devices)) {
            if (!m_sightingStored.contains(device.MacAddress))
                m_sightingStored.insert(device.MacAddress, device.LastSeen);
        }
        StartScan();
    });
}

void DiscoveryEngine::StopSystem()
{
    runTrapped("StopSystem", [this] {
        m_running = false;
        m_sweepReady = false;
        // Dropping the interrupted sweep here is what lets a later StartSystem prepare a new one at once.
        m_sweepPrepared = false;
        resetCursor();
        if (m_hostLookupHandle != 0 || m_ask) {
            cancelLookup();
            endAsk();
            m_lookupMac.clear();
            m_nameWalk.clear();
        }
    });
}

void DiscoveryEngine::Shutdown()
{
    runTrapped("Shutdown", [this] {
        StopSystem();
        // Every last sighting goes to the store exactly as memory has it.
        for (const DeviceRecord& device : std::as_const(m_devices))
            m_sightingDue.insert(device.MacAddress);
        noteSightings();
        storeWrites();
        m_sweepTimer.stop();
        m_net.closeIcmpSocket();
        m_shutDown = true;
    });
}

void DiscoveryEngine::cancelLookup()
{
    // A refused lookup's handle is the engine's own; the platform never knew it.
    if (m_hostLookupHandle > 0)
        m_net.cancelLookup(m_hostLookupHandle);
    m_hostLookupHandle = 0;
}

// Windows in flight are forgotten: their rows are harvested by the next sweep's windows or aged out by the
// kernel.
void DiscoveryEngine::resetCursor()
{
    m_sweep = SweepQueue();
}

void DiscoveryEngine::StartScan()
{
    runTrapped("StartScan", [this] {
        if (!m_running || m_sweepPrepared)
            return;
        m_preparationTime = m_secondsCounter;
        m_sweepPrepared = true;
        m_sweepReady = false;
        if (!SetupForNewScan()) {
            // An unreadable adapter list is tried again at the next preparation time rather than ending
            // all sweeping for the rest of the run.
            m_sweepPrepared = false;
            return;
        }
        if (m_hostLookupHandle == 0)
            ScanNextName();
        m_sweepReady = true;
    });
}

void DiscoveryEngine::sweepTick()
{
    runTrapped("sweepTick", [this] {
        ++m_ticks;
        lookAtClocks();
        if (!m_running)
            return;
        if (m_sweepReady)
            PingSend();
        checkAskTimeout();

        if (++m_tickCounter < kTicksPerSecond)
            return;
        m_tickCounter = 0;
        ++m_secondsCounter;

        if (m_hostLookupHandle != 0 && m_secondsCounter - m_lookupStart > kLookupTimeoutSeconds) {
            // The device keeps NameLookupPending, so the next lookup tries it again first.
            cancelLookup();
            ScanNextName();
        }
        if (m_hostLookupHandle == 0 && !m_ask && m_secondsCounter - m_lastRefresh >= kRefreshSeconds) {
            for (DeviceRecord& device : m_devices)
                device.NameLookupPending = true;
            m_lastRefresh = m_secondsCounter;
            ScanNextName();
        }
        if (!m_sweepPrepared && m_secondsCounter - m_preparationTime > kSweepGapSeconds)
            StartScan();
        m_describer->tick(kwclock::now());
    });
}

QString DiscoveryEngine::rangeText(qint32 rangeIndex) const
{
    if (rangeIndex < 0 || rangeIndex >= m_ranges.size())
        return {};
    const ScanRange& r = m_ranges.at(rangeIndex);
    return AddressText::ipText(r.first) + QStringLiteral(" to ") + AddressText::ipText(r.last);
}
