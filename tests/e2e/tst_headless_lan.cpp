// The real monitor, headless, in a LAN of network namespaces: admission with its stored values and history,
// classification of the router, pruning of the neighbour table, presence, names from the lab's hosts file,
// restarts, a missing or vanishing interface, and running without (then with) capabilities.

#include "LabHarness.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace e2e;

namespace {
const QString kDevMac = QStringLiteral("02-4B-57-00-00-0A");
const QString kRouterMac = QStringLiteral("02-00-C6-12-00-01");
const QString kGhostMac = QStringLiteral("02-00-00-00-00-C8"); // a static row inside the range, no host behind it
constexpr int kSweepMs = 7000; // one sweep every ~6 s, with slack

QRegularExpression line(const QString& mac, const QString& event)
{
    return QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(mac) + QStringLiteral("\\t[^\\t]+\\t")
        + QRegularExpression::escape(event));
}

// The device every test watches: dev1 at 198.18.0.10 with the MAC kDevMac.
bool addDev1(const Lab& lab)
{
    return lab.addDevice(QStringLiteral("dev1"), QStringLiteral("198.18.0.10"), QStringLiteral("02:4b:57:00:00:0a"));
}

QString readFile(const QString& file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}
} // namespace

class TestHeadlessLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        const QString why = whyNotRunnable();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
    }

    void admitsClassifiesStoresAndPrunes()
    {
        Lab lab(QStringLiteral("kwa"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(addDev1(lab));
        // One static row inside the swept range and one outside every range.
        QCOMPARE(lab.inMonitor({QStringLiteral("ip"), QStringLiteral("neigh"), QStringLiteral("add"),
                                   QStringLiteral("198.18.0.200"), QStringLiteral("lladdr"),
                                   QStringLiteral("02:00:00:00:00:c8"), QStringLiteral("dev"), QStringLiteral("eth0"),
                                   QStringLiteral("nud"), QStringLiteral("permanent")})
                     .code,
            0);
        QCOMPARE(lab.inMonitor({QStringLiteral("ip"), QStringLiteral("neigh"), QStringLiteral("add"),
                                   QStringLiteral("198.19.7.7"), QStringLiteral("lladdr"),
                                   QStringLiteral("02:00:00:00:07:07"), QStringLiteral("dev"), QStringLiteral("eth0"),
                                   QStringLiteral("nud"), QStringLiteral("permanent")})
                     .code,
            0);

        TestHome home;
        const QString store = home.paths().home;
        {
            Monitor monitor(store);
            monitor.start(lab.ns());
            QVERIFY(monitor.waitStarted());
            QVERIFY(!monitor.waitForEvent(line(kDevMac, QStringLiteral("** WARNING - NEW DEVICE **")), 3 * kSweepMs)
                         .isEmpty());
            QVERIFY(!monitor.waitForEvent(line(kDevMac, QStringLiteral("Connected ( 198.18.0.10 )")), 1000).isEmpty());
            QVERIFY(
                !monitor.waitForEvent(line(kRouterMac, QStringLiteral("Connected ( 198.18.0.1 )")), 1000).isEmpty());
            QVERIFY(
                !monitor.waitForEvent(line(kGhostMac, QStringLiteral("Connected ( 198.18.0.200 )")), 1000).isEmpty());

            // The harvest deleted the swept static row; the one outside every range stays.
            const QString neighbours =
                lab.inMonitor({QStringLiteral("ip"), QStringLiteral("neigh"), QStringLiteral("show")}).out;
            QVERIFY2(!neighbours.contains(QStringLiteral("02:00:00:00:00:c8")), qPrintable(neighbours));
            QVERIFY2(neighbours.contains(QStringLiteral("198.19.7.7")), qPrintable(neighbours));
            QVERIFY(monitor.events().filter(QStringLiteral("02-00-00-00-07-07")).isEmpty());

            // The lab's hosts file names the device.
            QVERIFY(!monitor.waitForEvent(line(kDevMac, QStringLiteral("Name is dev1")), 6 * kSweepMs).isEmpty());
            QCOMPARE(monitor.stop(), 0);
            QVERIFY(!monitor.debug().filter(QStringLiteral("Shutdown requested by signal")).isEmpty());
        }

        // The nine values, in order, as kestrelwatch-reg shows them.
        const QString dump = regDump(store, deviceKey(kDevMac));
        static const QRegularExpression values(
            QStringLiteral("\"IP_Address\"=\"198.18.0.10\"\n\"Host_Name\"=\"dev1\"\n\"Friendly_Name\"=\"\"\n"
                           "\"New_Device\"=\"True\"\n\"Intruder\"=\"True\"\n\"First_Seen\"=\"[^\"]+\"\n"
                           "\"Last_Online\"=\"[^\"]+\"\n\"Last_Offline\"=\"1/1/1980\"\n\"Mac_Type\"=\"3\"\n"));
        QVERIFY2(values.match(dump).hasMatch(), qPrintable(dump));
        QCOMPARE(
            regGet(store, deviceKey(kRouterMac), QStringLiteral("Friendly_Name")), QStringLiteral("Default Gateway"));
        QCOMPARE(regGet(store, deviceKey(kRouterMac), QStringLiteral("Intruder")), QStringLiteral("False"));
        QCOMPARE(regGet(store, deviceKey(kRouterMac), QStringLiteral("New_Device")), QStringLiteral("False"));
        QCOMPARE(regGet(store, deviceKey(kGhostMac), QStringLiteral("Mac_Type")), QStringLiteral("4"));

        const QStringList history = readFile(home.paths().devices() + kDevMac + QStringLiteral(".log"))
                                        .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QVERIFY(history.size() >= 2);
        QVERIFY(history[0].endsWith(QStringLiteral("\t** WARNING - NEW DEVICE **")));
        QVERIFY(history[1].endsWith(QStringLiteral("\tConnected ( 198.18.0.10 )")));

        // A restart keeps every device and reports the present ones as coming online again.
        const QStringList before = regKeys(store, QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\DetectedDevices"));
        const QString lastOnline = regGet(store, deviceKey(kDevMac), QStringLiteral("Last_Online"));
        QTest::qWait(1100); // the next Last_Online differs by at least a second
        Monitor again(store);
        again.start(lab.ns());
        QVERIFY(again.waitStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            regGet(store, deviceKey(kDevMac), QStringLiteral("Last_Online")) != lastOnline, 2 * kSweepMs);
        QCOMPARE(again.stop(), 0);
        QVERIFY(again.events().filter(QStringLiteral("NEW DEVICE")).isEmpty());
        QCOMPARE(regKeys(store, QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\DetectedDevices")), before);
    }

    void tracksPresenceAndAddressChanges()
    {
        Lab lab(QStringLiteral("kwp"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(addDev1(lab));
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        QVERIFY(
            !monitor.waitForEvent(line(kDevMac, QStringLiteral("Connected ( 198.18.0.10 )")), 3 * kSweepMs).isEmpty());

        QCOMPARE(lab.netlab(QStringLiteral("off"), {QStringLiteral("dev1")}).code, 0);
        QVERIFY(!monitor.waitForEvent(line(kDevMac, QStringLiteral("Disconnected")), 4 * kSweepMs).isEmpty());
        QVERIFY(regGet(home.paths().home, deviceKey(kDevMac), QStringLiteral("Last_Offline"))
            != QStringLiteral("1/1/1980"));

        QCOMPARE(lab.netlab(QStringLiteral("on"), {QStringLiteral("dev1")}).code, 0);
        const qsizetype connectedSoFar = monitor.events().filter(QStringLiteral("Connected (")).size();
        QTRY_VERIFY_WITH_TIMEOUT(
            monitor.events().filter(QStringLiteral("Connected ( 198.18.0.10 )")).size() > connectedSoFar - 1
                && monitor.events().filter(QStringLiteral("Connected (")).size() > connectedSoFar,
            3 * kSweepMs);

        QCOMPARE(lab.netlab(QStringLiteral("readdr"), {QStringLiteral("dev1"), QStringLiteral("198.18.0.20")}).code, 0);
        QVERIFY(!monitor.waitForEvent(line(kDevMac, QStringLiteral("IP = 198.18.0.20")), 3 * kSweepMs).isEmpty());
        QCOMPARE(monitor.stop(), 0);
    }

    void survivesInterfacesComingAndGoing()
    {
        Lab lab(QStringLiteral("kwf"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(addDev1(lab));
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        QVERIFY(
            !monitor.waitForEvent(line(kDevMac, QStringLiteral("** WARNING - NEW DEVICE **")), 3 * kSweepMs).isEmpty());
        QTest::qWait(4000); // into the next sweep
        QCOMPARE(lab.netlab(QStringLiteral("monitor-del")).code, 0);
        QTest::qWait(2 * kSweepMs);
        QVERIFY(monitor.running());
        QCOMPARE(lab.netlab(QStringLiteral("monitor-add")).code, 0);
        // Sweeping what exists again: the device, missed meanwhile, is found once more.
        QVERIFY(
            !monitor.waitForEvent(line(kDevMac, QStringLiteral("Connected ( 198.18.0.10 )")), 4 * kSweepMs).isEmpty());
        QCOMPARE(monitor.stop(), 0);
    }

    void idlesWithoutAdapters()
    {
        const QString ns = QStringLiteral("kwbare") + QString::number(QCoreApplication::applicationPid());
        QCOMPARE(run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("add"), ns}).code, 0);
        TestHome home;
        {
            Monitor monitor(home.paths().home);
            monitor.start(ns);
            QVERIFY(monitor.waitStarted());
            QTest::qWait(2 * kSweepMs);
            QVERIFY(monitor.running());
            QCOMPARE(monitor.stop(), 0);
            QVERIFY(monitor.events().isEmpty());
            QVERIFY2(monitor.debug().filter(QStringLiteral(" - ")).filter(QStringLiteral("rror")).isEmpty(),
                qPrintable(monitor.debug().join(QLatin1Char('\n'))));
        }
        run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), ns});
    }

    void refusesADamagedStoreAndASecondCopy()
    {
        // A namespace of its own, so that nothing could reach a real network even if start-up went wrong.
        const QString ns = QStringLiteral("kwstore") + QString::number(QCoreApplication::applicationPid());
        QCOMPARE(run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("add"), ns}).code, 0);
        TestHome home;
        {
            QFile hive(home.paths().hiveFile());
            QVERIFY(hive.open(QIODevice::WriteOnly));
            hive.write(QByteArray(4096, '\x01'));
        }
        const Run damaged = run(QStringLiteral("ip"),
            {QStringLiteral("netns"), QStringLiteral("exec"), ns, binary(QStringLiteral("kestrelwatch")),
                QStringLiteral("--headless"), QStringLiteral("--home"), home.paths().home},
            20000);
        QCOMPARE(damaged.code, 1);
        QVERIFY2(damaged.err.contains(home.paths().hiveFile()), qPrintable(damaged.err));
        QCOMPARE(QFileInfo(home.paths().hiveFile()).size(), 4096);

        // With a good store, a second copy on the same store ends at once and silently.
        QFile::remove(home.paths().hiveFile());
        Monitor first(home.paths().home);
        first.start(ns);
        QVERIFY(first.waitStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(home.paths().hiveFile()), 10000);
        const Run second = run(QStringLiteral("ip"),
            {QStringLiteral("netns"), QStringLiteral("exec"), ns, binary(QStringLiteral("kestrelwatch")),
                QStringLiteral("--headless"), QStringLiteral("--home"), home.paths().home},
            20000);
        QCOMPARE(second.code, 0);
        QCOMPARE(second.out, QString());
        QVERIFY(first.running());
        QCOMPARE(first.stop(), 0);
        run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), ns});
    }

    void needsItsCapabilitiesAndNothingMore()
    {
        Lab lab(QStringLiteral("kwu"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(addDev1(lab));
        // A copy of the program and a home that the unprivileged user "nobody" may use.
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                | QFileDevice::ExeOther);
        const QString program = dir.path() + QStringLiteral("/kestrelwatch");
        QVERIFY(QFile::copy(binary(QStringLiteral("kestrelwatch")), program));
        const QString home = dir.path() + QStringLiteral("/home");
        QDir().mkpath(home);
        QCOMPARE(run(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("nobody:nogroup"), home}).code, 0);
        const QStringList asNobody {QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
            QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")};
        {
            Monitor monitor(home);
            monitor.start(lab.ns(), asNobody, program);
            QVERIFY(
                !monitor.waitForDebug(QRegularExpression(QStringLiteral("Startup - Failed to create socket")), 10000)
                     .isEmpty());
            QTest::qWait(kSweepMs);
            QVERIFY(monitor.running());
            QVERIFY(monitor.events().isEmpty());
            QCOMPARE(monitor.stop(), 0);
        }
        QCOMPARE(run(QStringLiteral("setcap"), {QStringLiteral("cap_net_raw,cap_net_admin+ep"), program}).code, 0);
        {
            Monitor monitor(home);
            monitor.start(lab.ns(), asNobody, program);
            QVERIFY(!monitor.waitForEvent(line(kDevMac, QStringLiteral("** WARNING - NEW DEVICE **")), 3 * kSweepMs)
                         .isEmpty());
            QCOMPARE(monitor.stop(), 0);
            QVERIFY(monitor.debug().filter(QStringLiteral("Failed to create socket")).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestHeadlessLan)
#include "tst_headless_lan.moc"
