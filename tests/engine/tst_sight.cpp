// Presence judged only while the monitor can see: a link down, a renumbered adapter, a carrier lost mid-sweep, a
// stopped process, a suspend and logind's sleep signal each leave present devices out of sight (no event, last
// sighting kept); once the monitor sees again, two sweeps re-establish presence and a device that left meanwhile
// is offline once, dated at its last sighting. The blind time is counted and the state said.

#include "EngineRig.h"
#include "Skip.h"
#include "store/TextForms.h"

#include <QSignalSpy>
#include <QTest>

namespace {
const QString kStayer = QStringLiteral("02-AA-00-00-00-01");
const QString kLeaver = QStringLiteral("02-AA-00-00-00-02");
const QString kAdapter = QStringLiteral("198.18.0.5/24 gw 198.18.0.1");

// One sweep in which the given devices answer; its events without the harvest marks.
QStringList sweep(EngineRig& rig, const QStringList& answering)
{
    for (const QString& mac : answering)
        rig.net.addNeighbour(mac, mac == kStayer ? QStringLiteral("198.18.0.7") : QStringLiteral("198.18.0.8"));
    QStringList calls = rig.nextSweep();
    calls.removeAll(QStringLiteral("harvested"));
    return calls;
}
} // namespace

class TestSight : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void blindMomentsRaiseNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("blindSweeps"); // sweeps run while blind
        QTest::addColumn<QString>("state"); // said while blind
        QTest::newRow("link down for three sweeps") << "down" << 3 << "Not connected to a network";
        QTest::newRow("renumbered in the subnet") << "renumber" << 1 << "";
        QTest::newRow("carrier lost mid-sweep") << "midsweep" << 1 << "Not connected to a network";
        QTest::newRow("process stopped 40 s (a late tick)") << "late" << 0 << "Waking up\u2026";
        QTest::newRow("suspend (wall clock jumps)") << "jump" << 0 << "Waking up\u2026";
        QTest::newRow("logind PrepareForSleep") << "logind" << 0 << "Waking up\u2026";
    }

    void blindMomentsRaiseNothing()
    {
        QFETCH(QString, how);
        QFETCH(int, blindSweeps);
        QFETCH(QString, state);
        EngineRig rig;
        rig.net.addAdapter(kAdapter);
        rig.load();
        sweep(rig, {kStayer, kLeaver});
        sweep(rig, {kStayer, kLeaver});
        const DeviceRecord* leaver = rig.devices.find(kLeaver);
        const QDateTime lastSeen = leaver->LastSeen;
        QCOMPARE(lastSeen, rig.now());
        QSignalSpy lost(&rig.engine, &DiscoveryEngine::sightLost);
        QSignalSpy states(&rig.engine, &DiscoveryEngine::sightChanged);
        QSignalSpy away(&rig.engine, &DiscoveryEngine::awayChanged);

        // The leaver goes while the monitor cannot see.
        QStringList events;
        AdapterInfo& adapter = rig.net.scriptedAdapters()[0];
        if (how == QLatin1String("down")) {
            const AdapterInfo saved = adapter;
            rig.net.scriptedAdapters().clear();
            rig.clock.advanceSeconds(1);
            for (int s = 0; s < blindSweeps; ++s)
                events += sweep(rig, {});
            QCOMPARE(Sight::stateText(rig.engine.sightState()), state);
            rig.net.scriptedAdapters().append(saved);
        } else if (how == QLatin1String("renumber")) {
            adapter.addresses[0].ip = QStringLiteral("198.18.0.6");
            events += sweep(rig, {kStayer});
        } else if (how == QLatin1String("midsweep")) {
            const AdapterInfo saved = adapter;
            for (int t = 0; t < 100 && !rig.engine.isSweepReady(); ++t)
                rig.tick();
            rig.tick(2); // the next cycle is under way
            rig.net.scriptedAdapters().clear();
            events += sweep(rig, {kStayer});
            QCOMPARE(Sight::stateText(rig.engine.sightState()), state);
            rig.net.scriptedAdapters().append(saved);
        } else if (how == QLatin1String("late")) {
            rig.clock.advanceSeconds(40);
        } else if (how == QLatin1String("jump")) {
            rig.clock.set(rig.clock.now().addSecs(3600));
        } else {
            rig.engine.PrepareForSleep(true);
            QCOMPARE(Sight::stateText(rig.engine.sightState()), state);
            rig.clock.set(rig.clock.now().addSecs(3600));
            rig.engine.PrepareForSleep(false);
        }
        if (blindSweeps == 0) {
            rig.tick();
            QCOMPARE(Sight::stateText(rig.engine.sightState()), state);
        }
        QCOMPARE(events, QStringList());
        QVERIFY(lost.size() >= 1);

        // Two sweeps in sight decide: the leaver is offline once, at its last sighting; the stayer never.
        events += sweep(rig, {kStayer});
        QCOMPARE(events, QStringList());
        events += sweep(rig, {kStayer});
        QCOMPARE(events, QStringList {QStringLiteral("Offline 1")});
        QCOMPARE(rig.window.events.first().time, lastSeen);
        QCOMPARE(leaver->LastOffline, lastSeen);
        QCOMPARE(rig.stored(kLeaver, QStringLiteral("Last_Offline")), TextForms::storedDate(lastSeen));
        for (int s = 0; s < 3; ++s)
            events += sweep(rig, {kStayer});
        QCOMPARE(events, QStringList {QStringLiteral("Offline 1")});
        QCOMPARE(rig.engine.sightState(), Sight::State::Watching);
        QCOMPARE(states.isEmpty(), state.isEmpty());
        // The monitor's own absence, from its last look before it (the timelines shade it), to the return.
        QCOMPARE(away.size(), 2);
        QVERIFY(away.first().at(0).toBool() && !away.last().at(0).toBool());
        QVERIFY(away.first().at(1).toDateTime() >= lastSeen);
        QVERIFY(away.first().at(1).toDateTime() < away.last().at(1).toDateTime());
        if (!state.isEmpty())
            QVERIFY(rig.engine.blindSeconds() > 0);
    }

    // A sweep in sight without the device is a miss; the usual two take it offline at the verdict's time.
    void inSightTheUsualRuleHolds()
    {
        EngineRig rig;
        rig.net.addAdapter(kAdapter);
        rig.load();
        sweep(rig, {kStayer, kLeaver});
        QCOMPARE(sweep(rig, {kStayer}), QStringList());
        QCOMPARE(sweep(rig, {kStayer}), QStringList {QStringLiteral("Offline 1")});
        QCOMPARE(rig.window.events.first().time, rig.now());
        QCOMPARE(rig.engine.blindSeconds(), 0);
    }

    // ARP the helper heard while the monitor was stopped reaches it at once on waking: it tells of before.
    void heardWhileAsleepIsNoSighting()
    {
        EngineRig rig;
        rig.net.addAdapter(kAdapter);
        rig.load();
        sweep(rig, {kStayer});
        rig.clock.advanceSeconds(40);
        rig.net.hearArp(kLeaver, QStringLiteral("198.18.0.8"));
        QCOMPARE(rig.devices.size(), 1);
        rig.tick(11);
        rig.net.hearArp(kLeaver, QStringLiteral("198.18.0.8"));
        QCOMPARE(rig.devices.size(), 2);
    }

    void clockSigns_data()
    {
        QTest::addColumn<qint64>("wallMs");
        QTest::addColumn<qint64>("monotonicMs");
        QTest::addColumn<bool>("slept");
        QTest::newRow("a tick on time") << 100LL << 100LL << false;
        QTest::newRow("a loaded machine's late tick") << 3000LL << 3000LL << false;
        QTest::newRow("a tick far too late") << 10001LL << 10001LL << true;
        QTest::newRow("suspend: wall on, monotonic still") << 600000LL << 100LL << true;
        QTest::newRow("clock set back") << -7000LL << 100LL << true;
        QTest::newRow("small clock step") << 4000LL << 100LL << false;
    }

    void clockSigns()
    {
        QFETCH(qint64, wallMs);
        QFETCH(qint64, monotonicMs);
        QFETCH(bool, slept);
        Sight sight;
        const QDateTime t0 = EngineRig::kStart;
        QVERIFY(!sight.clocksSaySlept(t0, 5000));
        QCOMPARE(sight.clocksSaySlept(t0.addMSecs(wallMs), 5000 + monotonicMs), slept);
        QCOMPARE(sight.state() == Sight::State::WakingUp, slept);
    }
};

KW_TEST_GUILESS_MAIN(TestSight)
#include "tst_sight.moc"
