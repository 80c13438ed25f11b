#include "security/modSetSecurity.h"

#include "platform/Acl.h"
#include "platform/AppPaths.h"
#include "platform/DebugSink.h"
#include "store/Settings.h"
#include "store/modRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

namespace modSetSecurity {

bool insideOwnHome(const QString& folder)
{
    const QString home = QDir(QDir::homePath()).canonicalPath();
    QString target = QFileInfo(folder).canonicalFilePath();
    if (target.isEmpty())
        target = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    return !home.isEmpty() && home != QLatin1String("/")
        && (target == home || target.startsWith(home + QLatin1Char('/')));
}

bool SetSecurityInfo(const QString& objectName, int objectType)
{
    if (objectType != 1)
        return true;
    QString step;
    const int code = grantUsersFolderAccess(objectName, &step);
    if (code == 0)
        return true;
    Log(QStringLiteral("%1 failed with error code : %2").arg(step).arg(code));
    return false;
}

bool ConfigureSecurityInfo(const AppPaths& paths)
{
    const QString product = modRegistry::ProductKey;
    modRegistry::CreateKey(product, QStringLiteral("General"));
    modRegistry::CreateKey(product, Keys::DetectedDevices);

    const QString machineKey = QStringLiteral("MACHINE\\Software\\") + product;
    for (const QString& key :
        {machineKey, machineKey + QStringLiteral("\\General"), machineKey + QStringLiteral("\\DetectedDevices")})
        SetSecurityInfo(key, 4);

    // Only a store shared between users (outside the user's own home) needs the grant.
    if (!insideOwnHome(paths.home)) {
        for (const QString& folder :
            {paths.configs(), paths.images(), paths.logDatabase(), paths.macDatabase(), paths.sounds()})
            SetSecurityInfo(QDir::cleanPath(folder), 1);
    }

    const QString dummy = QString::number(QRandomGenerator::global()->bounded(100000));
    modRegistry::WriteString(product, QStringLiteral("General"), QStringLiteral("Dummy"), dummy);
    return modRegistry::ReadString(product, QStringLiteral("General"), QStringLiteral("Dummy")) == dummy;
}

} // namespace modSetSecurity
