#include "web/WebFiles.h"

#include "platform/DebugSink.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace {

QByteArray typeOf(const QString& name)
{
    static const QHash<QString, QByteArray> types {{QStringLiteral("html"), "text/html; charset=utf-8"},
        {QStringLiteral("css"), "text/css; charset=utf-8"}, {QStringLiteral("js"), "text/javascript; charset=utf-8"},
        {QStringLiteral("svg"), "image/svg+xml"}, {QStringLiteral("png"), "image/png"},
        {QStringLiteral("webmanifest"), "application/manifest+json"}};
    return types.value(QFileInfo(name).suffix().toLower());
}

} // namespace

WebFiles::WebFiles(const QString& folder)
{
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QByteArray type = typeOf(path);
        QFile file(path);
        if (type.isEmpty() || file.size() > qint64(4) * 1024 * 1024 || !file.open(QIODevice::ReadOnly))
            continue;
        m_files.insert(
            path.mid(folder.size()).prepend(QLatin1Char('/')).replace(QStringLiteral("//"), QStringLiteral("/")),
            File {type, file.readAll()});
    }
    if (m_files.isEmpty())
        Log(kwWeb, QStringLiteral("Web - no page files in %1; the API still answers").arg(folder));
}

const WebFiles::File* WebFiles::find(const QString& path) const
{
    const auto f = m_files.constFind(path == QLatin1String("/") ? QStringLiteral("/index.html") : path);
    return f == m_files.cend() ? nullptr : &f.value();
}
