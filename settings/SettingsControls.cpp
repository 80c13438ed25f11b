#include "settings/SettingsControls.h"

namespace SettingsControls {

// The three alert captions serve both frames; the frame's own caption says which alert they belong to.
const std::array<Flag, FlagCount> Flags {{
    {"chkReCentre", "ReCentre", &LiveSettings::chkReCentre, "Centre Kestrelwatch on the screen each time it is shown",
        nullptr, Effect::None},
    {"chkAlwaysOnTop", "AlwaysOnTop", &LiveSettings::chkAlwaysOnTop, "Keep Kestrelwatch on top of other windows",
        nullptr, Effect::AlwaysOnTop},
    {"chkGeneralStartup", nullptr, &LiveSettings::chkGeneralStartup, "Start Kestrelwatch when I log in", nullptr,
        Effect::Startup},
    {"chkExternalPrograms", "ExternalPrograms", &LiveSettings::chkExternalPrograms,
        "Add the programs listed in Programs.ini (ping, traceroute, web page) to the device menus", nullptr,
        Effect::ExternalPrograms},
    {"chkNewIntruderSound", "NewIntruderSound", &LiveSettings::chkNewIntruderSound,
        "Play an audible alert when the intruder is detected", nullptr, Effect::None},
    {"chkNewIntruderPopup", "NewIntruderPopup", &LiveSettings::chkNewIntruderPopup,
        "PopUp Kestrelwatch when the Intruder is detected", nullptr, Effect::None},
    {"chkNewIntruderEmail", "NewIntruderEmail", &LiveSettings::chkNewIntruderEmail,
        "Send me an Email when the Intruder is detected", nullptr, Effect::None},
    {"chkOnlineIntruderSound", "OnlineIntruderSound", &LiveSettings::chkOnlineIntruderSound,
        "Play an audible alert when a known intruder comes back online", nullptr, Effect::None},
    {"chkOnlineIntruderPopup", "OnlineIntruderPopup", &LiveSettings::chkOnlineIntruderPopup,
        "PopUp Kestrelwatch when a known intruder comes back online", nullptr, Effect::None},
    {"chkOnlineIntruderEmail", "OnlineIntruderEmail", &LiveSettings::chkOnlineIntruderEmail,
        "Send me an Email when a known intruder comes back online", nullptr, Effect::None},
    {"chkOnlineIntruderReminder", "OnlineIntruderReminder", &LiveSettings::chkOnlineIntruderReminder,
        "Play an audible reminder every 5 mins when an intruder is online", nullptr, Effect::Reminder},
    {"chkNewIntruderNotify", "NewIntruderNotify", &LiveSettings::chkNewIntruderNotify,
        "Show a desktop notification when the Intruder is detected", nullptr, Effect::None},
    {"chkOnlineIntruderNotify", "OnlineIntruderNotify", &LiveSettings::chkOnlineIntruderNotify,
        "Show a desktop notification when a known intruder comes back online", nullptr, Effect::None},
    {"chkEmailAuthenticate", "EmailAuthenticate", &LiveSettings::chkEmailAuthenticate,
        "Authenticate :", " Server requires authentication", Effect::Authenticate},
    {"chkLogToDisk", "LogToDisk", &LiveSettings::chkLogToDisk,
        "Save debug log to Disk :", " Enables debug logging to disk", Effect::None},
}};

const std::array<Text, TextCount> Texts {{
    {"txtEmailServer", "EmailServer", &LiveSettings::txtEmailServer, "SMTP Server :", " Server IP address or host name",
        false},
    {"txtEmailAddresses", "EmailAddresses", &LiveSettings::txtEmailAddresses,
        "\"TO\" Addresses :", " Online alarm email addresses. Separate addresses with a semicolon ", false},
    {"txtEmailFrom", "EmailFrom", &LiveSettings::txtEmailFrom,
        "\"FROM\" Address :", " 'From' address to use on emails. Must be a VALID email address", false},
    {"txtEmailUsername", "EmailUsername", &LiveSettings::txtEmailUsername, "Username :", nullptr, true},
    {"txtEmailPassword", "EmailPassword", &LiveSettings::txtEmailPassword, "Password :", nullptr, true},
}};

const std::array<Text, 6> ChannelTexts {{
    {"txtNtfyServer", "NtfyServer", &LiveSettings::txtNtfyServer,
        "Topic URL :", " The ntfy topic, e.g. https://ntfy.sh/my-lan-alerts; empty: no ntfy", false},
    {"txtNtfyToken", "NtfyToken", &LiveSettings::txtNtfyToken,
        "Access token :", " Sent as Authorization: Bearer; empty: none", false},
    {"txtGotifyServer", "GotifyServer", &LiveSettings::txtGotifyServer,
        "Server URL :", " The Gotify server, e.g. https://gotify.example; empty: no Gotify", false},
    {"txtGotifyToken", "GotifyToken", &LiveSettings::txtGotifyToken,
        "App token :", " The token of the Gotify application the messages come from", false},
    {"txtWebhookUrl", "WebhookUrl", &LiveSettings::txtWebhookUrl,
        "URL :", " Each alert is POSTed here as JSON; empty: no webhook", false},
    {"txtWebhookToken", "WebhookToken", &LiveSettings::txtWebhookToken,
        "Token :", " Sent as Authorization: Bearer; empty: none", false},
}};

} // namespace SettingsControls
