// Heard ARP in the engine: an unknown sender inside a swept range is admitted at once through the harvest's
// admission (the default gateway as safe), a known one is seen or comes back at once, and the harvest then has
// nothing left to report; nothing outside the ranges, or while stopped, changes anything.

#include "EngineRig.h"
#include "Skip.h"
#include "store/TextForms.h"

#include <QTest>

namespace {
const QString kMac = QStringLiteral("02-AA-BB-CC-DD-01");
} // namespace

class TestHeardArp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void unknownSenders_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("admitted"); // the Intruder value stored
        QTest::newRow("announcement") << "198.18.0.7" << int(HeardArp::Announcement) << "True";
        QTest::newRow("probe for the address it takes") << "198.18.0.8" << int(HeardArp::Probe) << "True";
        QTest::newRow("the default gateway's request") << "198.18.0.1" << int(HeardArp::Request) << "False";
        QTest::newRow("outside every range") << "198.18.1.7" << int(HeardArp::Announcement) << "<missing>";
        QTest::newRow("while stopped") << "stopped" << int(HeardArp::Announcement) << "<missing>";
    }
    void unknownSenders()
    {
        QFETCH(QString, ip);
        QFETCH(int, kind);
        QFETCH(QString, admitted);
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
        rig.load();
        rig.nextSweep(); // the ranges are set
        if (ip == QStringLiteral("stopped")) {
            rig.engine.StopSystem();
            ip = QStringLiteral("198.18.0.7");
        }
        rig.window.calls.clear();
        rig.net.hearArp(kMac, ip, HeardArp::Kind(kind));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Intruder")), admitted);
        if (admitted == QStringLiteral("<missing>")) {
            QCOMPARE(rig.devices.DeviceCount, 0);
            QVERIFY(rig.window.calls.isEmpty());
            return;
        }
        QCOMPARE(rig.devices[0].IpAddress, ip);
        QVERIFY(rig.window.calls.contains(QStringLiteral("AddNewDevice 0")));
        QVERIFY(rig.window.calls.contains(QStringLiteral("MacUpdateOccured 0")));
        QVERIFY(!rig.window.calls.contains(QStringLiteral("ShowStatus"))); // no harvest needed
        QVERIFY(rig.window.logs.last().startsWith(QStringLiteral("HeardArp - %1 admitted at %2").arg(kMac, ip)));
        // Later, the harvest finds the row: nothing new to say, no online alert for a device first seen just now.
        rig.clock.advanceMSecs(20000);
        rig.net.addNeighbour(kMac, ip);
        QCOMPARE(rig.nextSweep(), QStringList {QStringLiteral("ShowStatus")});
        QCOMPARE(rig.devices.DeviceCount, 1);
    }

    // A known device comes back the moment it is heard; the sighting is one like any other, so a device that
    // then falls silent still goes offline after two sweeps without one.
    void knownSenders()
    {
        EngineRig rig;
        rig.addLoadedDevice(kMac, QStringLiteral("198.18.0.7"));
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
        rig.load();
        QVERIFY(rig.nextSweep().contains(QStringLiteral("ShowStatus")));
        rig.window.calls.clear();
        rig.net.hearArp(kMac, QStringLiteral("198.18.0.7"), HeardArp::Request);
        QCOMPARE(rig.window.calls.first(), EngineRig::entry(0, rig.now(), QStringLiteral("Connected ( 198.18.0.7 )")));
        QVERIFY(rig.window.calls.contains(QStringLiteral("playIntruderOnlineSound 70")));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Last_Online")), TextForms::dateText(rig.now()));
        rig.window.calls.clear();
        rig.net.hearArp(kMac, QStringLiteral("198.18.0.7"), HeardArp::Reply); // online already: a sighting only
        QVERIFY(rig.window.calls.isEmpty());
        const QStringList quiet {QStringLiteral("ShowStatus")};
        QCOMPARE(rig.nextSweep(), quiet);
        QCOMPARE(rig.nextSweep(), quiet); // one missed sweep is tolerated
        QCOMPARE(rig.nextSweep().first(), EngineRig::entry(0, rig.now(), QStringLiteral("Disconnected")));
    }
};

KW_TEST_GUILESS_MAIN(TestHeardArp)
#include "tst_heardarp.moc"
