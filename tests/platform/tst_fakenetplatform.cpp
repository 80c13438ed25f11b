// The scripted network platform that the engine's unit tests stand on: it must do exactly what it is told.

#include "TestHome.h"
#include "platform/FakeNetPlatform.h"

#include <QTest>
#include <QtEndian>

namespace {

quint32 addr(quint8 a, quint8 b, quint8 c, quint8 d)
{
    return qToBigEndian(quint32(a) << 24 | quint32(b) << 16 | quint32(c) << 8 | d);
}

} // namespace

class TestFakeNetPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void adapterScript_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QStringList>("gateways");
        QTest::newRow("one address, one gateway")
            << "198.18.0.5/255.255.255.0 gw 198.18.0.1" << QStringList {"198.18.0.5/255.255.255.0"}
            << QStringList {"198.18.0.1"};
        QTest::newRow("prefix length") << "198.18.0.5/26" << QStringList {"198.18.0.5/255.255.255.192"}
                                       << QStringList {QString()};
        QTest::newRow("two addresses, two gateways")
            << "198.18.0.5/24 198.18.1.5/255.255.0.0 gw 198.18.0.1 198.18.0.254"
            << QStringList {"198.18.0.5/255.255.255.0", "198.18.1.5/255.255.0.0"}
            << QStringList {"198.18.0.1", "198.18.0.254"};
        QTest::newRow("no address") << "gw 198.18.0.1" << QStringList {} << QStringList {"198.18.0.1"};
    }
    void adapterScript()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, addresses);
        QFETCH(QStringList, gateways);
        FakeNetPlatform net;
        net.addAdapter(script);
        const auto list = net.adapters();
        QVERIFY(list);
        QCOMPARE(list->size(), 1);
        QStringList got;
        for (const AdapterAddress& a : list->first().addresses)
            got << a.ip + QLatin1Char('/') + a.mask;
        QCOMPARE(got, addresses);
        QCOMPARE(list->first().gateways, gateways);
    }

    void adaptersGetDistinctIdentities()
    {
        FakeNetPlatform net;
        net.addAdapter(QStringLiteral("198.18.0.5/24")).name = QStringLiteral("wlan0");
        net.addAdapter(QStringLiteral("198.18.1.5/24"));
        const auto list = *net.adapters();
        QCOMPARE(list[0].index, 2);
        QCOMPARE(list[1].index, 3);
        QCOMPARE(list[0].name, QStringLiteral("wlan0"));
        QCOMPARE(list[0].type, 6);
        QCOMPARE(list[0].mac, QByteArray::fromHex("020000000002"));
        QVERIFY(list[0].mac != list[1].mac);
        net.setAdaptersFail(true);
        QVERIFY(!net.adapters());
        QCOMPARE(net.adapterCalls(), 2);
    }

    void neighbourRowsFromTexts()
    {
        const NeighbourRow dashes =
            FakeNetPlatform::row(QStringLiteral("AA-BB-CC-0D-0E-0F"), QStringLiteral("198.18.0.7"));
        QCOMPARE(dashes.mac, QByteArray::fromHex("aabbcc0d0e0f"));
        QCOMPARE(dashes.ip, (std::array<quint8, 4> {198, 18, 0, 7}));
        QCOMPARE(dashes.type, quint8(3));
        QCOMPARE(dashes.ifindex, 2);
        const NeighbourRow colons =
            FakeNetPlatform::row(QStringLiteral("aa:bb:cc:0d:0e:0f"), QStringLiteral("198.18.0.8"), 4, 7);
        QCOMPARE(colons.mac, dashes.mac);
        QCOMPARE(colons.type, quint8(4));
        QCOMPARE(colons.ifindex, 7);
        QVERIFY(FakeNetPlatform::row(QString(), QStringLiteral("198.18.0.9"), 2).mac.isEmpty());
    }

    void deletedRowsLeaveTheTableUnlessDeletesFail()
    {
        FakeNetPlatform net;
        net.addNeighbour(QStringLiteral("02-00-00-00-00-07"), QStringLiteral("198.18.0.7"));
        net.addNeighbour(QStringLiteral("02-00-00-00-00-08"), QStringLiteral("198.18.0.8"));
        net.addNeighbour(QStringLiteral("02-00-00-00-00-08"), QStringLiteral("198.18.0.8"), 3, 5); // other interface

        net.deleteNeighbour(net.neighbours()->at(0));
        QCOMPARE(net.neighbours()->size(), 2);
        QCOMPARE(net.deletedAddresses(), QStringList {"198.18.0.7"});

        net.setDeleteFails(true);
        net.deleteNeighbour(net.neighbours()->at(0));
        QCOMPARE(net.neighbours()->size(), 2);
        QCOMPARE(net.deletedAddresses(), (QStringList {"198.18.0.7", "198.18.0.8"}));

        net.setDeleteFails(false);
        net.deleteNeighbour(FakeNetPlatform::row(QString(), QStringLiteral("198.18.0.8")));
        QCOMPARE(net.neighbours()->size(), 1);
        QCOMPARE(net.neighbours()->first().ifindex, 5);

        net.setNeighboursFail(true);
        QVERIFY(!net.neighbours());
    }

    void socketScript()
    {
        FakeNetPlatform net;
        const QByteArray packet(16, '\x40');
        net.sendEcho(packet, addr(198, 18, 0, 1));
        QVERIFY(net.sentPackets().isEmpty()); // nothing leaves a closed socket
        QVERIFY(!net.setNonBlocking());

        net.setOpenFails(true);
        QVERIFY(!net.openIcmpSocket());
        QVERIFY(!net.icmpSocketOpen());
        net.setOpenFails(false);
        QVERIFY(net.openIcmpSocket());
        QCOMPARE(net.openCalls(), 2);
        net.setSocketBuffers(327680);
        QCOMPARE(net.socketBuffers(), 327680);
        QVERIFY(net.setNonBlocking());
        net.setNonBlockingFails(true);
        QVERIFY(!net.setNonBlocking());
        QCOMPARE(net.nonBlockingCalls(), 3);

        net.sendEcho(packet, addr(198, 18, 0, 1));
        net.sendEcho(packet, addr(198, 18, 0, 255));
        QCOMPARE(net.sentAddresses(), (QStringList {"198.18.0.1", "198.18.0.255"}));
        QCOMPARE(net.sentPackets().first().bytes, packet);
        net.closeIcmpSocket();
        net.sendEcho(packet, addr(198, 18, 0, 2));
        QCOMPARE(net.sentPackets().size(), 2);
    }

    void lookupsWaitForTheTest()
    {
        FakeNetPlatform net;
        QList<std::tuple<int, int, QString>> done;
        const auto record = [&done](int h, int e, const QString& n) { done.append({h, e, n}); };

        const int a = net.lookupAddress(QStringLiteral("198.18.0.7"), record);
        const int b = net.lookupAddress(QStringLiteral("198.18.0.8"), record);
        QVERIFY(a != 0 && b != 0 && a != b);
        QCOMPARE(net.pendingLookups(), (QList<int> {a, b}));
        QCOMPARE(net.lookupAddressOf(b), QStringLiteral("198.18.0.8"));
        QCOMPARE(net.pendingLookupFor(QStringLiteral("198.18.0.7")), a);
        QVERIFY(done.isEmpty());

        net.cancelLookup(a);
        QCOMPARE(net.cancelledLookups(), QList<int> {a});
        QVERIFY(!net.completeLookup(a, 0, QStringLiteral("late"))); // a cancelled lookup never answers
        QVERIFY(net.completeLookup(b, 0, QStringLiteral("printer")));
        QCOMPARE(done, (QList<std::tuple<int, int, QString>> {{b, 0, QStringLiteral("printer")}}));
        QVERIFY(!net.completeLookup(b, 0, QStringLiteral("again")));
        QVERIFY(net.pendingLookups().isEmpty());
        QCOMPARE(net.lookedUpAddresses(), (QStringList {"198.18.0.7", "198.18.0.8"}));

        net.setLookupsFail(true);
        QCOMPARE(net.lookupAddress(QStringLiteral("198.18.0.9"), record), 0);
        QVERIFY(net.pendingLookups().isEmpty());
    }

    void completionMayStartTheNextLookup()
    {
        // The engine's reply handler starts the next lookup from inside the callback.
        FakeNetPlatform net;
        int next = 0;
        const int first = net.lookupAddress(QStringLiteral("198.18.0.7"), [&](int, int, const QString&) {
            next = net.lookupAddress(QStringLiteral("198.18.0.8"), [](int, int, const QString&) {});
        });
        QVERIFY(net.completeLookup(first, 1, QString()));
        QVERIFY(next != 0);
        QCOMPARE(net.pendingLookups(), QList<int> {next});
    }
};

QTEST_GUILESS_MAIN(TestFakeNetPlatform)
#include "tst_fakenetplatform.moc"
