#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFiles {

namespace {

QString lastError()
{
    return QString::fromLocal8Bit(strerror(errno));
}

// A new file, 0600 from its creation (O_EXCL: never one that someone placed there); -1 on failure.
int createPrivate(const QString& file)
{
    // The umask can only take bits away from 0600, never make it more open.
    return ::open(QFile::encodeName(file).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
}

} // namespace

QString createFile(const QString& file)
{
    const int fd = createPrivate(file);
    if (fd < 0)
        return QStringLiteral("cannot create %1: %2").arg(file, lastError());
    ::close(fd);
    return {};
}

QString copyFile(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(from, source.errorString());
    const QByteArray content = source.readAll();
    const int fd = createPrivate(to);
    if (fd < 0)
        return QStringLiteral("cannot create %1: %2").arg(to, lastError());
    qsizetype written = 0;
    while (written < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + written, size_t(content.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const QString error = lastError();
            ::close(fd);
            QFile::remove(to);
            return QStringLiteral("cannot write %1: %2").arg(to, error);
        }
        written += n;
    }
    ::close(fd);
    return {};
}

QString makeDir(const QString& dir)
{
    const QString clean = QDir::cleanPath(dir);
    if (QFileInfo(clean).isDir())
        return {};
    const QString parent = QFileInfo(clean).path();
    if (!QDir().mkpath(parent))
        return QStringLiteral("cannot create the folder %1").arg(parent);
    if (::mkdir(QFile::encodeName(clean).constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("cannot create the folder %1: %2").arg(clean, lastError());
    return {};
}

} // namespace PrivateFiles
