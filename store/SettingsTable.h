#pragma once

#include "store/LiveSettings.h"

#include <QString>
#include <QStringList>
#include <vector>

// Every stored setting, once: its key on disk (the GENERAL value the store has always had), its name in code,
// its type, default, limits and help. The loader, the settings dialog, kestrelwatch-ctl's get and set, its
// manual page and MQTT all read this table; nothing else spells a key or a default.
namespace SettingsTable {

enum class Type {
    Bool, // stored "0" or "1"; read numerically, so anything but a number reads as off
    Int, // decimal text within [min, max]
    Choice, // one word of choices, stored as the word
    Words, // a comma-separated set of words of choices (any of them, or none)
    Text, // one line
    Secret, // one line that get shows masked
};

enum class Form {
    Plain,
    Trimmed, // blanks around the text are dropped on reading
    Base64, // the mail and MQTT logins: kept Base64-encoded on disk, held decoded
};

struct Setting
{
    const char* key; // on disk: "EmailServer"
    const char* name; // in code: "mail.server"
    Type type;
    const char* defaultText; // the stored form of the default
    const char* help;
    Form form = Form::Plain;
    int min = 0; // Int
    int max = 0;
    const char* choices = nullptr; // Choice, Words: "|"-separated
    bool& (*flag)(LiveSettings&) = nullptr; // Bool
    int& (*number)(LiveSettings&) = nullptr; // Int
    QString& (*text)(LiveSettings&) = nullptr; // every other type

    QString keyText() const { return QString::fromLatin1(key); }
    QStringList choiceList() const;
};

const std::vector<Setting>& all();
// By key on disk or by name in code, either case.
const Setting* find(const QString& keyOrName);
// By key on disk; the key must be in the table (code spells it once, beside its use).
const Setting& byKey(const char* key);

// The stored text of the value the settings hold.
QString storedText(const Setting& s, const LiveSettings& settings);
// Takes a stored text into the settings. A text that does not read (not a number, outside the limits, no
// choice) leaves the value held (the default, at start) and returns why, for one log line.
QString takeStored(const Setting& s, const QString& stored, LiveSettings& settings);

// The value as a user reads and gives it: decoded, Bool as "on" or "off"; a Secret that is set shows as
// "********" unless revealed.
QString shown(const Setting& s, const LiveSettings& settings, bool reveal);
struct Checked
{
    QString stored; // the text to store
    QString refusal; // or why the value is refused, naming the limits
};
Checked fromUser(const Setting& s, const QString& value);

// Whether a Words value holds the word.
bool hasWord(const QString& words, const QString& word);

// The manual page's list of settings (roff), made from the table; a test keeps the page in step with it.
QString manSection();

} // namespace SettingsTable
