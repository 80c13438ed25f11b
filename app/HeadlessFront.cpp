#include "app/HeadlessFront.h"

#include "app/MonitorCore.h"
#include "app/MonitorWeb.h"
#include "app/ShutdownSignals.h"
#include "app/StatusDump.h"
#include "engine/DiscoveryEngine.h"
#include "logging/EventLine.h"
#include "platform/DebugSink.h"
#include "platform/NetPlatform.h"
#include "store/DeviceStore.h"
#include "web/WebServer.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

void printLine(FILE* stream, const QString& line)
{
    std::fputs(line.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

HeadlessFront::HeadlessFront(MonitorCore& core, QObject* parent)
    : QObject(parent)
    , m_core(core)
{
    // What the shutdown has sent (the broker's "offline") gets a moment to leave; a signal must still end the
    // monitor well within a service manager's patience.
    m_closeTimer.setInterval(300);
    m_closeTimer.setSingleShot(true);
    connect(&m_closeTimer, &QTimer::timeout, qApp, [] { QCoreApplication::exit(0); });
}

HeadlessFront::~HeadlessFront() = default;

int HeadlessFront::start()
{
    const auto fatal = [](const QString& message) {
        printLine(stderr, QStringLiteral("kestrelwatch: ") + message);
        return 1;
    };
    // An address in use stops the start before anything else is said: a scraper would otherwise read another
    // program's figures.
    // When the page is served at the same place, its server answers /metrics too.
    if (m_metricsAt && MonitorWeb::commandLine().web != m_metricsAt) {
        WebServer::Options figures;
        figures.metrics = [this] { return m_core.metrics().render(); };
        m_metrics = std::make_unique<WebServer>(std::move(figures));
        const QString problem = m_metrics->listen(*m_metricsAt);
        if (!problem.isEmpty())
            return fatal(QStringLiteral("--metrics: ") + problem);
    }
    MonitorCore::Outcome outcome = m_core.claimInstance([](const QString& text) { printLine(stderr, text); });
    if (outcome.step == MonitorCore::Step::AlreadyRunning) {
        printLine(stderr,
            QStringLiteral("kestrelwatch: a monitor already runs on %1; this copy ends").arg(m_core.paths().home));
        return 0;
    }
    if (outcome.step == MonitorCore::Step::Fatal)
        return fatal(outcome.message);
    outcome = m_core.openStore();
    if (outcome.step != MonitorCore::Step::Ok)
        return fatal(outcome.message);
    m_core.loadInstallation();
    m_core.loadRegistry();
    // WebListen names the place --metrics took: the page's server takes it over.
    if (m_metrics && MonitorWeb::wanted(m_core.settings()) == m_metricsAt)
        m_metrics.reset();
    m_core.startEngine(createLinuxNetPlatform(), [this] {
        connect(m_core.engine(), &DiscoveryEngine::harvested, this, &HeadlessFront::ShowStatus);
        connect(m_core.engine(), &DiscoveryEngine::sightChanged, this, &HeadlessFront::announceSight);
        m_core.onDeviceEvent(this, [this](const DeviceEvent& event) { printEvent(event); });
    });
    if (!m_core.webProblem().isEmpty())
        return fatal(m_core.webProblem());
    announceWatch();
    m_core.markInstalled(false);
    return -1;
}

void HeadlessFront::announceWatch()
{
    const MonitorCore::SweepState sweep = m_core.sweepState();
    const QStringList ranges = m_core.watchedRanges();
    if (!sweep.sweeping)
        printLine(stderr, QStringLiteral("kestrelwatch: watching nothing: ") + sweep.problem);
    else if (ranges.isEmpty())
        printLine(stderr,
            QStringLiteral("kestrelwatch: watching nothing yet: no interface is up with an IPv4 address and ARP"));
    else
        printLine(stderr, QStringLiteral("kestrelwatch: watching ") + ranges.join(QStringLiteral(", ")));
    // Sweeping without pruning still deserves its one sentence.
    if (sweep.sweeping && !sweep.problem.isEmpty())
        printLine(stderr, QStringLiteral("kestrelwatch: ") + sweep.problem);
}

// A blind monitor is told from an empty network: "Not connected to a network", "Waking up…", then what it watches.
void HeadlessFront::announceSight()
{
    const QString blind = Sight::stateText(m_core.engine()->sightState());
    if (blind.isEmpty())
        announceWatch();
    else
        printLine(stderr, QStringLiteral("kestrelwatch: ") + blind);
}

void HeadlessFront::Shutdown()
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    m_core.shutdown();
    m_closeTimer.start();
}

void HeadlessFront::watchSignals()
{
    watchShutdownSignals(this, [this] { Shutdown(); });
}

void HeadlessFront::printEvent(const DeviceEvent& event)
{
    // The core's subscribers ran first: the record is as the event left it (a removed device has none).
    const DeviceStore& devices = m_core.devices();
    const DeviceRecord* device =
        event.kind == DeviceEvent::Kind::Removed ? event.record.get() : devices.find(event.mac);
    for (const QString& line : EventLine::lines(event, device, m_core.vendorName(event.mac)))
        printLine(stdout, line);
}

void HeadlessFront::ShowStatus()
{
    if (!m_core.extraLogging() || !m_core.engine())
        return;
    int intruders = 0;
    const DeviceStore& devices = m_core.devices();
    for (const DeviceRecord& d : devices)
        intruders += d.Intruder ? 1 : 0;
    const int count = int(devices.size());
    const QString dump = statusDump(*m_core.engine(), count, intruders, count - intruders, false, 0);
    std::fputs(dump.toUtf8().constData(), stderr);
    std::fflush(stderr);
}
