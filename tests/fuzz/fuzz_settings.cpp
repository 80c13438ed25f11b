// Texts from outside that this code reads: a stored setting's value (another program may write the store), a
// value given to kestrelwatch-ctl set, a line of a device history file (kestrelwatch-ctl follow and history),
// and an MQTT command. Any text reads without fault (undefined behaviour included); a value the table takes
// from a user stores in a form that reads back to the same stored text.
#include "logging/HistoryLine.h"
#include "mqtt/MqttCommand.h"
#include "store/SettingsTable.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);
    for (const SettingsTable::Setting& s : SettingsTable::all()) {
        LiveSettings settings;
        SettingsTable::takeStored(s, text, settings);
        SettingsTable::shown(s, settings, false);
        const SettingsTable::Checked checked = SettingsTable::fromUser(s, text);
        if (!checked.refusal.isEmpty())
            continue;
        LiveSettings back;
        if (!SettingsTable::takeStored(s, checked.stored, back).isEmpty()
            || SettingsTable::storedText(s, back) != checked.stored)
            std::abort();
    }
    HistoryLine::parse(text);
    parseMqttCommand(bytes);
    return 0;
}
