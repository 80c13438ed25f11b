// The sweep cycle: load and socket set-up, batches along the cursor, the ranges built from the adapters, the
// echo request itself, the wait between sweeps, and stopping and restarting.

#include "EngineRig.h"

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

} // namespace

class TestSweepCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void loadOpensTheSocketAndPreparesTheFirstSweep()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
        rig.engine.Load();
        QVERIFY(rig.engine.pingTimer().isActive());
        QCOMPARE(rig.engine.pingTimer().interval(), 100);
        rig.engine.pingTimer().stop();

        QCOMPARE(rig.net.socketBuffers(), 327680);
        QVERIFY(rig.engine.isRunning());
        QVERIFY(rig.engine.isSweepPrepared());
        QVERIFY(rig.engine.isSweepReady());
        QCOMPARE(rig.engine.rangeIndex(), 0);
        QCOMPARE(rig.engine.hostByte(), 0);
        QCOMPARE(rig.engine.passCount(), 0);
        QCOMPARE(rig.engine.SecondsCounter(), 0u);
        QCOMPARE(rig.engine.GetIP_Address(), QStringLiteral("198.18.0.0"));
        QCOMPARE(rig.engine.gateways(), QStringList {QStringLiteral("198.18.0.1")});
        QCOMPARE(rig.window.logs, QStringList());
        QVERIFY(rig.net.sentPackets().isEmpty()); // nothing leaves before the first tick
    }

    void socketFailureLeavesTheEngineStopped()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24"));
        rig.net.setOpenFails(true);
        rig.load();
        QCOMPARE(rig.window.logs, QStringList {QStringLiteral("Startup - Failed to create socket")});
        QVERIFY(!rig.engine.isRunning());
        QCOMPARE(rig.net.socketBuffers(), 0);

        rig.engine.StartSystem(); // the window restarting monitoring cannot start it either
        rig.tick(100);
        QVERIFY(!rig.engine.isRunning());
        QCOMPARE(rig.net.sentPackets().size(), 0);
        QCOMPARE(rig.net.adapterCalls(), 0);
        QCOMPARE(rig.window.calls, QStringList());
        QCOMPARE(rig.engine.SecondsCounter(), 0u);
    }

    void batchesOf32WalkTheRangeFourTimesThenHarvest()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24"));
        rig.load();

        rig.tick();
        QCOMPARE(rig.net.sentAddresses(), hostsOf(QStringLiteral("198.18.0."), 0, 31));
        QCOMPARE(rig.engine.hostByte(), 32);
        rig.tick(7);
        QCOMPARE(rig.net.sentPackets().size(), 256);
        QCOMPARE(rig.engine.passCount(), 1);
        QCOMPARE(rig.engine.hostByte(), 0);

        rig.tick(23);
        QCOMPARE(rig.window.count(QStringLiteral("ShowStatus")), 0);
        rig.tick();
        QCOMPARE(rig.window.count(QStringLiteral("ShowStatus")), 1);
        const QStringList pass = hostsOf(QStringLiteral("198.18.0."), 0, 255);
        QCOMPARE(rig.net.sentAddresses(), pass + pass + pass + pass);
        QVERIFY(!rig.engine.isSweepReady());
        QVERIFY(!rig.engine.isSweepPrepared());
        QCOMPARE(rig.engine.rangeIndex(), 0);
        QCOMPARE(rig.engine.hostByte(), 0);
        QCOMPARE(rig.engine.passCount(), 0);

        rig.tick(20); // waiting for the next sweep: nothing is sent
        QCOMPARE(rig.net.sentPackets().size(), 1024);
    }

    void rangesFromAdapters_data()
    {
        QTest::addColumn<QStringList>("adapters");
        QTest::addColumn<QStringList>("ranges");
        QTest::addColumn<QStringList>("gateways");

        QTest::newRow("mask last byte 0")
            << QStringList {QStringLiteral("198.18.1.37/255.255.255.0 gw 198.18.1.1")}
            << QStringList {QStringLiteral("198.18.1.0 to 198.18.1.255")} << QStringList {QStringLiteral("198.18.1.1")};
        QTest::newRow("mask last byte 192")
            << QStringList {QStringLiteral("198.18.1.37/255.255.255.192")}
            << QStringList {QStringLiteral("198.18.1.0 to 198.18.1.63")} << QStringList {QString()};
        QTest::newRow("mask 192, upper block")
            << QStringList {QStringLiteral("198.18.1.200/26")}
            << QStringList {QStringLiteral("198.18.1.192 to 198.18.1.255")} << QStringList {QString()};
        QTest::newRow("only the last mask byte counts")
            << QStringList {QStringLiteral("198.18.1.37/255.255.0.0")}
            << QStringList {QStringLiteral("198.18.1.0 to 198.18.1.255")} << QStringList {QString()};
        QTest::newRow("first and last host equal")
            << QStringList {QStringLiteral("198.18.1.37/32")}
            << QStringList {QStringLiteral("198.18.1.37 to 198.18.1.37")} << QStringList {QString()};
        QTest::newRow("two adapters") << QStringList {QStringLiteral("198.18.1.5/24 gw 198.18.1.1"),
            QStringLiteral("198.19.2.5/24 gw 198.19.2.1")}
                                      << QStringList {QStringLiteral("198.18.1.0 to 198.18.1.255"),
                                             QStringLiteral("198.19.2.0 to 198.19.2.255")}
                                      << QStringList {QStringLiteral("198.18.1.1"), QStringLiteral("198.19.2.1")};
        QTest::newRow("two gateways") << QStringList {QStringLiteral("198.18.1.5/24 gw 198.18.1.1 198.18.1.2")}
                                      << QStringList {QStringLiteral("198.18.1.0 to 198.18.1.255")}
                                      << QStringList {QStringLiteral("198.18.1.1"), QStringLiteral("198.18.1.2")};
        QTest::newRow("two addresses, then a second adapter")
            << QStringList {QStringLiteral("198.18.1.5/24 198.18.7.9/30 gw 198.18.1.1 198.18.1.2"),
                   QStringLiteral("198.19.0.5/25")}
            << QStringList {QStringLiteral("198.18.1.0 to 198.18.1.255"), QStringLiteral("198.18.7.8 to 198.18.7.11"),
                   QStringLiteral("198.19.0.0 to 198.19.0.127")}
            << QStringList {QStringLiteral("198.18.1.1"), QStringLiteral("198.18.1.2"), QString()};
        QTest::newRow("same network twice is kept twice")
            << QStringList {QStringLiteral("198.18.1.5/24"), QStringLiteral("198.18.1.6/24")}
            << QStringList {QStringLiteral("198.18.1.0 to 198.18.1.255"), QStringLiteral("198.18.1.0 to 198.18.1.255")}
            << QStringList {QString(), QString()};
    }

    void rangesFromAdapters()
    {
        QFETCH(QStringList, adapters);
        QFETCH(QStringList, ranges);
        QFETCH(QStringList, gateways);
        EngineRig rig;
        for (const QString& a : adapters)
            rig.net.addAdapter(a);
        rig.load();
        QCOMPARE(rangeTexts(rig.engine), ranges);
        QCOMPARE(rig.engine.gateways(), gateways);
        QCOMPARE(rig.engine.hostByte(), int(rig.engine.ranges().first().firstHost));

        // One pass visits every range from its first to its last host, in table order, each once.
        QStringList expected;
        for (const ScanRange& r : rig.engine.ranges())
            expected +=
                hostsOf(QStringLiteral("%1.%2.%3.").arg(r.byte1).arg(r.byte2).arg(r.byte3), r.firstHost, r.lastHost);
        QVERIFY(rig.runToHarvest() > 0);
        QCOMPARE(rig.net.sentAddresses(), expected + expected + expected + expected);
    }

    void addressWithoutIPv4IsTheZeroRange()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("gw")).addresses.clear();
        rig.load();
        QCOMPARE(rangeTexts(rig.engine), QStringList {QStringLiteral("0.0.0.0 to 0.0.0.255")});
    }

    void unreadableAddressGivesAZeroEntryAndALogLine()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24")).addresses.append({QStringLiteral("fe80::1"), {}});
        rig.load();
        QCOMPARE(rangeTexts(rig.engine),
            (QStringList {QStringLiteral("198.18.1.0 to 198.18.1.255"), QStringLiteral("0.0.0.0 to 0.0.0.0")}));
        QCOMPARE(rig.window.logs.size(), 1);
        QVERIFY(rig.window.logs.first().startsWith(QStringLiteral("AddNetwork - \"fe80::1\"")));
    }

    void singleHostRangeSweepsInOneBatch()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.37/32"));
        rig.load();
        rig.tick();
        QCOMPARE(rig.net.sentAddresses(), QStringList(4, QStringLiteral("198.18.1.37")));
        QCOMPARE(rig.window.count(QStringLiteral("ShowStatus")), 1);
    }

    void twoFullRangesTake2048RequestsIn64Batches()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.net.addAdapter(QStringLiteral("198.19.2.5/24"));
        rig.load();
        for (int batch = 1; batch <= 64; ++batch) {
            const auto before = rig.net.sentPackets().size();
            rig.tick();
            QCOMPARE(rig.net.sentPackets().size() - before, 32);
            QCOMPARE(rig.window.count(QStringLiteral("ShowStatus")), batch == 64 ? 1 : 0);
        }
        QCOMPARE(rig.net.sentPackets().size(), 2048);
        QCOMPARE(rig.net.sentAddresses().count(QStringLiteral("198.19.2.255")), 4);
        QCOMPARE(rig.net.sentAddresses().count(QStringLiteral("198.18.1.0")), 4);
    }

    void theBatchEndingPassFourStopsThere()
    {
        // 64 + 1 addresses a pass, 260 a sweep: eight full batches and then four requests.
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/26 198.18.2.9/32"));
        rig.load();
        rig.tick(8);
        QCOMPARE(rig.net.sentPackets().size(), 256);
        QCOMPARE(rig.engine.passCount(), 3);
        rig.tick();
        QCOMPARE(rig.net.sentPackets().size(), 260);
        QCOMPARE(rig.net.sentAddresses().mid(256),
            (QStringList {QStringLiteral("198.18.1.61"), QStringLiteral("198.18.1.62"), QStringLiteral("198.18.1.63"),
                QStringLiteral("198.18.2.9")}));
        QCOMPARE(rig.window.calls.last(), QStringLiteral("ShowStatus"));
    }

    void nextSweepIsPreparedMoreThanFiveSecondsAfterThePrevious()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.load();
        QCOMPARE(rig.net.adapterCalls(), 1);
        QCOMPARE(rig.runToHarvest(), 32);
        rig.tick(59 - 32);
        QCOMPARE(rig.engine.SecondsCounter(), 5u);
        QVERIFY(!rig.engine.isSweepPrepared());
        QCOMPARE(rig.net.adapterCalls(), 1); // 5 - 0 is not over 5
        rig.tick(); // second 6
        QCOMPARE(rig.net.adapterCalls(), 2);
        QCOMPARE(rig.engine.preparationTime(), 6u);
        QVERIFY(rig.engine.isSweepReady());
        QCOMPARE(rig.net.sentPackets().size(), 1024);
        rig.tick();
        QCOMPARE(rig.net.sentPackets().size(), 1056);

        // A sweep longer than the gap: the next one waits for the harvest, then for the next second.
        EngineRig slow;
        slow.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        slow.net.addAdapter(QStringLiteral("198.18.2.5/24"));
        slow.load();
        QCOMPARE(slow.runToHarvest(), 64);
        QCOMPARE(slow.net.adapterCalls(), 1);
        slow.tick(6);
        QCOMPARE(slow.net.adapterCalls(), 2);
        QCOMPARE(slow.engine.preparationTime(), 7u);
    }

    void noRangesSendsNothingAndWaitsForAnInterface()
    {
        EngineRig rig; // a namespace without any interface that is up
        rig.load();
        QVERIFY(rig.engine.isRunning());
        QVERIFY(rig.engine.ranges().isEmpty());
        QCOMPARE(rig.engine.GetIP_Address(), QString());
        rig.tick(200);
        QCOMPARE(rig.net.sentPackets().size(), 0);
        QCOMPARE(rig.window.logs, QStringList());
        // Each empty sweep ends at once and the adapters are read again at every preparation time...
        QVERIFY(rig.net.adapterCalls() >= 3);
        // ...so an interface that comes up later is swept.
        rig.net.addAdapter(QStringLiteral("198.18.3.5/24"));
        rig.tick(70);
        QVERIFY(rig.net.sentPackets().size() > 0);
        QCOMPARE(rig.engine.ranges().size(), 1);
    }

    void unreadableAdapterListIsReadAgainLater()
    {
        EngineRig rig;
        rig.net.setAdaptersFail(true);
        rig.load();
        QVERIFY(rig.engine.isRunning());
        QVERIFY(!rig.engine.isSweepReady());
        rig.tick(100);
        QCOMPARE(rig.net.sentPackets().size(), 0);
        QCOMPARE(rig.window.calls, QStringList());
        // Readable again: the next preparation sweeps.
        rig.net.setAdaptersFail(false);
        rig.net.addAdapter(QStringLiteral("198.18.3.5/24"));
        rig.tick(70);
        QVERIFY(rig.net.sentPackets().size() > 0);
    }

    void stopMidSweepEndsEverything()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.addLoadedDevice(QStringLiteral("02-00-00-00-00-10"), QStringLiteral("198.18.1.10"));
        rig.load();
        const QList<int> pending = rig.net.pendingLookups();
        QCOMPARE(pending.size(), 1);
        rig.tick(10);
        rig.engine.StopSystem();
        QVERIFY(!rig.engine.isRunning());
        QVERIFY(!rig.engine.isSweepReady());
        QVERIFY(!rig.engine.isSweepPrepared());
        QCOMPARE(rig.engine.passCount(), 0);
        QCOMPARE(rig.engine.hostByte(), 0);
        QCOMPARE(rig.net.cancelledLookups(), pending);
        QCOMPARE(rig.engine.HostLookupHandle(), 0);
        QCOMPARE(rig.engine.LookupIndex(), 0);

        const auto sent = rig.net.sentPackets().size();
        const quint32 seconds = rig.engine.SecondsCounter();
        rig.tick(400);
        QCOMPARE(rig.net.sentPackets().size(), sent);
        QCOMPARE(rig.window.calls, QStringList());
        QCOMPARE(rig.net.lookedUpAddresses().size(), 1);
        QCOMPARE(rig.engine.SecondsCounter(), seconds);
    }

    void restartAfterStopSweepsAgainFromTheStart()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.load();
        rig.tick(13);
        rig.engine.StopSystem();
        rig.net.clearSent();

        rig.engine.StartSystem();
        QVERIFY(rig.engine.isSweepReady());
        QCOMPARE(rig.net.adapterCalls(), 2);
        QCOMPARE(rig.runToHarvest(), 32);
        const QStringList pass = hostsOf(QStringLiteral("198.18.1."), 0, 255);
        QCOMPARE(rig.net.sentAddresses(), pass + pass + pass + pass);
    }

    void nonBlockingFailureSendsNothingAndKeepsTheCursor()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.load();
        rig.tick(2);
        rig.net.setNonBlockingFails(true);
        rig.tick();
        QCOMPARE(rig.window.logs, QStringList {QStringLiteral("PingSend - NonBlocking Failed")});
        QCOMPARE(rig.net.sentPackets().size(), 64);
        QCOMPARE(rig.engine.hostByte(), 64);
        rig.net.setNonBlockingFails(false);
        rig.tick();
        QCOMPARE(rig.net.sentAddresses().mid(64), hostsOf(QStringLiteral("198.18.1."), 64, 95));
    }

    void echoRequestBytes()
    {
        const QByteArray expected = QByteArray::fromHex("0800a1a9555500004040404040404040");
        QCOMPARE(frmClient::echoRequest(), expected);

        QByteArray zeroed = expected;
        zeroed[2] = 0;
        zeroed[3] = 0;
        QCOMPARE(frmClient::CountChecksum(zeroed, 16), (std::array<quint8, 2> {0xA1, 0xA9}));
        // A packet carrying its checksum sums to zero.
        QCOMPARE(frmClient::CountChecksum(expected, 16), (std::array<quint8, 2> {0, 0}));
        // The example of RFC 1071 (sum 0xDDF2, carries folded), and an odd count padded with a zero byte.
        QCOMPARE(
            frmClient::CountChecksum(QByteArray::fromHex("0001f203f4f5f6f7"), 8), (std::array<quint8, 2> {0x22, 0x0D}));
        QCOMPARE(frmClient::CountChecksum(QByteArray::fromHex("ff01ab"), 3), (std::array<quint8, 2> {0x55, 0xFD}));
        QCOMPARE(frmClient::CountChecksum(QByteArray::fromHex("ffffffff"), 4), (std::array<quint8, 2> {0, 0}));

        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.load();
        rig.tick();
        for (const auto& packet : rig.net.sentPackets())
            QCOMPARE(packet.bytes, expected);
        // The destination in network order: 198.18.1.7 is c6 12 01 07 in memory.
        const quint32 addr = rig.net.sentPackets().at(7).addrNetworkOrder;
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&addr), 4), QByteArray::fromHex("c6120107"));
    }

    void interfacesGoneMidSweepAreDroppedAtTheNextSetUp()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.net.addAdapter(QStringLiteral("198.18.2.5/24"));
        rig.load();
        rig.tick(5);
        rig.net.clearAdapters();
        rig.net.addAdapter(QStringLiteral("198.18.2.5/24"));
        // The sweep in flight goes on over the ranges it was prepared with; sends to the gone interface fail.
        QCOMPARE(rig.runToHarvest(), 64 - 5);
        rig.net.clearSent();
        rig.runToHarvest();
        QCOMPARE(rangeTexts(rig.engine), QStringList {QStringLiteral("198.18.2.0 to 198.18.2.255")});
        QCOMPARE(rig.net.sentPackets().size(), 1024);
    }

    void shutdownClosesTheSocketAndCancelsTheLookup()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.1.5/24"));
        rig.addLoadedDevice(QStringLiteral("02-00-00-00-00-10"), QStringLiteral("198.18.1.10"));
        rig.engine.Load();
        const int handle = rig.engine.HostLookupHandle();
        QVERIFY(handle != 0);
        rig.engine.Shutdown();
        QVERIFY(!rig.net.icmpSocketOpen());
        QVERIFY(!rig.engine.pingTimer().isActive());
        QVERIFY(!rig.engine.isRunning());
        QCOMPARE(rig.net.cancelledLookups(), QList<int> {handle});
        QCOMPARE(rig.engine.HostLookupHandle(), 0);
    }

    void adapterTypesAndListing_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::newRow("6") << 6 << QStringLiteral("Ethernet");
        QTest::newRow("9") << 9 << QStringLiteral("TokenRing");
        QTest::newRow("15") << 15 << QStringLiteral("FDDI");
        QTest::newRow("23") << 23 << QStringLiteral("PPP");
        QTest::newRow("24") << 24 << QStringLiteral("Loopback");
        QTest::newRow("28") << 28 << QStringLiteral("Slip");
        QTest::newRow("1") << 1 << QStringLiteral("Other");
        QTest::newRow("71") << 71 << QStringLiteral("Other");
    }

    void adapterTypesAndListing()
    {
        QFETCH(int, type);
        QFETCH(QString, name);
        EngineRig rig;
        AdapterInfo& a = rig.net.addAdapter(QStringLiteral("198.18.1.5/24 198.18.9.1/30 gw 198.18.1.1"));
        a.type = type;
        a.mac = QByteArray::fromHex("000c41a23b7f");
        rig.load();
        QCOMPARE(rig.engine.localAdapters().size(), 1);
        QCOMPARE(rig.engine.localAdapters().first().typeName, name);
        QCOMPARE(rig.engine.localAdapters().first().macText, QStringLiteral("00-0C-41-A2-3B-7F"));
        QCOMPARE(rig.engine.GetLocalAdapterInfo(),
            QStringList {QStringLiteral("eth0  %1  00-0C-41-A2-3B-7F  IP 198.18.1.5/255.255.255.0, "
                                        "198.18.9.1/255.255.255.252  Gateway 198.18.1.1")
                             .arg(name)});
    }

    void adapterListingFailureIsLogged()
    {
        EngineRig rig;
        rig.net.setAdaptersFail(true);
        QCOMPARE(rig.engine.GetLocalAdapterInfo(), QStringList());
        QCOMPARE(
            rig.window.logs, QStringList {QStringLiteral("GetLocalAdapterInfo - the adapter list cannot be read")});
    }
};

QTEST_GUILESS_MAIN(TestSweepCycle)
#include "tst_sweepcycle.moc"
