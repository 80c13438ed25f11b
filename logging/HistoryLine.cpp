#include "logging/HistoryLine.h"

#include "store/DeviceWords.h"
#include "store/TextForms.h"

namespace HistoryLine {

QString kindOf(const QString& text)
{
    using Kind = DeviceEvent::Kind;
    // Each line's kind is the word MQTT gives the event that wrote it; an import writes its lines itself.
    static const struct
    {
        const char* start;
        Kind kind;
    } kinds[] = {{"** WARNING - NEW DEVICE", Kind::Admitted}, {"New device:", Kind::Admitted},
        {"** WARNING - GATEWAY IMPERSONATION", Kind::Impersonation}, {"Connected (", Kind::Online},
        {"Disconnected", Kind::Offline}, {"IP = ", Kind::AddressChanged}, {"Name is ", Kind::NameChanged},
        {"Acknowledged", Kind::Acknowledged}, {"Moved to ", Kind::Moved}, {"Renamed ", Kind::Renamed},
        {"Watch ", Kind::WatchChanged}, {"Note ", Kind::NoteChanged}, {"Removed", Kind::Removed},
        {"Merged", Kind::Merged}};
    if (text.startsWith(QLatin1String("Imported")))
        return QStringLiteral("imported");
    for (const auto& k : kinds) {
        if (text.startsWith(QLatin1String(k.start)))
            return DeviceWords::historyEvent(k.kind);
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
