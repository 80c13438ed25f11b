// An ARP storm in a namespace LAN (tests/e2e/arp_storm.py: random MACs from one lab host): the headless
// monitor stores every MAC, the alert mails at an unmodified aiosmtpd collapse into a digest, and SIGTERM ends
// the monitor within two seconds while the storm still blows.
#include "Lab.h"
#include "Reg.h"
#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTest>

using namespace kwtest;

namespace {
constexpr int kStormMacs = 300;

void startStorm(Process& storm, const Lab& lab, int macs, int seconds)
{
    storm.start(QStringLiteral("ip"),
        {"netns", "exec", lab.ns(QStringLiteral("storm")), "/usr/bin/python3",
            TestHome::sourceDir() + QStringLiteral("/tests/e2e/arp_storm.py"), "eth0", QString::number(macs),
            QString::number(seconds), "198.18.0.2"});
}
} // namespace

class TestStormLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
    }

    void everyMacStoredAlertsCollapsedSigtermPrompt()
    {
        Lab lab(QStringLiteral("kwst"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(lab.addDevice(
            QStringLiteral("storm"), QStringLiteral("198.18.0.250"), QStringLiteral("02:4b:57:00:00:fa")));
        SmtpPeer sink;
        QVERIFY(sink.startAiosmtpd({}, lab.ns()));
        TestHome home;
        const QString store = home.paths().home;
        for (const auto& [name, data] :
            QList<QPair<QString, QString>> {{"EmailServer", sink.server()}, {"EmailFrom", "kestrel@lab.example"},
                {"EmailAddresses", "owner@lab.example"}, {"NewIntruderEmail", "1"}})
            QVERIFY(Reg::set(store, Reg::general(), name, data));

        Monitor monitor(store);
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        QVERIFY(
            !monitor.waitForLine(QRegularExpression(QStringLiteral("^kestrelwatch: watching ")), 0, 20000, Process::Err)
                 .isEmpty());
        // Under the helper's cap on heard ARP (64 a second), so that every MAC is heard.
        Process storm;
        startStorm(storm, lab, kStormMacs, 6);
        QVERIFY(storm.waitStarted());
        QTRY_COMPARE_WITH_TIMEOUT(storm.cursor(), kStormMacs, 30000);
        QVERIFY(!monitor.waitForLine(QRegularExpression(QStringLiteral("^Alerts - storm")), 0, 10000, Process::Err)
                     .isEmpty());
        const QSet<QString> sent(storm.lines().cbegin(), storm.lines().cend());
        QTRY_VERIFY_WITH_TIMEOUT(monitor.cursor() >= 2 * kStormMacs, 20000); // each admission's two lines
        const auto mails = [&sink] {
            QString all;
            for (const QByteArray& mail : sink.messages())
                all += QString::fromUtf8(mail);
            return all;
        };
        const QLatin1String digest("Subject: URGENT: Many new devices");
        QTRY_COMPARE_WITH_TIMEOUT(mails().count(digest), 1, 60000);

        // SIGTERM while a second storm blows.
        Process again;
        startStorm(again, lab, 1000, 10);
        QTRY_VERIFY_WITH_TIMEOUT(again.cursor() >= 100, 10000);
        QElapsedTimer ending;
        ending.start();
        QCOMPARE(monitor.stop(2000), 0); // killed at the deadline otherwise
        qInfo("ended %lld ms after SIGTERM under the storm", ending.elapsed());

        const QStringList stored = Reg::keys(store, Reg::devices());
        const QSet<QString> kept(stored.cbegin(), stored.cend());
        QVERIFY(kept.contains(sent));
        // The first ten new devices mail one by one, then one digest for the rest.
        QVERIFY2(sink.messages().size() <= 12, qPrintable(QString::number(sink.messages().size())));
        QCOMPARE(mails().count(digest), 1);
        QVERIFY(mails().contains(QLatin1String("Interface = eth0\r\nAddress Range = 198.18.0.")));
    }
};

KW_TEST_GUILESS_MAIN(TestStormLan)
#include "tst_storm_lan.moc"
