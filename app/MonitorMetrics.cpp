// The monitor's figures (metrics/Metrics): what the core's parts count and know, read or counted here so that
// none of them depends on the metrics.

#include "app/MonitorCore.h"
#include "channels/Channels.h"
#include "engine/DiscoveryEngine.h"
#include "mqtt/MqttPublisher.h"
#include "notify/SmtpClient.h"
#include "platform/Clock.h"
#include "platform/NetPlatform.h"
#include "store/DeviceWords.h"

#include <QElapsedTimer>

void MonitorCore::wireMetrics()
{
    using Type = Metrics::Type;
    Metrics& m = m_metrics;
    m.declare(QStringLiteral("kestrelwatch_devices"), Type::Gauge, QStringLiteral("Devices by list and state."));
    // A list's label is its name where the user meets it (kestrelwatch-ctl's move and list, the export): safe
    // or intruders, so one word means one list on every surface.
    for (const bool intruder : {false, true}) {
        for (const bool online : {false, true}) {
            m.read(QStringLiteral("kestrelwatch_devices"),
                {{QStringLiteral("list"), DeviceWords::list(intruder)},
                    {QStringLiteral("state"), online ? QStringLiteral("online") : QStringLiteral("offline")}},
                [this, intruder, online] {
                    int n = 0;
                    for (const DeviceRecord& d : m_devices)
                        n += d.Intruder == intruder && d.isOnline() == online ? 1 : 0;
                    return double(n);
                });
        }
    }
    m.declare(QStringLiteral("kestrelwatch_devices_waiting"), Type::Gauge,
        QStringLiteral("Devices not yet acknowledged (new to the user)."));
    m.read(QStringLiteral("kestrelwatch_devices_waiting"), {}, [this] {
        int n = 0;
        for (const DeviceRecord& d : m_devices)
            n += d.NewDevice ? 1 : 0;
        return double(n);
    });
    m.declare(QStringLiteral("kestrelwatch_build_info"), Type::Gauge, QStringLiteral("The running build: always 1."));
    m.read(QStringLiteral("kestrelwatch_build_info"), {{QStringLiteral("version"), QStringLiteral(KW_VERSION)}},
        [] { return 1.0; });
    m.declare(QStringLiteral("kestrelwatch_device_events_total"), Type::Counter,
        QStringLiteral("Device events (admissions, transitions, the user's actions) by kind."));
    m.declare(QStringLiteral("kestrelwatch_admissions_total"), Type::Counter,
        QStringLiteral("New devices admitted, by the list they were admitted to."));
    // One handle per series, taken once: an event counts without building a label text.
    auto byKind = std::make_shared<QHash<int, Metrics::Counter>>();
    for (int k = 0; k <= int(DeviceEvent::Kind::WatchChanged); ++k) // the last kind
        byKind->insert(k,
            m.counter(QStringLiteral("kestrelwatch_device_events_total"),
                {{QStringLiteral("kind"), DeviceWords::metricsEvent(DeviceEvent::Kind(k))}}));
    const Metrics::Counter toIntruders = m.counter(
        QStringLiteral("kestrelwatch_admissions_total"), {{QStringLiteral("list"), QStringLiteral("intruders")}});
    const Metrics::Counter toSafe =
        m.counter(QStringLiteral("kestrelwatch_admissions_total"), {{QStringLiteral("list"), QStringLiteral("safe")}});
    onDeviceEvent(m_engine.get(), [byKind, toIntruders, toSafe](const DeviceEvent& event) mutable {
        (*byKind)[int(event.kind)].add();
        if (event.kind == DeviceEvent::Kind::Admitted)
            (event.intruder ? toIntruders : toSafe).add();
    });

    // A sweep lasts from one harvest to the next.
    m.declare(QStringLiteral("kestrelwatch_sweep_duration_seconds"), Type::Gauge,
        QStringLiteral("How long the last complete sweep took (0 before the first)."));
    m.declare(QStringLiteral("kestrelwatch_sweeps_total"), Type::Counter, QStringLiteral("Sweeps completed."));
    m.declare(QStringLiteral("kestrelwatch_last_sweep_timestamp_seconds"), Type::Gauge,
        QStringLiteral("When the last sweep ended, in seconds since 1970 (0 before the first)."));
    auto sweepClock = std::make_shared<QElapsedTimer>();
    auto lastSweep = std::make_shared<double>(0);
    auto lastSweepEnd = std::make_shared<double>(0);
    sweepClock->start();
    Metrics::Counter sweeps = m.counter(QStringLiteral("kestrelwatch_sweeps_total"));
    QObject::connect(m_engine.get(), &DiscoveryEngine::harvested, m_engine.get(),
        [sweepClock, lastSweep, lastSweepEnd, sweeps]() mutable {
            *lastSweep = double(sweepClock->restart()) / 1000.0;
            *lastSweepEnd = double(kwclock::now().toMSecsSinceEpoch()) / 1000.0;
            sweeps.add();
        });
    m.read(QStringLiteral("kestrelwatch_sweep_duration_seconds"), {}, [lastSweep] { return *lastSweep; });
    m.read(QStringLiteral("kestrelwatch_last_sweep_timestamp_seconds"), {}, [lastSweepEnd] { return *lastSweepEnd; });

    m.declare(QStringLiteral("kestrelwatch_echoes_sent_total"), Type::Counter, QStringLiteral("Echo requests sent."));
    m.read(QStringLiteral("kestrelwatch_echoes_sent_total"), {}, [this] { return double(m_net->tally().echoesSent); });
    m.declare(QStringLiteral("kestrelwatch_helper_restarts_total"), Type::Counter,
        QStringLiteral("Times the privileged helper was started again after it ended."));
    m.read(QStringLiteral("kestrelwatch_helper_restarts_total"), {},
        [this] { return double(m_net->tally().helperRestarts); });

    m.declare(QStringLiteral("kestrelwatch_mail_deliveries_total"), Type::Counter,
        QStringLiteral("Alert mails the server took."));
    m.declare(QStringLiteral("kestrelwatch_mail_failures_total"), Type::Counter,
        QStringLiteral("Alert mails dropped after their last attempt."));
    Metrics::Counter mailsSent = m.counter(QStringLiteral("kestrelwatch_mail_deliveries_total"));
    Metrics::Counter mailsLost = m.counter(QStringLiteral("kestrelwatch_mail_failures_total"));
    if (m_mail) {
        QObject::connect(m_mail.get(), &SmtpClient::mailFinished, m_mail.get(),
            [mailsSent, mailsLost](
                bool sent, quint64, const QString&) mutable { (sent ? mailsSent : mailsLost).add(); });
    }
    // Push channels count here as each delivery ends (taken by the server, or dropped after its last attempt),
    // labelled by the channel's kind.
    m.declare(QStringLiteral("kestrelwatch_channel_deliveries_total"), Type::Counter,
        QStringLiteral("Alerts delivered by notification channels, by channel kind."));
    m.declare(QStringLiteral("kestrelwatch_channel_failures_total"), Type::Counter,
        QStringLiteral("Alerts notification channels failed to deliver, by channel kind."));
    auto delivered = std::make_shared<QHash<int, Metrics::Counter>>();
    auto dropped = std::make_shared<QHash<int, Metrics::Counter>>();
    for (const Channel channel : {Channel::Ntfy, Channel::Gotify, Channel::Webhook}) {
        const Metrics::Labels kind {{QStringLiteral("channel"), channelName(channel).toLower()}};
        delivered->insert(int(channel), m.counter(QStringLiteral("kestrelwatch_channel_deliveries_total"), kind));
        dropped->insert(int(channel), m.counter(QStringLiteral("kestrelwatch_channel_failures_total"), kind));
    }
    if (m_channels) {
        QObject::connect(m_channels.get(), &Channels::delivered, m_channels.get(),
            [delivered](Channel channel, qint64) { (*delivered)[int(channel)].add(); });
        QObject::connect(m_channels.get(), &Channels::dropped, m_channels.get(),
            [dropped](Channel channel, qint64) { (*dropped)[int(channel)].add(); });
    }

    m.declare(QStringLiteral("kestrelwatch_mqtt_connected"), Type::Gauge,
        QStringLiteral("1 while connected to the MQTT broker, else 0."));
    m.read(QStringLiteral("kestrelwatch_mqtt_connected"), {},
        [this] { return m_mqtt && m_mqtt->connection().isConnected() ? 1.0 : 0.0; });
    m.declare(QStringLiteral("kestrelwatch_mqtt_enabled"), Type::Gauge,
        QStringLiteral("1 while an MQTT broker is configured, else 0."));
    m.read(QStringLiteral("kestrelwatch_mqtt_enabled"), {},
        [this] { return m_mqtt && m_mqtt->connection().isOpen() ? 1.0 : 0.0; });
}
