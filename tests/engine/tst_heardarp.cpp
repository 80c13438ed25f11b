// Heard ARP in the engine: a stranger speaking for itself in a swept range is admitted at once through the
// harvest's own admission (the default gateway as safe) and the harvest then has nothing left to report; a known
// device comes back at once and still goes offline after two sweeps without a sighting; a stranger's answer admits
// it only when it answers this machine, from an address the sweep asked lately; anything outside the ranges
// changes nothing.

#include "Devices.h"
#include "EngineRig.h"
#include "Skip.h"

#include <QTest>

namespace {
const QString kMac = QStringLiteral("02-AA-BB-CC-DD-01");
const QStringList kQuiet {QStringLiteral("harvested")}; // a harvest with nothing to report
} // namespace

class TestHeardArp : public QObject
{
    Q_OBJECT

    static void started(EngineRig& rig)
    {
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
        rig.load();
        rig.nextSweep(); // the ranges are known
        rig.window.calls.clear();
    }

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void unknownSenders_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("intruder"); // as stored
        QTest::addColumn<bool>("toHost");
        QTest::addColumn<int>("ticks"); // after the sweep's harvest
        QTest::newRow("in a swept range") << "198.18.0.7" << int(HeardArp::Announcement) << "True" << false << 0;
        QTest::newRow("the default gateway") << "198.18.0.1" << int(HeardArp::Request) << "False" << false << 0;
        QTest::newRow("outside every range") << "198.18.1.7" << int(HeardArp::Probe) << "<missing>" << false << 0;
        QTest::newRow("an answer to this machine") << "198.18.0.7" << int(HeardArp::Reply) << "True" << true << 0;
        QTest::newRow("an answer to another host") << "198.18.0.7" << int(HeardArp::Reply) << "<missing>" << false << 0;
        QTest::newRow("an answer to a question long past")
            << "198.18.0.7" << int(HeardArp::Reply) << "<missing>" << true << 30;
    }
    void unknownSenders()
    {
        QFETCH(QString, ip);
        QFETCH(int, kind);
        QFETCH(QString, intruder);
        QFETCH(bool, toHost);
        QFETCH(int, ticks);
        EngineRig rig;
        started(rig);
        rig.tick(ticks);
        rig.net.hearArp(kMac, ip, HeardArp::Kind(kind), 2, toHost);
        QCOMPARE(rig.stored(kMac, QStringLiteral("Intruder")), intruder);
        QCOMPARE(rig.window.calls.isEmpty(), qint32(rig.devices.size()) == 0);
        if (qint32(rig.devices.size()) == 0)
            return;
        QCOMPARE(rig.window.calls.first(), "Admitted 0 " + ip + (intruder == "True" ? " intruder" : ""));
        // The harvest finds its row later: no second admission, no online alert for a device first seen now.
        rig.clock.advanceMSecs(20000);
        rig.net.addNeighbour(kMac, ip);
        QCOMPARE(rig.nextSweep(), kQuiet);
    }

    void knownSenders()
    {
        EngineRig rig;
        rig.addLoadedDevice(kMac, QStringLiteral("198.18.0.7"));
        started(rig);
        rig.net.hearArp(kMac, QStringLiteral("198.18.0.7"), HeardArp::Request);
        QCOMPARE(rig.window.calls, QStringList {QStringLiteral("Online 0 198.18.0.7 intruder")});
        rig.window.calls.clear();
        rig.net.hearArp(kMac, QStringLiteral("198.18.0.7"), HeardArp::Reply); // online already: a sighting only
        QVERIFY(rig.window.calls.isEmpty());
        QCOMPARE(rig.nextSweep(), kQuiet); // one missed sweep is tolerated, as after a harvested row
        const QStringList calls = rig.nextSweep();
        QCOMPARE(calls.first(), QStringLiteral("Offline 0"));
    }

    // Heard DHCP: REQUEST and INFORM in a swept range admit or sight, DISCOVER or an address outside never
    // admits; the host name, through the one filter, names only a device that has none yet.
    void dhcpClients_data()
    {
        QTest::addColumn<bool>("known"); // loaded beforehand, offline, named "nas.lan"
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("calls"); // the engine's events, joined by "|"
        QTest::addColumn<QString>("host");
        const auto req = int(HeardDhcp::Request);
        const QString admitted = QStringLiteral("Admitted 0 198.18.0.7 intruder|Online 0 198.18.0.7 intruder unlogged");
        QTest::newRow("request, named") << false << req << "198.18.0.7" << QByteArray("laptop")
                                        << admitted + "|NameChanged 0 laptop"
                                        << "laptop";
        QTest::newRow("inform, no name") << false << int(HeardDhcp::Inform) << "198.18.0.7" << QByteArray() << admitted
                                         << "Unknown Device";
        QTest::newRow("name with a control character: refused")
            << false << req << "198.18.0.7" << QByteArray("pc\x1b[2J") << admitted << "Unknown Device";
        QTest::newRow("name no UTF-8") << false << req << "198.18.0.7" << QByteArray("p\xc3") << admitted
                                       << "Unknown Device";
        QTest::newRow("discover") << false << int(HeardDhcp::Discover) << "198.18.0.7" << QByteArray("laptop") << ""
                                  << "";
        QTest::newRow("outside every range") << false << req << "198.18.1.7" << QByteArray("laptop") << ""
                                             << "";
        QTest::newRow("no address") << false << req << "" << QByteArray("laptop") << ""
                                    << "";
        QTest::newRow("known: back, name kept")
            << true << req << "198.18.0.7" << QByteArray("laptop") << "Online 0 198.18.0.7 intruder"
            << "nas.lan";
        QTest::newRow("known: discover changes nothing")
            << true << int(HeardDhcp::Discover) << "" << QByteArray("laptop") << ""
            << "nas.lan";
    }
    void dhcpClients()
    {
        QFETCH(bool, known);
        QFETCH(int, kind);
        QFETCH(QString, ip);
        QFETCH(QByteArray, name);
        QFETCH(QString, calls);
        QFETCH(QString, host);
        EngineRig rig;
        if (known)
            rig.addLoadedDevice(kMac, QStringLiteral("198.18.0.7")).HostName = QStringLiteral("nas.lan");
        started(rig);
        rig.net.hearDhcp(kMac, ip, HeardDhcp::Kind(kind), name);
        QCOMPARE(rig.window.calls.join(QLatin1Char('|')), calls);
        const qint32 index = positionOf(rig.devices, kMac);
        QCOMPARE(index >= 0 ? nth(rig.devices, index).HostName : QString(), host);
        if (known || index < 0)
            return;
        // The same client's ARP and the harvest's row later add nothing: admitted once.
        rig.window.calls.clear();
        rig.net.hearArp(kMac, ip, HeardArp::Probe);
        rig.clock.advanceMSecs(20000);
        rig.net.addNeighbour(kMac, ip);
        QCOMPARE(rig.nextSweep(), kQuiet);
    }
};

KW_TEST_GUILESS_MAIN(TestHeardArp)
#include "tst_heardarp.moc"
