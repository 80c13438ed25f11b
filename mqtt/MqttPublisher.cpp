#include "mqtt/MqttPublisher.h"

#include "logging/DeviceLog.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"

#include <QElapsedTimer>
#include <QSysInfo>

namespace {

// How many messages may wait for the broker's acknowledgement before the publisher holds back: a stalled
// broker then costs a bounded amount of memory, and the held-back work waits in the publisher's own queues.
constexpr int kMaxPending = 5000;
// One slice of the event loop's time: a republish of thousands of devices leaves room for the sweep's ticks.
constexpr qint64 kSliceNs = 4'000'000;
constexpr int kSettingsCheckMs = 1000;
constexpr int kBlockedRetryMs = 50;

// A topic level from free text: no wildcards, no level separators.
QString topicLevel(const QString& text, const QString& fallback)
{
    QString level = text.trimmed();
    if (level.isEmpty())
        level = fallback;
    for (const QChar c : {QLatin1Char('/'), QLatin1Char('+'), QLatin1Char('#')})
        level.replace(c, QLatin1Char('_'));
    return level;
}

} // namespace

MqttPublisher::MqttPublisher(
    const DeviceStore& devices, const LiveSettings& settings, VendorLookup vendor, QObject* parent)
    : QObject(parent)
    , m_devices(devices)
    , m_settings(settings)
    , m_vendor(std::move(vendor))
{
    connect(&m_connection, &MqttConnection::connected, this, &MqttPublisher::connectedToBroker);
    connect(&m_connection, &MqttConnection::messageReceived, this, &MqttPublisher::commandArrived);
    // Work held back by a full window goes on as soon as the broker has caught up by half.
    connect(&m_connection, &MqttConnection::acknowledged, this, [this] {
        if (m_connection.pending() == kMaxPending / 2)
            schedulePump();
    });
    m_settingsTimer.setInterval(kSettingsCheckMs);
    connect(&m_settingsTimer, &QTimer::timeout, this, &MqttPublisher::refresh);
    m_settingsTimer.start();
    m_pumpTimer.setSingleShot(true);
    connect(&m_pumpTimer, &QTimer::timeout, this, &MqttPublisher::pump);
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

void MqttPublisher::refresh()
{
    const QString server = m_settings.mqtt.server.trimmed();
    if (server.isEmpty()) {
        if (m_connection.isOpen()) {
            Log(kwMqtt, QStringLiteral("MQTT - switched off"));
            stop();
        }
        m_badServer.clear();
        return;
    }
    const bool tls = m_settings.mqtt.security.compare(QLatin1String("TLS"), Qt::CaseInsensitive) == 0;
    const auto hostPort = MqttConnection::parseServer(server, tls);
    if (!hostPort) {
        if (m_badServer != server)
            Log(kwMqtt,
                QStringLiteral("MQTT - the server \"%1\" is not host or host:port; not connecting").arg(server));
        m_badServer = server;
        if (m_connection.isOpen())
            stop();
        return;
    }
    m_badServer.clear();
    MqttPayloads::Base base {topicLevel(m_settings.mqtt.topic, QStringLiteral("kestrelwatch")),
        topicLevel(m_settings.mqtt.sensor, QSysInfo::machineHostName())};
    MqttConnection::Config config;
    config.host = hostPort->first;
    config.port = hostPort->second;
    config.username = m_settings.mqtt.username;
    config.password = m_settings.mqtt.password;
    config.tls = tls;
    config.clientId = QStringLiteral("kestrelwatch-") + base.sensor;
    config.willTopic = base.status();
    config.willPayload = MqttPayloads::Offline;
    if (m_connection.isOpen() && config == m_connection.config())
        return;
    if (m_connection.isOpen())
        stop();
    m_base = base;
    Log(kwMqtt, QStringLiteral("MQTT - connecting to %1:%2 as %3").arg(config.host).arg(config.port).arg(base.root()));
    m_connection.open(config);
}

void MqttPublisher::stop()
{
    if (m_connection.isConnected())
        m_connection.publish(m_base.status(), MqttPayloads::Offline, true);
    m_connection.close();
    m_pumpTimer.stop();
    m_events.clear();
    m_dirty.clear();
    m_dirtyOrder.clear();
    m_cleared.clear();
    m_announceOrder.clear();
    m_toAnnounce.clear();
}

void MqttPublisher::connectedToBroker()
{
    m_connection.subscribe(m_base.commandFilter());
    m_connection.publish(m_base.status(), MqttPayloads::Online, true);
    m_connection.publish(m_base.sight(), m_sight, true);
    m_connection.publish(
        MqttPayloads::intruderSensorConfigTopic(m_base), MqttPayloads::intruderSensorConfig(m_base), true);
    m_announced.clear();
    m_announceOrder.clear();
    m_toAnnounce.clear();
    m_intruderOnline.reset();
    republishAll();
}

void MqttPublisher::setSight(const QByteArray& state)
{
    if (state == m_sight)
        return;
    m_sight = state;
    if (m_connection.isConnected())
        m_connection.publish(m_base.sight(), m_sight, true);
}

void MqttPublisher::republishAll()
{
    for (const DeviceRecord& d : m_devices)
        markDirty(d.MacAddress);
    if (m_devices.isEmpty())
        m_intruderOnline.reset();
    schedulePump();
}

void MqttPublisher::deviceEvent(const DeviceEvent& event, bool eventsHeld)
{
    if (event.kind == DeviceEvent::Kind::Removed)
        return deviceRemoved(event.mac);
    if (!enabled() || !m_devices.contains(event.mac))
        return;
    if (!(eventsHeld && event.kind == DeviceEvent::Kind::Admitted)) {
        for (const DeviceLog::Entry& entry : DeviceLog::entries(event))
            queueEvent(MqttPayloads::event(event.mac, event.time, entry.kind, entry.text));
    }
    deviceChanged(event.mac);
}

void MqttPublisher::stormDigest(const QDateTime& time, int count, const QString& interfaceName,
    const QString& firstAddress, const QString& lastAddress, const QString& text)
{
    if (enabled())
        queueEvent(MqttPayloads::stormEvent(time, count, interfaceName, firstAddress, lastAddress, text));
}

void MqttPublisher::queueEvent(QByteArray payload)
{
    if (int(m_events.size()) >= m_eventBound) {
        m_events.pop_front();
        if (!m_overflowReported) {
            Log(kwMqtt,
                QStringLiteral("MQTT - %1 events wait for the broker; the oldest are dropped").arg(m_eventBound));
            m_overflowReported = true;
        }
    }
    m_events.push_back(std::move(payload));
    schedulePump();
}

void MqttPublisher::deviceChanged(const QString& mac)
{
    // While disconnected nothing is marked: the connect sends every device anyway.
    if (!m_connection.isConnected() || !m_devices.contains(mac))
        return;
    markDirty(mac);
    schedulePump();
}

void MqttPublisher::markDirty(const QString& mac)
{
    m_cleared.remove(mac);
    if (!m_dirty.contains(mac)) {
        m_dirty.insert(mac);
        m_dirtyOrder.append(mac);
    }
}

void MqttPublisher::deviceRemoved(const QString& mac)
{
    if (!enabled())
        return;
    if (m_dirty.remove(mac))
        m_dirtyOrder.removeOne(mac);
    m_cleared.insert(mac);
    schedulePump();
}

void MqttPublisher::schedulePump()
{
    if (m_connection.isConnected() && (!m_pumpTimer.isActive() || m_pumpTimer.interval() != 0))
        m_pumpTimer.start(0);
}

void MqttPublisher::pump()
{
    if (!m_connection.isConnected())
        return;
    QElapsedTimer slice;
    slice.start();
    const auto room = [&] { return m_connection.pending() < kMaxPending && slice.nsecsElapsed() < kSliceNs; };
    bool devicesChanged = false;
    while (room() && !m_cleared.isEmpty()) {
        const QString mac = *m_cleared.begin();
        m_cleared.erase(m_cleared.begin());
        m_connection.publish(m_base.device(mac), QByteArray(), true);
        m_connection.publish(MqttPayloads::trackerConfigTopic(m_base, mac), QByteArray(), true);
        m_announced.remove(mac);
        if (m_toAnnounce.remove(mac))
            m_announceOrder.removeOne(mac);
        devicesChanged = true;
    }
    while (room() && !m_dirtyOrder.isEmpty()) {
        const QString mac = m_dirtyOrder.takeFirst();
        m_dirty.remove(mac);
        if (publishDevice(mac))
            devicesChanged = true;
    }
    while (room() && !m_events.empty()) {
        if (!m_connection.publish(m_base.events(), m_events.front(), false))
            break;
        m_events.pop_front();
    }
    while (room() && !m_announceOrder.isEmpty()) {
        const QString mac = m_announceOrder.takeFirst();
        m_toAnnounce.remove(mac);
        announce(mac);
    }
    if (m_events.empty())
        m_overflowReported = false;
    if (devicesChanged)
        publishIntruderOnline();
    if (!m_cleared.isEmpty() || !m_dirtyOrder.isEmpty() || !m_events.empty() || !m_announceOrder.isEmpty())
        m_pumpTimer.start(m_connection.pending() >= kMaxPending ? kBlockedRetryMs : 0);
    else
        Q_EMIT drained();
}

bool MqttPublisher::publishDevice(const QString& mac)
{
    const DeviceRecord* found = m_devices.find(mac);
    if (!found)
        return false;
    const DeviceRecord& d = *found;
    const QString vendor = m_vendor ? m_vendor(mac) : QString();
    m_connection.publish(m_base.device(mac), MqttPayloads::deviceState(d, vendor), true);
    const auto announced = m_announced.constFind(mac);
    if ((announced == m_announced.constEnd() || *announced != MqttPayloads::announcedAs(d))
        && !m_toAnnounce.contains(mac)) {
        m_toAnnounce.insert(mac);
        m_announceOrder.append(mac);
    }
    return true;
}

void MqttPublisher::announce(const QString& mac)
{
    const DeviceRecord* found = m_devices.find(mac);
    if (!found)
        return;
    const DeviceRecord& d = *found;
    const QString name = MqttPayloads::announcedAs(d);
    const auto announced = m_announced.constFind(mac);
    if (announced != m_announced.constEnd() && *announced == name)
        return;
    m_connection.publish(MqttPayloads::trackerConfigTopic(m_base, mac),
        MqttPayloads::trackerConfig(m_base, d, m_vendor ? m_vendor(mac) : QString()), true);
    m_announced.insert(mac, name);
}

void MqttPublisher::publishIntruderOnline()
{
    bool any = false;
    for (const DeviceRecord& d : m_devices)
        any = any || (d.Intruder && d.isOnline());
    if (m_intruderOnline == any)
        return;
    if (m_connection.publish(m_base.intruderOnline(), any ? QByteArrayLiteral("ON") : QByteArrayLiteral("OFF"), true))
        m_intruderOnline = any;
}

void MqttPublisher::logCommand(const QString& line)
{
    const QDateTime now = kwclock::now();
    if (!m_commandLogMinute.isValid() || m_commandLogMinute.secsTo(now) >= 60 || now < m_commandLogMinute) {
        if (m_commandLines > CommandLinesPerMinute)
            Log(kwMqtt,
                QStringLiteral("MQTT - %1 more MQTT command lines were left out")
                    .arg(m_commandLines - CommandLinesPerMinute - 1));
        m_commandLogMinute = now;
        m_commandLines = 0;
    }
    ++m_commandLines;
    if (m_commandLines <= CommandLinesPerMinute)
        Log(kwMqtt, line);
    else if (m_commandLines == CommandLinesPerMinute + 1)
        Log(kwMqtt, QStringLiteral("MQTT - more MQTT command lines are left out for a minute"));
}

void MqttPublisher::commandArrived(const QString& topic, const QByteArray& payload)
{
    if (topic == m_base.commandPrefix() + QStringLiteral("all")) {
        const MqttCommand command = parseMqttCommand(payload);
        if (!command.valid() || !command.trustAll) {
            Log(kwMqtt,
                QStringLiteral("MQTT - command for all devices ignored: %1; nothing changed")
                    .arg(command.valid() ? QStringLiteral("it takes only {\"trust_all\": true}") : command.error));
            return;
        }
        if (m_trustAllHandler)
            m_trustAllHandler();
        return;
    }
    const QString mac = commandMac(topic, m_base.commandPrefix());
    if (mac.isEmpty()) {
        logCommand(QStringLiteral("MQTT - command topic %1 names no device's MAC address; nothing changed")
                       .arg(topic.left(200)));
        return;
    }
    const MqttCommand command = parseMqttCommand(payload);
    if (!command.valid()) {
        logCommand(QStringLiteral("MQTT - command for %1 ignored: %2; nothing changed").arg(mac, command.error));
        return;
    }
    if (!m_devices.contains(mac)) {
        logCommand(QStringLiteral("MQTT - command for unknown device %1; nothing changed").arg(mac));
        return;
    }
    if (command.trustAll) {
        Log(kwMqtt,
            QStringLiteral("MQTT - command for %1 ignored: \"trust_all\" goes to set/all; nothing changed").arg(mac));
        return;
    }
    // What the command changes comes back as the actions' events.
    if (m_commandHandler)
        m_commandHandler(mac, command);
}
