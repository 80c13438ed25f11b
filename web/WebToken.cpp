#include "web/WebToken.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>

namespace {

QByteArray make()
{
    // 32 bytes of the system's random source: a guess per request never gets near it.
    QByteArray raw(32, Qt::Uninitialized);
    QRandomGenerator::system()->generate(
        reinterpret_cast<quint32*>(raw.data()), reinterpret_cast<quint32*>(raw.data() + raw.size()));
    return raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray write(const QString& file, QString* problem)
{
    QByteArray token = make();
    QSaveFile out(file);
    // Private before the token is in it: the umask may be anything.
    if (!out.open(QIODevice::WriteOnly) || !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || out.write(token + '\n') < 0 || !out.commit()) {
        if (problem)
            *problem = QStringLiteral("cannot write %1: %2").arg(file, out.errorString());
        return {};
    }
    return token;
}

} // namespace

namespace WebToken {

QString fileIn(const QString& home)
{
    return home + QStringLiteral("web-token");
}

QByteArray load(const QString& home, QString* problem)
{
    QFile in(fileIn(home));
    if (!in.exists())
        return write(fileIn(home), problem);
    if (!in.open(QIODevice::ReadOnly)) {
        if (problem)
            *problem = QStringLiteral("cannot read %1: %2").arg(in.fileName(), in.errorString());
        return {};
    }
    const QByteArray token = in.read(256).trimmed();
    // A file emptied by hand, or too short to be one of ours, is replaced rather than trusted.
    return token.size() >= 32 ? token : write(fileIn(home), problem);
}

QByteArray renew(const QString& home, QString* problem)
{
    return write(fileIn(home), problem);
}

} // namespace WebToken
