#include "store/Settings.h"

#include "platform/DebugSink.h"
#include "store/Base64Class.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/DeviceWatch.h"
#include "store/LiveSettings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

namespace {

QString readGeneral(const QString& name, const QString& defaultText = QString())
{
    return modRegistry::ReadString(modRegistry::ProductKey, Keys::General, name, defaultText);
}

// The mail login is kept Base64-encoded, as UTF-8 (stores written before hold Latin-1, which still decodes).
QString fromBase64Text(const QString& text)
{
    static const Base64Class codec;
    return codec.DecodeTostring(text);
}

// "None", "STARTTLS" or "TLS"; missing means None, as it did before encryption could be chosen.
QString emailSecurity(const QString& stored)
{
    for (const char* known : {"None", "STARTTLS", "TLS"}) {
        if (stored.trimmed().compare(QLatin1String(known), Qt::CaseInsensitive) == 0)
            return QLatin1String(known);
    }
    if (!stored.trimmed().isEmpty())
        Log(QStringLiteral("Load_Registry - EmailSecurity \"%1\" is not None, STARTTLS or TLS; None is used")
                .arg(stored));
    return QStringLiteral("None");
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
    s.lblLogPath = debugLogFile;

    s.txtEmailServer = readGeneral(QStringLiteral("EmailServer"));
    s.txtEmailAddresses = readGeneral(QStringLiteral("EmailAddresses"));
    s.txtEmailFrom = readGeneral(QStringLiteral("EmailFrom"));
    s.txtEmailUsername = fromBase64Text(readGeneral(QStringLiteral("EmailUsername")));
    s.txtEmailPassword = fromBase64Text(readGeneral(QStringLiteral("EmailPassword")));

    s.cboEmailSecurity = emailSecurity(readGeneral(QStringLiteral("EmailSecurity")));
    s.chkEmailAuthenticate =
        TextForms::flagValue(readGeneral(QStringLiteral("EmailAuthenticate"), QStringLiteral("0")));
    s.emailLoginEnabled = s.chkEmailAuthenticate == 1;

    const struct
    {
        const char* name;
        const char* defaultText;
        int LiveSettings::*field;
    } flags[] = {
        {"LogToDisk", "0", &LiveSettings::chkLogToDisk},
        {"ExternalPrograms", "0", &LiveSettings::chkExternalPrograms},
        {"AlwaysOnTop", "0", &LiveSettings::chkAlwaysOnTop},
        {"ReCentre", "1", &LiveSettings::chkReCentre},
        {"NewIntruderSound", "1", &LiveSettings::chkNewIntruderSound},
        {"NewIntruderPopup", "1", &LiveSettings::chkNewIntruderPopup},
        {"NewIntruderEmail", "0", &LiveSettings::chkNewIntruderEmail},
        {"OnlineIntruderSound", "1", &LiveSettings::chkOnlineIntruderSound},
        {"OnlineIntruderPopup", "1", &LiveSettings::chkOnlineIntruderPopup},
        {"OnlineIntruderEmail", "0", &LiveSettings::chkOnlineIntruderEmail},
        {"OnlineIntruderReminder", "0", &LiveSettings::chkOnlineIntruderReminder},
        {"NewIntruderNotify", "1", &LiveSettings::chkNewIntruderNotify},
        {"OnlineIntruderNotify", "0", &LiveSettings::chkOnlineIntruderNotify},
        {"MergeReturningDevices", "0", &LiveSettings::chkMergeReturningDevices},
    };
    for (const auto& flag : flags) {
        s.*flag.field =
            TextForms::flagValue(readGeneral(QString::fromLatin1(flag.name), QString::fromLatin1(flag.defaultText)));
    }

    s.txtMqttServer = readGeneral(QStringLiteral("MqttServer"));
    s.txtMqttUsername = fromBase64Text(readGeneral(QStringLiteral("MqttUsername")));
    s.txtMqttPassword = fromBase64Text(readGeneral(QStringLiteral("MqttPassword")));
    s.txtMqttTopic = readGeneral(QStringLiteral("MqttTopic"), QStringLiteral("kestrelwatch"));
    s.cboMqttSecurity = readGeneral(QStringLiteral("MqttSecurity"), QStringLiteral("None"));
    // Empty: the publisher uses the host name, and the settings box says so instead of showing it as typed.
    s.txtMqttSensor = readGeneral(QStringLiteral("MqttSensor"));

    const struct
    {
        const char* name;
        QString LiveSettings::*field;
    } channels[] = {
        {"NtfyServer", &LiveSettings::txtNtfyServer},
        {"NtfyToken", &LiveSettings::txtNtfyToken},
        {"GotifyServer", &LiveSettings::txtGotifyServer},
        {"GotifyToken", &LiveSettings::txtGotifyToken},
        {"WebhookUrl", &LiveSettings::txtWebhookUrl},
        {"WebhookToken", &LiveSettings::txtWebhookToken},
    };
    for (const auto& channel : channels)
        s.*channel.field = readGeneral(QString::fromLatin1(channel.name)).trimmed();
    const QString quiet = readGeneral(QStringLiteral("AlertQuietMinutes"), QStringLiteral("15")).trimmed();
    bool quietOk = false;
    const int quietValue = quiet.toInt(&quietOk);
    if (quietOk && quietValue >= 0)
        s.alertQuietMinutes = quietValue;
    else
        Log(QStringLiteral("Load_Registry - AlertQuietMinutes \"%1\" is not a number of minutes; 15 is used")
                .arg(quiet));

    const QString volume = readGeneral(QStringLiteral("Volume"), QStringLiteral("70")).trimmed();
    bool volumeOk = false;
    const int volumeValue = volume.toInt(&volumeOk);
    if (volumeOk)
        s.slideVolume = volumeValue;
    else
        Log(QStringLiteral("Load_Registry - Volume \"%1\" is not a number").arg(volume));

    s.chkGeneralStartup = modRegistry::ReadString(Keys::RunProduct, Keys::RunKey, Keys::RunValue, QStringLiteral("XXX"))
            != QLatin1String("XXX")
        ? 1
        : 0;
}

void Load_Registry(LiveSettings& s, DeviceStore& devices, const QString& debugLogFile, OldDates oldDates)
{
    loadSettings(s, debugLogFile);
    const QStringList names = modRegistry::ListSubkeys(modRegistry::ProductKey, Keys::DetectedDevices);
    if (names.first() == modRegistry::EmptyList)
        return;

    devices.clear();
    QList<std::pair<QString, modRegistry::ValueTexts>> rewrites;
    for (const QString& mac : names) {
        const QString key = Keys::deviceKey(mac);
        const DeviceCodec::Decoded decoded =
            DeviceCodec::decode(mac, modRegistry::ReadValues(modRegistry::ProductKey, key));
        for (const QString& problem : decoded.problems)
            Log(QStringLiteral("Load_Registry - %1: %2 cannot be read; read as for a device nobody vouched for")
                    .arg(mac, problem));
        if (!devices.append(decoded.record))
            Log(QStringLiteral("Load_Registry - %1 is stored twice; the first is kept").arg(mac));
        if (decoded.oldDates && oldDates == OldDates::Rewrite) {
            const DeviceRecord& d = decoded.record;
            rewrites.append({key,
                {{DeviceCodec::Name::FirstSeen, TextForms::storedDate(d.FirstSeen)},
                    {DeviceCodec::Name::LastOnline, TextForms::storedDate(d.LastOnline)},
                    {DeviceCodec::Name::LastOffline, TextForms::storedDate(d.LastOffline)}}});
        }
    }
    if (!rewrites.isEmpty()) {
        modRegistry::WriteKeys(modRegistry::ProductKey, rewrites);
        Log(QStringLiteral("Load_Registry - the dates of %1 devices were in an earlier release's locale text; they "
                           "are stored as ISO 8601 now")
                .arg(rewrites.size()));
    }
}
