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
        Log(kwEngine, QStringLiteral("Sight - no system bus with logind: sleep is known from the clocks alone"));
    QObject::connect(m_sleep.get(), &SleepSignal::prepareForSleep, engine, &DiscoveryEngine::PrepareForSleep);

    // A presence change the presence record alone hears: no history line, no alert.
    const auto presence = [this](DeviceEvent::Kind kind, const QString& mac, const QDateTime& time,
                              const QString& address, bool logged) {
        if (!m_presence)
            return;
        DeviceEvent event;
        event.kind = kind;
        event.mac = mac;
        event.time = time;
        event.address = address;
        event.logged = logged;
        m_presence->deviceEvent(event);
    };
    // The presence record hears an out-of-sight device as leaving at its last sighting, unlogged; a stay it
    // resumes within the record's gap goes on unbroken.
    QObject::connect(engine, &DiscoveryEngine::sightLost, engine, [presence](const QString& mac, const QDateTime& at) {
        presence(DeviceEvent::Kind::Offline, mac, at, {}, false);
    });
    QObject::connect(engine, &DiscoveryEngine::sightRegained, engine,
        [presence](const QString& mac, const QString& address, const QDateTime& when) {
            presence(DeviceEvent::Kind::Online, mac, when, address, false);
        });
    // The monitor's own absence, a stay of its own that the timelines shade.
    QObject::connect(engine, &DiscoveryEngine::awayChanged, engine, [presence](bool away, const QDateTime& when) {
        presence(
            away ? DeviceEvent::Kind::Online : DeviceEvent::Kind::Offline, PresenceStore::MonitorAway, when, {}, true);
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
