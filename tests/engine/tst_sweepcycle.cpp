// The sweep cycle: load and socket set-up, batches along the cursor, the ranges built from the adapters and
// cut to what the kernel's neighbour table holds, the wait between sweeps, stopping and restarting, and the
// platform's problems in the debug log.

#include "EngineRig.h"
#include "Skip.h"

#include <QTest>

namespace {

QStringList hostsOf(const QString& prefix, int first, int last)
{
    QStringList out;
    for (int h = first; h <= last; ++h)
        out << prefix + QString::number(h);
    return out;
}

QStringList rangeTexts(const frmClient& engine)
{
    QStringList out;
    for (qint32 r = 0; r < qint32(engine.ranges().size()); ++r)
        out << engine.GetIP_Address(r);
    return out;
}

// Every address of the ranges ("198.18.1.0 to 198.18.1.255"), in sweep order, four times over.
QStringList oneSweep(const QStringList& ranges)
{
    QStringList pass;
    for (const QString& r : ranges) {
        const QString first = r.section(QLatin1Char(' '), 0, 0);
        const QString last = r.section(QLatin1Char(' '), 2, 2);
        pass += hostsOf(first.section(QLatin1Char('.'), 0, 2) + QLatin1Char('.'),
            first.section(QLatin1Char('.'), 3).toInt(), last.section(QLatin1Char('.'), 3).toInt());
    }
    return pass + pass + pass + pass;
}

} // namespace

class TestSweepCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void loadPreparesTheFirstSweepOrStaysStoppedWithoutSocket()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
        rig.engine.Load();
        QVERIFY(rig.engine.pingTimer().isActive());
        rig.engine.pingTimer().stop();
        QVERIFY(rig.engine.isRunning() && rig.engine.isSweepPrepared() && rig.engine.isSweepReady());
        QVERIFY(rig.net.sentAddresses().isEmpty()); // nothing leaves before the first tick

        EngineRig none;
        none.net.addAdapter(QStringLiteral("198.18.0.5/24"));
        none.net.setOpenFails(true);
        none.load();
        QCOMPARE(none.log.lines(), QStringList {QStringLiteral("Startup - Failed to create socket")});
        none.engine.StartSystem(); // the window restarting monitoring cannot start it either
        none.tick(100);
        QVERIFY(!none.engine.isRunning());
        QCOMPARE(none.net.adapterCalls(), 0);
        QCOMPARE(none.window.calls, QStringList());
    }

    void batchesWalkTheRangeFourTimesThenHarvestAndWait()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.load();
        rig.tick();
        QCOMPARE(rig.net.sentAddresses(), hostsOf(QStringLiteral("198.18.1."), 0, 31));
        QCOMPARE(rig.runToHarvest(), 31);
        QCOMPARE(rig.net.sentAddresses(), oneSweep({QStringLiteral("198.18.1.0 to 198.18.1.255")}));
        QVERIFY(!rig.engine.isSweepReady() && !rig.engine.isSweepPrepared());
        QCOMPARE(rig.engine.passCount(), 0);

        // The next sweep is prepared once more than 5 seconds have passed since this one was.
        rig.tick(59 - 32);
        QCOMPARE(rig.engine.SecondsCounter(), 5u);
        QCOMPARE(rig.net.adapterCalls(), 1);
        QCOMPARE(rig.net.sentAddresses().size(), 1024);
        rig.tick();
        QCOMPARE(rig.net.adapterCalls(), 2);
        QCOMPARE(rig.engine.preparationTime(), 6u);
        rig.tick();
        QCOMPARE(rig.net.sentAddresses().size(), 1056);
    }

    void rangesFromAdapters_data()
    {
        QTest::addColumn<QStringList>("adapters");
        QTest::addColumn<QStringList>("ranges");
        QTest::addColumn<QStringList>("gateways");
        const QString none;
        QTest::newRow("mask 255.255.255.0") << QStringList {"198.18.1.37/255.255.255.0 gw 198.18.1.1"}
                                            << QStringList {"198.18.1.0 to 198.18.1.255"} << QStringList {"198.18.1.1"};
        QTest::newRow("mask .192, upper block")
            << QStringList {"198.18.1.200/26"} << QStringList {"198.18.1.192 to 198.18.1.255"} << QStringList {none};
        QTest::newRow("only the last mask byte counts")
            << QStringList {"198.18.1.37/16"} << QStringList {"198.18.1.0 to 198.18.1.255"} << QStringList {none};
        QTest::newRow("one host") << QStringList {"198.18.1.37/32"} << QStringList {"198.18.1.37 to 198.18.1.37"}
                                  << QStringList {none};
        QTest::newRow("two adapters, two gateways, two addresses")
            << QStringList {"198.18.1.5/24 198.18.7.9/30 gw 198.18.1.1 198.18.1.2", "198.19.0.5/25"}
            << QStringList {"198.18.1.0 to 198.18.1.255", "198.18.7.8 to 198.18.7.11", "198.19.0.0 to 198.19.0.127"}
            << QStringList {"198.18.1.1", "198.18.1.2", none};
        QTest::newRow("the same network twice is swept twice")
            << QStringList {"198.18.1.5/24", "198.18.1.6/24"}
            << QStringList {"198.18.1.0 to 198.18.1.255", "198.18.1.0 to 198.18.1.255"} << QStringList {none, none};
        QTest::newRow("no IPv4 address, and an unreadable one")
            << QStringList {"", "198.18.2.5/24"}
            << QStringList {"0.0.0.0 to 0.0.0.255", "198.18.2.0 to 198.18.2.255", "0.0.0.0 to 0.0.0.0"}
            << QStringList {none, none};
    }

    void rangesFromAdapters()
    {
        QFETCH(QStringList, adapters);
        QFETCH(QStringList, ranges);
        QFETCH(QStringList, gateways);
        EngineRig rig;
        for (const QString& a : adapters)
            rig.net.addAdapter(a);
        const bool unreadable = ranges.contains(QStringLiteral("0.0.0.0 to 0.0.0.0"));
        if (unreadable)
            rig.net.scriptedAdapters().last().addresses.append({QStringLiteral("fe80::1"), {}});
        rig.load();
        QCOMPARE(rangeTexts(rig.engine), ranges);
        QCOMPARE(rig.engine.gateways(), gateways);
        QVERIFY(rig.runToHarvest() > 0);
        QCOMPARE(rig.net.sentAddresses(), oneSweep(ranges));
        // An unreadable address says so in the debug log.
        QCOMPARE(rig.log.lines().size(), unreadable ? 1 : 0);
    }

    void rangesAreCutToTheNeighbourTable_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("swept");
        QTest::addColumn<int>("logged");
        // Three quarters of the limit may be swept; a range is taken whole or not at all.
        QTest::newRow("unknown limit") << 0
                                       << QStringList {"198.18.1.0", "198.18.2.0", "198.18.1.0", "198.18.3.0",
                                              "198.18.4.128"}
                                       << 0;
        QTest::newRow("kernel default 1024")
            << 1024 << QStringList {"198.18.1.0", "198.18.2.0", "198.18.1.0", "198.18.3.0"} << 1;
        QTest::newRow("512: a repeated range costs nothing")
            << 512 << QStringList {"198.18.1.0", "198.18.1.0", "198.18.4.128"} << 2;
        QTest::newRow("200: only the small range fits, a range said once") << 200 << QStringList {"198.18.4.128"} << 3;
    }

    void rangesAreCutToTheNeighbourTable()
    {
        QFETCH(int, limit);
        QFETCH(QStringList, swept);
        QFETCH(int, logged);
        EngineRig rig;
        rig.net.setNeighbourTableLimit(limit);
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24 198.18.2.5/24"));
        rig.net.addAdapter(QStringLiteral("198.18.1.6/24 198.18.3.5/24 198.18.4.130/25"));
        rig.load();
        QStringList firsts;
        for (const QString& r : rangeTexts(rig.engine))
            firsts << r.section(QLatin1Char(' '), 0, 0);
        QCOMPARE(firsts, swept);
        QCOMPARE(rig.log.lines().size(), logged);
        // Each range left out is said once, not at every sweep.
        rig.runToHarvest();
        rig.runToHarvest();
        QVERIFY(rig.net.adapterCalls() >= 2);
        QCOMPARE(rig.log.lines().size(), logged);
    }

    void noInterfaceSweepsNothingUntilOneComesUp()
    {
        EngineRig rig;
        rig.load();
        rig.tick(200);
        QVERIFY(rig.net.sentAddresses().isEmpty());
        QVERIFY(rig.net.adapterCalls() >= 3); // each empty sweep ends at once; the list is read again
        rig.net.addAdapter(QStringLiteral("198.18.3.5/24"));
        rig.tick(70);
        QVERIFY(!rig.net.sentAddresses().isEmpty());
    }

    void stopMidSweepThenRestartFromTheStart()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.addLoadedDevice(QStringLiteral("02-00-00-00-00-10"), QStringLiteral("198.18.1.10"));
        rig.load();
        const QList<int> pending = rig.net.pendingLookups();
        QCOMPARE(pending.size(), 1);
        rig.tick(13);
        rig.engine.StopSystem();
        QVERIFY(!rig.engine.isRunning() && !rig.engine.isSweepReady() && !rig.engine.isSweepPrepared());
        QCOMPARE(rig.net.cancelledLookups(), pending);
        QCOMPARE(rig.engine.HostLookupHandle(), 0);
        rig.net.clearSent();
        rig.tick(400);
        QVERIFY(rig.net.sentAddresses().isEmpty());
        QCOMPARE(rig.window.calls, QStringList());
        rig.engine.StartSystem();
        QCOMPARE(rig.runToHarvest(), 32);
        QCOMPARE(rig.net.sentAddresses(), oneSweep({QStringLiteral("198.18.1.0 to 198.18.1.255")}));
        rig.engine.Shutdown();
        QVERIFY(!rig.net.icmpSocketOpen());
        QVERIFY(!rig.engine.pingTimer().isActive());
    }

    // Refused sends, refused deletions and interfaces left out: one line per cause, again after an hour.
    void platformProblemsAreLoggedOncePerCausePerHour()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.net.addNeighbour(QStringLiteral("02-AA-BB-CC-DD-01"), QStringLiteral("198.18.1.7"));
        rig.net.setDeleteFails(true);
        rig.net.setSendFailure(QStringLiteral("sendEcho ENOBUFS"));
        rig.load();
        rig.net.reportProblem(QStringLiteral("adapter wg0 is a point-to-point link"), QString());
        rig.runToHarvest();
        rig.runToHarvest();
        const QStringList once {QStringLiteral("NetPlatform - adapter wg0 is a point-to-point link"),
            QStringLiteral("NetPlatform - echo request refused: sendEcho ENOBUFS"),
            QStringLiteral("NetPlatform - neighbour 198.18.1.7 not deleted: Operation not permitted")};
        QCOMPARE(rig.log.lines(), once);
        QCOMPARE(rig.net.deletedAddresses().size(), 2);

        rig.clock.advanceMSecs(3600 * 1000);
        rig.runToHarvest();
        QCOMPARE(rig.log.lines().size(), 5);
        QCOMPARE(rig.log.lines().mid(3), once.mid(1));
    }
};

KW_TEST_GUILESS_MAIN(TestSweepCycle)
#include "tst_sweepcycle.moc"
