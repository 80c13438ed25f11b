// The monitor against Debian's mosquitto on loopback, watched with mosquitto_sub, commanded with mosquitto_pub:
// the engine runs on FakeNetPlatform behind the real MonitorCore, so events take the program's own road. A login,
// an ACL and TLS against the trust store (a CA made here stands in for the system's) are the broker's protection.
#include "EngineRig.h"
#include "FakeNetPlatform.h"
#include "Process.h"
#include "Skip.h"
#include "TestHome.h"
#include "app/MonitorCore.h"
#include "engine/DiscoveryEngine.h"
#include "mqtt/MqttPublisher.h"
#include "platform/Clock.h"
#include "platform/SleepSignal.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/PresenceStore.h"
#include "store/Settings.h"

#include <QTcpServer>
#include <QtTest>

namespace {
const QString kMac = QStringLiteral("02-AA-00-00-00-0C");
const QString kRoot = QStringLiteral("kestrelwatch/lab");
const QString kState = kRoot + QStringLiteral("/devices/") + kMac + QLatin1Char('|');
const QString kTracker = QStringLiteral("homeassistant/device_tracker/kestrelwatch_lab_02-AA-00-00-00-0C/config|");
// Debian's mosquitto on a free loopback port with a configuration of its own (no persistence: a restart
// forgets everything), and the arguments that point its clients at it.
struct Broker
{
    quint16 port = 0;
    std::unique_ptr<kwtest::Process> process;

    bool start(const QString& dir, const QString& extra, quint16 samePort = 0)
    {
        QTcpServer probe;
        port = samePort ? samePort : (probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0);
        probe.close();
        QFile conf(dir + QStringLiteral("/mosquitto-%1.conf").arg(port));
        conf.open(QIODevice::WriteOnly);
        conf.write(("listener " + QString::number(port) + " 127.0.0.1\npersistence false\n" + extra + '\n').toUtf8());
        conf.close();
        process = std::make_unique<kwtest::Process>();
        process->start("mosquitto", {"-c", conf.fileName()});
        return !process->waitForLine(QRegularExpression("running"), 0, 30000, kwtest::Process::Err).isEmpty();
    }
    QStringList args(QStringList more) const
    {
        return QStringList {"-h", "127.0.0.1", "-p", QString::number(port)} + more;
    }
};
} // namespace

class TestMqttBroker : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    QTemporaryDir m_dir;
    Broker m_broker;
    std::unique_ptr<kwtest::Process> m_sub;
    ManualClock m_clock {QDateTime()};
    std::unique_ptr<MonitorCore> m_core;
    FakeNetPlatform* m_net = nullptr;
    int m_harvests = 0;
    QStringList m_logs;
    bool m_subscribed = false;

    kwtest::Process& subscribe()
    {
        m_sub = std::make_unique<kwtest::Process>();
        // mosquitto_sub writes its debug lines through stdio without flushing: into a pipe they would wait in
        // its buffer until a message arrives, so its output is line-buffered.
        m_sub->start(QStringLiteral("stdbuf"),
            QStringList {"-oL", "mosquitto_sub"} + m_broker.args({"-d", "-F", "%t|%p", "-t", "#", "-q", "1"}));
        // Messages that are not retained reach only a subscription in place: its SUBACK says so. A loaded
        // machine can take seconds to start the client, so the wait is long and its outcome checked.
        m_subscribed = !m_sub->waitForLine(QRegularExpression(QStringLiteral("received SUBACK")), 0, 30000).isEmpty();
        return *m_sub;
    }
    bool saw(const QString& text, qsizetype from) { return !m_sub->linesAfter(from, text).isEmpty(); }
    int pub(const QString& topic, const QString& payload)
    {
        return kwtest::run("mosquitto_pub", m_broker.args({"-q", "1", "-t", topic, "-m", payload})).code;
    }
    void sweep()
    {
        const int before = m_harvests;
        for (int i = 0; i < 600 && m_harvests == before; ++i) {
            m_clock.advanceMSecs(100);
            m_core->engine()->sweepTick();
        }
    }
    // The device comes online and is stored.
    bool admit()
    {
        m_net->addNeighbour(kMac, QStringLiteral("198.18.0.12"));
        sweep();
        return QTest::qWaitFor([this] { return !stored("Intruder").isEmpty(); });
    }
    QString stored(const char* value) const
    {
        return KeyStore::readString(KeyStore::ProductKey, Keys::deviceKey(kMac), QLatin1String(value));
    }
    bool connectedNow()
    {
        MqttConnection& c = m_core->mqtt()->connection();
        if (c.nextAttempt().isValid()) { // the back-off runs out
            m_clock.set(c.nextAttempt());
            c.tick();
        }
        return c.isConnected();
    }
    // Events are not retained: the broker's own log counts what reached it.
    qsizetype eventsReceived() const
    {
        return m_broker.process->linesAfter(0, QStringLiteral("'kestrelwatch/lab/events'"), kwtest::Process::Err)
            .filter(QStringLiteral("Received PUBLISH"))
            .size();
    }
    QString logsFrom(qsizetype from) const { return m_logs.mid(from).join(QLatin1Char('\n')); }
    QString file(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        if (QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"}).isEmpty())
            KW_SKIP("mosquitto is not installed");
        // Two CAs, a server certificate for localhost signed by the first, three broker users and their ACL.
        // A broker started as root reads these files as the unprivileged user "mosquitto".
        QVERIFY(kwtest::run("sh", {"-ec", "cd " + m_dir.path() + R"( && chmod 755 . && for ca in ca otherca; do
            openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=$ca -keyout $ca.key -out $ca.pem; done
            openssl req -newkey rsa:2048 -nodes -subj /CN=localhost -keyout server.key -out server.csr
            echo subjectAltName=DNS:localhost > ext.cnf
            openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile ext.cnf \
                -out server.pem
            : > passwd; for user in monitor admin viewer; do mosquitto_passwd -b passwd $user $user-secret; done
            printf 'user monitor\ntopic readwrite kestrelwatch/#\ntopic write homeassistant/#\n' > acl
            printf 'user admin\ntopic write kestrelwatch/+/set/#\nuser viewer\ntopic read kestrelwatch/#\n' >> acl
            chmod 644 *)"})
                    .code
            == 0);
    }

    // Each test has its own home, broker and monitor: none depends on what another left behind.
    void init()
    {
        QVERIFY(m_broker.start(m_dir.path(), QStringLiteral("allow_anonymous true\nlog_type all")));
        m_clock.set(QDateTime(QDate(2026, 12, 5), QTime(22, 0), Qt::UTC));
        kwclock::install(&m_clock);
        m_home = std::make_unique<TestHome>();
        m_logs.clear();
        m_core = std::make_unique<MonitorCore>(m_home->paths());
        QCOMPARE(m_core->claimInstance([this](const QString& l) { m_logs << l; }).step, MonitorCore::Step::Ok);
        QCOMPARE(m_core->openStore().step, MonitorCore::Step::Ok);
        m_core->loadInstallation();
        m_core->loadRegistry();
        m_core->settings().mqtt.server = QStringLiteral("127.0.0.1:%1").arg(m_broker.port);
        m_core->settings().mqtt.sensor = QStringLiteral("lab");
        auto net = std::make_unique<FakeNetPlatform>();
        m_net = net.get();
        m_net->addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
        m_core->startEngine(std::move(net),
            [this] { connect(m_core->engine(), &DiscoveryEngine::harvested, this, [this] { ++m_harvests; }); });
        m_core->engine()->pingTimer().stop();
        QTRY_VERIFY(m_core->mqtt()->connection().isConnected());
    }
    void cleanup()
    {
        m_sub.reset();
        m_core.reset();
        m_broker.process.reset();
        kwclock::install(nullptr);
    }

    void admissionAndDeparture()
    {
        const qsizetype from = subscribe().cursor();
        QVERIFY(m_subscribed);
        QVERIFY(admit());
        QTRY_VERIFY(saw(kState + R"({"acknowledged":false,)", from) && saw(R"("intruder":true)", from));
        QTRY_VERIFY(saw(R"("online":true)", from) && saw(R"("ip":"198.18.0.12")", from));
        QTRY_VERIFY(saw(kRoot + R"(/events|{"kind":"admission")", from) && saw(R"("kind":"connected","mac":)", from));
        QTRY_VERIFY(saw(kTracker + "{", from) && saw(kRoot + "/intruder_online|ON", from));

        const qsizetype gone = m_sub->cursor();
        m_net->clearNeighbours();
        sweep(), sweep();
        QTRY_VERIFY(saw(R"("kind":"disconnected")", gone) && saw(R"("online":false)", gone));
        QTRY_VERIFY(saw(kRoot + "/intruder_online|OFF", gone));
    }

    // A blind monitor is told from an empty network: the retained sight topic and the metrics say so, and the
    // present device's stay in the presence record ends where it was last seen, with no event.
    void blindMonitorSaysSo()
    {
        QVERIFY(admit());
        // The admission's two events reach the broker before the subscriber that must hear none.
        QTRY_VERIFY(eventsReceived() == 2 && m_core->mqtt()->connection().pending() == 0);
        const QDateTime lastSeen = m_core->devices().find(kMac)->LastSeen;
        const qsizetype from = subscribe().cursor();
        QVERIFY(m_subscribed);
        QTRY_VERIFY(saw(kRoot + "/sight|watching", 0)); // retained: it may come with the SUBACK
        const QList<AdapterInfo> adapters = m_net->scriptedAdapters();
        m_net->scriptedAdapters().clear();
        for (int s = 0; s < 8; ++s)
            sweep();
        QTRY_VERIFY(saw(kRoot + "/sight|not_connected", from));
        QCOMPARE(m_core->metrics().value(QStringLiteral("kestrelwatch_blind")), 1.0);
        QVERIFY(m_core->metrics().value(QStringLiteral("kestrelwatch_blind_seconds_total")) >= 30);
        QVERIFY(m_core->devices().find(kMac)->isOnline());
        const QList<PresenceInterval> stays = m_core->presence()->intervals(kMac, lastSeen.addDays(-1), m_clock.now());
        QVERIFY(!stays.isEmpty() && !stays.last().open);
        QCOMPARE(stays.last().to, lastSeen);
        QVERIFY(!m_core->presence()->intervals(PresenceStore::MonitorAway, lastSeen, m_clock.now()).isEmpty());

        m_net->scriptedAdapters() = adapters;
        const qsizetype asleep = m_sub->cursor();
        Q_EMIT m_core->sleepSignal()->prepareForSleep(true);
        QTRY_VERIFY(saw(kRoot + "/sight|waking_up", asleep));
        Q_EMIT m_core->sleepSignal()->prepareForSleep(false);
        for (int s = 0; s < 3; ++s) {
            m_net->addNeighbour(kMac, QStringLiteral("198.18.0.12"));
            sweep();
        }
        QTRY_VERIFY(saw(kRoot + "/sight|watching", asleep));
        QCOMPARE(m_core->metrics().value(QStringLiteral("kestrelwatch_blind")), 0.0);
        QVERIFY(!saw(R"("kind":"disconnected")", from) && !saw(R"("kind":"connected")", from));
        QVERIFY(m_core->presence()->intervals(kMac, lastSeen, m_clock.now(), m_clock.now()).last().open);
    }

    void commands()
    {
        QVERIFY(admit());
        const QString topic = kRoot + QStringLiteral("/set/") + kMac;
        // Each command reaches its action (whose effect tst_mainwindow_lists shows): payload, the log line it gives.
        const char* rows[][2] = {
            {R"({"acknowledge":true,"remove":true})", "unknown field \"remove\"; nothing changed"},
            {R"({"acknowledge":true})", "acknowledged"},
            {R"({"name":"Printer"})", "renamed"},
            {R"({"safe":true})", "moved to the safe list"},
            {R"({"safe":false})", "moved to the intruder list"},
        };
        for (const auto& row : rows) {
            const qsizetype logs = m_logs.size();
            QCOMPARE(pub(topic, QLatin1String(row[0])), 0);
            QTRY_VERIFY2(logsFrom(logs).contains(QLatin1String(row[1])), row[1]);
        }
        const qsizetype logs = m_logs.size();
        QCOMPARE(pub(kRoot + QStringLiteral("/set/02-AA-00-00-00-0D"), R"({"acknowledge":true})"), 0);
        QTRY_VERIFY(logsFrom(logs).contains(QLatin1String("unknown device 02-AA-00-00-00-0D")));
        // One command trusts every device online now, each moved with a history line that says who did it.
        const qsizetype trusted = m_logs.size();
        QCOMPARE(pub(kRoot + QStringLiteral("/set/all"), R"({"trust_all":true})"), 0);
        QTRY_VERIFY(logsFrom(trusted).contains(QLatin1String("trust everything online now: 1 of 1 devices")));
        QVERIFY(
            m_core->deviceLog().history(kMac).contains(QLatin1String("Moved to the safe list (by an MQTT command)")));
        subscribe(); // retained: the device's state as the commands left it
        QTRY_VERIFY(saw(R"("acknowledged":true)", 0) && saw(R"("friendly_name":"Printer")", 0));
    }

    // The broker goes away and comes back empty: the queued events arrive (the oldest dropped beyond the
    // bound) and every retained state is there again.
    void brokerRestart()
    {
        QVERIFY(admit());
        // The admission's two events have reached this broker and nothing waits for its acknowledgement.
        QTRY_VERIFY(eventsReceived() == 2 && m_core->mqtt()->connection().pending() == 0);
        m_broker.process.reset();
        QTRY_VERIFY(!m_core->mqtt()->connection().isConnected());
        QVERIFY(!connectedNow());
        m_core->mqtt()->setEventBound(2); // of three address changes the last two stay
        const qsizetype logs = m_logs.size();
        for (const char* ip : {"198.18.0.13", "198.18.0.12", "198.18.0.13"}) {
            m_net->clearNeighbours();
            m_net->addNeighbour(kMac, QLatin1String(ip));
            sweep();
        }
        QCOMPARE(m_core->mqtt()->queuedEvents(), 2);
        QVERIFY(logsFrom(logs).contains(QLatin1String("2 events wait for the broker")));
        QVERIFY(m_broker.start(m_dir.path(), QStringLiteral("allow_anonymous true\nlog_type all"), m_broker.port));
        subscribe();
        QVERIFY(m_subscribed);
        QTRY_VERIFY(connectedNow());
        QTRY_VERIFY(saw(kState + "{", 0) && saw(kRoot + "/status|online", 0));
        // The monitor may reconnect before the subscriber is in place.
        QTRY_COMPARE(eventsReceived(), 2);
        QVERIFY(!saw(R"("kind":"connected")", 0));
    }

    // The certificate is checked against the trust store and the name typed (the name is looked up first, so
    // the connection itself goes to an address): a store without the broker's CA refuses it, and so does an
    // address the certificate does not name.
    void tlsAgainstTrustStore()
    {
        Broker tls;
        QVERIFY(tls.start(m_dir.path(),
            "allow_anonymous true\ncafile " + file("ca.pem") + "\ncertfile " + file("server.pem") + "\nkeyfile "
                + file("server.key")));
        const struct
        {
            const char* store;
            const char* host;
            bool accepted;
        } cases[] = {
            {"otherca.pem", "localhost", false}, {"ca.pem", "localhost", true}, {"ca.pem", "127.0.0.1", false}};
        for (const auto& c : cases) {
            qputenv("SSL_CERT_FILE", file(c.store).toLocal8Bit());
            MqttConnection connection;
            QSignalSpy failed(&connection, &MqttConnection::connectionFailed);
            QSignalSpy connected(&connection, &MqttConnection::connected);
            connection.open({.host = c.host, .port = tls.port, .tls = true, .retry = false});
            QTRY_VERIFY(failed.count() + connected.count() > 0);
            QVERIFY2(connected.count() == (c.accepted ? 1 : 0), c.host);
        }
        qunsetenv("SSL_CERT_FILE");
    }

    // The removal of a device gone offline clears its retained topics.
    void removal()
    {
        QVERIFY(admit());
        m_net->clearNeighbours();
        sweep(), sweep();
        const qsizetype from = subscribe().cursor();
        QVERIFY(m_subscribed);
        QVERIFY(m_core->actions().Remove(kMac));
        for (const QString& topic : {kState, kTracker})
            QVERIFY(!m_sub->waitForLine(QRegularExpression('^' + QRegularExpression::escape(topic) + '$'), from, 30000)
                         .isEmpty());
    }

    // Only the admin's command reaches the monitor (for a device it no longer knows); the viewer's is dropped by
    // the broker. A wrong password is refused with a log line that names the refusal and not the password.
    void aclDecidesWhoCommands()
    {
        Broker acl;
        QVERIFY(acl.start(m_dir.path(),
            "allow_anonymous false\nlog_type all\npassword_file " + file("passwd") + "\nacl_file " + file("acl")));
        LiveSettings& settings = m_core->settings();
        settings.mqtt.server = QStringLiteral("127.0.0.1:%1").arg(acl.port);
        settings.mqtt.username = QStringLiteral("monitor");
        settings.mqtt.password = QStringLiteral("wrong-secret");
        const qsizetype logs = m_logs.size();
        m_core->mqtt()->refresh();
        QTRY_VERIFY(logsFrom(logs).contains(QLatin1String("refused the connection")));
        QVERIFY(!logsFrom(logs).contains(QLatin1String("wrong-secret")));
        settings.mqtt.password = QStringLiteral("monitor-secret");
        const qsizetype brokerLog = acl.process->cursor(kwtest::Process::Err);
        m_core->mqtt()->refresh();
        // The command subscription is in place once the broker has acknowledged it.
        QVERIFY(!acl.process->waitForLine(QRegularExpression("Sending SUBACK"), brokerLog, 30000, kwtest::Process::Err)
                     .isEmpty());
        for (const QString user : {"viewer", "admin"}) {
            QVERIFY(kwtest::run("mosquitto_pub",
                        acl.args({"-u", user, "-P", user + "-secret", "-t", kRoot + "/set/" + kMac, "-m", "{}"}))
                        .code
                == 0);
        }
        QTRY_VERIFY(logsFrom(logs).contains(QLatin1String("command for ") + kMac));
        QCOMPARE(logsFrom(logs).count(QLatin1String("command for ") + kMac), 1);
    }
};

KW_TEST_GUILESS_MAIN(TestMqttBroker)
#include "tst_mqtt_broker.moc"
