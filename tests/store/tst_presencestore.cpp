// Presence intervals through the manual clock: each row is a script of device events, harvests and restarts,
// and the intervals the store then gives back for one device.

#include "TestHome.h"
#include "platform/Clock.h"
#include "store/PresenceStore.h"

#include <QFileInfo>
#include <QTest>

namespace {
const QString kMac = QStringLiteral("02:00:00:00:00:01");
const QDateTime kStart(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
} // namespace

class TestPresenceStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // Steps: "admit|online|move ADDR T", "offline T", "remove T", "harvest T", "restart T" (the process ends and a
    // new one opens the file at T), "kill T" (the same without closing the connection), "flap N T" (from T, N times
    // online at .5 for a minute and away for a minute), "import N T" (N such minutes at .7 merged as a file's); T in
    // seconds after the start, "366d" in days. Expected: "from-to address" per interval, "*" marking an open one; the
    // script's last T is "now".
    void intervalsFollowEvents_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");
        QTest::newRow("a device that flaps") << QStringList {"online .5 0", "offline 100", "online .5 200",
            "offline 300", "online .5 400", "harvest 500"}
                                             << "0-100 .5; 200-300 .5; 400-500 .5*";
        QTest::newRow("admission and its online are one interval")
            << QStringList {"admit .5 0", "online .5 0", "harvest 60"} << "0-60 .5*";
        QTest::newRow("a move ends one interval and starts the next")
            << QStringList {"online .5 0", "move .6 50", "offline 80"} << "0-50 .5; 50-80 .6";
        QTest::newRow("a restart closes at the last harvest") << QStringList {"online .5 0", "harvest 40",
            "restart 100", "online .5 130", "harvest 140"} << "0-40 .5; 130-140 .5*";
        // A killed process never closes its connection: the next one finds what it committed.
        QTest::newRow("a kill loses no change") << QStringList {"online .5 0", "harvest 40", "move .6 45", "kill 50",
            "online .6 90"} << "0-45 .5; 45-45 .6; 90-90 .6*";
        QTest::newRow("a kill while away ends the stay at the harvest before")
            << QStringList {"online .5 0", "harvest 40", "offline 75", "harvest 80", "kill 90", "online .5 200"}
            << "0-75 .5; 200-200 .5*";
        QTest::newRow("away less than the gap is one stay, a new address is not") << QStringList {"online .5 0",
            "offline 100", "online .5 115", "offline 200", "online .6 215", "harvest 300"}
                                                                                  << "0-200 .5; 215-300 .6*";
        QTest::newRow("a restart within the gap continues the stay")
            << QStringList {"online .5 0", "harvest 40", "restart 50", "online .5 60"} << "0-60 .5*";
        {
            // Twelve stays a day at most: the day's later returns continue the twelfth; the next day starts anew.
            QStringList stays;
            for (int k = 0; k < 11; ++k)
                stays << QStringLiteral("%1-%2 .5").arg(k * 120).arg(k * 120 + 60);
            QTest::newRow("a device that flaps all day") << QStringList {
                "flap 40 0", "online .5 1d"} << stays.join(QStringLiteral("; ")) + "; 1320-4740 .5; 86400-86400 .5*";
        }
        {
            // An import obeys the same bound, with what the file already holds that day.
            QStringList stays;
            for (int k = 0; k < 11; ++k)
                stays << QStringLiteral("%1-%2 .7").arg(k * 120).arg(k * 120 + 60);
            QTest::newRow("imports past twelve stays a day") << QStringList {"import 12 0", "import 6 3600",
                "harvest 5000"} << stays.join(QStringLiteral("; ")) + "; 1320-4260 .7";
        }
        QTest::newRow("a restart before any harvest keeps the start")
            << QStringList {"online .5 10", "restart 100"} << "10-10 .5";
        QTest::newRow("harvests confirm at most every 30 s")
            << QStringList {"online .5 0", "harvest 20", "restart 30"} << "0-0 .5";
        QTest::newRow("removal closes") << QStringList {"online .5 0", "remove 9", "online .5 50", "offline 55"}
                                        << "0-9 .5; 50-55 .5";
        QTest::newRow("the retention cut at reopening") << QStringList {"online .5 0", "offline 10", "online .5 1d",
            "offline 2d", "restart 366d"} << "86400-172800 .5";
        QTest::newRow("the daily cut while running") << QStringList {"online .5 0", "offline 10", "online .6 300d",
            "harvest 365d", "harvest 366d"} << "25920000-31622400 .6*";
    }
    void intervalsFollowEvents()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        const TestHome home;
        const QString file = home.dir() + QStringLiteral("/presence.db");
        ManualClock clock(kStart);
        kwclock::install(&clock);
        auto store = PresenceStore::open(file, clock.now()).store;
        std::vector<std::unique_ptr<PresenceStore>> killed;
        QVERIFY(store);
        QCOMPARE(QFileInfo(file).permissions() & 0x0077, QFileDevice::Permissions());
        for (const QString& step : std::as_const(steps)) {
            const QStringList w = step.split(QLatin1Char(' '));
            const QString at = w.last();
            clock.set(
                kStart.addSecs(at.endsWith(QLatin1Char('d')) ? at.chopped(1).toLongLong() * 86400 : at.toLongLong()));
            DeviceEvent event;
            event.mac = kMac;
            event.time = clock.now();
            const QString verb = w.first();
            if (verb == QLatin1String("restart") || verb == QLatin1String("kill")) {
                if (verb == QLatin1String("kill"))
                    killed.push_back(std::move(store));
                store.reset();
                store = PresenceStore::open(file, clock.now()).store;
                QVERIFY(store);
                continue;
            }
            if (verb == QLatin1String("flap")) {
                const QDateTime from = clock.now();
                for (int k = 0; k < w[1].toInt(); ++k) {
                    event.time = from.addSecs(k * 120);
                    event.kind = DeviceEvent::Kind::Online;
                    event.address = QStringLiteral("198.18.0.5");
                    store->deviceEvent(event);
                    event.time = from.addSecs(k * 120 + 60);
                    event.kind = DeviceEvent::Kind::Offline;
                    store->deviceEvent(event);
                }
                continue;
            }
            if (verb == QLatin1String("import")) {
                QList<PresenceInterval> imported;
                for (int k = 0; k < w[1].toInt(); ++k)
                    imported << PresenceInterval {
                        clock.now().addSecs(k * 120), clock.now().addSecs(k * 120 + 60), QStringLiteral("198.18.0.7")};
                QVERIFY(store->merge({{kMac, imported}}, clock.now()));
                continue;
            }
            if (verb == QLatin1String("harvest")) {
                store->confirm(clock.now());
                continue;
            }
            event.kind = verb == QLatin1String("admit") ? DeviceEvent::Kind::Admitted
                : verb == QLatin1String("online")       ? DeviceEvent::Kind::Online
                : verb == QLatin1String("move")         ? DeviceEvent::Kind::AddressChanged
                : verb == QLatin1String("offline")      ? DeviceEvent::Kind::Offline
                                                        : DeviceEvent::Kind::Removed;
            if (w.size() == 3)
                event.address = QStringLiteral("198.18.0") + w[1];
            store->deviceEvent(event);
        }
        QStringList got;
        for (const PresenceInterval& i : store->intervals(kMac, kStart, clock.now()))
            got << QStringLiteral("%1-%2 %3%4")
                       .arg(kStart.secsTo(i.from))
                       .arg(kStart.secsTo(i.to))
                       .arg(i.address.mid(8), i.open ? QStringLiteral("*") : QString());
        kwclock::install(nullptr);
        QCOMPARE(got.join(QStringLiteral("; ")), expected);
    }
};

QTEST_GUILESS_MAIN(TestPresenceStore)
#include "tst_presencestore.moc"
