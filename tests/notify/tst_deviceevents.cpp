// One device event, every consumer: the lines the history gets, the kinds MQTT publishes them as, and the
// alert the policy raises from the settings. And the policy's storm gate, driven by the manual clock.

#include "Devices.h"
#include "LogCapture.h"
#include "Skip.h"
#include "TestHome.h"
#include "logging/DeviceLog.h"
#include "mqtt/MqttPayloads.h"
#include "notify/AlertPolicy.h"
#include "platform/Clock.h"
#include "store/DeviceTable.h"
#include "store/LiveSettings.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {
using Kind = DeviceEvent::Kind;
const QDateTime kT(QDate(2026, 12, 4), QTime(18, 41, 8));
const QString kMac = QStringLiteral("02-AA-BB-CC-DD-01");

QString describe(const Alert& a)
{
    static const char* const kinds[] = {"new", "online", "digest"};
    QStringList parts {QLatin1String(kinds[int(a.kind)])};
    if (a.kind == Alert::Kind::Storm)
        parts << QString::number(a.count) << a.firstAddress + QLatin1Char('-') + a.lastAddress;
    for (const auto& [on, name] : {std::pair {a.impersonation, "impersonation"}, {a.sound, "sound"}, {a.popup, "popup"},
             {a.mail, "mail"}, {a.notify, "notify"}})
        if (on)
            parts << QLatin1String(name);
    return parts.join(QLatin1Char(' '));
}
} // namespace

Q_DECLARE_METATYPE(DeviceEvent)

class TestDeviceEvents final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void everyConsumer_data()
    {
        QTest::addColumn<DeviceEvent>("event");
        QTest::addColumn<int>("boxes"); // every alert check box
        QTest::addColumn<QStringList>("history");
        QTest::addColumn<QStringList>("mqtt");
        QTest::addColumn<QString>("alert");
        const auto ev = [](Kind kind, const QString& address = {}, bool intruder = true, int firstSeenAgo = 0) {
            DeviceEvent e;
            e.kind = kind;
            e.index = 0;
            e.mac = kMac;
            e.time = kT;
            e.address = address;
            e.intruder = intruder;
            e.firstSeen = kT.addSecs(-firstSeenAgo);
            return e;
        };
        const QString ip = QStringLiteral("198.18.0.7"), connected = QStringLiteral("Connected ( 198.18.0.7 )");
        const QString all = QStringLiteral(" sound popup mail notify");
        DeviceEvent e = ev(Kind::Admitted, ip);
        QTest::newRow("admitted intruder") << e << 1 << QStringList {"** WARNING - NEW DEVICE **", connected}
                                           << QStringList {"admission", "connected"} << "new" + all;
        QTest::newRow("admitted, a box other than 1 is off")
            << e << 2 << QStringList {"** WARNING - NEW DEVICE **", connected} << QStringList {"admission", "connected"}
            << "new";
        e.impersonation = true;
        QTest::newRow("admitted impersonator")
            << e << 1
            << QStringList {"** WARNING - NEW DEVICE **", "** WARNING - GATEWAY IMPERSONATION ( 198.18.0.7 ) **",
                   connected}
            << QStringList {"admission", "warning", "connected"} << "new impersonation" + all;
        QTest::newRow("admitted gateway, safe")
            << ev(Kind::Admitted, ip, false) << 1 << QStringList {"** WARNING - NEW DEVICE **", connected}
            << QStringList {"admission", "connected"} << "";
        QTest::newRow("known device impersonates")
            << ev(Kind::Impersonation, ip) << 1 << QStringList {"** WARNING - GATEWAY IMPERSONATION ( 198.18.0.7 ) **"}
            << QStringList {"warning"} << "";
        QTest::newRow("online, first seen 10 s ago")
            << ev(Kind::Online, ip, true, 10) << 1 << QStringList {connected} << QStringList {"connected"} << "";
        QTest::newRow("online, first seen 11 s ago") << ev(Kind::Online, ip, true, 11) << 1 << QStringList {connected}
                                                     << QStringList {"connected"} << "online" + all;
        QTest::newRow("online, all boxes clear") << ev(Kind::Online, ip, true, 3600) << 0 << QStringList {connected}
                                                 << QStringList {"connected"} << "online";
        QTest::newRow("online, safe device")
            << ev(Kind::Online, ip, false, 3600) << 1 << QStringList {connected} << QStringList {"connected"} << "";
        e = ev(Kind::Online, ip, true, 3600);
        e.logged = false;
        QTest::newRow("online, counted online already") << e << 1 << QStringList() << QStringList() << "online" + all;
        QTest::newRow("offline") << ev(Kind::Offline) << 1 << QStringList {"Disconnected"}
                                 << QStringList {"disconnected"} << "";
        e = ev(Kind::Offline);
        e.logged = false;
        QTest::newRow("offline, counted offline already") << e << 1 << QStringList() << QStringList() << "";
        QTest::newRow("address changed") << ev(Kind::AddressChanged, QStringLiteral("198.18.0.8")) << 1
                                         << QStringList {"IP = 198.18.0.8"} << QStringList {"address"} << "";
        e = ev(Kind::NameChanged);
        e.name = QStringLiteral("pixel.lan");
        QTest::newRow("name changed") << e << 1 << QStringList {"Name is pixel.lan"} << QStringList {"name"} << "";
        e = ev(Kind::PossibleReturn);
        e.name = QStringLiteral("WARNING Ann"); // no kind guessed from the words
        e.earlierMac = QStringLiteral("0A-11-22-33-44-55");
        QTest::newRow("possible return") << e << 1 << QStringList {"May be WARNING Ann seen as 0A-11-22-33-44-55"}
                                         << QStringList {"other"} << "";
        QTest::newRow("IPv6 addresses changed")
            << ev(Kind::AddressesChanged) << 1 << QStringList() << QStringList() << "";
    }

    void everyConsumer()
    {
        QFETCH(DeviceEvent, event);
        QFETCH(int, boxes);
        QFETCH(QStringList, history);
        QFETCH(QStringList, mqtt);
        QFETCH(QString, alert);
        TestHome home;
        DeviceTable table;
        appendDevice(table, kMac, QStringLiteral("198.18.0.7"), kT);
        DeviceLog log(table, home.paths().devices());
        log.record(event);
        QString expected;
        for (const QString& line : history)
            expected += DeviceLog::stamp(kT) + line + QStringLiteral("\r\n");
        QCOMPARE(table[0].LogText, expected);

        QStringList kinds;
        for (const DeviceLog::Entry& entry : DeviceLog::entries(event)) {
            const QJsonObject o =
                QJsonDocument::fromJson(MqttPayloads::event(event.mac, event.time, entry.kind, entry.text)).object();
            QCOMPARE(o.value("mac").toString(), kMac);
            QCOMPARE(o.value("time").toString(), MqttPayloads::isoDate(kT));
            QCOMPARE(o.value("text").toString(), entry.text);
            kinds << o.value("kind").toString();
        }
        QCOMPARE(kinds, mqtt);

        LiveSettings s;
        s.chkNewIntruderSound = s.chkNewIntruderPopup = s.chkNewIntruderEmail = s.chkNewIntruderNotify = boxes;
        s.chkOnlineIntruderSound = s.chkOnlineIntruderPopup = s.chkOnlineIntruderEmail = boxes;
        s.chkOnlineIntruderNotify = boxes;
        AlertPolicy policy(s);
        QStringList raised;
        connect(&policy, &AlertPolicy::alertRaised, this, [&raised](const Alert& a) { raised << describe(a); });
        policy.deviceEvent(event);
        QCOMPARE(raised, alert.isEmpty() ? QStringList() : QStringList {alert});
    }

    // The storm gate: "a S" admits a new intruder at second S (at 198.18.0.2, .3, ... in turn), "t S" is the
    // policy's tick at second S. Digests are "digest COUNT FIRST-LAST".
    void stormGate_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("alerts");
        QTest::addColumn<int>("logLines");
        QStringList ten, news;
        for (int i = 0; i < 10; ++i) {
            ten << QStringLiteral("a %1").arg(i * 6);
            news << QStringLiteral("new");
        }
        QTest::newRow("10 in 60 s is fine") << ten << news << 0;
        QTest::newRow("11 in 61 s is fine") << ten + QStringList {"a 60"} << news + QStringList {"new"} << 0;
        const QStringList storm = news + QStringList {"digest 11 198.18.0.2-198.18.0.12"};
        QTest::newRow("the 11th within 60 s starts a storm") << ten + QStringList {"a 59", "t 599"} << storm << 1;
        QTest::newRow("a digest per 10 minutes while it lasts")
            << ten + QStringList {"a 59", "a 100", "a 120", "t 658", "t 659", "a 700", "t 1258", "t 1259"}
            << storm + QStringList {"digest 2 198.18.0.13-198.18.0.14", "digest 1 198.18.0.15-198.18.0.15"} << 1;
        QTest::newRow("a quiet period ends it")
            << ten + QStringList {"a 59", "t 659", "a 700"} << storm + QStringList {"new"} << 2;
    }

    void stormGate()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, alerts);
        QFETCH(int, logLines);
        ManualClock clock(kT);
        kwclock::install(&clock);
        LogCapture log;
        LiveSettings s;
        s.chkNewIntruderSound = s.chkNewIntruderPopup = s.chkNewIntruderEmail = s.chkNewIntruderNotify = 0;
        AlertPolicy policy(s);
        QStringList raised;
        connect(&policy, &AlertPolicy::alertRaised, this, [&raised](const Alert& a) { raised << describe(a); });
        int host = 2;
        for (const QString& step : steps) {
            clock.set(kT.addSecs(step.mid(2).toInt()));
            if (step.startsWith(QLatin1Char('t'))) {
                policy.tick();
                continue;
            }
            DeviceEvent e;
            e.kind = Kind::Admitted;
            e.intruder = true;
            e.time = clock.now();
            e.address = QStringLiteral("198.18.0.%1").arg(host++);
            policy.deviceEvent(e);
        }
        kwclock::install(nullptr);
        QCOMPARE(raised, alerts);
        QCOMPARE(log.tagged(QStringLiteral("Alerts - ")).size(), logLines);
    }
};

KW_TEST_GUILESS_MAIN(TestDeviceEvents)
#include "tst_deviceevents.moc"
