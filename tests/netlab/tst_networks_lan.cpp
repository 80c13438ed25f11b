// Networks with the real monitor, headless, in namespace LANs: a laptop's link carried to another LAN (another
// subnet, router and three strangers) and back raises nothing, neither there nor on return; a router replaced on the
// same subnet is the same network, said in one line.

#include "Lab.h"
#include "Reg.h"
#include "TestHome.h"

#include <QRegularExpression>
#include <QTest>

using namespace kwtest;

namespace {
constexpr int kSweepMs = 7000; // one sweep every ~6 s, with slack
const QStringList kHomeMacs {"02-4B-57-00-00-0A", "02-4B-57-00-00-0B", "02-4B-57-00-00-0C"};

bool addHomeDevices(const Lab& lab, int count)
{
    bool ok = true;
    for (int d = 0; d < count; ++d)
        ok = ok
            && lab.addDevice(QStringLiteral("dev%1").arg(d), QStringLiteral("198.18.0.%1").arg(10 + d),
                kHomeMacs.at(d).toLower().replace(QLatin1Char('-'), QLatin1Char(':')));
    return ok;
}

bool admitted(Monitor& monitor, int count)
{
    for (int d = 0; d < count; ++d) {
        if (monitor.waitForLine(eventLine(kHomeMacs.at(d), "** WARNING - NEW DEVICE"), 0, 3 * kSweepMs).isEmpty())
            return false;
    }
    return true;
}
} // namespace

class TestNetworksLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
    }

    void carriedAwayAndBack()
    {
        using RE = QRegularExpression;
        Lab home(QStringLiteral("kwnh"));
        QVERIFY2(home.ok(), qPrintable(home.error()));
        Lab away(QStringLiteral("kwna"), QStringLiteral("198.18.8.0/24"));
        QVERIFY2(away.ok(), qPrintable(away.error()));
        QVERIFY(addHomeDevices(home, 2));
        for (int s = 0; s < 3; ++s)
            QVERIFY(away.addDevice(QStringLiteral("stranger%1").arg(s), QStringLiteral("198.18.8.%1").arg(10 + s),
                QStringLiteral("02:cc:00:00:00:%1").arg(10 + s)));
        TestHome dir;
        // A laptop: a network it joins is watched only when the user says so.
        QVERIFY(Reg::set(dir.paths().home, Reg::general(), QStringLiteral("WatchNetworks"), QStringLiteral("asked")));
        Monitor monitor(dir.paths().home);
        monitor.start(home.ns());
        QVERIFY(admitted(monitor, 2));
        QTest::qWait(kSweepMs);

        const qsizetype out = monitor.cursor(), err = monitor.cursor(Process::Err);
        QCOMPARE(home.netlab(QStringLiteral("monitor-visit"), {away.name(), QStringLiteral("198.18.8.3/24")}).code, 0);
        QVERIFY2(!monitor
                      .waitForLine(RE("^Networks - joined 198.18.8.0/24 \\(gateway 198.18.8.1\\), which is not "
                                      "watched"),
                          err, 3 * kSweepMs, Process::Err)
                      .isEmpty(),
            qPrintable(monitor.lines(Process::Err).mid(err).join(QLatin1Char('\n'))));
        QTest::qWait(3 * kSweepMs);
        QCOMPARE(monitor.lines().mid(out), QStringList()); // no stranger admitted, no home device offline
        QCOMPARE(home.netlab(QStringLiteral("monitor-return"), {away.name()}).code, 0);
        QTest::qWait(4 * kSweepMs);
        QCOMPARE(monitor.lines().mid(out), QStringList()); // nothing on return either
        QCOMPARE(monitor.linesAfter(err, QStringLiteral("Networks - joined"), Process::Err).size(), 1);
        const Run networks = run(binary(QStringLiteral("kestrelwatch-ctl")),
            {QStringLiteral("--home"), dir.paths().home, QStringLiteral("networks")});
        QVERIFY2(networks.out.contains(QStringLiteral("\t198.18.0.0/24\t02-00-C6-12-00-01\t198.18.0.1\twatched\t3\t"))
                && networks.out.contains(QStringLiteral("\t198.18.8.0/24\t02-00-C6-12-08-01\t198.18.8.1\tasked\t0\t")),
            qPrintable(networks.out + networks.err));
    }

    void routerReplaced()
    {
        using RE = QRegularExpression;
        Lab lab(QStringLiteral("kwnr"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(addHomeDevices(lab, 3));
        TestHome dir;
        Monitor monitor(dir.paths().home);
        monitor.start(lab.ns());
        QVERIFY(admitted(monitor, 3));
        QTest::qWait(kSweepMs);

        // The old router goes; a new one takes its address once the old one's hold on it is over (two minutes: a
        // second MAC there sooner is what ARP spoofing looks like).
        const qsizetype out = monitor.cursor(), err = monitor.cursor(Process::Err);
        QCOMPARE(lab.netlab(QStringLiteral("off"), {QStringLiteral("router")}).code, 0);
        QTest::qWait(125000);
        QCOMPARE(lab.netlab(QStringLiteral("router-mac"), {QStringLiteral("02:00:c6:12:00:fe")}).code, 0);
        QCOMPARE(lab.netlab(QStringLiteral("on"), {QStringLiteral("router")}).code, 0);
        QVERIFY(!monitor
                     .waitForLine(RE("^Networks - the gateway of 198.18.0.0/24 changed from 02-00-C6-12-00-01 to "
                                     "02-00-C6-12-00-FE; the same network"),
                         err, 3 * kSweepMs, Process::Err)
                     .isEmpty());
        QTest::qWait(2 * kSweepMs);
        QCOMPARE(monitor.linesAfter(err, QStringLiteral("Networks - "), Process::Err).size(), 1);
        // The old router offline, the new one admitted as the gateway; the devices never left.
        const QStringList lines = monitor.lines().mid(out);
        for (const QString& mac : kHomeMacs)
            QVERIFY2(lines.filter(mac).isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
        QCOMPARE(lines.filter(QStringLiteral("02-00-C6-12-00-FE")).filter(QStringLiteral("Default Gateway")).size(),
            lines.filter(QStringLiteral("02-00-C6-12-00-FE")).size());
        const Run networks = run(binary(QStringLiteral("kestrelwatch-ctl")),
            {QStringLiteral("--home"), dir.paths().home, QStringLiteral("networks")});
        QCOMPARE(networks.out.count(QLatin1Char('\n')), 2); // the header and one network
        QVERIFY2(networks.out.contains(QStringLiteral("02-00-C6-12-00-01 198.18.0.0/24\t198.18.0.0/24\t"
                                                      "02-00-C6-12-00-FE\t")),
            qPrintable(networks.out));
    }
};

KW_TEST_GUILESS_MAIN(TestNetworksLan)
#include "tst_networks_lan.moc"
