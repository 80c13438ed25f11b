// The real monitor, headless, in a LAN of network namespaces: admission with its stored values and history
// (the router's own admission is the gateway test's), pruning of the neighbour table, presence, names from the
// lab's hosts file, restarts, a killed helper, a missing or vanishing interface, a damaged store and a second
// copy. Running without privileges is the installed program's test (tests/helper).

#include "Lab.h"
#include "Reg.h"
#include "TestHome.h"
#include "store/TextForms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace kwtest;

namespace {
const QString kDevMac = QStringLiteral("02-4B-57-00-00-0A");
const QString kRouterMac = QStringLiteral("02-00-C6-12-00-01");
const QString kGhostMac = QStringLiteral("02-00-00-00-00-C8"); // a static row inside the range, no host behind it
constexpr int kSweepMs = 7000; // one sweep every ~6 s, with slack

bool seen(Monitor& m, const QString& mac, const QString& event, qsizetype from, int timeoutMs)
{
    return !m.waitForLine(eventLine(mac, event), from, timeoutMs).isEmpty();
}

// The device every test watches: dev1 at 198.18.0.10 with the MAC kDevMac.
bool addDev1(const Lab& lab)
{
    return lab.addDevice(QStringLiteral("dev1"), QStringLiteral("198.18.0.10"), QStringLiteral("02:4b:57:00:00:0a"));
}

bool addStaticRow(const Lab& lab, const QString& ip, const QString& mac)
{
    return lab.exec({QStringLiteral("ip"), QStringLiteral("neigh"), QStringLiteral("add"), ip, QStringLiteral("lladdr"),
                        mac, QStringLiteral("dev"), QStringLiteral("eth0"), QStringLiteral("nud"),
                        QStringLiteral("permanent")})
               .code
        == 0;
}

// "Never" as the monitor writes it in the test's locale (C.UTF-8).
QString never()
{
    return TextForms::storedDate(TextForms::NeverDate());
}

Run headlessOnce(const Lab& lab, const QString& home)
{
    return run(QStringLiteral("ip"),
        {QStringLiteral("netns"), QStringLiteral("exec"), lab.ns(), binary(QStringLiteral("kestrelwatch")),
            QStringLiteral("--headless"), QStringLiteral("--home"), home},
        20000);
}
} // namespace

class TestHeadlessLan : public QObject
{
    Q_OBJECT

    // /metrics read by the Prometheus client's parser while the monitor runs: the three devices, their admissions,
    // the sweeps; no MAC or name in any label; other requests refused; a second monitor on the port, or an address
    // that is none, stops at start with one line.
    static void checkMetrics(const Lab& lab, const QString& dir)
    {
        const QString script = TestHome::sourceDir() + QStringLiteral("/tests/e2e/scrape_metrics.py");
        const Run scrape = lab.exec({QStringLiteral("/usr/bin/python3"), script, QStringLiteral("9464")});
        QVERIFY2(scrape.code == 0, qPrintable(scrape.err));
        const QString& out = scrape.out;
        const auto value = [&out](const QString& sample) {
            const QRegularExpressionMatch m = QRegularExpression(
                QStringLiteral("(?m)^") + QRegularExpression::escape(sample) + QStringLiteral(" (\\S+)$"))
                                                  .match(out);
            return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
        };
        double devices = 0;
        for (const char* sample : {"list=intruders,state=online", "list=intruders,state=offline",
                 "list=safe,state=online", "list=safe,state=offline"})
            devices += value(QStringLiteral("kestrelwatch_devices{%1}").arg(QLatin1String(sample)));
        QCOMPARE(devices, 3.0);
        QCOMPARE(value(QStringLiteral("kestrelwatch_admissions_total{list=intruders}"))
                + std::max(0.0, value(QStringLiteral("kestrelwatch_admissions_total{list=safe}"))),
            3.0);
        QVERIFY2(value(QStringLiteral("kestrelwatch_device_events_total{kind=name_changed}")) >= 1, qPrintable(out));
        QVERIFY2(value(QStringLiteral("kestrelwatch_echoes_sent_total{}")) >= 254, qPrintable(out));
        QVERIFY2(value(QStringLiteral("kestrelwatch_sweeps_total{}")) >= 1, qPrintable(out));
        QCOMPARE(value(QStringLiteral("kestrelwatch_mqtt_connected{}")), 0.0);
        QCOMPARE(value(QStringLiteral("kestrelwatch_mail_failures_total{}")), 0.0);
        QVERIFY2(!out.contains(QStringLiteral("02:4b"), Qt::CaseInsensitive) && !out.contains(QStringLiteral("02-4B"))
                && !out.contains(QStringLiteral("dev1")),
            qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("GET /other 404\nPOST /metrics 405\nhuge head 431")), qPrintable(out));

        // localhost is read as 127.0.0.1 (so the first monitor's port is in use); other names are refused.
        for (const auto& [address, code, says] : {std::tuple {QStringLiteral("127.0.0.1:9464"), 1, "is in use"},
                 std::tuple {QStringLiteral("localhost:9464"), 1, "is in use"},
                 std::tuple {QStringLiteral("metrics.example:9464"), 2, "is no HOST:PORT or PORT"},
                 std::tuple {QStringLiteral("127.0.0.1:http"), 2, "is no HOST:PORT or PORT"}}) {
            const Run second = lab.exec({binary(QStringLiteral("kestrelwatch")), QStringLiteral("--headless"),
                QStringLiteral("--home"), dir + QStringLiteral("/second"), QStringLiteral("--metrics"), address});
            QCOMPARE(second.code, code);
            QVERIFY2(!second.err.trimmed().contains(QLatin1Char('\n')), qPrintable(second.err));
            QVERIFY2(second.err.contains(QLatin1String(says)), qPrintable(second.err));
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
    }

    void admitsClassifiesStoresAndPrunes()
    {
        Lab lab(QStringLiteral("kwa"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(addDev1(lab));
        // One static row inside the swept range and one outside every range.
        QVERIFY(addStaticRow(lab, QStringLiteral("198.18.0.200"), QStringLiteral("02:00:00:00:00:c8")));
        QVERIFY(addStaticRow(lab, QStringLiteral("198.19.7.7"), QStringLiteral("02:00:00:00:07:07")));

        TestHome home;
        const QString store = home.paths().home;
        {
            Monitor monitor(store);
            monitor.setExtraArguments({QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:9464")});
            monitor.start(lab.ns());
            QVERIFY(monitor.waitStarted());
            QVERIFY(seen(monitor, kDevMac, QStringLiteral("** WARNING - NEW DEVICE **"), 0, 3 * kSweepMs));
            QVERIFY(seen(monitor, kDevMac, QStringLiteral("Connected ( 198.18.0.10 )"), 0, 1000));
            QVERIFY(seen(monitor, kRouterMac, QStringLiteral("Connected ( 198.18.0.1 )"), 0, 1000));
            // The static row answers nothing: the harvest reads it, after the replies admitted the others.
            QVERIFY(seen(monitor, kGhostMac, QStringLiteral("Connected ( 198.18.0.200 )"), 0, kSweepMs));

            // An administrator's static rows stay: the swept one counts as a sighting but is never deleted, the
            // one outside every range is not even looked at.
            const QString neighbours =
                lab.exec({QStringLiteral("ip"), QStringLiteral("neigh"), QStringLiteral("show")}).out;
            QVERIFY2(neighbours.contains(QStringLiteral("02:00:00:00:00:c8")), qPrintable(neighbours));
            QVERIFY2(neighbours.contains(QStringLiteral("198.19.7.7")), qPrintable(neighbours));
            QVERIFY(monitor.linesAfter(0, QStringLiteral("02-00-00-00-07-07")).isEmpty());

            // The lab's hosts file names the device, and from then on its lines carry the name.
            const QStringList named =
                monitor.waitForLine(eventLine(kDevMac, QStringLiteral("Name is dev1")), 0, 6 * kSweepMs)
                    .split(QLatin1Char('\t'));
            QCOMPARE(named.mid(1),
                (QStringList {kDevMac, QStringLiteral("198.18.0.10"), QStringLiteral("dev1"),
                    QStringLiteral("Private address (randomised by the device)"), QStringLiteral("Name is dev1")}));
            checkMetrics(lab, home.dir());
            // An administrator renames the router with kestrelwatch-ctl while the monitor runs: the monitor's
            // next line for it says so and carries the new name.
            const qsizetype beforeRename = monitor.cursor();
            const Run renamed = run(binary(QStringLiteral("kestrelwatch-ctl")),
                {QStringLiteral("--home"), store, QStringLiteral("rename"), QStringLiteral("02:00:c6:12:00:01"),
                    QStringLiteral("Main router")});
            QVERIFY2(renamed.code == 0, qPrintable(renamed.err));
            const QStringList router =
                monitor.waitForLine(eventLine(kRouterMac, QStringLiteral("Renamed ")), beforeRename, 5000)
                    .split(QLatin1Char('\t'));
            QVERIFY2(router.value(5).endsWith(QStringLiteral("\u2192 \"Main router\" (by kestrelwatch-ctl)")),
                qPrintable(router.join(QLatin1Char('|'))));
            QVERIFY(router.size() == 6 && router.at(3) == QLatin1String("Main router"));
            QCOMPARE(monitor.stop(), 0);
            QVERIFY(!monitor.linesAfter(0, QStringLiteral("Shutdown requested by signal"), Process::Err).isEmpty());
        }

        // The values, in order, as kestrelwatch-reg shows them: ISO 8601 dates, the last sighting last.
        const QString dump = Reg::dump(store, Reg::device(kDevMac));
        const QRegularExpression values(
            QStringLiteral("\"IP_Address\"=\"198.18.0.10\"\n\"Host_Name\"=\"dev1\"\n\"Friendly_Name\"=\"\"\n"
                           "\"New_Device\"=\"True\"\n\"Intruder\"=\"True\"\n\"First_Seen\"=\"[^\"]+\"\n"
                           "\"Last_Online\"=\"[^\"]+\"\n\"Last_Offline\"=\"%1\"\n\"Mac_Type\"=\"3\"\n"
                           "\"Last_Seen\"=\"20[0-9-]+T[0-9:]+(Z|[+-][0-9:]+)\"\n")
                .arg(QRegularExpression::escape(never())));
        QVERIFY2(values.match(dump).hasMatch(), qPrintable(dump));
        QCOMPARE(Reg::get(store, Reg::device(kGhostMac), QStringLiteral("Mac_Type")), QStringLiteral("4"));

        QFile log(home.paths().devices() + kDevMac + QStringLiteral(".log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList history = QString::fromUtf8(log.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QVERIFY(history.size() >= 2);
        QVERIFY(history[0].endsWith(QStringLiteral("\t** WARNING - NEW DEVICE **")));
        QVERIFY(history[1].endsWith(QStringLiteral("\tConnected ( 198.18.0.10 )")));

        // A restart keeps every device and reports the present ones as coming online again.
        const QStringList before = Reg::keys(store, Reg::devices());
        const QString lastOnline = Reg::get(store, Reg::device(kDevMac), QStringLiteral("Last_Online"));
        QTest::qWait(1100); // the next Last_Online differs by at least a second
        Monitor again(store);
        again.start(lab.ns());
        QVERIFY(again.waitStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            Reg::get(store, Reg::device(kDevMac), QStringLiteral("Last_Online")) != lastOnline, 2 * kSweepMs);
        QCOMPARE(again.stop(), 0);
        QVERIFY(again.linesAfter(0, QStringLiteral("NEW DEVICE")).isEmpty());
        QCOMPARE(Reg::keys(store, Reg::devices()), before);
    }

    void tracksPresenceAddressAndInterface()
    {
        Lab lab(QStringLiteral("kwp"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(addDev1(lab));
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        QVERIFY(seen(monitor, kDevMac, QStringLiteral("Connected ( 198.18.0.10 )"), 0, 3 * kSweepMs));

        qsizetype from = monitor.cursor();
        QCOMPARE(lab.netlab(QStringLiteral("off"), {QStringLiteral("dev1")}).code, 0);
        QVERIFY(seen(monitor, kDevMac, QStringLiteral("Disconnected"), from, 4 * kSweepMs));
        // The harvest's writes reach the store after its events.
        QTRY_VERIFY_WITH_TIMEOUT(
            Reg::get(home.paths().home, Reg::device(kDevMac), QStringLiteral("Last_Offline")) != never(), kSweepMs);

        from = monitor.cursor();
        QCOMPARE(lab.netlab(QStringLiteral("on"), {QStringLiteral("dev1")}).code, 0);
        QVERIFY(seen(monitor, kDevMac, QStringLiteral("Connected ( 198.18.0.10 )"), from, 3 * kSweepMs));

        from = monitor.cursor();
        QCOMPARE(lab.netlab(QStringLiteral("readdr"), {QStringLiteral("dev1"), QStringLiteral("198.18.0.20")}).code, 0);
        QVERIFY(seen(monitor, kDevMac, QStringLiteral("IP = 198.18.0.20"), from, 3 * kSweepMs));

        // The helper is killed: it is started again, and the sweep below needs it.
        const qsizetype errFrom = monitor.cursor(Process::Err);
        QCOMPARE(run(QStringLiteral("pkill"), {"-KILL", "-P", QString::number(monitor.pid())}).code, 0);
        QVERIFY(
            !monitor.waitForLine(QRegularExpression("helper .* runs again"), errFrom, 5000, Process::Err).isEmpty());

        // The monitor's interface vanishes mid-sweep and comes back: it says it is blind, sweeps what exists
        // again, and the device, out of sight meanwhile, was never gone.
        from = monitor.cursor();
        const qsizetype blindFrom = monitor.cursor(Process::Err);
        const auto says = [&](const QString& line) {
            const QString found = monitor.waitForLine(QRegularExpression(line), blindFrom, 2 * kSweepMs, Process::Err);
            if (found.isEmpty())
                qWarning("%s", qPrintable(monitor.lines(Process::Err).mid(blindFrom).join(QLatin1Char('\n'))));
            return !found.isEmpty();
        };
        QCOMPARE(lab.netlab(QStringLiteral("monitor-del")).code, 0);
        QVERIFY(says(QStringLiteral("^kestrelwatch: Not connected to a network$")));
        QVERIFY(monitor.running());
        QCOMPARE(lab.netlab(QStringLiteral("monitor-add")).code, 0);
        QVERIFY(says(QStringLiteral("^kestrelwatch: watching 198.18.0.0")));
        QTest::qWait(3 * kSweepMs);
        QCOMPARE(monitor.lines().mid(from), QStringList());
        QCOMPARE(monitor.stop(), 0);
    }

    void refusesADamagedStoreEndsASecondCopyIdlesWithoutAdapters()
    {
        // The lab's monitor namespace without its interface: only loopback, nothing to sweep.
        Lab lab(QStringLiteral("kws"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QCOMPARE(lab.netlab(QStringLiteral("monitor-del")).code, 0);
        TestHome home;
        {
            QFile hive(home.paths().hiveFile());
            QVERIFY(hive.open(QIODevice::WriteOnly));
            hive.write(QByteArray(4096, '\x01'));
        }
        const Run damaged = headlessOnce(lab, home.paths().home);
        QCOMPARE(damaged.code, 1);
        QVERIFY2(damaged.err.contains(home.paths().hiveFile()), qPrintable(damaged.err));
        QCOMPARE(QFileInfo(home.paths().hiveFile()).size(), 4096);

        // With a good store, a second copy on the same store ends at once and silently.
        QFile::remove(home.paths().hiveFile());
        Monitor first(home.paths().home);
        first.start(lab.ns());
        QVERIFY(first.waitStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(home.paths().hiveFile()), 10000);
        const Run second = headlessOnce(lab, home.paths().home);
        QCOMPARE(second.code, 0);
        QCOMPARE(second.out, QString());
        QTest::qWait(kSweepMs);
        QVERIFY(first.running());
        QCOMPARE(first.stop(), 0);
        QVERIFY(first.lines().isEmpty());
        QVERIFY2(first.lines(Process::Err).filter(QStringLiteral(" - ")).filter(QStringLiteral("rror")).isEmpty(),
            qPrintable(first.lines(Process::Err).join(QLatin1Char('\n'))));
    }
};

KW_TEST_GUILESS_MAIN(TestHeadlessLan)
#include "tst_headless_lan.moc"
