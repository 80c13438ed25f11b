#pragma once

#include <QString>

class DeviceStore;
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

// What a load does with dates still in an earlier release's locale text: read them only (kestrelwatch-ctl,
// whose locale may not be the one that wrote them), or also rewrite them as ISO 8601, all in one transaction
// (the monitor at its start).
enum class OldDates { Keep, Rewrite };

// Loads every setting into the live settings and every stored device into the store, in the store's order,
// replacing what it held. A device value that is missing or unreadable takes the codec's safe value
// (DeviceCodec); each such value is one "loadStore - " line in the debug log.
void loadStore(LiveSettings& settings, DeviceStore& devices, const QString& debugLogFile, OldDates oldDates);

// The settings part of loadStore: every GENERAL value (and the start-with-login entry) into the live
// settings. The running monitor calls it again when another process changed a setting.
void loadSettings(LiveSettings& settings, const QString& debugLogFile);

// Writes one GENERAL value.
void writeSetting(const QString& name, const QString& text);
// Writes one setting of the table as the settings hold it.
namespace SettingsTable {
struct Setting;
}
void writeSetting(const SettingsTable::Setting& setting, const LiveSettings& settings);
