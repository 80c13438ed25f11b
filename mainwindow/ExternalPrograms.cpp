#include "mainwindow/ExternalPrograms.h"

#include <QProcess>

namespace ExternalPrograms {

QList<ExternalProgram> parse(const QString& sectionText, QStringList* problems)
{
    QList<ExternalProgram> programs;
    const QStringList parts = sectionText.split(QChar(0));
    // A section with no entry at all splits into fewer than two parts.
    if (parts.size() < 2)
        return programs;
    for (const QString& part : parts) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        if (part.isEmpty() || equals < 0)
            continue;
        ExternalProgram entry;
        entry.name = part.left(equals);
        const QString value = part.mid(equals + 1);
        const qsizetype comma = value.indexOf(QLatin1Char(','));
        if (comma < 0) {
            entry.usable = false;
            if (problems)
                problems->append(QStringLiteral("entry \"%1\" has no \",\" between program and arguments").arg(part));
        } else {
            entry.program = value.left(comma).trimmed();
            entry.arguments = value.mid(comma + 1);
        }
        programs.append(entry);
    }
    return programs;
}

QString argumentsFor(const QString& arguments, const QString& ip)
{
    QString result = arguments;
    const qsizetype at = result.indexOf(QStringLiteral("%1"));
    if (at >= 0)
        result.replace(at, 2, ip);
    return result;
}

QStringList argumentList(const QString& arguments, const QString& ip)
{
    return QProcess::splitCommand(argumentsFor(arguments, ip));
}

} // namespace ExternalPrograms
