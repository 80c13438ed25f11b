// The access-rights set-up: the store check decides; the user's folder becomes private whatever the umask and
// whatever an earlier version granted.

#include "LogCapture.h"
#include "TestHome.h"
#include "channels/ChannelQueue.h"
#include "platform/Hive.h"
#include "security/HomePrivacy.h"
#include "store/KeyStore.h"
#include "store/PresenceStore.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QTest>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// An access ACL as the kernel stores it (version 2, then tag, permissions, id per entry) that lets group 4242
// read and write, as the grant to "users" of earlier versions did.
QByteArray groupGrant()
{
    QByteArray acl;
    const auto put = [&acl](quint16 tag, quint16 perm, quint32 id) {
        acl.append(reinterpret_cast<const char*>(&tag), 2).append(reinterpret_cast<const char*>(&perm), 2);
        acl.append(reinterpret_cast<const char*>(&id), 4);
    };
    const quint32 version = 2, none = 0xFFFFFFFF;
    acl.append(reinterpret_cast<const char*>(&version), 4);
    put(0x01, 7, none); // owner
    put(0x04, 5, none); // owning group
    put(0x08, 7, 4242); // group 4242
    put(0x10, 7, none); // mask
    put(0x20, 0, none); // others
    return acl;
}

bool hasAcl(const QString& path)
{
    char names[1024];
    const ssize_t n = ::llistxattr(QFile::encodeName(path).constData(), names, sizeof names);
    return n > 0 && QByteArray(names, int(n)).contains("system.posix_acl");
}

int modeOf(const QString& path)
{
    struct stat st
    {
    };
    ::lstat(QFile::encodeName(path).constData(), &st);
    return int(st.st_mode & 07777);
}

} // namespace

class TestSecurity : public QObject
{
    Q_OBJECT

    LogCapture m_capture;

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init() { m_capture.clear(); }

    void storeCheckDecides()
    {
        TestHome home;
        QVERIFY(!HomePrivacy::makeHomePrivate(home.paths())); // no store attached
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        KeyStore::attach(hive.get());
        QVERIFY(HomePrivacy::makeHomePrivate(home.paths()));
        QVERIFY(hive->keyExists(QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\GENERAL")));
        QVERIFY(hive->keyExists(QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\DetectedDevices")));
        QVERIFY(!hive->value(QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\General"), QStringLiteral("Dummy"))
                     ->isEmpty());
        KeyStore::attach(nullptr);
    }

    // Under umask 022, with a folder and a file that an earlier version opened to a group by ACL: afterwards
    // every folder is 0700, every file 0600, no ACL is left, and what a symbolic link points to is untouched.
    void homeBecomesPrivate()
    {
        const mode_t umaskBefore = ::umask(022);
        TestHome home;
        const AppPaths paths = home.paths();
        QVERIFY(paths.prepareHome().isEmpty());
        QFile log(paths.devices() + QStringLiteral("02-00-C6-12-00-0A.log"));
        QVERIFY(log.open(QIODevice::WriteOnly) && log.write("seen\n") == 5);
        log.close();
        QVERIFY(QDir().mkpath(paths.logDatabase() + QStringLiteral("old/deeper")));
        const QByteArray grant = groupGrant();
        for (const QString& granted : {paths.configs(), paths.programsIni()})
            QVERIFY(::setxattr(QFile::encodeName(granted).constData(), "system.posix_acl_access", grant.constData(),
                        size_t(grant.size()), 0)
                == 0);
        QVERIFY(::setxattr(QFile::encodeName(paths.configs()).constData(), "system.posix_acl_default",
                    grant.constData(), size_t(grant.size()), 0)
            == 0);
        QVERIFY(hasAcl(paths.programsIni()));
        const QString outside = home.dir() + QStringLiteral("/outside.txt");
        QFile(outside).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(outside, paths.configs() + QStringLiteral("link")));
        ::umask(umaskBefore);

        QVERIFY(HomePrivacy::makePathPrivate(QDir::cleanPath(paths.home), 1));
        QStringList wrong;
        QDirIterator it(paths.home, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo entry(it.next());
            const int want = entry.isSymLink() ? modeOf(entry.filePath()) : entry.isDir() ? 0700 : 0600;
            if (modeOf(entry.filePath()) != want || hasAcl(entry.filePath()))
                wrong << entry.filePath();
        }
        QCOMPARE(wrong, QStringList());
        QCOMPARE(modeOf(paths.home), 0700);
        QCOMPARE(modeOf(outside), 0644);
        QVERIFY(m_capture.lines().isEmpty());
    }

    // Under umask 0, a store first made by any of its writers (the home's folders and Configs, the hive, the
    // presence file, the delivery queue, with their WAL files) is private from the start, before anything
    // tightens it: no folder other than 0700, no file other than 0600.
    void privateFromCreation()
    {
        const mode_t umaskBefore = ::umask(0);
        TestHome home;
        const AppPaths paths = AppPaths::forDirs(home.dir() + QStringLiteral("/fresh/kw"), home.paths().share);
        QVERIFY(paths.prepareHome().isEmpty());
        auto hive = Hive::open(paths.hiveFile()).hive;
        QVERIFY(
            hive && hive->setValues({{QStringLiteral("Software\\K"), {{QStringLiteral("V"), QStringLiteral("1")}}}}));
        auto presence = PresenceStore::open(paths.presenceFile(), QDateTime::currentDateTimeUtc()).store;
        QVERIFY(presence);
        ChannelQueue queue;
        QCOMPARE(queue.open(paths.home + QStringLiteral("channels.db")), QString());
        queue.add(Channel::Webhook, "{}", QDateTime::currentDateTimeUtc());
        ::umask(umaskBefore);
        QStringList wrong;
        QDirIterator it(paths.home, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        int files = 0;
        while (it.hasNext()) {
            const QFileInfo entry(it.next());
            files += entry.isFile();
            if (modeOf(entry.filePath()) != (entry.isDir() ? 0700 : 0600))
                wrong << QStringLiteral("%1 %2").arg(entry.filePath()).arg(modeOf(entry.filePath()), 0, 8);
        }
        QCOMPARE(wrong, QStringList());
        QCOMPARE(modeOf(paths.home), 0700);
        QVERIFY2(files >= 8, "Configs, hive, presence and queue with their WAL files");
    }

    void failuresAreLogged()
    {
        TestHome home;
        QFile(home.dir() + QStringLiteral("/file")).open(QIODevice::WriteOnly);
        QVERIFY(!HomePrivacy::makePathPrivate(home.dir() + QStringLiteral("/file/folder"), 1));
        QCOMPARE(m_capture.lines(), QStringList {QStringLiteral("CreateDirectory failed with error code : 20")});
        // Keys are a successful no-op: the store stays private to its owner.
        QVERIFY(HomePrivacy::makePathPrivate(QStringLiteral("MACHINE\\Software\\Brackmoor\\Kestrelwatch"), 4));
    }
};

KW_TEST_GUILESS_MAIN(TestSecurity)
#include "tst_security.moc"
