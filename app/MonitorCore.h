#pragma once

#include "app/DeviceActions.h"
#include "logging/DebugLog.h"
#include "logging/DeviceLog.h"
#include "metrics/Metrics.h"
#include "platform/AppPaths.h"
#include "store/Base64.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"

#include <QDateTime>
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

class AlertMails;
class AlertNameWait;
class AlertPolicy;
class SmtpClient;
class Channels;
class MacVendors;
class Hive;
class MonitorWeb;
class MqttPublisher;
class NetPlatform;
class PresenceStore;
class SleepSignal;
class QLocalServer;
class StoreFollower;
struct MqttCommand;
class DiscoveryEngine;

// Everything the monitor runs on, window or not: the store, the settings, the device table and histories,
// the debug log, the vendor database, the mailer and the discovery engine, set up by the start-up steps in
// their order. The device events of the engine and of the user's actions (DeviceActions) go to the core's
// subscribers, connected once here: the history (DeviceLog), the alert policy and, through it, the mail and the
// push channels; MQTT; the presence intervals. The
// window (MainWindow) and the headless front end each drive these steps and subscribe to the events and alerts to
// redraw, play sounds and pop up.
class MonitorCore final
{
public:
    enum class Step { Ok, AlreadyRunning, Fatal };
    struct Outcome
    {
        Step step = Step::Ok;
        QString message; // for Fatal: what the user is shown
    };

    static const QString InvalidInstallationMessage;

    explicit MonitorCore(AppPaths paths);
    ~MonitorCore();
    MonitorCore(const MonitorCore&) = delete;
    MonitorCore& operator=(const MonitorCore&) = delete;

    // Single instance (one monitor per store) and the system check. Installs the debug log as the process's
    // log sink first, so that every later step's lines are kept; extraSink also receives each line.
    // The monitor that holds the store listens on a local socket in the writable folder; a second copy finds
    // it there and asks it to bring its window to the front (onRaise runs in the first copy).
    Outcome claimInstance(std::function<void(const QString&)> extraSink = {});
    void setRaiseHandler(std::function<void()> onRaise) { m_onRaise = std::move(onRaise); }
    QString instanceSocket() const { return m_paths.home + QStringLiteral("kestrelwatch.sock"); }
    // Opens the store, sets up access rights and checks that the store takes a write.
    Outcome openStore();
    // Config.ini sections, the start time, the vendor database, the mailer.
    void loadInstallation();
    // loadStore: every setting and every stored device with its history.
    void loadRegistry();
    // Creates the MQTT publisher, the alert policy and the engine on the given platform, lets the front end
    // subscribe (engine() and alertPolicy() exist then), connects the core's subscribers, and loads the engine
    // (opens the socket, starts the first sweep). The mailer starts polling.
    void startEngine(std::unique_ptr<NetPlatform> net, const std::function<void()>& subscribe = {});
    // Subscribes a front end to every device event, the engine's and the user's actions' alike (before the
    // core's subscribers, so its rows exist when the alerts come); call it from startEngine's subscribe step.
    void onDeviceEvent(QObject* receiver, const std::function<void(const DeviceEvent&)>& handler);
    // The interface whose first address's range holds ip, or empty.
    QString interfaceOf(const QString& ip) const;
    // First-run marker; returns true when this was the first run. registerAutostart writes the Run value on
    // the first run, pointing at the installed program; the desktop asks the user instead and passes false.
    bool markInstalled(bool registerAutostart);
    // Whether the engine sweeps, and when it cannot sweep or prune, why: one sentence that ends with the
    // command that fixes it. The window and the headless front end show it; never "all clear" without a sweep.
    struct SweepState
    {
        bool sweeping = false;
        QString problem;
    };
    SweepState sweepState() const;
    // One text per swept range with the interface it lies on, e.g. "198.18.0.0 to 198.18.0.255 on eth0".
    QStringList watchedRanges() const;
    // The system's sleep signal the engine hears; logind's on the system bus unless one was set before startEngine.
    void setSleepSignal(std::unique_ptr<SleepSignal> signal);
    SleepSignal* sleepSignal() { return m_sleep.get(); }
    // The engine's part of the orderly shutdown: stops it, closes its socket, releases the vendor database.
    void shutdown();

    const AppPaths& paths() const { return m_paths; }
    LiveSettings& settings() { return m_settings; }
    DeviceStore& devices() { return m_devices; }
    DebugLog& debugLog() { return m_debugLog; }
    DeviceLog& deviceLog() { return m_deviceLog; }
    DeviceActions& actions() { return m_actions; }
    const Base64& base64() const { return m_base64; }
    MacVendors* vendors() { return m_vendors.get(); }
    SmtpClient* mail() { return m_mail.get(); }
    AlertMails* alertMails() { return m_alertMails.get(); }
    AlertPolicy* alertPolicy() { return m_alertPolicy.get(); }
    // The policy's alerts again once their device is named (at most 3 s later): for mail and notifications.
    AlertNameWait* alertNameWait() { return m_alertNameWait.get(); }
    DiscoveryEngine* engine() { return m_engine.get(); }
    MqttPublisher* mqtt() { return m_mqtt.get(); }
    // Takes into memory what kestrelwatch-ctl changes in the store while the monitor runs (from startEngine).
    StoreFollower* storeFollower() { return m_follower.get(); }
    Channels* channels() { return m_channels.get(); }
    Hive* hive() { return m_hive.get(); }
    // The figures /metrics serves; other parts count through its add() (channel deliveries, ...).
    Metrics& metrics() { return m_metrics; }
    // Who was online when; null when its file could not be opened (a log line said why).
    PresenceStore* presence() { return m_presence.get(); }
    // The web page's server (MonitorWeb), started by startEngine when --web or WebListen asks; why it does not
    // serve when it was asked to, else empty.
    MonitorWeb* web() { return m_web.get(); }
    QString webProblem() const { return m_webProblem; }
    bool extraLogging() const { return m_extraLogging; }
    QDateTime startTime() const { return m_startTime; }
    QString vendorName(const QString& mac) const;
    // The signature table from the share folder into the engine's describer, with the vendor lookup.
    void loadSignatures();

private:
    void listenForSecondCopies();
    // Declares the figures and connects what counts them (MonitorMetrics.cpp); from startEngine.
    void wireMetrics();
    // What the monitor can see reaches the presence record, MQTT and the metrics (MonitorSight.cpp); from startEngine.
    void wireSight();
    // A likely return merged into its earlier device when MergeReturningDevices is on.
    void mergeIfReturning(const DeviceEvent& event);
    void applyMqttCommand(const QString& mac, const MqttCommand& command);

    AppPaths m_paths;
    QLockFile m_lock;
    QLocalServer* m_instanceServer = nullptr;
    std::function<void()> m_onRaise;
    std::unique_ptr<Hive> m_hive;
    LiveSettings m_settings;
    DeviceStore m_devices;
    DebugLog m_debugLog;
    DeviceLog m_deviceLog;
    DeviceActions m_actions;
    Metrics m_metrics; // before the engine, whose events count here until it ends
    Base64 m_base64;
    std::unique_ptr<MacVendors> m_vendors;
    std::unique_ptr<SmtpClient> m_mail;
    std::unique_ptr<AlertMails> m_alertMails;
    std::unique_ptr<NetPlatform> m_net;
    std::unique_ptr<MqttPublisher> m_mqtt;
    std::unique_ptr<AlertPolicy> m_alertPolicy;
    std::unique_ptr<AlertNameWait> m_alertNameWait;
    std::unique_ptr<Channels> m_channels;
    std::unique_ptr<PresenceStore> m_presence;
    std::unique_ptr<DiscoveryEngine> m_engine;
    std::unique_ptr<SleepSignal> m_sleep;
    std::unique_ptr<StoreFollower> m_follower;
    std::unique_ptr<MonitorWeb> m_web; // last: its streams name devices of the table above
    QString m_webProblem;
    bool m_extraLogging = false;
    QDateTime m_startTime;
};
