#include "security/HomePrivacy.h"

#include "platform/AppPaths.h"
#include "platform/DebugSink.h"
#include "store/KeyStore.h"
#include "store/Settings.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace HomePrivacy {

namespace {

// One entry made private: 0700 for a folder, 0600 for anything else, and no ACL. 0 or an errno value; step
// names the call that failed.
int makePrivate(const QString& path, const char** step)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::lstat(name.constData(), &st) != 0) {
        *step = "GetNamedSecurityInfo";
        return errno;
    }
    if (S_ISLNK(st.st_mode))
        return 0; // chmod would follow it out of the folder
    const mode_t mode = S_ISDIR(st.st_mode) ? 0700 : 0600;
    if ((st.st_mode & 07777) != mode && ::chmod(name.constData(), mode) != 0) {
        *step = "SetNamedSecurityInfo";
        return errno;
    }
    // An ACL (an earlier version granted the group "users") would outlive the mode bits.
    for (const char* acl : {"system.posix_acl_access", "system.posix_acl_default"}) {
        if (::removexattr(name.constData(), acl) != 0 && errno != ENODATA && errno != ENOTSUP) {
            *step = "SetEntriesInAcl";
            return errno;
        }
    }
    return 0;
}

} // namespace

bool makePathPrivate(const QString& objectName, int objectType)
{
    if (objectType != 1)
        return true;
    const char* step = "CreateDirectory";
    int code = 0;
    errno = 0;
    if (!QDir().mkpath(objectName))
        code = errno ? errno : EACCES;
    if (code == 0)
        code = makePrivate(objectName, &step);
    QDirIterator it(objectName, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (code == 0 && it.hasNext())
        code = makePrivate(it.next(), &step);
    if (code == 0)
        return true;
    Log(kwStore, QStringLiteral("%1 failed with error code : %2").arg(QLatin1String(step)).arg(code));
    return false;
}

bool makeHomePrivate(const AppPaths& paths)
{
    const QString product = KeyStore::ProductKey;
    KeyStore::createKey(product, QStringLiteral("General"));
    KeyStore::createKey(product, Keys::DetectedDevices);

    const QString machineKey = QStringLiteral("MACHINE\\Software\\") + product;
    for (const QString& key :
        {machineKey, machineKey + QStringLiteral("\\General"), machineKey + QStringLiteral("\\DetectedDevices")})
        makePathPrivate(key, 4);
    makePathPrivate(QDir::cleanPath(paths.home), 1);

    const QString dummy = QString::number(QRandomGenerator::global()->bounded(100000));
    KeyStore::writeString(product, QStringLiteral("General"), QStringLiteral("Dummy"), dummy);
    return KeyStore::readString(product, QStringLiteral("General"), QStringLiteral("Dummy")) == dummy;
}

} // namespace HomePrivacy
