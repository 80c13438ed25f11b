// The access-rights set-up: the store check decides, a shared store gets the group grant.

#include "TestHome.h"
#include "platform/DebugSink.h"
#include "platform/Hive.h"
#include "security/modSetSecurity.h"
#include "store/modRegistry.h"

#include <QDir>
#include <QProcess>
#include <QTest>
#include <unistd.h>

class TestSecurity : public QObject
{
    Q_OBJECT

    QStringList m_log;

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        installLogSink([this](const QString& t) { m_log.append(t); });
    }
    void init() { m_log.clear(); }

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

    void sharedStoreFoldersGetTheGroupGrant()
    {
        if (QProcess::execute(QStringLiteral("getfacl"), {QStringLiteral("--version")}) != 0)
            QSKIP("getfacl (package acl) is not installed");
        TestHome home; // lies under /tmp, outside the user's own home
        QVERIFY(!modSetSecurity::insideOwnHome(home.paths().home));
        QVERIFY(modSetSecurity::insideOwnHome(QDir::homePath() + QStringLiteral("/.local/share/kestrelwatch")));
        QVERIFY(modSetSecurity::SetSecurityInfo(QDir::cleanPath(home.paths().configs()), 1));
        // Setting it again replaces the entry rather than adding a second one.
        QVERIFY(modSetSecurity::SetSecurityInfo(QDir::cleanPath(home.paths().configs()), 1));
        QProcess getfacl;
        getfacl.start(QStringLiteral("getfacl"), {QStringLiteral("-p"), QDir::cleanPath(home.paths().configs())});
        QVERIFY(getfacl.waitForFinished());
        const QString acl = QString::fromUtf8(getfacl.readAllStandardOutput());
        QCOMPARE(acl.count(QStringLiteral("\ngroup:users:rwx")), 1);
        QCOMPARE(acl.count(QStringLiteral("default:group:users:rwx")), 1);
        QVERIFY(m_log.isEmpty());
    }

    void missingFolderIsLogged()
    {
        TestHome home;
        QVERIFY(!modSetSecurity::SetSecurityInfo(home.dir() + QStringLiteral("/no-such-folder"), 1));
        QCOMPARE(m_log, QStringList {QStringLiteral("GetNamedSecurityInfo failed with error code : 2")});
        // Keys are a successful no-op: the store stays private to its owner.
        QVERIFY(modSetSecurity::SetSecurityInfo(QStringLiteral("MACHINE\\Software\\Brackmoor\\Kestrelwatch"), 4));
    }
};

QTEST_GUILESS_MAIN(TestSecurity)
#include "tst_security.moc"
