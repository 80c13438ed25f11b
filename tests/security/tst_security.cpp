// The access-rights set-up: the store check decides, a shared store gets the group grant.

#include "LogCapture.h"
#include "Process.h"
#include "TestHome.h"
#include "platform/Hive.h"
#include "security/modSetSecurity.h"
#include "store/modRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

class TestSecurity : public QObject
{
    Q_OBJECT

    LogCapture m_capture;

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init() { m_capture.clear(); }

    void writableStorePasses()
    {
        TestHome home;
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        modRegistry::attach(hive.get());
        QVERIFY(modSetSecurity::ConfigureSecurityInfo(home.paths()));
        QVERIFY(hive->keyExists(QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\GENERAL")));
        QVERIFY(hive->keyExists(QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\DetectedDevices")));
        QVERIFY(!hive->value(QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\General"), QStringLiteral("Dummy"))
                     ->isEmpty());
        modRegistry::attach(nullptr);
    }

    void noStoreFails()
    {
        TestHome home;
        modRegistry::attach(nullptr);
        QVERIFY(!modSetSecurity::ConfigureSecurityInfo(home.paths()));
    }

    // The grant names the group "users". So that the test depends on no group of the host, it runs again in
    // a private mount namespace whose /etc/group holds a "users" group of the test's own making (gid 4242).
    void sharedStoreFoldersGetTheGroupGrant()
    {
        if (qEnvironmentVariableIsEmpty("KW_PRIVATE_GROUPS")) {
            if (::geteuid() != 0)
                KW_SKIP("needs root to give the test its own /etc/group (a private mount namespace)");
            QTemporaryDir dir;
            QFile groups(dir.filePath(QStringLiteral("group")));
            QVERIFY(groups.open(QIODevice::WriteOnly));
            groups.write("root:x:0:\nusers:x:4242:\n");
            groups.close();
            qputenv("KW_PRIVATE_GROUPS", "1");
            const kwtest::Run inside = kwtest::run(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                    QStringLiteral("mount --bind \"$0\" /etc/group && exec \"$1\" sharedStoreFoldersGetTheGroupGrant"),
                    groups.fileName(), QCoreApplication::applicationFilePath()});
            qunsetenv("KW_PRIVATE_GROUPS");
            QVERIFY2(inside.code == 0, qPrintable(inside.out + inside.err));
            return;
        }
        TestHome home; // lies under /tmp, outside the user's own home
        QVERIFY(!modSetSecurity::insideOwnHome(home.paths().home));
        QVERIFY(modSetSecurity::insideOwnHome(QDir::homePath() + QStringLiteral("/.local/share/kestrelwatch")));
        const QString folder = QDir::cleanPath(home.paths().configs());
        QVERIFY(modSetSecurity::SetSecurityInfo(folder, 1));
        // Setting it again replaces the entry rather than adding a second one.
        QVERIFY(modSetSecurity::SetSecurityInfo(folder, 1));
        const QString acl = kwtest::run(QStringLiteral("getfacl"), {QStringLiteral("-pn"), folder}).out;
        QCOMPARE(acl.count(QStringLiteral("\ngroup:4242:rwx")), 1);
        QCOMPARE(acl.count(QStringLiteral("default:group:4242:rwx")), 1);
        QVERIFY(m_capture.lines().isEmpty());
    }

    void missingFolderIsLogged()
    {
        TestHome home;
        QVERIFY(!modSetSecurity::SetSecurityInfo(home.dir() + QStringLiteral("/no-such-folder"), 1));
        QCOMPARE(m_capture.lines(), QStringList {QStringLiteral("GetNamedSecurityInfo failed with error code : 2")});
        // Keys are a successful no-op: the store stays private to its owner.
        QVERIFY(modSetSecurity::SetSecurityInfo(QStringLiteral("MACHINE\\Software\\Brackmoor\\Kestrelwatch"), 4));
    }
};

KW_TEST_GUILESS_MAIN(TestSecurity)
#include "tst_security.moc"
