#include "platform/AppPaths.h"

#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString withSlash(QString dir)
{
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}
} // namespace

QString AppPaths::resolveHome(const QString& homeOption)
{
    if (!homeOption.isEmpty())
        return withSlash(QDir(homeOption).absolutePath());
    const QString env = qEnvironmentVariable("KESTRELWATCH_HOME");
    if (!env.isEmpty())
        return withSlash(QDir(env).absolutePath());
    QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (xdg.isEmpty())
        xdg = QDir::homePath() + QStringLiteral("/.local/share");
    return withSlash(xdg + QStringLiteral("/kestrelwatch"));
}

QString AppPaths::resolveShare(const QString& executableDir)
{
    const QString env = qEnvironmentVariable("KESTRELWATCH_SHARE");
    if (!env.isEmpty())
        return withSlash(QDir(env).absolutePath());
    return withSlash(QDir(executableDir + QStringLiteral("/../share/kestrelwatch")).absolutePath());
}

AppPaths AppPaths::forDirs(const QString& home, const QString& share)
{
    return AppPaths {withSlash(home), withSlash(share)};
}

QString AppPaths::prepareHome() const
{
    for (const QString& dir : {home, devices(), logDatabase(), configs()}) {
        QString error = PrivateFiles::makeDir(dir);
        if (!error.isEmpty())
            return error;
    }
    // The defaults are installed readable by everyone; a copy is the user's alone from its creation.
    const QDir defaults(defaultConfigs());
    for (const QString& name : defaults.entryList(QDir::Files)) {
        const QString target = configs() + name;
        if (!QFileInfo::exists(target))
            PrivateFiles::copyFile(defaults.filePath(name), target);
    }
    return {};
}
