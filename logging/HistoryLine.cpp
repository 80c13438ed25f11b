#include "logging/HistoryLine.h"

#include "store/TextForms.h"

namespace HistoryLine {

QString kindOf(const QString& text)
{
    static const struct
    {
        const char* start;
        const char* kind;
    } kinds[] = {{"** WARNING - NEW DEVICE", "admission"}, {"New device:", "admission"},
        {"** WARNING - GATEWAY IMPERSONATION", "warning"}, {"Connected (", "connected"},
        {"Disconnected", "disconnected"}, {"IP = ", "address"}, {"Name is ", "name"}, {"Acknowledged", "acknowledged"},
        {"Moved to ", "moved"}, {"Renamed ", "renamed"}, {"Watch ", "watch"}, {"Note ", "note"},
        {"Imported", "imported"}, {"Removed", "removed"}, {"Merged", "merged"}};
    for (const auto& k : kinds) {
        if (text.startsWith(QLatin1String(k.start)))
            return QLatin1String(k.kind);
    }
    return QStringLiteral("other");
}

Parsed parse(const QString& line)
{
    Parsed parsed;
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    const QString stamp = tab > 0 ? line.left(tab) : QString();
    parsed.text = tab > 0 ? line.mid(tab + 1) : line;
    if (!stamp.isEmpty()) {
        QDateTime iso = QDateTime::fromString(stamp, Qt::ISODate);
        parsed.time = iso.isValid() && stamp.contains(QLatin1Char('T')) ? std::optional(iso)
                                                                        : TextForms::parseDateAnyLocale(stamp);
    }
    parsed.kind = kindOf(parsed.text);
    return parsed;
}

} // namespace HistoryLine
