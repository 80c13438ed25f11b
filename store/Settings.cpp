#include "store/Settings.h"

#include "platform/DebugSink.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/DeviceWatch.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/SettingsTable.h"
#include "store/TextForms.h"

namespace {

QString readGeneral(const QString& name, const QString& defaultText = QString())
{
    return KeyStore::readString(KeyStore::ProductKey, Keys::General, name, defaultText);
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
    KeyStore::writeString(KeyStore::ProductKey, Keys::General, name, text);
}

void loadSettings(LiveSettings& s, const QString& debugLogFile)
{
    s.log.path = debugLogFile;
    for (const SettingsTable::Setting& setting : SettingsTable::all()) {
        // A missing value is the default; one that does not read keeps what the settings hold, said once.
        const QString fallback = QString::fromLatin1(setting.defaultText);
        const QString problem = SettingsTable::takeStored(setting, readGeneral(setting.keyText(), fallback), s);
        if (!problem.isEmpty())
            Log(kwStore, QStringLiteral("loadStore - ") + problem);
    }
    s.window.startAtLogin = KeyStore::readString(Keys::RunProduct, Keys::RunKey, Keys::RunValue, QStringLiteral("XXX"))
        != QLatin1String("XXX");
}

void writeSetting(const SettingsTable::Setting& setting, const LiveSettings& settings)
{
    writeSetting(setting.keyText(), SettingsTable::storedText(setting, settings));
}

void loadStore(LiveSettings& s, DeviceStore& devices, const QString& debugLogFile, OldDates oldDates)
{
    loadSettings(s, debugLogFile);
    const QStringList names = KeyStore::listSubkeys(KeyStore::ProductKey, Keys::DetectedDevices);
    if (names.first() == KeyStore::EmptyList)
        return;

    devices.clear();
    QList<std::pair<QString, KeyStore::ValueTexts>> rewrites;
    for (const QString& mac : names) {
        const QString key = Keys::deviceKey(mac);
        const DeviceCodec::Decoded decoded = DeviceCodec::decode(mac, KeyStore::readValues(KeyStore::ProductKey, key));
        for (const QString& problem : decoded.problems)
            Log(kwStore,
                QStringLiteral("loadStore - %1: %2 cannot be read; read as for a device nobody vouched for")
                    .arg(mac, problem));
        if (!devices.append(decoded.record))
            Log(kwStore, QStringLiteral("loadStore - %1 is stored twice; the first is kept").arg(mac));
        if (decoded.oldDates && oldDates == OldDates::Rewrite) {
            const DeviceRecord& d = decoded.record;
            rewrites.append({key,
                {{DeviceCodec::Name::FirstSeen, TextForms::storedDate(d.FirstSeen)},
                    {DeviceCodec::Name::LastOnline, TextForms::storedDate(d.LastOnline)},
                    {DeviceCodec::Name::LastOffline, TextForms::storedDate(d.LastOffline)}}});
        }
    }
    if (!rewrites.isEmpty()) {
        KeyStore::writeKeys(KeyStore::ProductKey, rewrites);
        Log(kwStore,
            QStringLiteral("loadStore - the dates of %1 devices were in an earlier release's locale text; they "
                           "are stored as ISO 8601 now")
                .arg(rewrites.size()));
    }
}
