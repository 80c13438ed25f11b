// What the monitor can see (engine/Sight): the system's sleep signal goes to the engine; a present device out of
// sight pauses its stay in the presence record at its last sighting and resumes it when seen again; MQTT carries the
// state and the metrics a gauge and the blind seconds.

#include "app/MonitorCore.h"
#include "engine/DiscoveryEngine.h"
#include "mqtt/MqttPublisher.h"
#include "platform/DebugSink.h"
#include "platform/SleepSignal.h"
#include "store/PresenceStore.h"

namespace {

QByteArray sightWord(Sight::State state)
{
    switch (state) {
    case Sight::State::NotConnected:
        return QByteArrayLiteral("not_connected");
    case Sight::State::WakingUp:
        return QByteArrayLiteral("waking_up");
    case Sight::State::Watching:
        break;
    }
    return QByteArrayLiteral("watching");
}

} // namespace

void MonitorCore::setSleepSignal(std::unique_ptr<SleepSignal> signal)
{
    m_sleep = std::move(signal);
}

void MonitorCore::wireSight()
{
    DiscoveryEngine* engine = m_engine.get();
    if (!m_sleep)
        m_sleep = createLogindSleepSignal();
    if (!m_sleep->listening())
        Log(QStringLiteral("Sight - no system bus with logind: sleep is known from the clocks alone"));
    QObject::connect(m_sleep.get(), &SleepSignal::prepareForSleep, engine, &DiscoveryEngine::PrepareForSleep);

    // The presence record hears an out-of-sight device as leaving at its last sighting, unlogged; a stay it
    // resumes within the record's gap goes on unbroken.
    QObject::connect(
        engine, &DiscoveryEngine::sightLost, engine, [this](const QString& mac, const QDateTime& lastSeen) {
            if (!m_presence)
                return;
            DeviceEvent event;
            event.kind = DeviceEvent::Kind::Offline;
            event.mac = mac;
            event.time = lastSeen;
            event.logged = false;
            m_presence->deviceEvent(event);
        });
    QObject::connect(engine, &DiscoveryEngine::sightRegained, engine,
        [this](const QString& mac, const QString& address, const QDateTime& when) {
            if (!m_presence)
                return;
            DeviceEvent event;
            event.kind = DeviceEvent::Kind::Online;
            event.mac = mac;
            event.time = when;
            event.address = address;
            event.logged = false;
            m_presence->deviceEvent(event);
        });
    // The monitor's own absence, a stay of its own that the timelines shade.
    QObject::connect(engine, &DiscoveryEngine::awayChanged, engine, [this](bool away, const QDateTime& when) {
        if (!m_presence)
            return;
        DeviceEvent event;
        event.kind = away ? DeviceEvent::Kind::Online : DeviceEvent::Kind::Offline;
        event.mac = PresenceStore::MonitorAway;
        event.time = when;
        m_presence->deviceEvent(event);
    });
    QObject::connect(engine, &DiscoveryEngine::sightChanged, engine, [this](Sight::State state) {
        if (m_mqtt)
            m_mqtt->setSight(sightWord(state));
    });

    using Type = Metrics::Type;
    m_metrics.declare(QStringLiteral("kestrelwatch_blind"), Type::Gauge,
        QStringLiteral("1 while the monitor cannot see a network (not connected, or waking up), else 0."));
    m_metrics.read(QStringLiteral("kestrelwatch_blind"), {},
        [engine] { return engine->sightState() == Sight::State::Watching ? 0.0 : 1.0; });
    m_metrics.declare(QStringLiteral("kestrelwatch_blind_seconds_total"), Type::Counter,
        QStringLiteral("Seconds the monitor could not see a network."));
    m_metrics.read(
        QStringLiteral("kestrelwatch_blind_seconds_total"), {}, [engine] { return double(engine->blindSeconds()); });
}
