// The engine on a real LAN: the Linux network layer inside a namespace LAN of scripts/netlab (a router, the
// monitor and one device). The outer test builds the lab and runs the inner check in the monitor's namespace
// by executing itself there, so every echo request, neighbour deletion and lookup stays inside the lab.
// Needs root; skips otherwise.

#include "RecordingWindow.h"
#include "TestHome.h"
#include "engine/frmClient.h"
#include "platform/Hive.h"
#include "platform/LinuxNetPlatform.h"
#include "store/DeviceTable.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "store/modRegistry.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

namespace {

const char* const kLabEnv = "KW_ENGINE_NETLAB";
const QString kRouterMac = QStringLiteral("02-00-C6-12-00-01");
const QString kDeviceMac = QStringLiteral("02-00-C6-12-00-0A");

QString netlabScript()
{
    return TestHome::sourceDir() + QStringLiteral("/scripts/netlab");
}

int runNetlab(const QStringList& args, QString* output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(netlabScript(), args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool hasEntry(const RecordingWindow& window, qint32 index, const QString& text)
{
    for (const QString& call : window.callsStartingWith(QStringLiteral("AddLogEntry %1 ").arg(index))) {
        if (call.endsWith(QLatin1Char('\t') + text))
            return true;
    }
    return false;
}

} // namespace

// Runs in the monitor's namespace.
class TestEngineNetlabInside : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void sweepAdmitsNamesAndLosesDevices()
    {
        TestHome home;
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        QVERIFY(hive);
        modRegistry::attach(hive.get());
        DeviceTable devices;
        LiveSettings settings;
        RecordingWindow window;
        LinuxNetPlatform net;
        frmClient engine(devices, settings, net, window);

        engine.Load();
        QVERIFY2(engine.isRunning(), qPrintable(window.logs.join(QLatin1Char('\n'))));
        QCOMPARE(engine.GetIP_Address(0), QStringLiteral("198.18.0.0 to 198.18.0.255"));
        QCOMPARE(engine.gateways(), QStringList {QStringLiteral("198.18.0.1")});

        // The first sweep (about 3.2 s) finds the router and the device; the monitor never sees itself.
        QTRY_VERIFY_WITH_TIMEOUT(devices.indexOfMac(kRouterMac) >= 0 && devices.indexOfMac(kDeviceMac) >= 0, 15000);
        QCOMPARE(devices.DeviceCount, 2);
        const qint32 router = devices.indexOfMac(kRouterMac);
        const qint32 device = devices.indexOfMac(kDeviceMac);
        QCOMPARE(devices[router].FriendlyName, QStringLiteral("Default Gateway"));
        QVERIFY(!devices[router].Intruder);
        QVERIFY(devices[device].Intruder);
        QCOMPARE(devices[device].IpAddress, QStringLiteral("198.18.0.10"));
        QCOMPARE(
            modRegistry::ReadString(modRegistry::ProductKey, Keys::deviceKey(kDeviceMac), QStringLiteral("IP_Address")),
            QStringLiteral("198.18.0.10"));
        QVERIFY(window.calls.contains(QStringLiteral("AddNewDevice %1").arg(device)));

        // The lab's hosts file names every host; the lookups run one after the other.
        QTRY_COMPARE_WITH_TIMEOUT(devices[device].HostName, QStringLiteral("dev1"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(devices[router].HostName, QStringLiteral("router"), 20000);
        QVERIFY(hasEntry(window, device, QStringLiteral("Name is dev1")));
        QCOMPARE(
            modRegistry::ReadString(modRegistry::ProductKey, Keys::deviceKey(kDeviceMac), QStringLiteral("Host_Name")),
            QStringLiteral("dev1"));

        // Taken off the LAN, the device is gone after two sweeps without it; the router stays.
        QString output;
        QCOMPARE(runNetlab({QStringLiteral("off"), qEnvironmentVariable(kLabEnv), QStringLiteral("dev1")}, &output), 0);
        QTRY_VERIFY_WITH_TIMEOUT(hasEntry(window, device, QStringLiteral("Disconnected")), 30000);
        QCOMPARE(devices[device].PresenceCountdown, qint16(0));
        QVERIFY(devices[router].PresenceCountdown != 0);
        QVERIFY(!hasEntry(window, router, QStringLiteral("Disconnected")));

        engine.Shutdown();
        modRegistry::attach(nullptr);
    }
};

class TestEngineNetlab : public QObject
{
    Q_OBJECT

    QString m_lab;

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        if (geteuid() != 0)
            QSKIP("needs root: the lab is made of network namespaces");
        if (QStandardPaths::findExecutable(QStringLiteral("ip"), {"/usr/sbin", "/sbin", "/usr/bin", "/bin"}).isEmpty())
            QSKIP("`ip` is not available");
        QVERIFY(QFileInfo(netlabScript()).isExecutable());
        m_lab = QStringLiteral("kwe%1").arg(QCoreApplication::applicationPid());
        QString output;
        QVERIFY2(runNetlab({QStringLiteral("up"), m_lab}, &output) == 0, qPrintable(output));
        QVERIFY2(
            runNetlab({QStringLiteral("add"), m_lab, QStringLiteral("dev1"), QStringLiteral("198.18.0.10")}, &output)
                == 0,
            qPrintable(output));
    }

    void engineOnTheLab()
    {
        QProcess inside;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kLabEnv), m_lab);
        inside.setProcessEnvironment(env);
        inside.setProcessChannelMode(QProcess::MergedChannels);
        inside.start(netlabScript(),
            {QStringLiteral("exec"), m_lab, QCoreApplication::applicationFilePath(), QStringLiteral("--inside")});
        QVERIFY(inside.waitForFinished(180000));
        const QString output = QString::fromLocal8Bit(inside.readAll());
        QVERIFY2(inside.exitStatus() == QProcess::NormalExit && inside.exitCode() == 0, qPrintable(output));
    }

    void cleanupTestCase()
    {
        if (!m_lab.isEmpty())
            runNetlab({QStringLiteral("down"), m_lab});
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc >= 2 && qstrcmp(argv[1], "--inside") == 0) {
        TestEngineNetlabInside inside;
        return QTest::qExec(&inside, 1, argv);
    }
    TestEngineNetlab outer;
    return QTest::qExec(&outer, argc, argv);
}

#include "tst_engine_netlab.moc"
