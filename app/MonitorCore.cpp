#include "app/MonitorCore.h"
#include "app/MonitorWeb.h"

#include "app/DeviceActions.h"
#include "app/StoreFollower.h"
#include "channels/Channels.h"
#include "engine/AddressText.h"
#include "engine/Describer.h"
#include "engine/DiscoveryEngine.h"
#include "mqtt/MqttPublisher.h"
#include "notify/AlertMails.h"
#include "notify/AlertNameWait.h"
#include "notify/AlertPolicy.h"
#include "notify/SmtpClient.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "platform/Hive.h"
#include "platform/NetPlatform.h"
#include "platform/SleepSignal.h"
#include "security/HomePrivacy.h"
#include "store/IniFile.h"
#include "store/KeyStore.h"
#include "store/PresenceStore.h"
#include "store/Settings.h"
#include "vendor/MacVendors.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

const QString MonitorCore::InvalidInstallationMessage = QStringLiteral(
    "Kestrelwatch installation is invalid. Please log on with administrative privilages and re-install Kestrelwatch.");

MonitorCore::MonitorCore(AppPaths paths)
    : m_paths(std::move(paths))
    , m_lock(m_paths.lockFile())
    , m_debugLog(m_settings, m_paths.debugLogFile())
    , m_deviceLog(m_devices, m_paths.devices())
    , m_actions(m_devices)
{
    // The user's actions that leave a line of their own in a device's history.
    m_actions.setHistoryHook([this](const QString& mac, const QString& text) {
        m_deviceLog.AddLogEntry(mac, DeviceLog::stamp(kwclock::now()) + text);
    });
}

MonitorCore::~MonitorCore()
{
    delete m_instanceServer;
    shutdown();
    KeyStore::attach(nullptr);
    installLogSink({});
}

MonitorCore::Outcome MonitorCore::claimInstance(std::function<void(const QString&)> extraSink)
{
    m_debugLog.installAsSink(std::move(extraSink));
    const QString problem = m_paths.prepareHome();
    if (!problem.isEmpty())
        return {Step::Fatal, QStringLiteral("Kestrelwatch cannot use its folder %1: %2").arg(m_paths.home, problem)};
    // A lock left by a crashed monitor is taken over: QLockFile checks whether its process still lives.
    m_lock.setStaleLockTime(0);
    if (!m_lock.tryLock(0)) {
        QLocalSocket peer;
        peer.connectToServer(instanceSocket());
        if (peer.waitForConnected(1000)) {
            peer.write("raise\n");
            peer.waitForBytesWritten(1000);
            peer.disconnectFromServer();
        }
        return {Step::AlreadyRunning, {}};
    }
    listenForSecondCopies();
    return {};
}

void MonitorCore::listenForSecondCopies()
{
    // The lock is ours, so a socket file left here belongs to a monitor that has ended.
    QLocalServer::removeServer(instanceSocket());
    m_instanceServer = new QLocalServer();
    m_instanceServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_instanceServer->listen(instanceSocket())) {
        Log(kwMonitor,
            QStringLiteral("claimInstance - a second copy cannot reach this one: ") + m_instanceServer->errorString());
        return;
    }
    QObject::connect(m_instanceServer, &QLocalServer::newConnection, m_instanceServer, [this] {
        while (QLocalSocket* peer = m_instanceServer->nextPendingConnection()) {
            QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                if (peer->readAll().startsWith("raise") && m_onRaise)
                    m_onRaise();
            });
        }
    });
}

MonitorCore::Outcome MonitorCore::openStore()
{
    Hive::OpenResult opened = Hive::open(m_paths.hiveFile());
    if (!opened.hive)
        return {Step::Fatal, opened.error};
    m_hive = std::move(opened.hive);
    // Started at login, the program must open this same store: a folder other than the default one is named.
    if (m_paths.home != AppPaths::resolveHome(QString()) || qEnvironmentVariableIsSet("KESTRELWATCH_HOME"))
        m_hive->setAutostartArguments({QStringLiteral("--home"), QDir(m_paths.home).absolutePath()});
    KeyStore::attach(m_hive.get());
    if (!HomePrivacy::makeHomePrivate(m_paths))
        return {Step::Fatal, InvalidInstallationMessage};
    return {};
}

void MonitorCore::loadInstallation()
{
    IniFile::loadConfigSections(m_paths.configIni());
    m_startTime = kwclock::now();
    m_vendors = std::make_unique<MacVendors>(m_paths.macDatabase());
    m_extraLogging = IniFile::dbGetEntry(QStringLiteral("GENERAL"), QStringLiteral("LogExtra"), QStringLiteral("0"))
                         .trimmed()
                         .toDouble()
        != 0.0;
    m_mail = std::make_unique<SmtpClient>(m_settings);
    m_alertMails = std::make_unique<AlertMails>(
        *m_mail, m_devices, m_deviceLog, m_settings, [this](const QString& mac) { return vendorName(mac); });
}

void MonitorCore::loadSignatures()
{
    QStringList problems;
    const QString file = m_paths.share + QStringLiteral("device-signatures.txt");
    SignatureTable table = SignatureTable::load(file, &problems);
    for (const QString& problem : std::as_const(problems))
        Log(kwMonitor, QStringLiteral("Startup - device signatures: ") + problem);
    Log(kwMonitor, QStringLiteral("Startup - %1 device signatures from %2").arg(table.size()).arg(file));
    m_engine->describer().setSignatures(std::move(table));
    m_engine->describer().setMakerLookup([this](const QString& mac) { return vendorName(mac); });
}

QString MonitorCore::vendorName(const QString& mac) const
{
    return m_vendors ? m_vendors->GetMacName(mac) : QString();
}

void MonitorCore::loadRegistry()
{
    const PinnedTimeZone zone; // every device's dates are read here
    loadStore(m_settings, m_devices, m_paths.debugLogFile(), OldDates::Rewrite);
    if (m_mqtt)
        m_mqtt->republishAll();
}

void MonitorCore::startEngine(std::unique_ptr<NetPlatform> net, const std::function<void()>& subscribe)
{
    const PinnedTimeZone zone; // the engine's first look at every device converts its dates
    m_net = std::move(net);
    m_mqtt =
        std::make_unique<MqttPublisher>(m_devices, m_settings, [this](const QString& mac) { return vendorName(mac); });
    m_mqtt->setCommandHandler(
        [this](const QString& mac, const MqttCommand& command) { applyMqttCommand(mac, command); });
    m_mqtt->setTrustAllHandler([this] {
        const OriginScope origin(m_actions, DeviceEvent::Origin::Mqtt);
        const auto n = m_actions.trustAllOnline([](const DeviceRecord& d) { return d.isOnline(); });
        Log(kwMqtt,
            QStringLiteral("MQTT - trust everything online now: %1 of %2 devices moved to the safe list or "
                           "acknowledged")
                .arg(n.changed())
                .arg(n.online));
    });
    m_mqtt->refresh();
    m_alertPolicy = std::make_unique<AlertPolicy>(m_settings);
    m_alertPolicy->setInterfaceLookup([this](const QString& ip) { return interfaceOf(ip); });
    m_alertNameWait = std::make_unique<AlertNameWait>(m_devices);
    m_alertPolicy->setWatchLookup([this](const QString& mac) {
        const DeviceRecord* d = m_devices.find(mac);
        return d ? d->Watch : quint8(0);
    });
    m_alertPolicy->setSafeLookup([this](const QString& mac) {
        const DeviceRecord* d = m_devices.find(mac);
        return d && !d->Intruder;
    });
    m_channels =
        std::make_unique<Channels>(m_settings, m_devices, [this](const QString& mac) { return vendorName(mac); });
    m_channels->openQueue(m_paths.home + QStringLiteral("channels.db"));
    m_engine = std::make_unique<DiscoveryEngine>(m_devices, *m_net);
    loadSignatures();
    // Presence is a record of its own: a file it cannot open costs the timelines, not the monitor.
    PresenceStore::OpenResult presence = PresenceStore::open(m_paths.presenceFile(), kwclock::now());
    m_presence = std::move(presence.store);
    m_actions.setMergeFiles(m_paths.devices(), m_presence.get());
    if (!m_presence)
        Log(kwMonitor, QStringLiteral("Startup - ") + presence.error);
    else
        QObject::connect(m_engine.get(), &DiscoveryEngine::harvested, m_engine.get(),
            [this] { m_presence->confirm(kwclock::now()); });
    // The front end hears each event first, so that whatever an alert shows (the window's row of a newcomer)
    // is already drawn when the alert comes.
    if (subscribe)
        subscribe();
    // Then the history: an alert mail carries its tail. The policy before MQTT: a storm holds back the
    // admissions' events, which its digest sums up.
    onDeviceEvent(m_engine.get(), [this](const DeviceEvent& event) {
        m_deviceLog.record(event);
        m_alertPolicy->deviceEvent(event);
        m_mqtt->deviceEvent(event, m_alertPolicy->inStorm());
        m_alertNameWait->deviceEvent(event);
        if (m_presence)
            m_presence->deviceEvent(event);
        mergeIfReturning(event);
    });
    // Mail, notifications and the push channels wait for the device's name; MQTT and the front ends' sound
    // and pop-up do not.
    QObject::connect(m_alertNameWait.get(), &AlertNameWait::ready, m_alertNameWait.get(), [this](const Alert& alert) {
        if (m_alertMails)
            m_alertMails->alertRaised(alert);
        m_channels->alertRaised(alert);
    });
    QObject::connect(m_alertPolicy.get(), &AlertPolicy::alertRaised, m_alertPolicy.get(), [this](const Alert& alert) {
        if (alert.mail || alert.notify || alert.push)
            m_alertNameWait->hold(alert);
        if (alert.kind == Alert::Kind::Storm)
            m_mqtt->stormDigest(
                alert.time, alert.count, alert.interfaceName, alert.firstAddress, alert.lastAddress, alert.stormText());
    });
    wireMetrics();
    wireSight();
    m_web = std::make_unique<MonitorWeb>(*this);
    m_webProblem = m_web->start();
    if (!m_webProblem.isEmpty())
        Log(kwWeb, QStringLiteral("Web - ") + m_webProblem);
    onDeviceEvent(m_engine.get(), [this](const DeviceEvent& event) { m_web->deviceEvent(event); });
    if (m_mail)
        m_mail->startPolling();
    if (m_hive) {
        m_follower = std::make_unique<StoreFollower>(*m_hive, m_devices, m_actions);
        // Every reader reads the live settings when it needs them (MQTT checks each second), so reading them
        // again is all a setting changed elsewhere needs.
        m_follower->setSettingsHook([this] { loadSettings(m_settings, m_paths.debugLogFile()); });
        m_follower->start();
    }
    m_engine->Load();
}

QString MonitorCore::interfaceOf(const QString& ip) const
{
    const QStringList target = ip.split(QLatin1Char('.'));
    if (!m_net || target.size() != 4)
        return {};
    const std::optional<QList<AdapterInfo>> adapters = m_net->adapters();
    for (const AdapterInfo& adapter : adapters.value_or(QList<AdapterInfo>())) {
        for (const AdapterAddress& a : adapter.addresses) {
            const QStringList own = a.ip.split(QLatin1Char('.'));
            const QStringList mask = a.mask.split(QLatin1Char('.'));
            bool same = own.size() == 4 && mask.size() == 4;
            for (int b = 0; same && b < 4; ++b)
                same = (own[b].toInt() & mask[b].toInt()) == (target[b].toInt() & mask[b].toInt());
            if (same)
                return adapter.name;
        }
    }
    return {};
}

void MonitorCore::onDeviceEvent(QObject* receiver, const std::function<void(const DeviceEvent&)>& handler)
{
    QObject::connect(m_engine.get(), &DiscoveryEngine::deviceEvent, receiver, handler);
    QObject::connect(&m_actions, &DeviceActions::deviceEvent, receiver, handler);
}

void MonitorCore::mergeIfReturning(const DeviceEvent& event)
{
    const bool likely = event.kind == DeviceEvent::Kind::LikelyReturn
        || (event.kind == DeviceEvent::Kind::Admitted && !event.earlierMac.isEmpty());
    if (!likely || !m_settings.devices.mergeReturning)
        return;
    // After every subscriber has had the event: the merge removes the earlier device.
    QTimer::singleShot(0, m_engine.get(), [this, earlier = event.earlierMac, mac = event.mac] {
        QString refusal;
        if (m_actions.merge(earlier, mac, &refusal))
            Log(kwStore,
                QStringLiteral("Merge - %1 is likely %2 back with a new address; merged, as "
                               "MergeReturningDevices asks")
                    .arg(mac, earlier));
    });
}

void MonitorCore::applyMqttCommand(const QString& mac, const MqttCommand& command)
{
    const OriginScope origin(m_actions, DeviceEvent::Origin::Mqtt);
    QStringList done;
    if (command.name && m_actions.Rename(mac, *command.name))
        done << QStringLiteral("renamed");
    if (command.acknowledge && m_actions.Acknowledge(mac))
        done << QStringLiteral("acknowledged");
    if (command.safe == true && m_actions.MoveToSafe(mac))
        done << QStringLiteral("moved to the safe list");
    if (command.safe == false && m_actions.MoveToIntruders(mac))
        done << QStringLiteral("moved to the intruder list");
    if (command.watch && m_actions.SetWatch(mac, *command.watch))
        done << QStringLiteral("watch set");
    // Last: a merge closes the older device's slot.
    QString refusal;
    if (command.mergeFrom)
        done << (m_actions.merge(*command.mergeFrom, mac, &refusal)
                ? QStringLiteral("merged with ") + *command.mergeFrom
                : QStringLiteral("not merged: ") + refusal);
    if (done.isEmpty())
        Log(kwMqtt, QStringLiteral("MQTT - command for %1 changed nothing").arg(mac));
    else
        Log(kwMqtt, QStringLiteral("MQTT - command for %1: %2").arg(mac, done.join(QStringLiteral(", "))));
}

MonitorCore::SweepState MonitorCore::sweepState() const
{
    SweepState state;
    state.sweeping = m_engine && m_engine->socketOpen();
    state.problem = m_net->privilegeProblem();
    if (!state.sweeping && state.problem.isEmpty())
        state.problem = QStringLiteral("Kestrelwatch is not sweeping the network because it could not open its "
                                       "echo socket; see the debug log");
    return state;
}

QStringList MonitorCore::watchedRanges() const
{
    QStringList texts;
    if (!m_engine || !m_net)
        return texts;
    const std::optional<QList<AdapterInfo>> adapters = m_net->adapters();
    const QList<ScanRange>& ranges = m_engine->ranges();
    for (qint32 r = 0; r < ranges.size(); ++r) {
        const ScanRange& range = ranges.at(r);
        QString where;
        for (const AdapterInfo& adapter : adapters.value_or(QList<AdapterInfo>())) {
            for (const AdapterAddress& a : adapter.addresses) {
                const auto ip = AddressText::parseIPv4(a.ip);
                if (where.isEmpty() && ip && range.contains(AddressText::toNumber(*ip)))
                    where = adapter.name;
            }
        }
        texts << m_engine->rangeText(r) + (where.isEmpty() ? QString() : QStringLiteral(" on ") + where);
    }
    return texts;
}

bool MonitorCore::markInstalled(bool registerAutostart)
{
    const bool firstRun =
        KeyStore::readString(KeyStore::ProductKey, Keys::General, QStringLiteral("Installed")) != QLatin1String("Yes");
    // Demonstrations and tests run with KESTRELWATCH_NO_AUTOSTART: a throw-away store never starts at login.
    if (firstRun && registerAutostart && !qEnvironmentVariableIsSet("KESTRELWATCH_NO_AUTOSTART")) {
        if (const auto program = autostartProgram(QCoreApplication::applicationFilePath())) {
            KeyStore::writeString(Keys::RunProduct, Keys::RunKey, Keys::RunValue, *program);
            m_settings.window.startAtLogin = true;
        }
    }
    writeSetting(QStringLiteral("Installed"), QStringLiteral("Yes"));
    return firstRun;
}

void MonitorCore::shutdown()
{
    m_follower.reset();
    // The open intervals end where the monitor stops watching.
    if (m_presence)
        m_presence->confirm(kwclock::now(), true);
    if (m_mail)
        m_mail->stopPolling();
    if (m_engine)
        m_engine->Shutdown();
    if (m_mqtt)
        m_mqtt->stop();
    m_vendors.reset();
}
