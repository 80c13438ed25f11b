// The web page in a real browser against the real monitor in a namespace LAN: headless Chromium driven through
// selenium (web_browser.py) sees every device, its choice of network, a device joining without a reload, a name made of
// markup as text, a change refused without the token and kept with it, and finds the monitor again after a restart. The
// browser runs in the monitor's namespace, which has no route out of the lab.

#include "Lab.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kwtest;

namespace {
const QString kDevMac = QStringLiteral("02-4B-57-00-00-0A");
const QString kJoinMac = QStringLiteral("02-4B-57-00-00-0B");
constexpr int kSweepMs = 7000;

void touch(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}
} // namespace

class TestWebLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
        if (!QFile::exists(QStringLiteral("/usr/bin/chromedriver"))
            || !QFile::exists(QStringLiteral("/usr/bin/chromium")))
            KW_SKIP("needs chromium and chromium-driver (scripts/install-deps.sh test)");
    }

    void browserFollowsTheMonitor()
    {
        Lab lab(QStringLiteral("kww"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(
            lab.addDevice(QStringLiteral("dev1"), QStringLiteral("198.18.0.10"), QStringLiteral("02:4b:57:00:00:0a")));
        TestHome home;
        const QString store = home.paths().home;
        const QStringList web {QStringLiteral("--web"), QStringLiteral("127.0.0.1:8080")};
        // Two networks the monitor was on before, one named: the page offers a choice. (The tool takes a "/" in a
        // key's path for a separator: these ids have none.)
        const QString networks = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\Networks\\");
        const QList<QStringList> seeds {{"office", "Subnet", "198.51.100.0/24"}, {"office", "Watch", "watched"},
            {"office", "Name", "Office"}, {"cafe", "Subnet", "203.0.113.0/24"}, {"cafe", "Watch", "not now"}};
        for (const QStringList& seed : seeds)
            QCOMPARE(run(binary(QStringLiteral("kestrelwatch-reg")),
                         {QStringLiteral("--home"), store, QStringLiteral("set"), networks + seed[0], seed[1], seed[2]})
                         .code,
                0);
        auto monitor = std::make_unique<Monitor>(store);
        monitor->setExtraArguments(web);
        monitor->start(lab.ns());
        QVERIFY(monitor->waitStarted());
        QVERIFY(!monitor->waitForLine(eventLine(kDevMac, QStringLiteral("Connected")), 0, 3 * kSweepMs).isEmpty());

        // The shots land beside the build tree's test output, for a person to look at.
        const QString shots = TestHome::binDir() + QStringLiteral("/../web-shots");
        QDir().mkpath(shots);
        for (const QString& flag : {QStringLiteral("joined"), QStringLiteral("restarted"), QStringLiteral("renamed")})
            QFile::remove(shots + QLatin1Char('/') + flag);
        Process browser;
        browser.start(QStringLiteral("ip"),
            {QStringLiteral("netns"), QStringLiteral("exec"), lab.ns(), QStringLiteral("/usr/bin/python3"),
                TestHome::sourceDir() + QStringLiteral("/tests/e2e/web_browser.py"), QStringLiteral("8080"),
                store + QStringLiteral("web-token"), shots, kDevMac, kJoinMac});
        // Each step's line, read from a cursor taken before the test's own action (the start when there was none):
        // the script says each once, in order, or FAIL and why.
        const auto ok = [&browser](const QString& line, qsizetype from = 0, int timeoutMs = 60000) {
            const QString got = browser.waitForLine(
                QRegularExpression(QStringLiteral("^(") + QRegularExpression::escape(line) + QStringLiteral("|FAIL)")),
                from, timeoutMs);
            if (got.startsWith(line))
                return true;
            qWarning("waited for '%s', got '%s'; the browser's errors:\n%s", qPrintable(line), qPrintable(got),
                qPrintable(browser.lines(Process::Err).join(QLatin1Char('\n'))));
            return false;
        };
        QVERIFY(ok(QStringLiteral("ok every device")));
        // A second monitor asked for the same place stops with one line.
        const Run second = run(QStringLiteral("ip"),
            {QStringLiteral("netns"), QStringLiteral("exec"), lab.ns(), binary(QStringLiteral("kestrelwatch")),
                QStringLiteral("--headless"), QStringLiteral("--home"), home.dir() + QStringLiteral("/second"),
                QStringLiteral("--web"), QStringLiteral("127.0.0.1:8080")},
            30000);
        QCOMPARE(second.code, 1);
        QVERIFY2(second.err.contains(QStringLiteral("kestrelwatch: --web: 127.0.0.1:8080 is in use")),
            qPrintable(second.err));
        QVERIFY(ok(QStringLiteral("WAIT joined")));
        const qsizetype beforeJoin = browser.cursor();
        QVERIFY(
            lab.addDevice(QStringLiteral("dev2"), QStringLiteral("198.18.0.11"), QStringLiteral("02:4b:57:00:00:0b")));
        touch(shots + QStringLiteral("/joined"));
        QVERIFY(ok(QStringLiteral("ok joined without reload"), beforeJoin));
        QVERIFY2(ok(QStringLiteral("ok network choice")),
            qPrintable(monitor->lines(Process::Err).filter(QStringLiteral("Network")).join(QLatin1Char('\n'))));
        QVERIFY(ok(QStringLiteral("ok refused without the token")));
        QVERIFY(ok(QStringLiteral("ok markup shown as text")));
        QVERIFY(ok(QStringLiteral("ok note kept and followed live")));
        QVERIFY(ok(QStringLiteral("ok moved with the token")));
        QVERIFY(ok(QStringLiteral("ok screenshots")));
        QVERIFY(ok(QStringLiteral("WAIT restarted")));
        QCOMPARE(monitor->stop(), 0);
        // The store followed the page: the name and the list are the store's now, for ctl as for the next start.
        const Run listed = run(binary(QStringLiteral("kestrelwatch-ctl")),
            {QStringLiteral("--home"), store, QStringLiteral("list"), QStringLiteral("--json")});
        QVERIFY2(listed.out.contains(
                     QStringLiteral("\"name\": \"<img src=x onerror=\\\"document.title='owned'\\\"><b>Bob</b>\"")),
            qPrintable(listed.out));
        monitor = std::make_unique<Monitor>(store);
        monitor->setExtraArguments(web);
        const qsizetype beforeRestart = browser.cursor();
        monitor->start(lab.ns());
        QVERIFY(monitor->waitStarted());
        touch(shots + QStringLiteral("/restarted"));
        QVERIFY(ok(QStringLiteral("WAIT renamed"), beforeRestart));
        const qsizetype beforeRename = browser.cursor();
        const Run renamed = run(binary(QStringLiteral("kestrelwatch-ctl")),
            {QStringLiteral("--home"), store, QStringLiteral("rename"), kJoinMac, QStringLiteral("After the restart")});
        QCOMPARE(renamed.code, 0);
        touch(shots + QStringLiteral("/renamed"));
        QVERIFY(ok(QStringLiteral("ok reconnected"), beforeRename));
        QTRY_VERIFY_WITH_TIMEOUT(!browser.running(), 30000);
        QCOMPARE(monitor->stop(), 0);
    }

    // On a LAN address every request needs the token, reading too; the page's own files do not (it must load
    // to ask for it). Asked from a device across the lab's LAN.
    void offLoopbackEveryRequestNeedsTheToken()
    {
        Lab lab(QStringLiteral("kwo"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(
            lab.addDevice(QStringLiteral("dev1"), QStringLiteral("198.18.0.10"), QStringLiteral("02:4b:57:00:00:0a")));
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.setExtraArguments({QStringLiteral("--web"), QStringLiteral("198.18.0.2:8080")});
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        QVERIFY(!monitor.waitForLine(eventLine(kDevMac, QStringLiteral("Connected")), 0, 3 * kSweepMs).isEmpty());
        QFile tokenFile(home.paths().home + QStringLiteral("web-token"));
        QVERIFY(tokenFile.open(QIODevice::ReadOnly));
        const QString token = QString::fromLatin1(tokenFile.readAll().trimmed());
        const QString script =
            QStringLiteral("import sys, urllib.request, urllib.error\n"
                           "def status(path, token=None):\n"
                           "    r = urllib.request.Request('http://198.18.0.2:8080' + path)\n"
                           "    if token: r.add_header('Authorization', 'Bearer ' + token)\n"
                           "    try: return urllib.request.urlopen(r, timeout=10).status\n"
                           "    except urllib.error.HTTPError as e: return e.code\n"
                           "t = sys.argv[1]\n"
                           "print(status('/'), status('/app.js'), status('/api/devices'), status('/api/summary'),"
                           " status('/api/devices', t), status('/api/devices', t[:-1] + 'x'))\n");
        const Run asked =
            lab.exec({QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"), script, token}, QStringLiteral("dev1"));
        QVERIFY2(asked.code == 0, qPrintable(asked.err));
        QCOMPARE(asked.out.trimmed(), QStringLiteral("200 200 401 401 200 401"));
        QCOMPARE(monitor.stop(), 0);
    }
};

KW_TEST_GUILESS_MAIN(TestWebLan)
#include "tst_web_lan.moc"
