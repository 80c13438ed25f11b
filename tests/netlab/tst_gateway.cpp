// A host takes over the router's address while the router is up, as ARP spoofing does: the real monitor,
// headless in a namespace LAN, admits it as an intruder and its history carries the warning. Root only.

#include "Lab.h"
#include "Reg.h"
#include "TestHome.h"

#include <QRegularExpression>
#include <QTest>

using namespace kwtest;

class TestGateway : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void aHostTakingOverTheRoutersAddressIsAnIntruder()
    {
        KW_REQUIRE_LAB();
        const QString router = QStringLiteral("02-00-C6-12-00-01"), spoofer = QStringLiteral("02-4B-57-00-00-66");
        Lab lab(QStringLiteral("kwg"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        const auto sh = [&lab](const char* host, const char* script) {
            return lab.exec({"sh", "-ec", script}, QString::fromLatin1(host)).code == 0;
        };
        // The spoofer keeps silent, without an address, until the router is known.
        QVERIFY(lab.addDevice(QStringLiteral("spoof"), QStringLiteral("198.18.0.66"), "02:4b:57:00:00:66"));
        QVERIFY(sh("spoof", "ip addr flush dev eth0"));
        TestHome home;
        Monitor monitor(home.paths().home);
        const auto seen = [&monitor](const QString& mac, const QString& event, qsizetype from) {
            return !monitor.waitForLine(eventLine(mac, event), from, 21000).isEmpty(); // three sweeps
        };
        monitor.start(lab.ns());
        QVERIFY(seen(router, QStringLiteral("Connected ( 198.18.0.1 )"), 0));

        // The router, still up, stops answering ARP (with both answering, which one the kernel keeps is a race);
        // the spoofer takes its address and announces it.
        const qsizetype from = monitor.cursor();
        QVERIFY(sh("router", "ip link set eth0 arp off"));
        QVERIFY(
            sh("spoof", "ip addr add 198.18.0.1/24 dev eth0; arping -q -U -c 2 -I eth0 -s 198.18.0.1 198.18.0.1 || :"));
        QVERIFY(seen(spoofer, QStringLiteral("** WARNING - NEW DEVICE **"), from));
        QVERIFY(seen(spoofer, QStringLiteral("** WARNING - GATEWAY IMPERSONATION ( 198.18.0.1 ) **"), from));
        QCOMPARE(monitor.stop(), 0);
        const QString store = monitor.home();
        QCOMPARE(Reg::get(store, Reg::device(spoofer), QStringLiteral("Intruder")), QStringLiteral("True"));
        QCOMPARE(
            Reg::get(store, Reg::device(router), QStringLiteral("Friendly_Name")), QStringLiteral("Default Gateway"));
    }
};

KW_TEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
