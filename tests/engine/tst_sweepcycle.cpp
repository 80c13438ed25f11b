// The sweep cycle: load and socket set-up, the ranges built from the adapters, windows sized to the kernel's
// neighbour table at the helper's rate, known addresses first, the wait between cycles, stopping and
// restarting, and the platform's problems in the debug log.

#include "EngineRig.h"
#include "Skip.h"

#include <QRegularExpression>
#include <QTest>

namespace {

QStringList hostsOf(const QString& prefix, int first, int last)
{
    QStringList out;
    for (int h = first; h <= last; ++h)
        out << prefix + QString::number(h);
    return out;
}

QStringList rangeTexts(const DiscoveryEngine& engine)
{
    QStringList out;
    for (qint32 r = 0; r < qint32(engine.ranges().size()); ++r)
        out << engine.rangeText(r);
    return out;
}

const QString kHost1 = QStringLiteral("198.18.1.");

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

    void aWindowIsSentThenHarvestedAndTheCycleWaits()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.load();
        rig.tick();
        QCOMPARE(rig.net.sentAddresses(), hostsOf(kHost1, 0, 31));
        // A /24 is one window: sent in 8 ticks, harvested 1.2 s after its last request, when the kernel has asked
        // again: a host that answers only that ask (the first request or answer was lost) is found in this pass.
        rig.tick(17);
        rig.net.addNeighbour(QStringLiteral("02-AA-00-00-00-07"), kHost1 + QStringLiteral("250"));
        QCOMPARE(rig.runToHarvest(), 2);
        QVERIFY(rig.window.calls.contains(QStringLiteral("Admitted 0 198.18.1.250 intruder")));
        QCOMPARE(rig.net.sentAddresses(), hostsOf(kHost1, 0, 255));
        QVERIFY(!rig.engine.isSweepReady() && !rig.engine.isSweepPrepared());

        // The next cycle is prepared once more than 5 seconds have passed since this one was.
        rig.tick(59 - 20);
        QCOMPARE(rig.engine.SecondsCounter(), 5u);
        QCOMPARE(rig.net.adapterCalls(), 2); // the set-up, and the verdict: was the network in sight throughout?
        QCOMPARE(rig.net.sentAddresses().size(), 256);
        rig.tick();
        QCOMPARE(rig.net.adapterCalls(), 3);
        QCOMPARE(rig.engine.preparationTime(), 6u);
        rig.tick();
        QCOMPARE(rig.net.sentAddresses().size(), 288);
    }

    void rangesFromAdapters_data()
    {
        QTest::addColumn<QStringList>("adapters");
        QTest::addColumn<QStringList>("ranges");
        QTest::addColumn<QStringList>("gateways");
        QTest::addColumn<int>("logged");
        const QString none;
        QTest::newRow("mask 255.255.255.0")
            << QStringList {"198.18.1.37/255.255.255.0 gw 198.18.1.1"} << QStringList {"198.18.1.0 to 198.18.1.255"}
            << QStringList {"198.18.1.1"} << 0;
        QTest::newRow("mask .192, upper block")
            << QStringList {"198.18.1.200/26"} << QStringList {"198.18.1.192 to 198.18.1.255"} << QStringList {none}
            << 0;
        QTest::newRow("a /20 whole") << QStringList {"198.18.21.37/20"} << QStringList {"198.18.16.0 to 198.18.31.255"}
                                     << QStringList {none} << 0;
        QTest::newRow("a /16 whole") << QStringList {"198.18.1.37/16"} << QStringList {"198.18.0.0 to 198.18.255.255"}
                                     << QStringList {none} << 0;
        QTest::newRow("wider: the /16 around it, said once")
            << QStringList {"198.19.7.1/15"} << QStringList {"198.19.0.0 to 198.19.255.255"} << QStringList {none} << 1;
        QTest::newRow("one host") << QStringList {"198.18.1.37/32"} << QStringList {"198.18.1.37 to 198.18.1.37"}
                                  << QStringList {none} << 0;
        QTest::newRow("two adapters, two gateways, two addresses")
            << QStringList {"198.18.1.5/24 198.18.7.9/30 gw 198.18.1.1 198.18.1.2", "198.19.0.5/25"}
            << QStringList {"198.18.1.0 to 198.18.1.255", "198.18.7.8 to 198.18.7.11", "198.19.0.0 to 198.19.0.127"}
            << QStringList {"198.18.1.1", "198.18.1.2", none} << 0;
        QTest::newRow("no IPv4 address, and an unreadable one")
            << QStringList {"", "198.18.2.5/24"}
            << QStringList {"0.0.0.0 to 0.0.0.0", "198.18.2.0 to 198.18.2.255", "0.0.0.0 to 0.0.0.0"}
            << QStringList {none, none} << 1;
    }

    void rangesFromAdapters()
    {
        QFETCH(QStringList, adapters);
        QFETCH(QStringList, ranges);
        QFETCH(QStringList, gateways);
        QFETCH(int, logged);
        EngineRig rig;
        for (const QString& a : adapters)
            rig.net.addAdapter(a);
        if (ranges.last() == QStringLiteral("0.0.0.0 to 0.0.0.0"))
            rig.net.scriptedAdapters().last().addresses.append({QStringLiteral("fe80::1"), {}});
        rig.load();
        QCOMPARE(rangeTexts(rig.engine), ranges);
        QCOMPARE(rig.engine.gateways(), gateways);
        QVERIFY(rig.runToHarvest() > 0);
        QCOMPARE(rig.log.lines().size(), logged);
        rig.tick(120); // a wide range is not said again
        QVERIFY(rig.log.lines().filter(QStringLiteral("wider")).size() <= 1);
    }

    // Windows hold three quarters of the neighbour table, three in flight, the oldest harvested while the third
    // is sent; never more than 32 requests a tick; every address once, a range inside another not again.
    void windowsFitTheNeighbourTableAtTheHelpersRate_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("ticks"); // until the last address of the /20 has been sent
        QTest::newRow("unknown: the kernel's default") << 0 << 256 << 128;
        QTest::newRow("kernel default 1024") << 1024 << 256 << 128;
        QTest::newRow("256: windows wait for room") << 256 << 64 << 275;
        QTest::newRow("64: the smallest window") << 64 << 32 << 758;
    }

    void windowsFitTheNeighbourTableAtTheHelpersRate()
    {
        QFETCH(int, limit);
        QFETCH(int, window);
        QFETCH(int, ticks);
        EngineRig rig;
        rig.net.setNeighbourTableLimit(limit);
        rig.net.addAdapter(QStringLiteral("198.18.16.5/20 198.18.17.9/24"));
        rig.load();
        QCOMPARE(rig.engine.sweep().windowSize(), window);
        int tick = 0;
        while (rig.net.sentAddresses().size() < 4096 && tick < 1000) {
            const qsizetype before = rig.net.sentAddresses().size();
            rig.tick();
            ++tick;
            QVERIFY(rig.net.sentAddresses().size() - before <= 32);
            QVERIFY(rig.engine.sweep().inFlight() <= rig.engine.sweep().budget());
        }
        QCOMPARE(tick, ticks);
        const QStringList sent = rig.net.sentAddresses();
        QCOMPARE(QSet<QString>(sent.cbegin(), sent.cend()).size(), 4096);
        QCOMPARE(sent.last(), QStringLiteral("198.18.31.255"));
    }

    // Each cycle checks the devices seen before it first, then goes on from where discovery stopped; a device
    // that leaves is offline after two missed checks, as soon on a /16 as on a /24.
    void knownAddressesFirstAndOfflineWithinTwoCycles()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.0.5/16"));
        rig.net.addNeighbour(QStringLiteral("02-AA-00-00-00-01"), QStringLiteral("198.18.200.9"));
        rig.net.addNeighbour(QStringLiteral("02-AA-00-00-00-02"), QStringLiteral("198.18.3.3"));
        rig.load();
        rig.tick(60); // the first cycle admits both from the table, the second is prepared
        QVERIFY(rig.window.calls.contains(QStringLiteral("Admitted 1 198.18.3.3 intruder")));
        rig.net.clearSent();
        rig.tick();
        const QStringList first = rig.net.sentAddresses();
        QCOMPARE(first.mid(0, 2), (QStringList {"198.18.200.9", "198.18.3.3"}));
        QCOMPARE(first.at(2), QStringLiteral("198.18.7.128")); // 60 batches of discovery went before
        QVERIFY(!first.mid(2).contains(QStringLiteral("198.18.3.3")));

        // The first leaves at once; the second stays, answering whenever it is asked.
        rig.window.calls.clear();
        int ticks = 1;
        for (; ticks < 300 && !rig.window.calls.contains(QStringLiteral("Offline 0")); ++ticks) {
            if (rig.net.sentAddresses().contains(QStringLiteral("198.18.3.3")))
                rig.net.addNeighbour(QStringLiteral("02-AA-00-00-00-02"), QStringLiteral("198.18.3.3"));
            rig.net.clearSent();
            rig.tick();
        }
        QVERIFY2(ticks <= 150, qPrintable(QString::number(ticks)));
        QVERIFY(!rig.window.calls.contains(QStringLiteral("Offline 1")));
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
        rig.tick(6); // mid-window
        rig.engine.StopSystem();
        QVERIFY(!rig.engine.isRunning() && !rig.engine.isSweepReady() && !rig.engine.isSweepPrepared());
        QCOMPARE(rig.net.cancelledLookups(), pending);
        QCOMPARE(rig.engine.HostLookupHandle(), 0);
        rig.net.clearSent();
        rig.tick(400);
        QVERIFY(rig.net.sentAddresses().isEmpty());
        QCOMPARE(rig.window.calls, QStringList());
        rig.engine.StartSystem();
        QCOMPARE(rig.runToHarvest(), 20);
        QCOMPARE(rig.net.sentAddresses(), hostsOf(kHost1, 0, 255));
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

        rig.clock.advanceMSecs(3600 * 1000); // a stopped process to the engine (SightKeeping), which says so
        rig.runToHarvest();
        const QStringList lines = rig.log.lines().filter(QRegularExpression(QStringLiteral("^NetPlatform")));
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.mid(3), once.mid(1));
    }
};

KW_TEST_GUILESS_MAIN(TestSweepCycle)
#include "tst_sweepcycle.moc"
