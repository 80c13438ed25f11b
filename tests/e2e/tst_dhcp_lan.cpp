// The real monitor in namespace LANs with real peers: dnsmasq as the router's DHCP server and the real clients
// dhcpcd, busybox udhcpc and ISC dhclient, each admitted once, from its own DHCP message, with the host name it
// sent; and a tagged VLAN on the monitor's link, whose device is admitted through the 802.1Q interface (on a
// kernel without 802.1Q, netlab gives the VLAN an untagged link of its own under the same name).

#include "Lab.h"
#include "TestHome.h"

#include <QRegularExpression>
#include <QTest>

using namespace kwtest;

namespace {
constexpr int kSweepMs = 7000; // one sweep every ~6 s, with slack
} // namespace

class TestDhcpLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
    }

    void dhcpClients_data()
    {
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("mac");
        QTest::newRow("dhcpcd") << "dhcpcd"
                                << "02:44:00:00:00:01";
        QTest::newRow("udhcpc") << "udhcpc"
                                << "02:44:00:00:00:02";
        QTest::newRow("dhclient") << "dhclient"
                                  << "02:44:00:00:00:03";
    }
    void dhcpClients()
    {
        QFETCH(QString, client);
        QFETCH(QString, mac);
        Lab lab(QStringLiteral("kwd"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QCOMPARE(lab.netlab(QStringLiteral("dhcp-server")).code, 0);
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        QVERIFY(!monitor.waitForLine(QRegularExpression("listening for DHCP"), 0, 10000, Process::Err).isEmpty());

        const QString kwMac = mac.toUpper().replace(QLatin1Char(':'), QLatin1Char('-'));
        const QString host = QStringLiteral("joiner-") + client;
        const qsizetype from = monitor.cursor();
        const qsizetype errFrom = monitor.cursor(Process::Err);
        QCOMPARE(
            lab.netlab(QStringLiteral("dhcp-client"), {QStringLiteral("dev"), client, mac, "--hostname", host}).code,
            0);
        // Its REQUEST only asks; it is admitted once it answers at that address, and named by the REQUEST then.
        QVERIFY(!monitor
                     .waitForLine(QRegularExpression(kwMac + QStringLiteral(" asks for 198\\.18\\.0\\.\\d+")), errFrom,
                         30000, Process::Err)
                     .isEmpty());
        QVERIFY(!monitor.waitForLine(eventLine(kwMac, QStringLiteral("** WARNING - NEW DEVICE **")), from, 30000)
                     .isEmpty());
        QVERIFY(!monitor.waitForLine(eventLine(kwMac, QStringLiteral("Name is ") + host), from, 10000).isEmpty());
        // The address it asked for is the one it set.
        QTRY_VERIFY_WITH_TIMEOUT(lab.netlab(QStringLiteral("dhcp-bound"), {QStringLiteral("dev")}).code == 0, 30000);
        const QString bound = lab.netlab(QStringLiteral("dhcp-bound"), {QStringLiteral("dev")}).out.trimmed();
        const QString address = bound.section(QLatin1Char(' '), 1);
        QVERIFY(!monitor.linesAfter(from, QStringLiteral("Connected ( ") + address + QStringLiteral(" )")).isEmpty());
        // By the time its address is set, every client has spoken (dhcpcd has probed by ARP too): one admission,
        // and its name kept (no DNS or mDNS name in the lab replaces it).
        QCOMPARE(monitor.linesAfter(0, QStringLiteral("\t") + kwMac + QStringLiteral("\t"))
                     .filter(QStringLiteral("NEW DEVICE"))
                     .size(),
            1);
        QCOMPARE(monitor.linesAfter(0, QStringLiteral("\t") + kwMac + QStringLiteral("\t"))
                     .filter(QStringLiteral("Name is"))
                     .size(),
            1);
        QCOMPARE(monitor.stop(), 0);
    }

    void vlan()
    {
        Lab lab(QStringLiteral("kwv"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        const Run tagged = lab.netlab(QStringLiteral("vlan"), {QStringLiteral("monitor"), "10", "198.18.10.2/24"});
        QCOMPARE(tagged.code, 0);
        if (!tagged.err.trimmed().isEmpty())
            qInfo("%s", qPrintable(tagged.err.trimmed())); // no 802.1Q in this kernel: an untagged second link
        QVERIFY(
            lab.addDevice(QStringLiteral("plain"), QStringLiteral("198.18.0.10"), QStringLiteral("02:4b:57:00:00:0a")));
        QVERIFY(lab.addDevice(
            QStringLiteral("tagged"), QStringLiteral("198.18.0.11"), QStringLiteral("02:4b:57:00:00:0b")));
        QCOMPARE(
            lab.netlab(QStringLiteral("vlan"), {QStringLiteral("tagged"), "10", "198.18.10.5/24", "--only"}).code, 0);
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        QVERIFY(
            !monitor.waitForLine(QRegularExpression("watching .*198\\.18\\.10\\."), 0, 10000, Process::Err).isEmpty());
        QVERIFY(!monitor.waitForLine(eventLine("02-4B-57-00-00-0A", "Connected ( 198.18.0.10 )"), 0, 3 * kSweepMs)
                     .isEmpty());
        QVERIFY(!monitor.waitForLine(eventLine("02-4B-57-00-00-0B", "Connected ( 198.18.10.5 )"), 0, 3 * kSweepMs)
                     .isEmpty());
        // Another sweep over both links (the tagged device's row comes back and the harvest takes it again):
        // each device stays one device at its one address.
        const auto resolved = [&lab] {
            return lab.exec({"ip", "neigh", "show", "198.18.10.5", "dev", "eth0.10"}).out.contains("lladdr");
        };
        QTRY_VERIFY_WITH_TIMEOUT(resolved(), 2 * kSweepMs);
        QTRY_VERIFY_WITH_TIMEOUT(!resolved(), 2 * kSweepMs);
        for (const QString& mac : {QStringLiteral("02-4B-57-00-00-0A"), QStringLiteral("02-4B-57-00-00-0B")}) {
            const QStringList lines = monitor.linesAfter(0, QStringLiteral("\t") + mac + QStringLiteral("\t"));
            QCOMPARE(lines.filter(QStringLiteral("NEW DEVICE")).size(), 1);
            QCOMPARE(lines.filter(QStringLiteral("Connected")).size(), 1);
        }
        QCOMPARE(monitor.stop(), 0);
    }
};

KW_TEST_GUILESS_MAIN(TestDhcpLan)
#include "tst_dhcp_lan.moc"
