#pragma once

#include <QSet>
#include <QString>

// The one door for names that come from outside: reverse DNS, a device's own mDNS or NetBIOS answer, MQTT
// friendly names and the user's renames all pass filterName before they are kept. Markup is no reason to
// refuse a name ("<b>PC</b>" is a valid NetBIOS name): every widget shows names as plain text instead.
namespace DeviceText {

// A DNS name is at most 255 bytes on the wire, 253 characters as dotted text; no reverse, mDNS or NetBIOS
// name can be longer, and a friendly name that long no longer fits any list, tooltip or mail subject.
constexpr qsizetype MaxNameChars = 253;

// The name as kept, or why it was refused (exactly one is set, or neither for an empty name).
struct Name
{
    QString text;
    QString refusal;

    bool ok() const { return refusal.isEmpty(); }
};

// Refuses a name that holds a control, format (U+202E turns text round), line or paragraph separator,
// private-use, surrogate or unassigned character, or is longer than MaxNameChars; any other name is kept as
// it is. A refused name is refused whole: a name with a character taken out would be another name.
Name filterName(const QString& raw);

// A note the user keeps about a device: one line of any text a name may hold, up to MaxNoteChars (a line, so
// that it stays one field of a CSV export and one line of a list).
constexpr qsizetype MaxNoteChars = 2000;
Name filterNote(const QString& raw);

// Remembers which refusals were logged, so that a device repeating its bad name every refresh gives one
// line, not one per packet. The memory starts over after 1,024 keys.
class RefusalNotes final
{
public:
    // True the first time a key (device and source) is seen.
    bool firstTime(const QString& key);

private:
    QSet<QString> m_seen;
};

} // namespace DeviceText
