#include "ctl/CtlSettings.h"

#include "platform/Hive.h"
#include "store/Base64Class.h"
#include "store/Settings.h"
#include "store/modRegistry.h"

#include <QSysInfo>

namespace CtlSettings {

namespace {

constexpr int kVolumeMin = 0; // the settings dialog's slider
constexpr int kVolumeMax = 100;

const Base64Class& codec()
{
    static const Base64Class base64;
    return base64;
}

bool hasControl(const QString& text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            return true;
    }
    return false;
}

} // namespace

const QList<Named>& all()
{
    static const QList<Named> settings {
        {"EmailServer", Kind::Text, "", "SMTP server for alert mails: host or host:port (none: no mail)"},
        {"EmailSecurity", Kind::Choice, "None", "mail connection security", "None|STARTTLS|TLS"},
        {"EmailAuthenticate", Kind::Flag, "0", "log in to the SMTP server with EmailUsername and EmailPassword"},
        {"EmailUsername", Kind::Login, "", "SMTP login name (stored Base64-encoded)"},
        {"EmailPassword", Kind::Login, "", "SMTP password (stored Base64-encoded)"},
        {"EmailAddresses", Kind::Text, "", "addresses alert mails go to, separated by semicolons"},
        {"EmailFrom", Kind::Text, "", "the From address of alert mails"},
        {"NewIntruderSound", Kind::Flag, "1", "play a sound when a new intruder is detected"},
        {"NewIntruderPopup", Kind::Flag, "1", "show the window when a new intruder is detected"},
        {"NewIntruderEmail", Kind::Flag, "0", "send a mail when a new intruder is detected"},
        {"NewIntruderNotify", Kind::Flag, "1", "show a desktop notification when a new intruder is detected"},
        {"OnlineIntruderSound", Kind::Flag, "1", "play a sound when a known intruder comes back online"},
        {"OnlineIntruderPopup", Kind::Flag, "1", "show the window when a known intruder comes back online"},
        {"OnlineIntruderEmail", Kind::Flag, "0", "send a mail when a known intruder comes back online"},
        {"OnlineIntruderNotify", Kind::Flag, "0",
            "show a desktop notification when a known intruder comes back online"},
        {"OnlineIntruderReminder", Kind::Flag, "0", "play a reminder every 5 minutes while an intruder is online"},
        {"MergeReturningDevices", Kind::Flag, "0",
            "merge a new private-MAC device into the known one it likely is, without asking"},
        {"Volume", Kind::Number, "70", "alert sound volume, 0 to 100"},
        {"AlwaysOnTop", Kind::Flag, "0", "keep the window above other windows"},
        {"ReCentre", Kind::Flag, "1", "centre the window on the screen each time it is shown"},
        {"ExternalPrograms", Kind::Flag, "0", "add the programs of Programs.ini to the device menus"},
        {"LogToDisk", Kind::Flag, "0", "write the debug log to Log Database/Kestrelwatch.log"},
        {"MqttServer", Kind::Text, "", "MQTT broker: host or host:port (none: no MQTT)"},
        {"MqttSecurity", Kind::Choice, "None", "MQTT connection security", "None|TLS"},
        {"MqttUsername", Kind::Login, "", "MQTT login name (stored Base64-encoded)"},
        {"MqttPassword", Kind::Login, "", "MQTT password (stored Base64-encoded)"},
        {"MqttTopic", Kind::Text, "kestrelwatch", "the topic every MQTT message is published below"},
        {"MqttSensor", Kind::Text, nullptr, "this monitor's name on the broker"},
        {"WebListen", Kind::Text, "", "serve the web page at ADDRESS:PORT, or PORT on 127.0.0.1 (none: off)"},
        {"WebCertificate", Kind::Text, "", "PEM certificate file for the web page's TLS (with WebKey)"},
        {"WebKey", Kind::Text, "", "PEM private key file for the web page's TLS (with WebCertificate)"},
        {"WatchNetworks", Kind::Choice, "all",
            "a network joined is watched at once (all) or only once you say so (asked; the window's default)",
            "all|asked"},
    };
    return settings;
}

const Named* find(const QString& name)
{
    for (const Named& s : all()) {
        if (name.compare(QLatin1String(s.name), Qt::CaseInsensitive) == 0)
            return &s;
    }
    return nullptr;
}

QString read(const Named& setting)
{
    const QString fallback =
        setting.defaultText ? QString::fromLatin1(setting.defaultText) : QSysInfo::machineHostName();
    const QString stored = modRegistry::ReadString(
        modRegistry::ProductKey, Keys::General, QString::fromLatin1(setting.name), QStringLiteral("\x01"));
    if (stored == QLatin1String("\x01"))
        return fallback;
    return setting.kind == Kind::Login ? codec().DecodeTostring(stored) : stored;
}

Checked check(const Named& setting, const QString& value)
{
    const QString name = QString::fromLatin1(setting.name);
    switch (setting.kind) {
    case Kind::Flag: {
        const QString v = value.trimmed().toLower();
        if (v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("on")
            || v == QLatin1String("yes"))
            return {QStringLiteral("1"), {}};
        if (v == QLatin1String("0") || v == QLatin1String("false") || v == QLatin1String("off")
            || v == QLatin1String("no"))
            return {QStringLiteral("0"), {}};
        return {{}, QStringLiteral("%1 is on or off: give 1 or 0 (or true, false, on, off, yes, no)").arg(name)};
    }
    case Kind::Number: {
        bool ok = false;
        const int n = value.trimmed().toInt(&ok);
        if (!ok || n < kVolumeMin || n > kVolumeMax)
            return {{}, QStringLiteral("%1 is a whole number from %2 to %3").arg(name).arg(kVolumeMin).arg(kVolumeMax)};
        return {QString::number(n), {}};
    }
    case Kind::Choice:
        for (const QString& choice : QString::fromLatin1(setting.choices).split(QLatin1Char('|'))) {
            if (choice.compare(value.trimmed(), Qt::CaseInsensitive) == 0)
                return {choice, {}};
        }
        return {{}, QStringLiteral("%1 is one of %2").arg(name, QString::fromLatin1(setting.choices))};
    case Kind::Text:
    case Kind::Login:
        if (hasControl(value))
            return {{}, QStringLiteral("%1 is one line without control characters").arg(name)};
        return {setting.kind == Kind::Login ? codec().Encodestring(value) : value, {}};
    }
    return {{}, QStringLiteral("%1 cannot be set").arg(name)};
}

bool write(const Named& setting, const QString& stored)
{
    Hive* hive = modRegistry::attached();
    return hive
        && hive->setValue(modRegistry::FullKeyPath(modRegistry::ProductKey, Keys::General),
            QString::fromLatin1(setting.name), stored);
}

} // namespace CtlSettings
