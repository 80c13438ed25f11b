#include "app/OsVersion.h"

#include <QString>
#include <QStringList>
#include <sys/utsname.h>

namespace OsVersion {

double kernelVersion()
{
    utsname u {};
    if (::uname(&u) != 0)
        return 1.0;
    const QStringList parts = QString::fromLatin1(u.release).split(QLatin1Char('.'));
    if (parts.size() < 2)
        return 1.0;
    bool okMajor = false;
    bool okMinor = false;
    const int major = parts[0].toInt(&okMajor);
    // "6.1.0-18-amd64": the minor part ends at the first non-digit.
    QString minorText = parts[1];
    qsizetype digits = 0;
    while (digits < minorText.size() && minorText.at(digits).isDigit())
        ++digits;
    const int minor = minorText.left(digits).toInt(&okMinor);
    if (!okMajor || !okMinor)
        return 1.0;
    return major + minor / (minor >= 100 ? 1000.0 : minor >= 10 ? 100.0 : 10.0);
}

bool supported()
{
    return kernelVersion() >= 2.6;
}

} // namespace OsVersion
