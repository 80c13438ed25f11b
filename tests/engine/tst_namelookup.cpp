// Host names: one reverse lookup at a time in index order, the time-out and the periodic refresh, which
// replies are taken, and what a taken name writes.

#include "EngineRig.h"
#include "store/Settings.h"
#include "store/modRegistry.h"

#include <QTest>

namespace {

QString ipOf(int host)
{
    return QStringLiteral("198.18.0.%1").arg(host);
}

QString macOf(int n)
{
    return QStringLiteral("02-AA-BB-CC-DD-%1").arg(n, 2, 10, QLatin1Char('0'));
}

// Devices 0..count-1 at 198.18.0.10 + i, loaded with their names due. No adapter is up, so no sweep ever
// changes their presence: each test sets it.
void addDevices(EngineRig& rig, int count)
{
    for (int i = 0; i < count; ++i)
        rig.addLoadedDevice(macOf(i), ipOf(10 + i));
}

void setOnline(EngineRig& rig, std::initializer_list<int> indices)
{
    for (int i : indices)
        rig.devices[i].PresenceCountdown = 2;
}

} // namespace

class TestNameLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void lookupsRunOneAtATimeInIndexOrder()
    {
        EngineRig rig;
        addDevices(rig, 3);
        rig.devices[1].NameLookupPending = false;
        rig.load();
        setOnline(rig, {0, 1, 2});
        QCOMPARE(rig.net.lookedUpAddresses(), QStringList {ipOf(10)});
        QCOMPARE(rig.net.pendingLookups().size(), 1);
        QCOMPARE(rig.engine.HostLookupHandle(), rig.net.pendingLookups().first());
        QCOMPARE(rig.engine.LookupIndex(), 0);

        QVERIFY(rig.answer(QStringLiteral("alpha.lan")));
        QCOMPARE(rig.devices[0].HostName, QStringLiteral("alpha.lan"));
        QVERIFY(!rig.devices[0].NameLookupPending);
        QCOMPARE(rig.window.calls,
            (QStringList {
                QStringLiteral("AddLogEntry 0 ") + EngineRig::stamp(rig.now()) + QStringLiteral("Name is alpha.lan"),
                QStringLiteral("MacUpdateOccured 0")}));
        QCOMPARE(rig.stored(macOf(0), QStringLiteral("Host_Name")), QStringLiteral("alpha.lan"));

        // Device 1 is not due: the next lookup is device 2's.
        QCOMPARE(rig.net.lookedUpAddresses(), (QStringList {ipOf(10), ipOf(12)}));
        QCOMPARE(rig.engine.LookupIndex(), 2);
        QVERIFY(rig.answer(QString(), 2)); // a failed lookup only clears the flag
        QCOMPARE(rig.devices[2].HostName, QStringLiteral("Unknown Device"));
        QVERIFY(!rig.devices[2].NameLookupPending);
        QCOMPARE(rig.engine.HostLookupHandle(), 0);
        QCOMPARE(rig.engine.LookupIndex(), 0);
        QCOMPARE(rig.net.lookedUpAddresses().size(), 2);
        QCOMPARE(rig.window.calls.size(), 2);
    }

    void aLookupWithoutAnswerIsRetriedAfter100Seconds()
    {
        EngineRig rig;
        addDevices(rig, 2);
        rig.load();
        const int first = rig.engine.HostLookupHandle();
        rig.tick(999);
        QCOMPARE(rig.engine.SecondsCounter(), 99u);
        QCOMPARE(rig.engine.HostLookupHandle(), first);
        QCOMPARE(rig.net.cancelledLookups(), QList<int>());

        rig.tick();
        QCOMPARE(rig.net.cancelledLookups(), QList<int> {first});
        const int second = rig.engine.HostLookupHandle();
        QVERIFY(second != 0 && second != first);
        QCOMPARE(rig.net.lookedUpAddresses(), (QStringList {ipOf(10), ipOf(10)}));
        QVERIFY(rig.devices[0].NameLookupPending);

        // A late reply to the cancelled lookup is ignored.
        setOnline(rig, {0});
        rig.engine.HostScanReply(first, 0, QStringLiteral("late.lan"));
        QCOMPARE(rig.devices[0].HostName, QStringLiteral("Unknown Device"));
        QCOMPARE(rig.engine.HostLookupHandle(), second);
    }

    void everyNameIsRefreshedAfter31SecondsWhenNoneIsPending()
    {
        EngineRig rig;
        addDevices(rig, 2);
        rig.load();
        QVERIFY(rig.answer(QString(), 1));
        QVERIFY(rig.answer(QString(), 1));
        QCOMPARE(rig.net.lookedUpAddresses().size(), 2);

        rig.tick(300);
        QCOMPARE(rig.net.lookedUpAddresses().size(), 2);
        rig.tick(10); // second 31
        QVERIFY(rig.devices[0].NameLookupPending && rig.devices[1].NameLookupPending);
        QCOMPARE(rig.net.lookedUpAddresses().size(), 3);
        QCOMPARE(rig.net.lookedUpAddresses().last(), ipOf(10));

        // Still pending at second 62: no refresh then. Answered at 70, the refresh waits for nothing more.
        rig.tick(390);
        QCOMPARE(rig.engine.SecondsCounter(), 70u);
        QCOMPARE(rig.net.lookedUpAddresses().size(), 3);
        QVERIFY(rig.answer(QString(), 1));
        QVERIFY(rig.answer(QString(), 1));
        QCOMPARE(rig.net.lookedUpAddresses().size(), 4);
        rig.tick(10);
        QCOMPARE(rig.net.lookedUpAddresses().size(), 5);
        QCOMPARE(rig.net.lookedUpAddresses().last(), ipOf(10));
    }

    void whichRepliesAreTaken_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("otherHost");
        QTest::addColumn<bool>("otherOnline");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("taken");

        const QString none;
        QTest::newRow("online, own address")
            << true << 20 << true << QStringLiteral("nas.lan") << QStringLiteral("nas.lan");
        QTest::newRow("offline") << false << 20 << true << QStringLiteral("nas.lan") << none;
        QTest::newRow("address shared with an online device")
            << true << 10 << true << QStringLiteral("nas.lan") << none;
        QTest::newRow("address shared with an offline device")
            << true << 10 << false << QStringLiteral("nas.lan") << QStringLiteral("nas.lan");
        QTest::newRow("empty name") << true << 20 << true << QString() << none;
        QTest::newRow("the same name again") << true << 20 << true << QStringLiteral("Unknown Device") << none;
        QTest::newRow("cut at a zero character")
            << true << 20 << true << QStringLiteral("nas.lan") + QChar(0) + QStringLiteral("junk")
            << QStringLiteral("nas.lan");
    }

    void whichRepliesAreTaken()
    {
        QFETCH(bool, online);
        QFETCH(int, otherHost);
        QFETCH(bool, otherOnline);
        QFETCH(QString, reply);
        QFETCH(QString, taken);
        EngineRig rig;
        rig.addLoadedDevice(macOf(0), ipOf(10));
        rig.addLoadedDevice(macOf(1), ipOf(otherHost));
        rig.devices[1].NameLookupPending = false;
        modRegistry::WriteString(modRegistry::ProductKey, Keys::deviceKey(macOf(0)), QStringLiteral("Host_Name"),
            QStringLiteral("as stored"));
        rig.load();
        if (online)
            setOnline(rig, {0});
        if (otherOnline)
            setOnline(rig, {1});

        QVERIFY(rig.answer(reply));
        QVERIFY(!rig.devices[0].NameLookupPending);
        if (taken.isNull()) {
            QCOMPARE(rig.devices[0].HostName, QStringLiteral("Unknown Device"));
            QCOMPARE(rig.stored(macOf(0), QStringLiteral("Host_Name")), QStringLiteral("as stored"));
            QCOMPARE(rig.window.calls, QStringList());
        } else {
            QCOMPARE(rig.devices[0].HostName, taken);
            QCOMPARE(rig.stored(macOf(0), QStringLiteral("Host_Name")), taken);
            QCOMPARE(rig.window.calls,
                (QStringList {
                    QStringLiteral("AddLogEntry 0 ") + EngineRig::stamp(rig.now()) + QStringLiteral("Name is ") + taken,
                    QStringLiteral("MacUpdateOccured 0")}));
        }
        QCOMPARE(rig.devices[1].HostName, QStringLiteral("Unknown Device"));
    }

    void aReplyAfterARemovalIsDiscarded()
    {
        EngineRig rig;
        addDevices(rig, 3);
        rig.load();
        setOnline(rig, {0, 1, 2});
        QVERIFY(rig.answer(QStringLiteral("zero.lan")));
        QCOMPARE(rig.engine.LookupIndex(), 1);
        QCOMPARE(rig.net.lookedUpAddresses().last(), ipOf(11));

        // The window removes device 0; device 1 moves to slot 0 and device 2 to slot 1.
        rig.devices.removeSlot(0);
        rig.engine.blnEntryDeleted = true;
        rig.window.calls.clear();
        QVERIFY(rig.answer(QStringLiteral("one.lan")));
        QCOMPARE(rig.devices[0].HostName, QStringLiteral("Unknown Device"));
        QCOMPARE(rig.devices[1].HostName, QStringLiteral("Unknown Device"));
        QVERIFY(rig.devices[0].NameLookupPending);
        QCOMPARE(rig.window.calls, QStringList());
        QVERIFY(!rig.engine.blnEntryDeleted);
        // The search starts again at LookupIndex, which now holds the former device 2.
        QCOMPARE(rig.engine.LookupIndex(), 1);
        QCOMPARE(rig.net.lookedUpAddresses().last(), ipOf(12));
    }

    void aLookupThatCannotStartIsTriedAgainAtTheNextSweep()
    {
        EngineRig rig;
        addDevices(rig, 1);
        rig.net.setLookupsFail(true);
        rig.load();
        QCOMPARE(rig.engine.HostLookupHandle(), 0);
        QCOMPARE(rig.net.lookedUpAddresses().size(), 1);
        rig.tick(70); // the first sweep, with no interface, ends at once; the next begins after 6 s
        const qsizetype tried = rig.net.lookedUpAddresses().size();
        QVERIFY(tried >= 2);
        rig.net.setLookupsFail(false);
        rig.tick(70);
        QVERIFY(rig.net.lookedUpAddresses().size() > tried);
        QVERIFY(rig.engine.HostLookupHandle() != 0);
    }

    void stoppingDropsThePendingLookup()
    {
        EngineRig rig;
        addDevices(rig, 2);
        rig.load();
        setOnline(rig, {0});
        const int handle = rig.engine.HostLookupHandle();
        rig.engine.StopSystem();
        QCOMPARE(rig.net.cancelledLookups(), QList<int> {handle});
        rig.engine.HostScanReply(handle, 0, QStringLiteral("late.lan"));
        QCOMPARE(rig.devices[0].HostName, QStringLiteral("Unknown Device"));

        // Started again, the lookups begin with the first device due.
        rig.engine.StartSystem();
        QCOMPARE(rig.net.lookedUpAddresses(), (QStringList {ipOf(10), ipOf(10)}));
    }
};

QTEST_GUILESS_MAIN(TestNameLookup)
#include "tst_namelookup.moc"
