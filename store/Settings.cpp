#include "store/Settings.h"

#include "platform/DebugSink.h"
#include "store/DeviceTable.h"
#include "store/DeviceWatch.h"
#include "store/LiveSettings.h"
#include "store/SettingsTable.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

namespace {

QString readGeneral(const QString& name, const QString& defaultText = QString())
{
    return modRegistry::ReadString(modRegistry::ProductKey, Keys::General, name, defaultText);
}

void failed(const QString& mac, const QString& value, const QString& text)
{
    Log(QStringLiteral("Load_Registry - %1: value %2 cannot be read as stored (\"%3\")").arg(mac, value, text));
}

} // namespace

namespace Keys {
QString deviceKey(const QString& mac)
{
    return DetectedDevices + QLatin1Char('\\') + mac;
}
} // namespace Keys

void writeSetting(const QString& name, const QString& text)
{
    modRegistry::WriteString(modRegistry::ProductKey, Keys::General, name, text);
}

void loadSettings(LiveSettings& s, const QString& debugLogFile)
{
    s.log.path = debugLogFile;
    for (const SettingsTable::Setting& setting : SettingsTable::all()) {
        // A missing value is the default; one that does not read keeps what the settings hold, said once.
        const QString fallback = QString::fromLatin1(setting.defaultText);
        const QString problem = SettingsTable::takeStored(setting, readGeneral(setting.keyText(), fallback), s);
        if (!problem.isEmpty())
            Log(QStringLiteral("Load_Registry - ") + problem);
    }
    s.window.startAtLogin =
        modRegistry::ReadString(Keys::RunProduct, Keys::RunKey, Keys::RunValue, QStringLiteral("XXX"))
        != QLatin1String("XXX");
}

void writeSetting(const SettingsTable::Setting& setting, const LiveSettings& settings)
{
    writeSetting(setting.keyText(), SettingsTable::storedText(setting, settings));
}

void Load_Registry(
    LiveSettings& s, DeviceTable& table, const QString& debugLogFile, const std::function<void(qint32)>& loadLog)
{
    loadSettings(s, debugLogFile);
    const QStringList names = modRegistry::ListSubkeys(modRegistry::ProductKey, Keys::DetectedDevices);
    if (names.first() == modRegistry::EmptyList)
        return;

    table.DeviceCount = qint32(names.size());
    table.ResizeDeviceTable(table.DeviceCount);
    for (qint32 i = 0; i < table.DeviceCount; ++i) {
        DeviceRecord& d = table[i];
        const QString& mac = names[i];
        const QString key = Keys::deviceKey(mac);
        const auto read = [&key](const char* value) {
            return modRegistry::ReadString(modRegistry::ProductKey, key, QString::fromLatin1(value));
        };
        d.MacAddress = mac;
        d.IpAddress = read("IP_Address");
        d.HostName = read("Host_Name");
        d.FriendlyName = read("Friendly_Name");
        d.Note = read("Note");
        d.PresenceCountdown = 0;
        d.OnlineState = 0;
        const auto readBool = [&](const char* value, bool& field) {
            const QString text = read(value);
            if (const auto b = TextForms::parseBool(text))
                field = *b;
            else
                failed(mac, QString::fromLatin1(value), text);
        };
        readBool("New_Device", d.NewDevice);
        readBool("Intruder", d.Intruder);
        d.NameLookupPending = true;
        const auto readDate = [&](const char* value, QDateTime& field) {
            const QString text = read(value);
            if (const auto dt = TextForms::parseDate(text))
                field = *dt;
            else
                failed(mac, QString::fromLatin1(value), text);
        };
        readDate("Last_Online", d.LastOnline);
        readDate("Last_Offline", d.LastOffline);
        readDate("First_Seen", d.FirstSeen);
        const QString type = read("Mac_Type");
        if (const auto b = TextForms::parseByte(type))
            d.MacType = *b;
        else
            failed(mac, QStringLiteral("Mac_Type"), type);
        const QString watch = read("Watch");
        if (const auto mode = DeviceWatch::parse(watch))
            d.Watch = *mode;
        else
            failed(mac, DeviceWatch::Value, watch);
        if (loadLog)
            loadLog(i);
    }
    table.macChanged();
}
