// End to end: the real monitor in a namespace LAN posts to a webhook server (Python's http.server) on its own
// loopback. A new intruder and a watched device going offline each arrive once, with the JSON a bridge reads.
#include "HttpPeer.h"
#include "Lab.h"
#include "Reg.h"
#include "TestHome.h"
#include "store/TextForms.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {
const QString kRouterMac = QStringLiteral("02-00-C6-12-00-01");
const QString kNasMac = QStringLiteral("02-4B-57-00-00-0B");
const QString kStrangerMac = QStringLiteral("00-00-0C-12-34-56");

// A known safe device as an earlier run left it.
bool storeSafeDevice(const QString& home, const QString& mac, const QString& ip, const QString& watch)
{
    const QString seen = TextForms::dateText(QDateTime::currentDateTime().addDays(-1), QLocale::system());
    bool ok = true;
    for (const auto& [name, data] : QList<QPair<QString, QString>> {{"IP_Address", ip}, {"Host_Name", "nas"},
             {"Friendly_Name", ""}, {"New_Device", "False"}, {"Intruder", "False"}, {"First_Seen", seen},
             {"Last_Online", seen}, {"Last_Offline", seen}, {"Mac_Type", "3"}, {"Watch", watch}})
        ok = ok && Reg::set(home, Reg::device(mac), name, data);
    return ok;
}
} // namespace

class TestChannelsLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
    }

    void intruderAndWatchedDeviceReachTheWebhook()
    {
        kwtest::Lab lab(QStringLiteral("kwh"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        HttpPeer hook;
        QVERIFY(hook.start({"--answers", "200"}, lab.ns()));
        TestHome home;
        const QString store = home.paths().home;
        QVERIFY(Reg::set(store, Reg::general(), QStringLiteral("WebhookUrl"), hook.url()));
        QVERIFY(Reg::set(store, Reg::general(), QStringLiteral("WebhookToken"), QStringLiteral("s3cret")));
        QVERIFY(storeSafeDevice(store, kRouterMac, QStringLiteral("198.18.0.1"), QString()));
        QVERIFY(storeSafeDevice(store, kNasMac, QStringLiteral("198.18.0.11"), QStringLiteral("offline")));
        QVERIFY(
            lab.addDevice(QStringLiteral("nas"), QStringLiteral("198.18.0.11"), QStringLiteral("02:4b:57:00:00:0b")));

        kwtest::Monitor monitor(store);
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        const auto debug = [&] { return monitor.lines(kwtest::Process::Err).join('\n'); };
        qsizetype cursor = hook.cursor();
        QVERIFY(lab.addDevice(
            QStringLiteral("stranger"), QStringLiteral("198.18.0.44"), QStringLiteral("00:00:0c:12:34:56")));
        // The sweep that admits the stranger has found the NAS present too.
        QVERIFY2(hook.waitForRequest(cursor, 60000), qPrintable(debug()));
        cursor = hook.cursor();
        QCOMPARE(lab.netlab(QStringLiteral("off"), {QStringLiteral("nas")}).code, 0);
        QVERIFY2(hook.waitForRequest(cursor, 60000), qPrintable(debug()));
        // A sweep more: nothing else arrives.
        const qsizetype after = monitor.cursor();
        monitor.waitForLine(QRegularExpression("Disconnected|Connected"), after, 8000);
        QCOMPARE(monitor.stop(), 0);

        const QList<QJsonObject> requests = hook.requests();
        QCOMPARE(requests.size(), 2);
        const QJsonObject intruder = QJsonDocument::fromJson(requests[0].value("body").toString().toUtf8()).object();
        const QJsonObject offline = QJsonDocument::fromJson(requests[1].value("body").toString().toUtf8()).object();
        QCOMPARE(
            requests[0].value("headers").toObject().value("Authorization").toString(), QStringLiteral("Bearer s3cret"));
        QCOMPARE(QStringList(intruder.keys()),
            QStringList(
                {"ip", "kind", "last_seen", "list", "mac", "model", "name", "os", "text", "time", "type", "vendor"}));
        QCOMPARE(intruder.value("type").toString(), QStringLiteral("unknown"));
        for (const auto& [o, kind, mac, ip, name, list, vendor] :
            {std::tuple {intruder, "new_intruder", kStrangerMac, "198.18.0.44", "Unknown Device", "intruders",
                 "Cisco Systems, Inc"},
                std::tuple {offline, "offline", kNasMac, "198.18.0.11", "nas", "safe", ""}}) {
            QCOMPARE(o.value("kind").toString(), QLatin1String(kind));
            QCOMPARE(o.value("mac").toString(), mac);
            QCOMPARE(o.value("ip").toString(), QLatin1String(ip));
            QCOMPARE(o.value("name").toString(), QLatin1String(name));
            QCOMPARE(o.value("list").toString(), QLatin1String(list));
            if (*vendor)
                QCOMPARE(o.value("vendor").toString(), QLatin1String(vendor));
            QVERIFY(QDateTime::fromString(o.value("time").toString(), Qt::ISODate).isValid());
            QVERIFY(o.value("text").toString().contains(mac));
        }
    }
};

KW_TEST_GUILESS_MAIN(TestChannelsLan)
#include "tst_channels_lan.moc"
