#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// The text of a failed QCommandLineParser::parse as the user should read it: an unknown option is named as it
// was typed, with its dashes ("Unknown option '--frobnicate'"), where Qt names it without them. Other
// problems (a missing value) keep Qt's text, which already quotes the argument as given.
inline QString optionErrorText(const QCommandLineParser& parser, const QStringList& args)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty())
        return parser.errorText();
    QStringList typed;
    for (const QString& name : unknown) {
        QString shown = QStringLiteral("--") + name;
        for (qsizetype i = 1; i < args.size() && args.at(i) != QLatin1String("--"); ++i) {
            const QString option = args.at(i).section(QLatin1Char('='), 0, 0);
            if (option == QStringLiteral("--") + name || option == QLatin1Char('-') + name) {
                shown = option;
                break;
            }
        }
        typed.append(QLatin1Char('\'') + shown + QLatin1Char('\''));
    }
    return (typed.size() == 1 ? QStringLiteral("Unknown option ") : QStringLiteral("Unknown options "))
        + typed.join(QStringLiteral(", "));
}
