// Devices known by what they say about themselves, with real peers in a namespace LAN: python3-zeroconf
// responders (a Google speaker, an IPP printer) answer the monitor's DNS-SD questions, a UPnP TV announces
// itself by SSDP and serves its description over HTTP, and real DHCP clients send vendor classes and request
// lists (busybox udhcpc as a Windows PC, ISC dhclient as an Android phone, dhcpcd as itself). Each device's
// type, model and os come out right in `kestrelwatch-ctl list --json`.

#include "Lab.h"
#include "TestHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <memory>

using namespace kwtest;

namespace {
QString peersScript()
{
    return TestHome::sourceDir() + QStringLiteral("/tests/e2e/whois_peers.py");
}

// MAC -> "type|model|os" of every device `list --json` shows.
QHash<QString, QString> described(const QString& home)
{
    QHash<QString, QString> out;
    const Run r = run(binary(QStringLiteral("kestrelwatch-ctl")),
        {QStringLiteral("--home"), home, QStringLiteral("list"), QStringLiteral("--json")});
    for (const QJsonValue& v : QJsonDocument::fromJson(r.out.toUtf8()).array()) {
        const QJsonObject o = v.toObject();
        out.insert(o.value(QStringLiteral("mac")).toString(),
            QStringList {o.value(QStringLiteral("type")).toString(), o.value(QStringLiteral("model")).toString(),
                o.value(QStringLiteral("os")).toString()}
                .join(QLatin1Char('|')));
    }
    return out;
}
} // namespace

class TestWhoisLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
        if (run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import zeroconf")}).code
            != 0)
            KW_SKIP("python3-zeroconf is not installed (scripts/install-deps.sh test)");
    }

    void devicesDescribeThemselves()
    {
        Lab lab(QStringLiteral("kww"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QCOMPARE(lab.netlab(QStringLiteral("dhcp-server")).code, 0);
        // Peers that answer and announce, each in its own namespace, ready before the monitor starts.
        std::vector<std::unique_ptr<Process>> peers;
        const auto peer = [&](const char* name, const char* ip, const char* mac, const QStringList& args) {
            if (!lab.addDevice(QLatin1String(name), QLatin1String(ip), QLatin1String(mac)))
                return false;
            auto& p = peers.emplace_back(std::make_unique<Process>());
            p->start(QStringLiteral("ip"),
                QStringList {QStringLiteral("netns"), QStringLiteral("exec"), lab.ns(QLatin1String(name)),
                    QStringLiteral("/usr/bin/python3"), peersScript()}
                    + args);
            return !p->waitForLine(QRegularExpression(QStringLiteral("^ready$")), 0, 20000).isEmpty();
        };
        QVERIFY(peer("cast", "198.18.0.20", "02:44:00:00:00:20",
            {"mdns", "198.18.0.20", "Kitchen", "_googlecast._tcp", "md=Google Home Mini", "fn=Kitchen"}));
        QVERIFY(peer("printer", "198.18.0.21", "02:44:00:00:00:21",
            {"mdns", "198.18.0.21", "Office", "_ipp._tcp", "txtvers=1", "ty=HP LaserJet M479fdw"}));
        QVERIFY(peer("tv", "198.18.0.22", "02:44:00:00:00:22",
            {"ssdp", "198.18.0.22", "8080", "urn:schemas-upnp-org:device:MediaRenderer:1", "[TV] Samsung 7 Series",
                "Samsung", "UE55RU7400"}));

        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        QVERIFY(!monitor.waitForLine(QRegularExpression("listening for DHCP"), 0, 10000, Process::Err).isEmpty());
        QCOMPARE(lab.netlab(QStringLiteral("dhcp-client"),
                        {"pc", "udhcpc", "02:44:00:00:00:01", "--hostname", "desktop-7qk2m1b", "--vendor-class",
                            "MSFT 5.0", "--request", "1,3,6,15,31,33,43,44,46,47,119,121,249,252"})
                     .code,
            0);
        QCOMPARE(lab.netlab(QStringLiteral("dhcp-client"),
                        {"phone", "dhclient", "02:44:00:00:00:02", "--vendor-class", "android-dhcp-13"})
                     .code,
            0);
        QCOMPARE(lab.netlab(QStringLiteral("dhcp-client"), {"pi", "dhcpcd", "02:44:00:00:00:03"}).code, 0);

        const QHash<QString, QString> expected {
            {QStringLiteral("02-44-00-00-00-20"), QStringLiteral("speaker|Google Home Mini|")},
            {QStringLiteral("02-44-00-00-00-21"), QStringLiteral("printer|HP LaserJet M479fdw|")},
            {QStringLiteral("02-44-00-00-00-22"), QStringLiteral("tv|Samsung UE55RU7400|")},
            {QStringLiteral("02-44-00-00-00-01"), QStringLiteral("computer||Windows 10/11")},
            {QStringLiteral("02-44-00-00-00-02"), QStringLiteral("phone||Android 13")},
            {QStringLiteral("02-44-00-00-00-03"), QStringLiteral("computer||Linux")},
        };
        QHash<QString, QString> found;
        const auto allFound = [&] {
            found = described(home.paths().home);
            for (auto it = expected.begin(); it != expected.end(); ++it) {
                if (found.value(it.key()) != it.value())
                    return false;
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(allFound(), 60000);
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(found.value(it.key()), it.value());
        // Each change was one Described event: the history holds none, the debug log says where it came from.
        QVERIFY(
            !monitor.linesAfter(0, QStringLiteral("02-44-00-00-00-20 by mdns: type speaker"), Process::Err).isEmpty());
        QVERIFY(!monitor.linesAfter(0, QStringLiteral("02-44-00-00-00-22 by upnp: type tv"), Process::Err).isEmpty());
    }
};

KW_TEST_GUILESS_MAIN(TestWhoisLan)
#include "tst_whois_lan.moc"
