// Heard ARP in the engine: a stranger speaking for itself in a swept range is admitted at once through the
// harvest's own admission (the default gateway as safe) and the harvest then has nothing left to report; a known
// device comes back at once and still goes offline after two sweeps without a sighting; a stranger's answer admits
// it only when it answers this machine, from an address the sweep asked lately; anything outside the ranges
// changes nothing.

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
        QCOMPARE(rig.window.calls.isEmpty(), rig.devices.DeviceCount == 0);
        if (rig.devices.DeviceCount == 0)
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
};

KW_TEST_GUILESS_MAIN(TestHeardArp)
#include "tst_heardarp.moc"
