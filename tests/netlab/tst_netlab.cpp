// The namespace LAN (scripts/netlab) and the Linux network layer inside it. The outer test builds a lab of a
// router, the monitor and two devices, then runs each check of TestNetlabInside in the monitor's namespace
// by executing itself there; it also shows that the tool cleans up after itself and refuses what would
// leave the lab. Needs root; skips otherwise. Echo, pruning, names and missing rights are the end-to-end
// test's (tst_headless_lan); here are what the monitor cannot show: the adapter list's odd shapes, an
// unanswered address, and lookups that must never answer.

#include "Lab.h"
#include "TestHome.h"
#include "platform/LinuxNetPlatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QHostInfo>
#include <QMetaMethod>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <atomic>
#include <net/if.h>
#include <sys/stat.h>
#include <unistd.h>

using kwtest::run;

namespace {

const char* const kRouterIp = "198.18.0.1";
const char* const kMonitorIp = "198.18.0.2";
const char* const kMonitorMac = "0200c6120002"; // the tool's default for 198.18.0.2
const char* const kDev1Ip = "198.18.0.10";
const char* const kDev2Ip = "198.18.0.11";
const char* const kLabEnv = "KW_NETLAB_LAB";
const QString kStateRoot = QStringLiteral("/run/netlab");
const QString kIp = QStringLiteral("ip");

kwtest::Run runNetlab(const QStringList& args)
{
    return run(kwtest::netlabScript(), args);
}

QString lab()
{
    return qEnvironmentVariable(kLabEnv);
}

quint32 addr(const QString& ip)
{
    return QHostAddress(ip).toIPv4Address();
}

QString ipText(const std::array<quint8, 4>& ip)
{
    return QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]);
}

std::optional<NeighbourRow> rowFor(LinuxNetPlatform& net, const QString& ip)
{
    const auto rows = net.neighbours();
    if (!rows)
        return std::nullopt;
    for (const NeighbourRow& r : *rows) {
        if (ipText(r.ip) == ip)
            return r;
    }
    return std::nullopt;
}

// `ip` in this (the monitor's) namespace.
bool ip(const QStringList& args)
{
    const kwtest::Run r = run(kIp, args);
    if (r.code != 0)
        qWarning().noquote() << "ip" << args.join(QLatin1Char(' ')) << "failed:" << r.err;
    return r.code == 0;
}

// The kernel's own word for a row's state (REACHABLE, FAILED ...), empty when there is no row.
QString kernelState(const QString& address)
{
    const QStringList words = run(kIp, {"-4", "neigh", "show", address, "nud", "all"})
                                  .out.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    return words.isEmpty() ? QString() : words.last();
}

bool inLabNamespace()
{
    struct stat self
    {
    };
    struct stat monitor
    {
    };
    const QByteArray path = "/run/netns/" + lab().toLatin1() + "-monitor";
    return !lab().isEmpty() && stat("/proc/self/ns/net", &self) == 0 && stat(path.constData(), &monitor) == 0
        && self.st_ino == monitor.st_ino && self.st_dev == monitor.st_dev;
}

QStringList namespacesOf(const QString& lab)
{
    QStringList out;
    for (const QString& line : run(kIp, {"netns", "list"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString name = line.section(QLatin1Char(' '), 0, 0);
        if (name.startsWith(lab + QLatin1Char('-')))
            out << name;
    }
    out.sort();
    return out;
}

QStringList etcFoldersOf(const QString& lab)
{
    return QDir(QStringLiteral("/etc/netns")).entryList({lab + QStringLiteral("-*")}, QDir::Dirs, QDir::Name);
}

QStringList labFiles(const QString& lab)
{
    QStringList all = namespacesOf(lab) + etcFoldersOf(lab);
    if (QFileInfo::exists(kStateRoot + QLatin1Char('/') + lab))
        all << kStateRoot + QLatin1Char('/') + lab;
    return all;
}

QStringList hostLinks()
{
    QStringList names;
    for (const QString& line : run(kIp, {"-o", "link", "show"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        names << line.section(QLatin1Char(' '), 1, 1);
    return names;
}

} // namespace

// The checks that run inside the lab's monitor namespace; initTestCase refuses to go on anywhere else,
// because they send echo requests, change addresses and routes.
class TestNetlabInside : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        if (!inLabNamespace())
            QFAIL("not inside the lab's monitor namespace: refusing to send, reconfigure or delete anything");
    }

    void adapterList()
    {
        LinuxNetPlatform net;
        auto list = net.adapters();
        QVERIFY(list);
        QCOMPARE(list->size(), 1);
        AdapterInfo a = list->first();
        QCOMPARE(a.name, QStringLiteral("eth0"));
        QCOMPARE(a.index, int(if_nametoindex("eth0")));
        QCOMPARE(a.type, 6);
        QCOMPARE(a.mac, QByteArray::fromHex(kMonitorMac));
        QCOMPARE(a.addresses.size(), 1);
        QCOMPARE(a.addresses[0].ip, QString::fromLatin1(kMonitorIp));
        QCOMPARE(a.addresses[0].mask, QStringLiteral("255.255.255.0"));
        QCOMPARE(a.gateways, QStringList {kRouterIp});

        // A labelled second address, a second default route, one in another table, an interface that is up
        // without an address and one with an address that is down.
        const auto restore = qScopeGuard([] {
            ip({"link", "del", "x0"});
            ip({"route", "del", "default", "via", "198.18.0.254", "metric", "100"});
            ip({"route", "del", "default", "via", "198.18.0.253", "table", "100"});
            ip({"addr", "del", "198.18.5.2/26", "dev", "eth0"});
        });
        QVERIFY(ip({"addr", "add", "198.18.5.2/26", "dev", "eth0", "label", "eth0:1"}));
        QVERIFY(ip({"route", "add", "default", "via", "198.18.0.254", "metric", "100"}));
        QVERIFY(ip({"route", "add", "default", "via", "198.18.0.253", "table", "100"}));
        QVERIFY(ip({"link", "add", "x0", "type", "veth", "peer", "name", "x1"}));
        QVERIFY(ip({"link", "set", "x0", "up"}));
        QVERIFY(ip({"addr", "add", "198.19.0.1/24", "dev", "x1"}));
        list = net.adapters();
        QVERIFY(list);
        QCOMPARE(list->size(), 1);
        a = list->first();
        QCOMPARE(a.addresses.size(), 2);
        QCOMPARE(a.addresses[1].ip, QStringLiteral("198.18.5.2"));
        QCOMPARE(a.addresses[1].mask, QStringLiteral("255.255.255.192"));
        QCOMPARE(a.gateways, (QStringList {kRouterIp, "198.18.0.254"}));
    }

    void unknownAddressTurnsInvalid()
    {
        const QString nobody = QStringLiteral("198.18.0.200");
        LinuxNetPlatform net;
        QVERIFY(net.openIcmpSocket());
        net.sendEchoBatch({addr(nobody)});
        // Incomplete while the kernel asks, failed when nobody answered (about 3 s): invalid, no MAC, either way.
        QTRY_VERIFY_WITH_TIMEOUT(rowFor(net, nobody).has_value(), 2000);
        QCOMPARE(int(rowFor(net, nobody)->type), 2);
        // Once the kernel gives up (FAILED, or the row already collected), it is still never a device.
        QTRY_VERIFY_WITH_TIMEOUT(kernelState(nobody) != QStringLiteral("INCOMPLETE"), 8000);
        const auto row = rowFor(net, nobody);
        QVERIFY(!row || (int(row->type) == 2 && row->mac.isEmpty()));
    }

    void cancelledLookupNeverAnswers()
    {
        LinuxNetPlatform net;
        int aCalls = 0;
        int bCalls = 0;
        int cCalls = 0;
        const int a = net.lookupAddress(kDev1Ip, [&](int, int, const QString&) { ++aCalls; });
        const int b = net.lookupAddress(kRouterIp, [&](int, int, const QString&) { ++bCalls; });
        QVERIFY(a > 0 && b > 0 && a != b);
        net.cancelLookup(a);
        QTRY_COMPARE_WITH_TIMEOUT(bCalls, 1, 10000);

        // The answer is already waiting in the event queue when the cancel comes: still never delivered. A twin
        // lookup answered on another thread shows it is there (Qt runs lookups of one name one after the other),
        // and an answer to a later lookup shows everything queued before it has been handled.
        const int c = net.lookupAddress(kDev2Ip, [&](int, int, const QString&) { ++cCalls; });
        QVERIFY(c > 0);
        std::atomic<bool> twinAnswered = false;
        QThread other;
        QObject twin;
        twin.moveToThread(&other);
        other.start();
        const auto stop = qScopeGuard([&other] {
            other.quit();
            other.wait();
        });
        QHostInfo::lookupHost(kDev2Ip, &twin, [&](const QHostInfo&) { twinAnswered = true; });
        for (int i = 0; i < 1000 && !twinAnswered; ++i)
            QThread::msleep(10); // without running this thread's event loop
        QVERIFY(twinAnswered);
        net.cancelLookup(c);
        // Nor does a lookup outlive the platform that started it.
        int dCalls = 0;
        auto* gone = new LinuxNetPlatform;
        QVERIFY(gone->lookupAddress(kDev1Ip, [&](int, int, const QString&) { ++dCalls; }) > 0);
        delete gone;
        int later = 0;
        QVERIFY(net.lookupAddress(kDev1Ip, [&](int, int, const QString&) { ++later; }) > 0);
        QTRY_COMPARE_WITH_TIMEOUT(later, 1, 10000);
        QCOMPARE(aCalls, 0);
        QCOMPARE(cCalls, 0);
        QCOMPARE(dCalls, 0);
    }
};

class TestNetlab : public QObject
{
    Q_OBJECT

    QString m_lab;
    bool m_up = false;

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
        QCOMPARE(runNetlab({"gc"}).code, 0); // leftovers of runs that died

        m_lab = QStringLiteral("kwt%1").arg(QCoreApplication::applicationPid());
        const kwtest::Run up = runNetlab({"up", m_lab});
        QVERIFY2(up.code == 0, qPrintable(up.err));
        m_up = true;
        QCOMPARE(runNetlab({"add", m_lab, "dev1", kDev1Ip}).code, 0);
        QCOMPARE(runNetlab({"add", m_lab, "dev2", kDev2Ip}).code, 0);
        qInfo().noquote() << runNetlab({"list", m_lab}).out;
    }

    void cleanupTestCase()
    {
        if (!m_up)
            return;
        QCOMPARE(runNetlab({"down", m_lab}).code, 0);
        QCOMPARE(labFiles(m_lab), QStringList());
    }

    void inside_data()
    {
        QTest::addColumn<QString>("check");
        const QMetaObject& mo = TestNetlabInside::staticMetaObject;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            const QMetaMethod m = mo.method(i);
            const QByteArray name = m.name();
            if (m.methodType() == QMetaMethod::Slot && name != "initTestCase" && !name.endsWith("_data"))
                QTest::newRow(name.constData()) << QString::fromLatin1(name);
        }
    }
    void inside()
    {
        QFETCH(QString, check);
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kLabEnv), m_lab);
        p.setProcessEnvironment(env);
        p.start(kIp,
            {"netns", "exec", m_lab + QStringLiteral("-monitor"), QCoreApplication::applicationFilePath(), "--inside",
                check});
        QVERIFY(p.waitForFinished(180000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void refusesWhatLeavesTheLab_data()
    {
        QTest::addColumn<QStringList>("args");
        const QString fresh = m_lab + QStringLiteral("r");
        QTest::newRow("subnet outside 198.18.0.0/15") << QStringList {"up", fresh, "--subnet", "10.0.0.0/24"};
        QTest::newRow("subnet too wide") << QStringList {"up", fresh, "--subnet", "198.18.0.0/8"};
        QTest::newRow("multicast MAC") << QStringList {"up", fresh, "--monitor-mac", "01:00:5e:00:00:01"};
        QTest::newRow("bad lab name") << QStringList {"up", "Bad_Lab"};
        QTest::newRow("dead owner") << QStringList {"up", fresh, "--owner", "999999999"};
        QTest::newRow("device outside") << QStringList {"add", m_lab, "stray", "192.168.1.5"};
        QTest::newRow("address taken") << QStringList {"add", m_lab, "stray", kDev1Ip};
        QTest::newRow("name taken") << QStringList {"add", m_lab, "dev1", "198.18.0.40"};
        QTest::newRow("the switch's name") << QStringList {"add", m_lab, "switch", "198.18.0.41"};
        QTest::newRow("no such lab") << QStringList {"add", fresh, "stray", "198.18.0.42"};
        QTest::newRow("lab exists") << QStringList {"up", m_lab};
        QTest::newRow("readdr outside") << QStringList {"readdr", m_lab, "dev2", "203.0.113.7"};
    }
    void refusesWhatLeavesTheLab()
    {
        QFETCH(QStringList, args);
        const QStringList before = labFiles(m_lab);
        const kwtest::Run r = runNetlab(args);
        QVERIFY(r.code != 0);
        // Says why on a line of its own (bash may first complain about the test's locale).
        QVERIFY2(QRegularExpression(QStringLiteral("(^|\n)netlab: ")).match(r.err).hasMatch(), qPrintable(r.err));
        QCOMPARE(labFiles(m_lab + QStringLiteral("r")), QStringList());
        QCOMPARE(labFiles(m_lab), before);
    }

    void downRemovesEverything()
    {
        const QStringList linksBefore = hostLinks();
        const QString lab = m_lab + QStringLiteral("d");
        QCOMPARE(runNetlab({"up", lab}).code, 0);
        const auto guard = qScopeGuard([&lab] { runNetlab({"down", lab}); });
        QCOMPARE(runNetlab({"add", lab, "box", "198.18.0.50"}).code, 0);
        const QStringList made {lab + "-box", lab + "-monitor", lab + "-router", lab + "-switch"};
        QCOMPARE(namespacesOf(lab), made);
        QCOMPARE(etcFoldersOf(lab), made);
        // Each namespace answers names from its own hosts file and asks no resolver outside the lab.
        for (const QString& name : made) {
            QFile resolv(QStringLiteral("/etc/netns/%1/resolv.conf").arg(name));
            QVERIFY(resolv.open(QIODevice::ReadOnly));
            QCOMPARE(
                QString::fromLatin1(resolv.readAll()).split(QLatin1Char('\n')).filter(QStringLiteral("nameserver")),
                QStringList {QStringLiteral("nameserver 127.0.0.1")});
            QVERIFY(QFileInfo::exists(QStringLiteral("/etc/netns/%1/hosts").arg(name)));
        }
        QCOMPARE(hostLinks(), linksBefore); // every link lives inside the lab

        // A process still running in the lab does not keep it alive.
        QProcess sleeper;
        sleeper.start(kwtest::netlabScript(), {"exec", lab, "--host", "box", "sleep", "60"});
        QVERIFY(sleeper.waitForStarted());
        QTRY_VERIFY(!run(kIp, {"netns", "pids", lab + "-box"}).out.trimmed().isEmpty());

        QCOMPARE(runNetlab({"down", lab}).code, 0);
        QVERIFY(sleeper.waitForFinished(30000));
        QCOMPARE(labFiles(lab), QStringList());
        QCOMPARE(hostLinks(), linksBefore);
        QCOMPARE(runNetlab({"down", lab}).code, 0); // again: nothing to do
    }

    void gcRemovesStaleLabs()
    {
        const QString ended = m_lab + QStringLiteral("g1");
        const QString lost = m_lab + QStringLiteral("g2");
        const QString alive = m_lab + QStringLiteral("g3");
        const auto guard = qScopeGuard([&] {
            for (const QString& lab : {ended, lost, alive})
                runNetlab({"down", lab});
        });
        QProcess owner;
        owner.start(QStringLiteral("sleep"), {"60"});
        QVERIFY(owner.waitForStarted());
        const QString ownerPid = QString::number(owner.processId());
        QCOMPARE(runNetlab({"up", ended, "--owner", ownerPid}).code, 0);
        QCOMPARE(runNetlab({"up", lost, "--owner", "none"}).code, 0);
        QCOMPARE(runNetlab({"up", alive}).code, 0); // owned by this test
        // A crash between steps, or a reboot, loses the state but leaves namespaces and folders.
        QVERIFY(QDir(kStateRoot + QLatin1Char('/') + lost).removeRecursively());
        owner.kill();
        owner.waitForFinished();

        QVERIFY(runNetlab({"labs"}).out.contains(ended + QStringLiteral("\t") + ownerPid));
        QCOMPARE(runNetlab({"gc"}).code, 0);
        QCOMPARE(labFiles(ended), QStringList());
        QCOMPARE(labFiles(lost), QStringList());
        QCOMPARE(namespacesOf(alive).size(), 3);
        QCOMPARE(namespacesOf(m_lab).size(), 5); // the main lab is this test's, and alive
        QVERIFY(runNetlab({"labs"}).out.contains(alive + QStringLiteral("\t")));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc >= 3 && qstrcmp(argv[1], "--inside") == 0) {
        TestNetlabInside inside;
        char* args[] = {argv[0], argv[2]};
        return QTest::qExec(&inside, 2, args);
    }
    TestNetlab outer;
    return kwtest::finish(QTest::qExec(&outer, argc, argv));
}

#include "tst_netlab.moc"
