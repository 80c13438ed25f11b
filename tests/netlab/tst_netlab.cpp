// The namespace LAN (scripts/netlab) and the Linux network layer inside it. The outer test builds a lab of a
// router, the monitor and two devices, then runs each check of TestNetlabInside in the monitor's namespace
// by executing itself there; it also shows that the tool cleans up after itself and refuses what would
// leave the lab. Needs root; skips otherwise.

#include "NetlabInside.h"
#include "NetlabSupport.h"

#include "TestHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QMetaMethod>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <unistd.h>

using namespace netlab;

namespace {

const QString kStateRoot = QStringLiteral("/run/netlab");

QStringList namespacesOf(const QString& lab)
{
    QStringList out;
    for (const QString& line : run(ipTool(), {"netns", "list"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
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
    for (const QString& line : run(ipTool(), {"-o", "link", "show"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        names << line.section(QLatin1Char(' '), 1, 1);
    return names;
}

} // namespace

class TestNetlab : public QObject
{
    Q_OBJECT

    QString m_lab;
    bool m_up = false;

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        if (geteuid() != 0)
            KW_SKIP("needs root: the lab is made of network namespaces");
        if (ipTool().isEmpty() || run(ipTool(), {"netns", "list"}).code != 0)
            KW_SKIP("`ip netns` is not available");
        QVERIFY(QFileInfo(scriptPath()).isExecutable());
        QCOMPARE(runNetlab({"gc"}).code, 0); // leftovers of runs that died

        m_lab = QStringLiteral("kwt%1").arg(QCoreApplication::applicationPid());
        const kwtest::Run up = runNetlab({"up", m_lab});
        QVERIFY2(up.code == 0, qPrintable(up.err));
        m_up = true;
        QCOMPARE(runNetlab({"add", m_lab, "dev1", kDev1Ip, "02:4b:57:00:00:0a"}).code, 0);
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
        p.start(ipTool(),
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
        QCOMPARE(hostLinks(), linksBefore); // every link lives inside the lab

        // A process still running in the lab does not keep it alive.
        QProcess sleeper;
        sleeper.start(scriptPath(), {"exec", lab, "--host", "box", "sleep", "60"});
        QVERIFY(sleeper.waitForStarted());
        QTRY_VERIFY(!run(ipTool(), {"netns", "pids", lab + "-box"}).out.trimmed().isEmpty());

        QCOMPARE(runNetlab({"down", lab}).code, 0);
        QVERIFY(sleeper.waitForFinished(5000));
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
