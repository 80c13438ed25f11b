#include "store/SettingsTable.h"

#include "store/Base64.h"
#include "store/TextForms.h"

#include <optional>

namespace SettingsTable {

namespace {

using S = LiveSettings;

// The alert kinds a push channel can carry, and the words ctl and the store use for them.
constexpr const char* kAlertWords = "new|online|watched|storm";

const std::vector<Setting>& table()
{
    // clang-format off
    static const std::vector<Setting> settings {
        {"EmailServer", "mail.server", Type::Text, "",
            "SMTP server for alert mails: host or host:port (empty: no mail)",
            Form::Plain, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.mail.server; }},
        {"EmailSecurity", "mail.security", Type::Choice, "None", "mail connection security",
            Form::Trimmed, 0, 0, "None|STARTTLS|TLS", nullptr, nullptr,
            [](S& s) -> QString& { return s.mail.security; }},
        {"EmailAuthenticate", "mail.authenticate", Type::Bool, "0",
            "log in to the SMTP server with EmailUsername and EmailPassword",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.mail.authenticate; }},
        {"EmailUsername", "mail.username", Type::Text, "", "SMTP login name (stored Base64-encoded)",
            Form::Base64, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.mail.username; }},
        {"EmailPassword", "mail.password", Type::Secret, "", "SMTP password (stored Base64-encoded)",
            Form::Base64, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.mail.password; }},
        {"EmailAddresses", "mail.addresses", Type::Text, "", "addresses alert mails go to, separated by semicolons",
            Form::Plain, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.mail.addresses; }},
        {"EmailFrom", "mail.from", Type::Text, "", "the From address of alert mails",
            Form::Plain, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.mail.from; }},
        {"NewIntruderSound", "alerts.newIntruder.sound", Type::Bool, "1",
            "play a sound when a new intruder is detected",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.alerts.newIntruder.sound; }},
        {"NewIntruderPopup", "alerts.newIntruder.popup", Type::Bool, "1",
            "show the window when a new intruder is detected",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.alerts.newIntruder.popup; }},
        {"NewIntruderEmail", "alerts.newIntruder.mail", Type::Bool, "0",
            "send a mail when a new intruder is detected",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.alerts.newIntruder.mail; }},
        {"NewIntruderNotify", "alerts.newIntruder.notify", Type::Bool, "1",
            "show a desktop notification when a new intruder is detected",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.alerts.newIntruder.notify; }},
        {"OnlineIntruderSound", "alerts.onlineIntruder.sound", Type::Bool, "1",
            "play a sound when a known intruder comes back online",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.alerts.onlineIntruder.sound; }},
        {"OnlineIntruderPopup", "alerts.onlineIntruder.popup", Type::Bool, "1",
            "show the window when a known intruder comes back online",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.alerts.onlineIntruder.popup; }},
        {"OnlineIntruderEmail", "alerts.onlineIntruder.mail", Type::Bool, "0",
            "send a mail when a known intruder comes back online",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.alerts.onlineIntruder.mail; }},
        {"OnlineIntruderNotify", "alerts.onlineIntruder.notify", Type::Bool, "0",
            "show a desktop notification when a known intruder comes back online",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.alerts.onlineIntruder.notify; }},
        {"OnlineIntruderReminder", "alerts.reminder", Type::Bool, "0",
            "play a reminder every 5 minutes while an intruder is online",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.alerts.reminder; }},
        {"Volume", "alerts.volume", Type::Int, "70", "alert sound volume",
            Form::Trimmed, 0, 100, nullptr, nullptr, [](S& s) -> int& { return s.alerts.volume; }},
        {"AlertQuietMinutes", "alerts.quietMinutes", Type::Int, "15",
            "at most one online or offline alert per device within this many minutes (0: every change alerts)",
            Form::Trimmed, 0, 1440, nullptr, nullptr, [](S& s) -> int& { return s.alerts.quietMinutes; }},
        {"MergeReturningDevices", "devices.mergeReturning", Type::Bool, "0",
            "merge a new private-MAC device into the known one it likely is, without asking",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.devices.mergeReturning; }},
        {"WatchNetworks", "devices.watchNetworks", Type::Choice, "all",
            "a network joined is watched at once (all) or only once you say so (asked; the window asks when "
            "nothing is set)",
            Form::Trimmed, 0, 0, "all|asked", nullptr, nullptr,
            [](S& s) -> QString& { return s.devices.watchNetworks; }},
        {"AlwaysOnTop", "window.alwaysOnTop", Type::Bool, "0", "keep the window above other windows",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.window.alwaysOnTop; }},
        {"ReCentre", "window.reCentre", Type::Bool, "1", "centre the window on the screen each time it is shown",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.window.reCentre; }},
        {"ExternalPrograms", "window.externalPrograms", Type::Bool, "0",
            "add the programs of Programs.ini to the device menus",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.window.externalPrograms; }},
        {"LogToDisk", "log.toDisk", Type::Bool, "0", "write the debug log to Log Database/Kestrelwatch.log",
            Form::Plain, 0, 0, nullptr, [](S& s) -> bool& { return s.log.toDisk; }},
        {"MqttServer", "mqtt.server", Type::Text, "", "MQTT broker: host or host:port (empty: no MQTT)",
            Form::Plain, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.mqtt.server; }},
        {"MqttSecurity", "mqtt.security", Type::Choice, "None", "MQTT connection security",
            Form::Trimmed, 0, 0, "None|TLS", nullptr, nullptr, [](S& s) -> QString& { return s.mqtt.security; }},
        {"MqttUsername", "mqtt.username", Type::Text, "", "MQTT login name (stored Base64-encoded)",
            Form::Base64, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.mqtt.username; }},
        {"MqttPassword", "mqtt.password", Type::Secret, "", "MQTT password (stored Base64-encoded)",
            Form::Base64, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.mqtt.password; }},
        {"MqttTopic", "mqtt.topic", Type::Text, "kestrelwatch", "the topic every MQTT message is published below",
            Form::Plain, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.mqtt.topic; }},
        {"MqttSensor", "mqtt.sensor", Type::Text, "",
            "this monitor's name on the broker (empty: the machine's host name)",
            Form::Plain, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.mqtt.sensor; }},
        {"NtfyServer", "push.ntfy.url", Type::Text, "", "the ntfy topic URL (empty: no ntfy)",
            Form::Trimmed, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.push.ntfy.url; }},
        {"NtfyToken", "push.ntfy.token", Type::Secret, "", "ntfy access token, sent as Authorization: Bearer",
            Form::Trimmed, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.push.ntfy.token; }},
        {"NtfyAlerts", "push.ntfy.alerts", Type::Words, "new,online,watched,storm",
            "the alerts ntfy gets: new intruders, intruders back online, watched devices, storm digests",
            Form::Trimmed, 0, 0, kAlertWords, nullptr, nullptr, [](S& s) -> QString& { return s.push.ntfy.alerts; }},
        {"GotifyServer", "push.gotify.url", Type::Text, "", "the Gotify server URL (empty: no Gotify)",
            Form::Trimmed, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.push.gotify.url; }},
        {"GotifyToken", "push.gotify.token", Type::Secret, "", "the token of the Gotify application",
            Form::Trimmed, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.push.gotify.token; }},
        {"GotifyAlerts", "push.gotify.alerts", Type::Words, "new,online,watched,storm",
            "the alerts Gotify gets (as NtfyAlerts)",
            Form::Trimmed, 0, 0, kAlertWords, nullptr, nullptr,
            [](S& s) -> QString& { return s.push.gotify.alerts; }},
        {"WebhookUrl", "push.webhook.url", Type::Text, "", "the URL each alert is POSTed to as JSON (empty: none)",
            Form::Trimmed, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.push.webhook.url; }},
        {"WebhookToken", "push.webhook.token", Type::Secret, "", "webhook token, sent as Authorization: Bearer",
            Form::Trimmed, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.push.webhook.token; }},
        {"WebhookAlerts", "push.webhook.alerts", Type::Words, "new,online,watched,storm",
            "the alerts the webhook gets (as NtfyAlerts)",
            Form::Trimmed, 0, 0, kAlertWords, nullptr, nullptr,
            [](S& s) -> QString& { return s.push.webhook.alerts; }},
        {"WebListen", "web.listen", Type::Text, "",
            "serve the web page at ADDRESS:PORT, localhost:PORT or PORT on 127.0.0.1 (empty: off; the monitor's --web "
            "overrides it)",
            Form::Trimmed, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.web.listen; }},
        {"WebCertificate", "web.certificate", Type::Text, "",
            "PEM certificate file for the web page's TLS (with WebKey)",
            Form::Trimmed, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.web.certificate; }},
        {"WebKey", "web.key", Type::Text, "", "PEM private key file for the web page's TLS (with WebCertificate)",
            Form::Trimmed, 0, 0, nullptr, nullptr, nullptr, [](S& s) -> QString& { return s.web.key; }},
    };
    // clang-format on
    return settings;
}

const Base64& codec()
{
    static const Base64 base64;
    return base64;
}

bool hasControl(const QString& text)
{
    for (const QChar c : text) {
        const auto category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            return true;
    }
    return false;
}

QString choiceOf(const Setting& s, const QString& text)
{
    for (const QString& choice : s.choiceList()) {
        if (choice.compare(text.trimmed(), Qt::CaseInsensitive) == 0)
            return choice;
    }
    return {};
}

// The words of a Words value in the table's order, or an empty optional naming the word that is none.
std::optional<QString> wordsOf(const Setting& s, const QString& text, QString& unknown)
{
    QStringList given;
    for (const QString& word : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString choice = choiceOf(s, word);
        if (choice.isEmpty()) {
            unknown = word.trimmed();
            return std::nullopt;
        }
        given.append(choice);
    }
    QStringList ordered;
    for (const QString& choice : s.choiceList()) {
        if (given.contains(choice))
            ordered.append(choice);
    }
    return ordered.join(QLatin1Char(','));
}

// "None, STARTTLS or TLS"
QString orList(const QStringList& words)
{
    if (words.size() < 2)
        return words.join(QString());
    return words.mid(0, words.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + words.last();
}

QString valuesText(const Setting& s)
{
    switch (s.type) {
    case Type::Bool:
        return QStringLiteral("0 or 1");
    case Type::Int:
        return QStringLiteral("%1 to %2").arg(s.min).arg(s.max);
    case Type::Choice:
        return s.choiceList().join(QStringLiteral(", "));
    case Type::Words:
        return QStringLiteral("any of %1, separated by commas (none: empty)")
            .arg(s.choiceList().join(QStringLiteral(", ")));
    case Type::Text:
        return QStringLiteral("text");
    case Type::Secret:
        return QStringLiteral("text, shown masked");
    }
    return {};
}

} // namespace

QStringList Setting::choiceList() const
{
    return choices ? QString::fromLatin1(choices).split(QLatin1Char('|')) : QStringList();
}

const std::vector<Setting>& all()
{
    return table();
}

const Setting* find(const QString& keyOrName)
{
    for (const Setting& s : table()) {
        if (keyOrName.compare(QLatin1String(s.key), Qt::CaseInsensitive) == 0
            || keyOrName.compare(QLatin1String(s.name), Qt::CaseInsensitive) == 0)
            return &s;
    }
    return nullptr;
}

const Setting& byKey(const char* key)
{
    const Setting* s = find(QLatin1String(key));
    Q_ASSERT(s);
    return s ? *s : table().front();
}

QString storedText(const Setting& s, const LiveSettings& settings)
{
    auto& live = const_cast<LiveSettings&>(settings); // the accessors serve reading and writing alike
    switch (s.type) {
    case Type::Bool:
        return s.flag(live) ? QStringLiteral("1") : QStringLiteral("0");
    case Type::Int:
        return QString::number(s.number(live));
    default:
        return s.form == Form::Base64 ? codec().Encodestring(s.text(live)) : s.text(live);
    }
}

QString takeStored(const Setting& s, const QString& stored, LiveSettings& settings)
{
    const QString text = s.form == Form::Trimmed ? stored.trimmed() : stored;
    switch (s.type) {
    case Type::Bool:
        s.flag(settings) = TextForms::flagValue(text) == 1;
        return {};
    case Type::Int: {
        bool ok = false;
        const int n = text.toInt(&ok);
        if (!ok || n < s.min || n > s.max) {
            return QStringLiteral("%1 \"%2\" is no whole number from %3 to %4; %5 is used")
                .arg(s.keyText(), text.left(40))
                .arg(s.min)
                .arg(s.max)
                .arg(s.number(settings));
        }
        s.number(settings) = n;
        return {};
    }
    case Type::Choice: {
        const QString choice = choiceOf(s, text);
        if (choice.isEmpty()) {
            return QStringLiteral("%1 \"%2\" is not %3; %4 is used")
                .arg(s.keyText(), text.left(40), orList(s.choiceList()), s.text(settings));
        }
        s.text(settings) = choice;
        return {};
    }
    case Type::Words: {
        QString unknown;
        const std::optional<QString> words = wordsOf(s, text, unknown);
        if (!words) {
            return QStringLiteral("%1 \"%2\" holds \"%3\", which is not one of %4; \"%5\" is used")
                .arg(s.keyText(), text.left(80), unknown.left(40), s.choiceList().join(QStringLiteral(", ")),
                    s.text(settings));
        }
        s.text(settings) = *words;
        return {};
    }
    case Type::Text:
    case Type::Secret:
        s.text(settings) = s.form == Form::Base64 ? codec().DecodeTostring(text) : text;
        return {};
    }
    return {};
}

QString shown(const Setting& s, const LiveSettings& settings, bool reveal)
{
    const QString stored = storedText(s, settings);
    if (s.type == Type::Secret) {
        const QString value = s.text(const_cast<LiveSettings&>(settings));
        return reveal || value.isEmpty() ? value : QStringLiteral("********");
    }
    return s.form == Form::Base64 ? s.text(const_cast<LiveSettings&>(settings)) : stored;
}

Checked fromUser(const Setting& s, const QString& value)
{
    const QString name = s.keyText();
    switch (s.type) {
    case Type::Bool: {
        const QString v = value.trimmed().toLower();
        for (const char* on : {"1", "true", "on", "yes"}) {
            if (v == QLatin1String(on))
                return {QStringLiteral("1"), {}};
        }
        for (const char* off : {"0", "false", "off", "no"}) {
            if (v == QLatin1String(off))
                return {QStringLiteral("0"), {}};
        }
        return {{}, QStringLiteral("%1 is on or off: give 1 or 0 (or true, false, on, off, yes, no)").arg(name)};
    }
    case Type::Int: {
        bool ok = false;
        const int n = value.trimmed().toInt(&ok);
        if (!ok || n < s.min || n > s.max)
            return {{}, QStringLiteral("%1 is a whole number from %2 to %3").arg(name).arg(s.min).arg(s.max)};
        return {QString::number(n), {}};
    }
    case Type::Choice: {
        const QString choice = choiceOf(s, value);
        if (choice.isEmpty())
            return {{}, QStringLiteral("%1 is one of %2").arg(name, orList(s.choiceList()))};
        return {choice, {}};
    }
    case Type::Words: {
        QString unknown;
        const std::optional<QString> words = wordsOf(s, value, unknown);
        if (!words) {
            return {{}, QStringLiteral("%1 takes %2; \"%3\" is none of them").arg(name, valuesText(s), unknown)};
        }
        return {*words, {}};
    }
    case Type::Text:
    case Type::Secret:
        if (hasControl(value))
            return {{}, QStringLiteral("%1 is one line without control characters").arg(name)};
        if (s.form == Form::Trimmed)
            return {value.trimmed(), {}}; // as the loader reads it
        return {s.form == Form::Base64 ? codec().Encodestring(value) : value, {}};
    }
    return {{}, QStringLiteral("%1 cannot be set").arg(name)};
}

bool hasWord(const QString& words, const QString& word)
{
    return words.split(QLatin1Char(',')).contains(word);
}

QString manSection()
{
    QString roff;
    for (const Setting& s : table()) {
        const QString fallback = QString::fromLatin1(s.defaultText);
        QString help = QString::fromLatin1(s.help);
        help[0] = help[0].toUpper();
        roff += QStringLiteral(".TP\n.BR %1 \" (%2)\"\n%3. Values: %4; default: %5.\n")
                    .arg(s.keyText(), QString::fromLatin1(s.name), help, valuesText(s),
                        fallback.isEmpty() ? QStringLiteral("empty") : fallback);
    }
    return roff;
}

} // namespace SettingsTable

LiveSettings::LiveSettings()
{
    for (const SettingsTable::Setting& s : SettingsTable::all())
        SettingsTable::takeStored(s, QString::fromLatin1(s.defaultText), *this);
}
