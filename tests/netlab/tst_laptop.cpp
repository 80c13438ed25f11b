// A laptop's blind moments with the real monitor, headless, in a namespace LAN: its link down for 20 s reports
// nothing; stopped for 40 s (as a lid closed stops it) while one device leaves, that device is offline once, dated
// at its last sighting before the stop, and the others never.

#include "Lab.h"
#include "TestHome.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

using namespace kwtest;

namespace {
constexpr int kSweepMs = 7000; // one sweep every ~6 s, with slack
const QString kDev1 = QStringLiteral("02-4B-57-00-00-0A");
const QString kDev2 = QStringLiteral("02-4B-57-00-00-0B");
} // namespace

class TestLaptop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
    }

    void blindMomentsRaiseNothing()
    {
        using RE = QRegularExpression;
        Lab lab(QStringLiteral("kwlap"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(
            lab.addDevice(QStringLiteral("dev1"), QStringLiteral("198.18.0.10"), QStringLiteral("02:4b:57:00:00:0a")));
        QVERIFY(
            lab.addDevice(QStringLiteral("dev2"), QStringLiteral("198.18.0.11"), QStringLiteral("02:4b:57:00:00:0b")));
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        for (const QString& mac : {kDev1, kDev2})
            QVERIFY(!monitor.waitForLine(eventLine(mac, "** WARNING - NEW DEVICE"), 0, 3 * kSweepMs).isEmpty());
        QTest::qWait(kSweepMs); // present by a second sweep too

        // The link down for 20 s: blind, said on stderr, and nothing reported, then or after.
        const qsizetype out = monitor.cursor(), err = monitor.cursor(Process::Err);
        QCOMPARE(lab.netlab(QStringLiteral("off"), {QStringLiteral("monitor")}).code, 0);
        QElapsedTimer down;
        down.start();
        QVERIFY(!monitor.waitForLine(RE("^kestrelwatch: Not connected to a network$"), err, 2 * kSweepMs, Process::Err)
                     .isEmpty());
        QTest::qWait(int(std::max<qint64>(20000 - down.elapsed(), 0)));
        QCOMPARE(lab.netlab(QStringLiteral("on"), {QStringLiteral("monitor")}).code, 0);
        QVERIFY2(
            !monitor.waitForLine(RE("^kestrelwatch: watching 198.18.0.0"), err, 2 * kSweepMs, Process::Err).isEmpty(),
            qPrintable(monitor.lines(Process::Err).mid(err).join(QLatin1Char('\n'))));
        QTest::qWait(3 * kSweepMs);
        QCOMPARE(monitor.lines().mid(out), QStringList());

        // Stopped for 40 s while dev2 leaves: dev2 offline once, at its last sighting; nothing else.
        const qsizetype out2 = monitor.cursor(), err2 = monitor.cursor(Process::Err);
        const QDateTime stopped = QDateTime::currentDateTime();
        QCOMPARE(::kill(pid_t(monitor.pid()), SIGSTOP), 0);
        QCOMPARE(lab.netlab(QStringLiteral("off"), {QStringLiteral("dev2")}).code, 0);
        QTest::qWait(40000);
        QCOMPARE(::kill(pid_t(monitor.pid()), SIGCONT), 0);
        QVERIFY(!monitor.waitForLine(RE("^kestrelwatch: Waking up"), err2, kSweepMs, Process::Err).isEmpty());
        const QString gone = monitor.waitForLine(eventLine(kDev2, "Disconnected"), out2, 4 * kSweepMs);
        QVERIFY(!gone.isEmpty());
        QTest::qWait(2 * kSweepMs);
        QCOMPARE(monitor.lines().mid(out2), QStringList {gone});
        const QDateTime at = QDateTime::fromString(gone.section(QLatin1Char('\t'), 0, 0), Qt::ISODate);
        QVERIFY2(at.isValid() && at <= stopped.addSecs(1) && at >= stopped.addSecs(-2 * kSweepMs / 1000),
            qPrintable(gone + QStringLiteral(" stopped ") + stopped.toString(Qt::ISODate)));
    }
};

KW_TEST_GUILESS_MAIN(TestLaptop)
#include "tst_laptop.moc"
