// The monitor against Debian's mosquitto on loopback, watched with mosquitto_sub and commanded with
// mosquitto_pub: the engine runs on the scripted network of FakeNetPlatform behind the real MonitorCore, so
// admissions, departures and commands take the same road as in the running program.
#include "MqttRig.h"
#include "RecordingWindow.h"
#include "Skip.h"
#include "TestHome.h"
#include "app/MonitorCore.h"
#include "engine/frmClient.h"
#include "mqtt/MqttPublisher.h"
#include "platform/Clock.h"
#include "platform/FakeNetPlatform.h"
#include "store/DeviceTable.h"
#include "store/Settings.h"
#include "store/modRegistry.h"

namespace {

const QString kMac = QStringLiteral("02-AA-00-00-00-0C");
const QString kRoot = QStringLiteral("kestrelwatch/lab");

} // namespace

class TestMqttBroker : public QObject
{
    Q_OBJECT

    TestHome m_home;
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    std::unique_ptr<Proc> m_broker;
    std::unique_ptr<Proc> m_sub;
    ManualClock m_clock {QDateTime(QDate(2026, 12, 5), QTime(22, 0), Qt::UTC)};
    std::unique_ptr<MonitorCore> m_core;
    FakeNetPlatform* m_net = nullptr;
    RecordingWindow m_window;
    QStringList m_logs;

    void startBroker()
    {
        m_broker = ::startBroker(m_dir.path(), m_port, QStringLiteral("allow_anonymous true"));
        QVERIFY(m_broker);
    }
    Proc* subscribe(const QStringList& extra = {})
    {
        m_sub = std::make_unique<Proc>(QStringLiteral("mosquitto_sub"),
            brokerArgs(m_port) + QStringList {"-F", "%t|%p", "-t", "#", "-q", "1"} + extra);
        m_sub->p.waitForStarted();
        QTest::qWait(200); // the subscription is in place before anything is awaited
        return m_sub.get();
    }
    void pub(const QString& topic, const QByteArray& payload)
    {
        QCOMPARE(QProcess::execute(QStringLiteral("mosquitto_pub"),
                     brokerArgs(m_port) + QStringList {"-q", "1", "-t", topic, "-m", QString::fromUtf8(payload)}),
            0);
    }
    void sweep()
    {
        const int before = m_window.count(QStringLiteral("ShowStatus"));
        for (int i = 0; i < 600 && m_window.count(QStringLiteral("ShowStatus")) == before; ++i) {
            m_clock.advanceMSecs(100);
            m_core->engine()->tmrPingTimer_Timer();
        }
    }
    QString stored(const QString& value) const
    {
        return modRegistry::ReadString(modRegistry::ProductKey, Keys::deviceKey(kMac), value);
    }
    bool connectedNow()
    {
        MqttConnection& c = m_core->mqtt()->connection();
        m_clock.advanceSeconds(61); // past any back-off
        c.tick();
        return c.isConnected();
    }

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        if (QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"}).isEmpty())
            KW_SKIP("mosquitto is not installed");
        m_port = freeLoopbackPort();
        startBroker();
        kwclock::install(&m_clock);
        m_core = std::make_unique<MonitorCore>(m_home.paths());
        QCOMPARE(m_core->claimInstance([this](const QString& l) { m_logs << l; }).step, MonitorCore::Step::Ok);
        QCOMPARE(m_core->openStore().step, MonitorCore::Step::Ok);
        m_core->loadInstallation();
        m_core->loadRegistry();
        m_core->settings().txtMqttServer = QStringLiteral("127.0.0.1:%1").arg(m_port);
        m_core->settings().txtMqttSensor = QStringLiteral("lab");
        auto net = std::make_unique<FakeNetPlatform>();
        m_net = net.get();
        m_net->addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
        m_core->startEngine(m_window, std::move(net));
        m_core->engine()->pingTimer().stop();
        QTRY_VERIFY(m_core->mqtt()->connection().isConnected());
    }
    void cleanupTestCase()
    {
        m_core.reset();
        kwclock::install(nullptr);
    }

    void admissionAndDeparture()
    {
        Proc* sub = subscribe();
        const qsizetype from = sub->cursor();
        m_net->addNeighbour(kMac, QStringLiteral("198.18.0.12"));
        sweep();
        const QByteArray state = (kRoot + "/devices/" + kMac + "|{").toUtf8();
        QTRY_VERIFY(sub->saw(state, from) && sub->saw(R"("online":true)", from));
        QVERIFY(sub->saw(R"("intruder":true)", from) && sub->saw(R"("acknowledged":false)", from));
        QTRY_VERIFY(sub->saw((kRoot + R"(/events|{"kind":"admission")").toUtf8(), from));
        QTRY_VERIFY(sub->saw(R"("kind":"connected","mac":"02-AA-00-00-00-0C")", from));
        QTRY_VERIFY(sub->saw("homeassistant/device_tracker/kestrelwatch_lab_02-AA-00-00-00-0C/config|{", from));
        QTRY_VERIFY(sub->saw((kRoot + "/intruder_online|ON").toUtf8(), from));

        const qsizetype gone = sub->cursor();
        m_net->clearNeighbours();
        sweep();
        sweep();
        QTRY_VERIFY(sub->saw(R"("kind":"disconnected")", gone));
        QTRY_VERIFY(sub->saw(R"("online":false)", gone));
        QTRY_VERIFY(sub->saw((kRoot + "/intruder_online|OFF").toUtf8(), gone));
    }

    void commands()
    {
        const QString topic = kRoot + QStringLiteral("/set/") + kMac;
        const struct
        {
            QByteArray payload;
            const char* value;
            const char* expected; // the stored value afterwards
            const char* log; // the log line it gives
        } rows[] = {
            {R"({"acknowledge":true,"remove":true})", "New_Device", "True",
                "unknown field \"remove\"; nothing changed"},
            {"not json", "New_Device", "True", "the payload is not JSON"},
            {R"({"acknowledge":true})", "New_Device", "False", "acknowledged"},
            {R"({"name":"Printer"})", "Friendly_Name", "Printer", "renamed"},
            {R"({"safe":true})", "Intruder", "False", "moved to the safe list"},
            {R"({"safe":false})", "Intruder", "True", "moved to the intruder list"},
        };
        for (const auto& row : rows) {
            const qsizetype logs = m_logs.size();
            pub(topic, row.payload);
            QTRY_VERIFY2(m_logs.mid(logs).join('\n').contains(QLatin1String(row.log)), row.log);
            QCOMPARE(stored(QLatin1String(row.value)), QLatin1String(row.expected));
        }
        const qsizetype logs = m_logs.size();
        pub(kRoot + QStringLiteral("/set/02-AA-00-00-00-0D"), R"({"acknowledge":true})");
        QTRY_VERIFY(m_logs.mid(logs).join('\n').contains(QLatin1String("unknown device 02-AA-00-00-00-0D")));
        Proc* sub = subscribe(); // retained: the device's state as the commands left it
        QTRY_VERIFY(sub->saw(R"("acknowledged":true)", 0) && sub->saw(R"("friendly_name":"Printer")", 0));
    }

    // The broker goes away and comes back empty (no persistence): queued events arrive, oldest dropped beyond
    // the bound, and every retained state is there again.
    void brokerRestart()
    {
        m_broker.reset();
        QTRY_VERIFY(!m_core->mqtt()->connection().isConnected());
        QVERIFY(!connectedNow());
        m_core->mqtt()->setEventBound(2);
        const qsizetype logs = m_logs.size();
        // Three events: connected, then two address changes; the bound keeps the last two.
        for (const char* ip : {"198.18.0.12", "198.18.0.13", "198.18.0.12"}) {
            m_net->clearNeighbours();
            m_net->addNeighbour(kMac, QLatin1String(ip));
            sweep();
        }
        QCOMPARE(m_core->mqtt()->queuedEvents(), 2);
        QVERIFY(m_logs.mid(logs).join('\n').contains(QLatin1String("2 events wait for the broker")));
        startBroker();
        Proc* sub = subscribe();
        QTRY_VERIFY(connectedNow());
        QTRY_VERIFY(sub->saw((kRoot + "/devices/" + kMac + "|{").toUtf8(), 0));
        QTRY_VERIFY(sub->saw(R"("kind":"address")", 0));
        QVERIFY(!sub->saw(R"("kind":"connected")", 0));
        QTRY_VERIFY(sub->saw((kRoot + "/status|online").toUtf8(), 0));
        m_core->mqtt()->setEventBound(MqttPublisher::DefaultEventBound);
    }

    // A removal the window makes is noticed on the next check and clears the retained topics.
    void removal()
    {
        Proc* sub = subscribe();
        QTRY_VERIFY(sub->saw((kRoot + "/devices/" + kMac + "|{").toUtf8(), 0));
        const qsizetype from = sub->cursor();
        DeviceTable& devices = m_core->devices();
        modRegistry::DeleteKey(modRegistry::ProductKey, Keys::deviceKey(kMac));
        devices.removeSlot(devices.indexOfMac(kMac));
        m_core->mqtt()->refresh();
        QTRY_VERIFY(sub->saw((kRoot + "/devices/" + kMac + "|\n").toUtf8(), from));
        QTRY_VERIFY(sub->saw("homeassistant/device_tracker/kestrelwatch_lab_02-AA-00-00-00-0C/config|\n", from));
    }
};

KW_TEST_GUILESS_MAIN(TestMqttBroker)
#include "tst_mqtt_broker.moc"
