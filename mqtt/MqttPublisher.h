#pragma once

#include "mqtt/MqttCommand.h"
#include "mqtt/MqttConnection.h"
#include "mqtt/MqttPayloads.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

class DeviceStore;
struct LiveSettings;

// Feeds an MQTT broker with what the monitor knows: its status (with "offline" as the connection's last will),
// every device's retained state and Home Assistant discovery, and one event per history line of each device
// event; and takes commands for devices. The device events (the engine's and the user's actions') tell it what
// changed; it never reads the store. Work is queued and sent a slice at a time from the event loop, so neither a
// slow broker nor thousands of devices delay a sweep. While the broker is away, events wait in a bounded queue (the
// oldest dropped, with one log line) and every retained state is sent again once it is back.
class MqttPublisher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MqttPublisher)

public:
    // Applies a valid command to the device of that MAC, which is in the store.
    using CommandHandler = std::function<void(const QString& mac, const MqttCommand& command)>;
    using VendorLookup = std::function<QString(const QString& mac)>;

    static constexpr int DefaultEventBound = 1000;

    MqttPublisher(
        const DeviceStore& devices, const LiveSettings& settings, VendorLookup vendor, QObject* parent = nullptr);
    ~MqttPublisher() override;

    void setCommandHandler(CommandHandler handler) { m_commandHandler = std::move(handler); }
    // {"trust_all": true} on set/all.
    void setTrustAllHandler(std::function<void()> handler) { m_trustAllHandler = std::move(handler); }
    void setEventBound(int bound) { m_eventBound = bound; }

    // Reads the MQTT settings and (re)connects when they changed; off while the server is empty. Runs every
    // second, so a change in the settings dialog takes effect without a restart.
    void refresh();
    // Says "offline" and leaves the broker.
    void stop();

    // What happened to a device: its history lines as events, and its state. eventsHeld (a storm of new
    // devices) leaves an admission's events to the storm's digest; its state still goes out.
    void deviceEvent(const DeviceEvent& event, bool eventsHeld = false);
    void stormDigest(const QDateTime& time, int count, const QString& interfaceName, const QString& firstAddress,
        const QString& lastAddress, const QString& text);
    // Every device again, as after a reconnect (the device table was reloaded).
    void republishAll();
    // What the monitor can see ("watching", "not_connected", "waking_up"), retained on the sight topic, so that a
    // blind monitor is told from an empty network.
    void setSight(const QByteArray& state);

    MqttConnection& connection() { return m_connection; }
    const MqttPayloads::Base& base() const { return m_base; }
    int queuedEvents() const { return int(m_events.size()); }
    int queuedStates() const { return int(m_dirty.size() + m_cleared.size()); }
    // One slice of queued work; the publisher schedules it itself, tests and the benchmark may call it.
    void pump();

Q_SIGNALS:
    // Everything queued has been handed to the connection (the republish after a connect is complete).
    void drained();

private:
    void connectedToBroker();
    void deviceChanged(const QString& mac);
    void deviceRemoved(const QString& mac);
    void commandArrived(const QString& topic, const QByteArray& payload);
    // A broker can send commands without end: what they cause is logged CommandLinesPerMinute times a minute at
    // most, then one line says that more are left out.
    void logCommand(const QString& line);
    void schedulePump();
    bool publishDevice(const QString& mac);
    void announce(const QString& mac);
    void markDirty(const QString& mac);
    void publishIntruderOnline();
    void queueEvent(QByteArray payload);
    bool enabled() const { return m_connection.isOpen(); }

    const DeviceStore& m_devices;
    const LiveSettings& m_settings;
    VendorLookup m_vendor;
    CommandHandler m_commandHandler;
    std::function<void()> m_trustAllHandler;
    MqttConnection m_connection;
    MqttPayloads::Base m_base;
    QString m_badServer; // the server text last reported as unusable
    QTimer m_settingsTimer;
    QTimer m_pumpTimer;

    static constexpr int CommandLinesPerMinute = 10;
    QDateTime m_commandLogMinute;
    int m_commandLines = 0;

    std::deque<QByteArray> m_events;
    int m_eventBound = DefaultEventBound;
    bool m_overflowReported = false;
    QStringList m_dirtyOrder;
    QSet<QString> m_dirty;
    QSet<QString> m_cleared;
    // Discovery waits behind the devices' state and the events: at connect every device's state goes out
    // first, so a subscriber holds the whole network soonest.
    QStringList m_announceOrder;
    QSet<QString> m_toAnnounce;
    QHash<QString, QString> m_announced; // MAC -> what its discovery carries (announcedAs), on this connection
    std::optional<bool> m_intruderOnline;
    QByteArray m_sight = QByteArrayLiteral("watching");
};
