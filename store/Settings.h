#pragma once

#include <QString>
#include <functional>

class DeviceTable;
struct LiveSettings;

// Names of the store's keys and values.
namespace Keys {
inline const QString General = QStringLiteral("GENERAL");
inline const QString DetectedDevices = QStringLiteral("DetectedDevices");
inline const QString RunProduct = QStringLiteral("Microsoft");
inline const QString RunKey = QStringLiteral("Windows\\CurrentVersion\\Run");
inline const QString RunValue = QStringLiteral("Brackmoor\\Kestrelwatch");
QString deviceKey(const QString& mac); // DetectedDevices\<MAC>
} // namespace Keys

// Loads every setting into the live settings and every stored device into the table, in the store's order.
// A device value that is missing or unreadable keeps what its slot held; each such failure is one
// "Load_Registry - " line in the debug log. loadLog is called for every loaded slot (the device history).
void Load_Registry(LiveSettings& settings, DeviceTable& table, const QString& debugLogFile,
    const std::function<void(qint32)>& loadLog);

// The settings part of Load_Registry: every GENERAL value (and the start-with-login entry) into the live
// settings. The running monitor calls it again when another process changed a setting.
void loadSettings(LiveSettings& settings, const QString& debugLogFile);

// Writes one GENERAL value.
void writeSetting(const QString& name, const QString& text);
// Writes one setting of the table as the settings hold it.
namespace SettingsTable {
struct Setting;
}
void writeSetting(const SettingsTable::Setting& setting, const LiveSettings& settings);
