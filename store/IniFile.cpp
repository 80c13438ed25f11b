#include "store/IniFile.h"

#include "platform/DebugSink.h"

#include <QFile>
#include <array>

namespace {

// The section buffer of the original reader: 1,024,000 characters including the closing zeros.
constexpr qsizetype kSectionLimit = 1024000 - 2;
constexpr qint64 kFileLimit = 64 * 1024 * 1024;

const std::array<QString, 5> kSectionNames = {QStringLiteral("IP"), QStringLiteral("GENERAL"),
    QStringLiteral("NETWORK"), QStringLiteral("CLIENT"), QStringLiteral("MAC")};
std::array<QString, 5> s_sections;

void iniLog(const QString& message)
{
    Log(kwStore, QStringLiteral("IniFile - ") + message);
}

} // namespace

namespace IniFile {

QString dbGetAllEntries(const QString& section, const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    if (f.size() > kFileLimit) {
        iniLog(QStringLiteral("%1 is larger than %2 bytes and was not read").arg(file).arg(kFileLimit));
        return {};
    }
    // Any of CR LF, LF or a lone CR ends a line; zero bytes cannot stand inside an entry.
    QString text = QString::fromUtf8(f.readAll());
    text.remove(QChar(0));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));

    QString out;
    bool inSection = false;
    bool truncated = false;
    for (QStringView raw : QStringView(text).split(QLatin1Char('\n'))) {
        const QStringView line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QStringView name = close > 0 ? line.mid(1, close - 1).trimmed() : QStringView();
            if (inSection)
                break; // only the first section of that name is read
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection || line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        QString entry;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0)
            entry = line.left(eq).trimmed().toString() + QLatin1Char('=') + line.mid(eq + 1).trimmed().toString();
        else
            entry = line.toString();
        if (out.size() + entry.size() + 1 > kSectionLimit) {
            truncated = true;
            break;
        }
        out += entry;
        out += QChar(0);
    }
    if (truncated)
        iniLog(QStringLiteral("section [%1] of %2 is longer than %3 characters; the rest was not read")
                   .arg(section, file)
                   .arg(kSectionLimit));
    return out;
}

QString dbGetEntry(const QString& section, const QString& key, const QString& defaultText)
{
    const QString upperName = section.toUpper();
    for (size_t i = 0; i < kSectionNames.size(); ++i) {
        if (upperName != kSectionNames[i])
            continue;
        const QString& text = s_sections[i];
        const qsizetype at = text.indexOf(key + QLatin1Char('='));
        if (at < 0)
            return defaultText;
        const qsizetype start = at + key.size() + 1;
        qsizetype end = text.indexOf(QChar(0), start);
        if (end < 0)
            end = text.size();
        return text.mid(start, end - start);
    }
    iniLog(QStringLiteral("dbGetEntry Section Error - ") + section + QStringLiteral(" - ") + key);
    return defaultText;
}

void loadConfigSections(const QString& configIni)
{
    for (size_t i = 0; i < kSectionNames.size(); ++i)
        s_sections[i] = dbGetAllEntries(kSectionNames[i], configIni);
}

void clearConfigSections()
{
    for (QString& s : s_sections)
        s.clear();
}

} // namespace IniFile
