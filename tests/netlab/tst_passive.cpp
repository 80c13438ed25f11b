// Heard ARP with the real monitor, headless, in a namespace LAN: a device that announces its address, or
// probes for it, is admitted from what it sent, though it answers no ARP request and so no sweep could ever
// find it; a silent device is still admitted through the sweep.

#include "Lab.h"
#include "TestHome.h"

#include <QRegularExpression>
#include <QTest>

using namespace kwtest;

namespace {
constexpr int kSweepMs = 7000; // one sweep every ~6 s, with slack

QRegularExpression rx(const QString& pattern)
{
    return QRegularExpression(pattern);
}
} // namespace

class TestPassive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
    }

    void joins()
    {
        Lab lab(QStringLiteral("kwh"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        QVERIFY(!monitor.waitForLine(rx("NetPlatform - listening for ARP"), 0, 10000, Process::Err).isEmpty());
        // The first sweep has run: the ranges are known.
        QVERIFY(!monitor.waitForLine(rx("^02-00-C6-12-00-01\\t.*Connected"), 0, 2 * kSweepMs).isEmpty());

        struct Join
        {
            QString name, ip, mac, how; // how: the ARP it sends on joining, "" for none
        };
        const Join joins[] = {{"loud", "198.18.0.20", "02:4b:57:00:00:14", "announcement"},
            {"prober", "198.18.0.21", "02:4b:57:00:00:15", "probe"}, {"quiet", "198.18.0.22", "02:4b:57:00:00:16", ""}};
        for (const Join& j : joins) {
            const QString mac = j.mac.toUpper().replace(QLatin1Char(':'), QLatin1Char('-'));
            const QRegularExpression admitted(QLatin1Char('^') + mac + QStringLiteral("\\t.*NEW DEVICE"));
            const qsizetype out = monitor.cursor();
            const qsizetype err = monitor.cursor(Process::Err);
            if (j.how.isEmpty()) {
                QVERIFY(lab.addDevice(j.name, j.ip, j.mac));
                QVERIFY2(!monitor.waitForLine(admitted, out, 3 * kSweepMs).isEmpty(), qPrintable(j.name));
                // By the sweep: its harvest, or the answer the sweep asked for; never by ARP of its own.
                QVERIFY(
                    monitor.waitForLine(rx(mac + " admitted at .* (announcement|probe|request)"), err, 0, Process::Err)
                        .isEmpty());
                continue;
            }
            QCOMPARE(lab.netlab(QStringLiteral("add"), {j.name, j.ip, j.mac, QStringLiteral("--ignore-arp")}).code, 0);
            QCOMPARE(monitor.waitForLine(admitted, out, 0), QString()); // unseen until it speaks
            const QStringList probe = j.how == QStringLiteral("probe") ? QStringList {"--probe"} : QStringList();
            QCOMPARE(lab.netlab(QStringLiteral("announce"), QStringList {j.name} + probe).code, 0);
            const QString line = QStringLiteral("HeardArp - %1 admitted at %2 from an ARP %3").arg(mac, j.ip, j.how);
            QVERIFY2(!monitor.waitForLine(rx(QRegularExpression::escape(line)), err, kSweepMs, Process::Err).isEmpty(),
                qPrintable(line));
            QVERIFY(!monitor.waitForLine(admitted, out, 1000).isEmpty());
        }
    }
};

KW_TEST_GUILESS_MAIN(TestPassive)
#include "tst_passive.moc"
