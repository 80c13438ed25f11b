// INI files as a user may have edited them: any file reads without fault, a section text is whole lines
// each ended by one zero character, and every key=value entry of it is found again by the in-memory lookup.
#include "FuzzInput.h"

#include "platform/DebugSink.h"
#include "store/IniFile.h"

#include <QFile>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (installLogSink([](const QString&, const QString&) {}), true);
    (void)quiet;
    const QString file = fuzz::folder() + QStringLiteral("/Config.ini");
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    f.write(reinterpret_cast<const char*>(data), qint64(size));
    f.close();
    // A broken promise stops the run with the input that broke it.
    auto require = [](bool holds) {
        if (!holds)
            __builtin_trap();
    };
    IniFile::loadConfigSections(file);
    const QString general = IniFile::dbGetAllEntries(QStringLiteral("GENERAL"), file);
    require(general.isEmpty() || general.endsWith(QChar(0)));
    const QString missing(1, QChar(0)); // no value holds a zero character
    qsizetype at = 0;
    for (const QString& entry : general.split(QChar(0), Qt::SkipEmptyParts)) {
        require(!entry.contains(QLatin1Char('\n')) && !entry.contains(QLatin1Char('\r')));
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        // The lookup searches for key + "=" anywhere, so a key that ends another key may be found inside
        // that one; where this entry is the first place its key appears, the lookup gives its value.
        if (eq > 0) {
            const QString key = entry.left(eq);
            const QString found = IniFile::dbGetEntry(QStringLiteral("GENERAL"), key, missing);
            require(found != missing && (general.indexOf(key + QLatin1Char('=')) != at || found == entry.mid(eq + 1)));
        }
        at += entry.size() + 1;
    }
    IniFile::clearConfigSections();
    return 0;
}
