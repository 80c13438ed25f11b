// The harvest at the end of a sweep: which neighbour rows count and which are pruned, admission of new MAC
// addresses (whole in the store even when the process is killed), and presence across sweeps.

#include "Devices.h"
#include "EngineRig.h"
#include "Process.h"
#include "Skip.h"
#include "store/KeyStore.h"
#include "store/TextForms.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kMac = QStringLiteral("02-AA-BB-CC-DD-01");
const QString kIp = QStringLiteral("198.18.0.7");
const QString kDevices = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\DetectedDevices");
const QStringList kStoredValues {"IP_Address", "Host_Name", "Friendly_Name", "New_Device", "Intruder", "First_Seen",
    "Last_Online", "Last_Offline", "Mac_Type", "Last_Seen"};

void prepare(EngineRig& rig)
{
    rig.net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
    rig.load();
}

// The child of admissionsSurviveSigkill: admits 200 new devices per harvest until it is killed.
int admitForever(const QString& dir)
{
    auto hive = Hive::open(dir + QStringLiteral("/hive.db")).hive;
    if (!hive)
        return 2;
    KeyStore::attach(hive.get());
    ManualClock clock(EngineRig::kStart);
    kwclock::install(&clock);
    DeviceStore devices;
    FakeNetPlatform net;
    DiscoveryEngine engine(devices, net);
    EventRecorder window(engine, devices);
    net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
    engine.Load();
    engine.pingTimer().stop();
    quint32 run = QRandomGenerator::global()->generate();
    for (quint32 n = 0;; ++n) {
        net.addNeighbour(
            QStringLiteral("02-%1-%2").arg(run, 8, 16, QLatin1Char('0')).arg(n % 256, 2, 16, QLatin1Char('0')),
            QStringLiteral("198.18.0.%1").arg(n % 250 + 2));
        if (n % 200 == 199) {
            window.calls.clear();
            while (window.calls.isEmpty()) {
                clock.advanceMSecs(100);
                engine.sweepTick();
            }
            ++run;
            qInfo("admitted");
        }
    }
}

} // namespace

class TestHarvest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // IPv6 neighbour rows attach to the known device of their MAC; they never mark a device present nor admit one.
    void ipv6RowsAttachButNeverDecidePresence()
    {
        const QString known = QStringLiteral("00-0C-41-00-00-07"), seen = QStringLiteral("00-0C-41-00-00-08");
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24"));
        rig.load();
        rig.addLoadedDevice(known, QStringLiteral("198.18.0.7"));
        const qint32 k = positionOf(rig.devices, known);
        rig.net.addNeighbour(seen, QStringLiteral("198.18.0.8"));
        // Left out: a second link's copy, a FAILED row, an INCOMPLETE one without MAC, an unknown MAC's row.
        for (const auto& [mac, ip, type, ifindex] : {std::tuple {known, "fe80::7", 3, 2}, {known, "2001:db8::7", 3, 2},
                 {known, "fe80::7", 4, 3}, {known, "2001:db8::dead", 2, 2}, {QString(), "2001:db8::1", 2, 2},
                 {QStringLiteral("00-0C-41-00-00-09"), "2001:db8::9", 3, 2}, {seen, "fe80::8", 3, 2}})
            rig.net.addNeighbour6(mac, QString::fromLatin1(ip), quint8(type), ifindex);
        const QStringList calls = rig.nextSweep();
        const qint32 s = positionOf(rig.devices, seen);
        QCOMPARE(qint32(rig.devices.size()), 2);
        QCOMPARE(nth(rig.devices, k).Ipv6Addresses, QStringList({"2001:db8::7", "fe80::7"}));
        QCOMPARE(nth(rig.devices, s).Ipv6Addresses, QStringList({"fe80::8"}));
        // The known device stays offline, only redrawn for its addresses.
        QCOMPARE(nth(rig.devices, k).PresenceCountdown + nth(rig.devices, k).OnlineState, 0);
        QCOMPARE(calls.filter(QRegularExpression(QStringLiteral("^\\w+ %1( |$)").arg(k))),
            QStringList({QStringLiteral("AddressesChanged %1").arg(k)}));

        // With IPv6 rows alone the device once seen goes offline; lists follow the table, and an unchanged list
        // is not redrawn.
        rig.net.clearNeighbours();
        rig.net.neighbourRows6().removeIf([](const Neighbour6Row& r) { return r.ip[0] == 0x20; });
        rig.nextSweep();
        const QStringList second = rig.nextSweep();
        QCOMPARE(second.count(QStringLiteral("Offline %1").arg(s)), 1);
        QCOMPARE(second.filter(QStringLiteral("AddressesChanged %1").arg(k)), QStringList());
        QCOMPARE(nth(rig.devices, k).Ipv6Addresses, QStringList({"fe80::7"}));
        // An unreadable table leaves the lists as they were.
        rig.net.setNeighboursFail(true);
        rig.nextSweep();
        QCOMPARE(nth(rig.devices, k).Ipv6Addresses, QStringList({"fe80::7"}));
    }

    void whichRowsCountAndWhichArePruned_data()
    {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("sighting");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("dynamic") << kMac << kIp << 3 << true << true;
        QTest::newRow("static: an administrator's, kept") << kMac << kIp << 4 << true << false;
        QTest::newRow("NOARP: the kernel's, kept") << kMac << kIp << 1 << true << false;
        QTest::newRow("no hardware address") << QString() << kIp << 3 << false << false;
        QTest::newRow("invalid: unanswered, pruned for room") << kMac << kIp << 2 << false << true;
        QTest::newRow("outside every range, known MAC") << kMac << QStringLiteral("198.18.5.60") << 3 << false << false;
    }

    void whichRowsCountAndWhichArePruned()
    {
        QFETCH(QString, mac);
        QFETCH(QString, ip);
        QFETCH(int, type);
        QFETCH(bool, sighting);
        QFETCH(bool, deleted);
        EngineRig rig;
        rig.addLoadedDevice(kMac, kIp, false);
        rig.net.addNeighbour(mac, ip, quint8(type));
        prepare(rig);
        rig.nextSweep();
        QCOMPARE(qint32(rig.devices.size()), 1);
        QCOMPARE(nth(rig.devices, 0).PresenceCountdown, qint16(sighting ? 2 : 0));
        QCOMPARE(rig.net.deletedAddresses(), deleted ? QStringList {ip} : QStringList());
    }

    // The one MAC check on every path that finds a device: a zero, group or broadcast MAC is nobody's, its row
    // stays undeleted, and however often it comes one line says so.
    void invalidMacsAreNobody_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mac");
        for (const char* path : {"harvest", "heard ARP", "IPv6 row"}) {
            for (const char* mac : {"00-00-00-00-00-00", "01-00-5E-00-00-FB", "33-33-00-00-00-01", "FF-FF-FF-FF-FF-FF"})
                QTest::addRow("%s, %s", path, mac) << QString::fromLatin1(path) << QString::fromLatin1(mac);
        }
    }

    void invalidMacsAreNobody()
    {
        QFETCH(QString, path);
        QFETCH(QString, mac);
        EngineRig rig;
        const bool ipv6 = path == QLatin1String("IPv6 row");
        if (ipv6)
            rig.addLoadedDevice(mac, kIp); // stored before the check was made
        prepare(rig);
        rig.nextSweep();
        for (int twice = 0; twice < 2; ++twice) {
            if (path == QLatin1String("harvest"))
                rig.net.addNeighbour(mac, kIp);
            else if (ipv6)
                rig.net.addNeighbour6(mac, QStringLiteral("2001:db8::7"));
            else
                rig.net.hearArp(mac, kIp);
            rig.nextSweep();
        }
        QCOMPARE(qint32(rig.devices.size()), ipv6 ? 1 : 0);
        QVERIFY(!ipv6 || nth(rig.devices, 0).Ipv6Addresses.isEmpty());
        QCOMPARE(rig.net.deletedAddresses(), QStringList());
        QCOMPARE(rig.log.lines().filter(QStringLiteral(" is no device: its MAC address is ")).size(), 1);
    }

    // An intruder; and who answers for the gateway: a second MAC while the known one is about is an intruder
    // with a warning, as ARP spoofing is; a first gateway, or one whose predecessor is gone two minutes, is safe.
    void admission_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("gone"); // seconds since the known gateway's last sighting; -1 none known, 0 online
        QTest::addColumn<bool>("known"); // instead of a new MAC, a known device moves there
        QTest::addColumn<bool>("intruder");
        const QString gw = QStringLiteral("198.18.0.1");
        QTest::newRow("intruder") << kIp << -1 << false << true;
        QTest::newRow("first gateway") << gw << -1 << false << false;
        QTest::newRow("gateway online") << gw << 0 << false << true;
        QTest::newRow("gateway seen 120 s ago") << gw << 120 << false << true;
        QTest::newRow("gateway seen 121 s ago") << gw << 121 << false << false;
        QTest::newRow("known device moves there, gateway online") << gw << 0 << true << true;
        QTest::newRow("known device moves there, gateway gone") << gw << 121 << true << false;
    }

    void admission()
    {
        QFETCH(QString, ip);
        QFETCH(int, gone);
        QFETCH(bool, known);
        QFETCH(bool, intruder);
        EngineRig rig;
        if (known)
            rig.addLoadedDevice(kMac, kIp, false);
        prepare(rig);
        for (int sweep = 0; sweep < 2 && gone >= 0; ++sweep) { // on for an hour: came online then, sighted now
            rig.net.addNeighbour(QStringLiteral("02-00-C6-12-00-01"), ip);
            rig.nextSweep();
            rig.clock.advanceSeconds(sweep ? 0 : 3600);
        }
        const QDateTime t = gone < 0 ? EngineRig::kStart.addSecs(90) : rig.now().addSecs(std::max(gone, 60));
        if (gone > 0)
            QVERIFY(rig.nextSweep().size() == 1 && rig.nextSweep().size() == 2); // missed once, then offline
        rig.clockStepMs = 0;
        rig.clock.set(t.addMSecs(400)); // stored and logged to the second
        rig.net.addNeighbour(kMac, ip, 4);
        const QStringList calls = rig.nextSweep();
        const qint32 s = positionOf(rig.devices, kMac);
        if (known) {
            const qsizetype moved = calls.indexOf("AddressChanged " + QString::number(s) + " " + ip);
            QCOMPARE(calls.indexOf("Impersonation " + QString::number(s) + " " + ip), intruder ? moved + 1 : -1);
            return;
        }
        const QString as = QString::number(s) + " " + ip + (intruder ? " intruder" : "");
        QCOMPARE(calls,
            QStringList({"Admitted " + as + (intruder && ip != kIp ? " impersonation" : ""),
                "Online " + as + " unlogged", "harvested"}));
        QCOMPARE(rig.window.events.first().time, t);
        QStringList values;
        for (const Hive::Value& v : rig.hive->values(kDevices + QLatin1Char('\\') + kMac))
            values << v.name + QLatin1Char('=') + v.data;
        // The network the gateway's answer names; a second MAC there while the first is about names none.
        const QString network = ip == kIp ? QString()
            : gone >= 0 && gone <= 120    ? QStringLiteral("02-00-C6-12-00-01 198.18.0.0/24")
                                          : kMac + QStringLiteral(" 198.18.0.0/24");
        const QString yes = TextForms::boolText(intruder), date = TextForms::storedDate(t);
        QStringList expected {"IP_Address=" + ip, "Host_Name=Unknown Device",
            "Friendly_Name=" + QString(intruder ? "" : "Default Gateway"), "New_Device=" + yes, "Intruder=" + yes,
            "First_Seen=" + date, "Last_Online=" + date, "Last_Offline=1980-01-01T00:00:00Z", "Mac_Type=4"};
        if (!network.isEmpty())
            expected << "Network=" + network;
        QCOMPARE(values, expected << "Last_Seen=" + date);
    }

    // Admission's writes are one transaction: killed at any moment, the store holds whole devices only, and
    // every intruder is still one.
    void admissionsSurviveSigkill()
    {
        QTemporaryDir dir;
        for (int round = 0; round < 6; ++round) {
            kwtest::Process child;
            const qsizetype from = child.cursor(kwtest::Process::Err);
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--admit-forever"), dir.path()});
            // Killed at a random point of a harvest after the first: each round leaves some devices behind.
            QVERIFY(
                !child.waitForLine(QRegularExpression(QStringLiteral("admitted")), from, 30000, kwtest::Process::Err)
                     .isEmpty());
            QTest::qWait(QRandomGenerator::global()->bounded(0, 100));
            child.kill();
        }
        auto hive = Hive::open(dir.path() + QStringLiteral("/hive.db")).hive;
        QVERIFY(hive);
        // How fast admissions are stored is bench_engine's (BM_FinishScan_500NewIn5000).
        const QStringList keys = hive->subkeys(kDevices);
        QVERIFY(keys.size() >= 6 * 200);
        for (const QString& mac : keys) {
            QStringList names;
            for (const Hive::Value& v : hive->values(kDevices + QLatin1Char('\\') + mac))
                names << v.name;
            QCOMPARE(names, kStoredValues);
            QCOMPARE(
                *hive->value(kDevices + QLatin1Char('\\') + mac, QStringLiteral("Intruder")), QStringLiteral("True"));
        }
        qInfo("%lld devices stored across 6 kills", qlonglong(keys.size()));
    }

    void presenceAcrossSweeps()
    {
        EngineRig rig;
        rig.net.addNeighbour(kMac, kIp, 3);
        prepare(rig);
        rig.nextSweep(); // admitted
        auto seen = [&rig] { rig.net.addNeighbour(kMac, kIp, 3); };
        const QStringList quiet {QStringLiteral("harvested")};
        seen();
        QCOMPARE(rig.nextSweep(), quiet);
        QCOMPARE(rig.nextSweep(), quiet); // one missed sweep is tolerated
        QStringList calls = rig.nextSweep();
        QCOMPARE(calls, (QStringList {QStringLiteral("Offline 0"), QStringLiteral("harvested")}));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Last_Offline")), TextForms::storedDate(rig.now()));
        QCOMPARE(rig.nextSweep(), quiet);

        seen(); // back: "Connected" again, and the online alerts (tst_deviceevents)
        calls = rig.nextSweep();
        QCOMPARE(calls.first(), QStringLiteral("Online 0 198.18.0.7 intruder"));
        QCOMPARE(rig.window.events.first().time, rig.now());
        QCOMPARE(rig.stored(kMac, QStringLiteral("Last_Online")), TextForms::storedDate(rig.now()));
    }

    // The last sighting is exact in memory and reaches the store at most once a minute while the device stays,
    // and exactly when it is found gone; "came online at" stays where it was.
    void lastSeenIsTheLastSighting()
    {
        EngineRig rig;
        rig.net.addNeighbour(kMac, kIp, 3);
        prepare(rig);
        rig.nextSweep(); // admitted
        const QDateTime admitted = rig.now();
        const auto storedSeen = [&rig] {
            const auto when = TextForms::parseStoredDate(rig.stored(kMac, QStringLiteral("Last_Seen")));
            return when ? when->when : QDateTime();
        };
        QCOMPARE(storedSeen(), admitted);
        QDateTime sighted;
        QList<QDateTime> written;
        while (rig.now() < admitted.addSecs(90)) {
            rig.net.addNeighbour(kMac, kIp, 3);
            rig.nextSweep();
            sighted = rig.now(); // the harvest just found it
            if (written.isEmpty() || written.last() != storedSeen())
                written << storedSeen();
        }
        const DeviceRecord& d = *rig.devices.find(kMac);
        QCOMPARE(d.LastSeen, sighted);
        QCOMPARE(d.LastOnline, admitted);
        QVERIFY2(storedSeen().secsTo(rig.now()) < 60, qPrintable(storedSeen().toString(Qt::ISODate)));
        for (qsizetype i = 1; i < written.size(); ++i)
            QVERIFY(written[i - 1].secsTo(written[i]) >= 60);
        // Two sweeps without it: offline, and the store says when it was last seen.
        rig.nextSweep();
        QCOMPARE(rig.nextSweep().first(), QStringLiteral("Offline 0"));
        QVERIFY(rig.now() > sighted);
        QCOMPARE(storedSeen(), sighted);
        QCOMPARE(d.LastSeen, sighted);
    }

    // Set-up is retried while the adapter list cannot be read; presence must not age meanwhile.
    void failedReads()
    {
        EngineRig rig;
        rig.net.addNeighbour(kMac, kIp, 3);
        prepare(rig);
        rig.nextSweep();
        rig.net.setAdaptersFail(true);
        rig.window.calls.clear();
        rig.tick(300); // many failed set-ups, no harvest
        QVERIFY(rig.net.adapterCalls() > 3);
        QCOMPARE(nth(rig.devices, 0).PresenceCountdown, qint16(2));
        rig.net.setAdaptersFail(false);
        rig.net.addNeighbour(kMac, kIp, 3);
        QCOMPARE(rig.nextSweep(), QStringList {QStringLiteral("harvested")}); // no "Disconnected", no alert
        // An unreadable neighbour table is no sighting: devices age as usual.
        rig.net.setNeighboursFail(true);
        rig.nextSweep();
        const QStringList calls = rig.nextSweep();
        QCOMPARE(calls.first(), QStringLiteral("Offline 0"));
    }

    // A second address or proxy ARP shows one MAC at several addresses: its address changes, and is logged,
    // only when none of them is the one it has.
    void addressChanges_data()
    {
        QTest::addColumn<QStringList>("sweeps"); // the device's rows per sweep, "a,b"
        QTest::addColumn<QStringList>("logged");
        QTest::addColumn<QString>("final");
        QTest::newRow("moved") << QStringList {"60", "61"} << QStringList {"IP = 198.18.0.60", "IP = 198.18.0.61"}
                               << "198.18.0.61";
        QTest::newRow("two addresses, either order")
            << QStringList {"60,61", "61,60", "60,61"} << QStringList {"IP = 198.18.0.60"} << "198.18.0.60";
        QTest::newRow("its own among others") << QStringList {"62,50,63"} << QStringList() << "198.18.0.50";
        QTest::newRow("then only the second") << QStringList {"60,61", "61", "61"}
                                              << QStringList {"IP = 198.18.0.60", "IP = 198.18.0.61"} << "198.18.0.61";
    }

    void addressChanges()
    {
        QFETCH(QStringList, sweeps);
        QFETCH(QStringList, logged);
        QFETCH(QString, final);
        EngineRig rig;
        rig.addLoadedDevice(kMac, QStringLiteral("198.18.0.50"), false);
        nth(rig.devices, 0).LastOnline = EngineRig::kStart; // counted online: no "Connected" line
        prepare(rig);
        QStringList lines;
        for (const QString& sweep : sweeps) {
            for (const QString& host : sweep.split(QLatin1Char(',')))
                rig.net.addNeighbour(kMac, QStringLiteral("198.18.0.") + host, 3);
            for (const QString& call : rig.nextSweep()) {
                if (call.startsWith(QLatin1String("AddressChanged 0")))
                    lines << "IP = " + call.section(QLatin1Char(' '), 2);
            }
        }
        QCOMPARE(lines, logged);
        QCOMPARE(nth(rig.devices, 0).IpAddress, final);
        QCOMPARE(rig.stored(kMac, QStringLiteral("IP_Address")), QStringLiteral("<missing>")); // memory only
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--admit-forever") == 0)
        return admitForever(QString::fromLocal8Bit(argv[2]));
    TestHarvest test;
    return kwtest::finish(QTest::qExec(&test, argc, argv));
}

#include "tst_harvest.moc"
