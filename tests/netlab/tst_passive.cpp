// Heard ARP with the real monitor, headless, in a namespace LAN: a device that announces its address, or
// probes for it, is admitted from what it sent, though it answers no ARP request and so no sweep could ever
// find it; a silent device is admitted from its answer to the sweep's own request, before the harvest.

#include "Lab.h"
#include "TestHome.h"

#include <QRegularExpression>
#include <QTest>

using namespace kwtest;

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
        constexpr int kSweepMs = 7000; // one sweep every ~6 s, with slack
        using RE = QRegularExpression;
        Lab lab(QStringLiteral("kwh"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        QVERIFY(!monitor.waitForLine(RE("NetPlatform - listening for ARP"), 0, 10000, Process::Err).isEmpty());
        QVERIFY(!monitor.waitForLine(eventLine("02-00-C6-12-00-01", "Connected"), 0, 2 * kSweepMs).isEmpty());

        // name, address, MAC, the ARP it sends on joining ("" for none)
        const QList<QStringList> joins {{"loud", "198.18.0.20", "02:4b:57:00:00:14", "announcement"},
            {"prober", "198.18.0.21", "02:4b:57:00:00:15", "probe"}, {"quiet", "198.18.0.22", "02:4b:57:00:00:16", ""}};
        for (const QStringList& j : joins) {
            const QString mac = j[2].toUpper().replace(QLatin1Char(':'), QLatin1Char('-'));
            const RE admitted = eventLine(mac, "** WARNING - NEW DEVICE");
            const qsizetype out = monitor.cursor(), err = monitor.cursor(Process::Err);
            if (j[3].isEmpty()) {
                QVERIFY(lab.addDevice(j[0], j[1], j[2]));
                QVERIFY(!monitor.waitForLine(admitted, out, 3 * kSweepMs).isEmpty());
                // By its answer to the sweep's own request, heard before the harvest reads it from the table.
                const QStringList heard = monitor.linesAfter(err, mac + QStringLiteral(" admitted"), Process::Err);
                QVERIFY2(heard.size() == 1 && heard.first().endsWith(QStringLiteral("from an ARP reply")),
                    qPrintable(heard.join(QLatin1Char('\n'))));
                continue;
            }
            QCOMPARE(lab.netlab(QStringLiteral("add"), {j[0], j[1], j[2], QStringLiteral("--ignore-arp")}).code, 0);
            QStringList announce {j[0]};
            if (j[3] == QStringLiteral("probe"))
                announce << QStringLiteral("--probe");
            QCOMPARE(lab.netlab(QStringLiteral("announce"), announce).code, 0);
            const QString line = QStringLiteral("HeardArp - %1 admitted at %2 from an ARP %3").arg(mac, j[1], j[3]);
            QVERIFY2(
                !monitor.waitForLine(RE(RE::escape(line)), err, kSweepMs, Process::Err).isEmpty(), qPrintable(line));
            QVERIFY(!monitor.waitForLine(admitted, out, 1000).isEmpty());
        }
    }
};

KW_TEST_GUILESS_MAIN(TestPassive)
#include "tst_passive.moc"
