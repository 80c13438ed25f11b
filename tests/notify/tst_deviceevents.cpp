// One device event, every consumer: the lines the history gets, the kinds MQTT publishes them as, and the
// alert the policy raises from the settings. And the policy's storm gate and its quiet and watch rules, driven by
// the manual clock.

#include "Devices.h"
#include "LogCapture.h"
#include "Skip.h"
#include "TestHome.h"
#include "logging/DeviceLog.h"
#include "logging/EventLine.h"
#include "mqtt/MqttPayloads.h"
#include "notify/AlertPolicy.h"
#include "platform/Clock.h"
#include "store/DeviceStore.h"
#include "store/DeviceWatch.h"
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
    static const char* const kinds[] = {"new", "online", "digest", "watched", "likely_return"};
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
        QTest::addColumn<QString>("history"); // lines joined by "|"
        QTest::addColumn<QString>("mqtt");
        QTest::addColumn<QString>("alert");
        // kind, address, intruder, seconds since first seen, logged, impersonation, name
        const auto ev = [](Kind kind, const char* ip = "", bool intruder = true, int ago = 0, bool logged = true,
                            bool impersonation = false, const char* name = "") {
            DeviceEvent e;
            std::tie(e.kind, e.mac, e.time, e.address, e.intruder, e.firstSeen, e.logged, e.impersonation, e.name,
                e.earlierMac) = std::tuple(kind, kMac, kT, QString::fromLatin1(ip), intruder, kT.addSecs(-ago), logged,
                impersonation, QString::fromLatin1(name),
                kind == Kind::Admitted && !*name ? QString() : QStringLiteral("0A-11-22-33-44-55"));
            return e;
        };
        const auto row = [](const char* name, const DeviceEvent& e, int boxes, const char* history, const char* mqtt,
                             const QString& alert) {
            QTest::newRow(name) << e << boxes << QString::fromUtf8(history) << QString::fromLatin1(mqtt) << alert;
        };
        const char* const ip = "198.18.0.7";
        const char* const admitted = "** WARNING - NEW DEVICE **|Connected ( 198.18.0.7 )";
        const QString all = QStringLiteral(" sound popup mail notify");
        row("admitted intruder", ev(Kind::Admitted, ip), 1, admitted, "admission|connected", "new" + all);
        row("admitted, a box other than 1 is off", ev(Kind::Admitted, ip), 2, admitted, "admission|connected", "new");
        row("admitted impersonator", ev(Kind::Admitted, ip, true, 0, true, true), 1,
            "** WARNING - NEW DEVICE **|** WARNING - GATEWAY IMPERSONATION ( 198.18.0.7 ) **|Connected ( 198.18.0.7 )",
            "admission|warning|connected", "new impersonation" + all);
        row("admitted gateway, safe", ev(Kind::Admitted, ip, false), 1,
            "New device: the network's gateway, admitted as safe|Connected ( 198.18.0.7 )", "admission|connected", "");
        row("known device impersonates", ev(Kind::Impersonation, ip), 1,
            "** WARNING - GATEWAY IMPERSONATION ( 198.18.0.7 ) **", "warning", "");
        row("online, first seen 10 s ago", ev(Kind::Online, ip, true, 10), 1, "Connected ( 198.18.0.7 )", "connected",
            "");
        row("online, first seen 11 s ago", ev(Kind::Online, ip, true, 11), 1, "Connected ( 198.18.0.7 )", "connected",
            "online" + all);
        row("online, all boxes clear", ev(Kind::Online, ip, true, 99), 0, "Connected ( 198.18.0.7 )", "connected",
            "online");
        row("online, safe device", ev(Kind::Online, ip, false, 99), 1, "Connected ( 198.18.0.7 )", "connected", "");
        row("online, counted online already", ev(Kind::Online, ip, true, 99, false), 1, "", "", "online" + all);
        row("offline", ev(Kind::Offline), 1, "Disconnected", "disconnected", "");
        row("offline, counted offline already", ev(Kind::Offline, "", true, 0, false), 1, "", "", "");
        row("address changed", ev(Kind::AddressChanged, "198.18.0.8"), 1, "IP = 198.18.0.8", "address", "");
        row("name changed", ev(Kind::NameChanged, "", true, 0, true, false, "pixel.lan"), 1, "Name is pixel.lan",
            "name", "");
        // No kind is guessed from the words of a line.
        row("a name like a warning", ev(Kind::NameChanged, "", true, 0, true, false, "WARNING Ann"), 1,
            "Name is WARNING Ann", "name", "");
        row("IPv6 addresses changed", ev(Kind::AddressesChanged), 1, "", "", "");
        // A private-MAC newcomer likely a safe-list device back (the earlier MAC 0A-… is on the safe list here):
        // told with its admission, a notification without the siren; told later, a notification of its own.
        const char* const likely = "Probably Ann, with a new private address (earlier MAC 0A-11-22-33-44-55)";
        row("admitted, likely a safe device back", ev(Kind::Admitted, ip, true, 0, true, false, "Ann"), 1,
            (QByteArray("** WARNING - NEW DEVICE **|") + likely + "|Connected ( 198.18.0.7 )").constData(),
            "admission|likely_return|connected", "new mail notify");
        row("likely return told later", ev(Kind::LikelyReturn, "", false, 0, true, false, "Ann"), 1, likely,
            "likely_return", "likely_return notify");
        row("likely return of an intruder", ev(Kind::LikelyReturn, "", true, 0, true, false, "Ann"), 1, likely,
            "likely_return", "");
    }

    void everyConsumer()
    {
        QFETCH(DeviceEvent, event);
        QFETCH(int, boxes);
        QFETCH(QString, history);
        QFETCH(QString, mqtt);
        QFETCH(QString, alert);
        TestHome home;
        DeviceStore table;
        appendDevice(table, kMac, QStringLiteral("198.18.0.7"), kT);
        DeviceLog log(table, home.paths().devices());
        log.record(event);
        QString expected;
        for (const QString& line : history.split(QLatin1Char('|'), Qt::SkipEmptyParts))
            expected += DeviceLog::stamp(kT) + line + QStringLiteral("\r\n");
        QCOMPARE(log.history(kMac), expected);

        QStringList kinds;
        for (const DeviceLog::Entry& entry : DeviceLog::entries(event)) {
            const QJsonObject o =
                QJsonDocument::fromJson(MqttPayloads::event(event.mac, event.time, entry.kind, entry.text)).object();
            QCOMPARE(o.value("mac").toString() + o.value("time").toString() + o.value("text").toString(),
                kMac + MqttPayloads::isoDate(kT) + entry.text);
            kinds << o.value("kind").toString();
        }
        QCOMPARE(kinds.join(QLatin1Char('|')), mqtt);

        LiveSettings s;
        for (bool* box : {&s.alerts.newIntruder.sound, &s.alerts.newIntruder.popup, &s.alerts.newIntruder.mail,
                 &s.alerts.newIntruder.notify, &s.alerts.onlineIntruder.sound, &s.alerts.onlineIntruder.popup,
                 &s.alerts.onlineIntruder.mail, &s.alerts.onlineIntruder.notify})
            *box = boxes == 1;
        AlertPolicy policy(s);
        policy.setSafeLookup([&event](const QString& mac) {
            return mac == event.earlierMac && (event.kind == Kind::Admitted || !event.intruder);
        });
        QStringList raised;
        connect(&policy, &AlertPolicy::alertRaised, this, [&raised](const Alert& a) { raised << describe(a); });
        policy.deviceEvent(event);
        QCOMPARE(raised.join(QLatin1Char('|')), alert);
    }

    // The headless monitor's lines: TIME MAC ADDRESS NAME VENDOR EVENT, tab-separated, "-" for an empty field.
    void headlessLines_data()
    {
        QTest::addColumn<DeviceEvent>("event");
        QTest::addColumn<QString>("friendly"); // the device's friendly name; "gone" for a removed device
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("offsetSecs");
        QTest::addColumn<QString>("lines"); // joined by "|"
        const auto ev = [](Kind kind, bool intruder = true, const char* name = "") {
            DeviceEvent e;
            std::tie(e.kind, e.mac, e.address, e.intruder, e.name) =
                std::tuple(kind, kMac, QStringLiteral("198.18.0.7"), intruder, QString::fromUtf8(name));
            return e;
        };
        const QString unknown = QStringLiteral("Unknown Device");
        const QString head = QStringLiteral("2026-12-04T18:41:08+00:00\t02-AA-BB-CC-DD-01\t198.18.0.7\t");
        QTest::newRow("new intruder, name not known yet")
            << ev(Kind::Admitted) << QString() << unknown << 0
            << head + "-\tAcme\t** WARNING - NEW DEVICE **|" + head + "-\tAcme\tConnected ( 198.18.0.7 )";
        QTest::newRow("gateway admitted as safe, an hour east")
            << ev(Kind::Admitted, false) << QStringLiteral("Default Gateway") << unknown << 3600
            << QString(head).replace("+00:00", "+01:00")
                + "Default Gateway\tAcme\tNew device: the network's gateway, "
                  "admitted as safe|"
                + QString(head).replace("+00:00", "+01:00") + "Default Gateway\tAcme\tConnected ( 198.18.0.7 )";
        QTest::newRow("host name, west of Greenwich")
            << ev(Kind::Offline) << QString() << QStringLiteral("pixel.lan") << -(3 * 3600 + 30 * 60)
            << QStringLiteral(
                   "2026-12-04T18:41:08-03:30\t02-AA-BB-CC-DD-01\t198.18.0.7\tpixel.lan\tAcme\tDisconnected");
        // The user's actions say who took them.
        const auto by = [](DeviceEvent e, DeviceEvent::Origin origin) {
            e.origin = origin;
            e.before = QStringLiteral("laptop");
            return e;
        };
        QTest::newRow("renamed: the friendly name wins, a tab stays inside its field")
            << by(ev(Kind::Renamed, true, "lap\ttop"), DeviceEvent::Origin::Window) << QStringLiteral("lap\ttop")
            << QStringLiteral("pixel.lan") << 0
            << head + "lap\\ttop\tAcme\tRenamed \"laptop\" \u2192 \"lap\\ttop\" (in the window)";
        QTest::newRow("acknowledged") << by(ev(Kind::Acknowledged), DeviceEvent::Origin::Mqtt) << QString() << unknown
                                      << 0 << head + "-\tAcme\tAcknowledged (by an MQTT command)";
        QTest::newRow("removed: only what the event says")
            << by(ev(Kind::Removed), DeviceEvent::Origin::Ctl) << QStringLiteral("gone") << QString() << 0
            << head + "-\tAcme\tRemoved from the lists (by kestrelwatch-ctl)";
    }

    void headlessLines()
    {
        QFETCH(DeviceEvent, event);
        QFETCH(QString, friendly);
        QFETCH(QString, host);
        QFETCH(int, offsetSecs);
        QFETCH(QString, lines);
        event.time = QDateTime(kT.date(), kT.time(), Qt::OffsetFromUTC, offsetSecs);
        DeviceStore table;
        appendDevice(table, kMac, QStringLiteral("198.18.0.7"), kT);
        nth(table, 0).FriendlyName = friendly;
        nth(table, 0).HostName = host;
        const DeviceRecord* device = friendly == QLatin1String("gone") ? nullptr : &nth(table, 0);
        QCOMPARE(EventLine::lines(event, device, QStringLiteral("Acme")).join(QLatin1Char('|')), lines);
    }

    // The storm gate: "a S" admits a new intruder at second S (at 198.18.0.2, .3, ... in turn), "t S" is the
    // policy's tick at second S. Digests are "digest COUNT FIRST-LAST".
    void stormGate_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("alerts");
        QTest::addColumn<int>("logLines");
        const QStringList ten {"a 0", "a 6", "a 12", "a 18", "a 24", "a 30", "a 36", "a 42", "a 48", "a 54"};
        const QStringList news(10, QStringLiteral("new"));
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
        s.alerts.newIntruder.sound = s.alerts.newIntruder.popup = s.alerts.newIntruder.mail =
            s.alerts.newIntruder.notify = false;
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

    // "on S" / "off S": the device comes back / goes offline at second S. Alerts as describe() says, with
    // "push" when the push channels carry it and "back"/"gone" for the change.
    void presenceRules_data()
    {
        QTest::addColumn<bool>("intruder");
        QTest::addColumn<int>("watch");
        QTest::addColumn<int>("quietMinutes");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("alerts");
        const QStringList flaps {"off 0", "on 60", "off 120", "on 899", "off 900", "on 1900"};
        QTest::newRow("not watched, safe: nothing") << false << 0 << 15 << flaps << QStringList();
        QTest::newRow("watched offline: mail and push, no sound")
            << false << int(DeviceWatch::Offline) << 0 << QStringList {"off 0", "on 60", "off 120"}
            << QStringList {"watched mail push gone", "watched mail push gone"};
        QTest::newRow("flapping is quiet for 15 minutes per device")
            << false << int(DeviceWatch::Both) << 15 << flaps
            << QStringList {"watched mail push gone", "watched mail push gone", "watched mail push back"};
        QTest::newRow("an intruder back and watched: one alert, mailed")
            << true << int(DeviceWatch::Online) << 15 << QStringList {"on 100", "off 200", "on 1000", "on 1100"}
            << QStringList {"online sound mail push back", "online sound mail push back"};
    }

    void presenceRules()
    {
        QFETCH(bool, intruder);
        QFETCH(int, watch);
        QFETCH(int, quietMinutes);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, alerts);
        LogCapture log;
        LiveSettings s;
        s.alerts.quietMinutes = quietMinutes;
        s.alerts.onlineIntruder.popup = s.alerts.onlineIntruder.notify = false;
        AlertPolicy policy(s);
        policy.setWatchLookup([watch](const QString& mac) { return mac == kMac ? quint8(watch) : quint8(0); });
        QStringList raised;
        connect(&policy, &AlertPolicy::alertRaised, this, [&raised](const Alert& a) {
            raised << describe(a) + (a.push ? QStringLiteral(" push") : QString())
                    + (a.online ? QStringLiteral(" back") : QStringLiteral(" gone"));
        });
        for (const QString& step : steps) {
            DeviceEvent e;
            e.kind = step.startsWith(QLatin1String("on")) ? Kind::Online : Kind::Offline;
            e.mac = kMac;
            e.intruder = intruder;
            e.time = kT.addSecs(step.section(QLatin1Char(' '), 1).toInt());
            e.firstSeen = kT.addDays(-1);
            policy.deviceEvent(e);
        }
        QCOMPARE(raised, alerts);
    }
};

KW_TEST_GUILESS_MAIN(TestDeviceEvents)
#include "tst_deviceevents.moc"
