#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// One line of a device's history file as a reader takes it apart: "time stamp<TAB>text". Stamps are ISO 8601
// or, in older files, the date text of the locale that wrote them. The kind is a short word a script can match
// (the MQTT event's words for what the engine saw; acknowledged, moved, renamed, watch, note, imported,
// removed and merged for the user's own actions).
namespace HistoryLine {

struct Parsed
{
    std::optional<QDateTime> time; // none: the stamp does not read
    QString text;
    QString kind;
};

Parsed parse(const QString& line);
QString kindOf(const QString& text);

} // namespace HistoryLine
