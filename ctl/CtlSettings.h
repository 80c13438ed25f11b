#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The settings kestrelwatch-ctl gets and sets by name: the GENERAL values the settings dialog writes, with the
// same limits it has (check boxes are 0 or 1, the volume lies on its slider, a security is one of its list,
// a text box holds one line; the logins are kept Base64-encoded). The man page lists the same names.
namespace CtlSettings {

enum class Kind { Flag, Text, Login, Choice, Number };

struct Named
{
    const char* name;
    Kind kind;
    const char* defaultText; // null: the machine's host name (MqttSensor)
    const char* meaning;
    const char* choices = nullptr; // Choice: "|"-separated
};

const QList<Named>& all();
const Named* find(const QString& name);

// The value as a user reads it: the stored text decoded, or the default when nothing is stored.
QString read(const Named& setting);
// The text to store for a value the user gave, or why it is refused.
struct Checked
{
    QString stored;
    QString refusal;
};
Checked check(const Named& setting, const QString& value);
// Stores a checked value; false when the store refused the write.
bool write(const Named& setting, const QString& stored);

} // namespace CtlSettings
