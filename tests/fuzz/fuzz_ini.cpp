// INI files as a user may have edited them: any file reads without fault, and every entry of a section
// text is found again by the in-memory lookup.
#include "FuzzInput.h"

#include "platform/DebugSink.h"
#include "store/modIniFileFunctions.h"

#include <QFile>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (installLogSink([](const QString&) {}), true);
    (void)quiet;
    const QString file = fuzz::folder() + QStringLiteral("/Config.ini");
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    f.write(reinterpret_cast<const char*>(data), qint64(size));
    f.close();
    for (const char* section : {"GENERAL", "IP", "MAC"})
        modIniFileFunctions::dbGetAllEntries(QString::fromLatin1(section), file);
    modIniFileFunctions::loadConfigSections(file);
    const QString general = modIniFileFunctions::dbGetAllEntries(QStringLiteral("GENERAL"), file);
    for (const QString& entry : general.split(QChar(0), Qt::SkipEmptyParts)) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        if (eq > 0)
            modIniFileFunctions::dbGetEntry(QStringLiteral("GENERAL"), entry.left(eq), QString());
    }
    modIniFileFunctions::clearConfigSections();
    return 0;
}
