#include "settings/SettingsControls.h"

namespace SettingsControls {

// Captions in sentence case; every box has a tooltip that says what it does.
const std::array<Flag, FlagCount> Flags {{
    {"chkReCentre", "ReCentre", &LiveSettings::chkReCentre, "Centre the window on the screen each time it is shown",
        "Otherwise the window opens where you left it", Effect::None},
    {"chkAlwaysOnTop", "AlwaysOnTop", &LiveSettings::chkAlwaysOnTop, "Keep the window on top of other windows",
        "While it is shown, the window stays above every other window", Effect::AlwaysOnTop},
    {"chkGeneralStartup", nullptr, &LiveSettings::chkGeneralStartup, "Start Kestrelwatch when I log in",
        "Adds Kestrelwatch to your desktop's autostart programs (~/.config/autostart); needs an installed copy",
        Effect::Startup},
    {"chkExternalPrograms", "ExternalPrograms", &LiveSettings::chkExternalPrograms,
        "Add the programs listed in Programs.ini (ping, traceroute, web page) to the device menus",
        "Programs.ini is in the Configs folder of your Kestrelwatch data", Effect::ExternalPrograms},
    {"chkNewIntruderSound", "NewIntruderSound", &LiveSettings::chkNewIntruderSound, "Play a sound",
        "Plays the new intruder sound at the volume set on the General page", Effect::None},
    {"chkNewIntruderPopup", "NewIntruderPopup", &LiveSettings::chkNewIntruderPopup, "Show the window",
        "Brings the window up with the new device selected", Effect::None},
    {"chkNewIntruderEmail", "NewIntruderEmail", &LiveSettings::chkNewIntruderEmail, "Send an email",
        "Mails the addresses on the Email page", Effect::None},
    {"chkOnlineIntruderSound", "OnlineIntruderSound", &LiveSettings::chkOnlineIntruderSound, "Play a sound",
        "Plays the intruder online sound at the volume set on the General page", Effect::None},
    {"chkOnlineIntruderPopup", "OnlineIntruderPopup", &LiveSettings::chkOnlineIntruderPopup, "Show the window",
        "Brings the window up", Effect::None},
    {"chkOnlineIntruderEmail", "OnlineIntruderEmail", &LiveSettings::chkOnlineIntruderEmail, "Send an email",
        "Mails the addresses on the Email page", Effect::None},
    {"chkOnlineIntruderReminder", "OnlineIntruderReminder", &LiveSettings::chkOnlineIntruderReminder,
        "Repeat a sound every 5 minutes while an intruder is online",
        "A reminder for as long as any intruder stays online; off by default", Effect::Reminder},
    {"chkNewIntruderNotify", "NewIntruderNotify", &LiveSettings::chkNewIntruderNotify, "Show a desktop notification",
        "A notification with Show and Acknowledge buttons", Effect::None},
    {"chkOnlineIntruderNotify", "OnlineIntruderNotify", &LiveSettings::chkOnlineIntruderNotify,
        "Show a desktop notification", "A notification with Show and Acknowledge buttons", Effect::None},
    {"chkEmailAuthenticate", "EmailAuthenticate", &LiveSettings::chkEmailAuthenticate,
        "Log in:", "Turn on when the server asks for a user name and password", Effect::Authenticate},
    {"chkLogToDisk", "LogToDisk", &LiveSettings::chkLogToDisk,
        "Save the debug log to disk:", "Also writes the debug log to the file named beside this box", Effect::None},
    {"chkMergeReturningDevices", "MergeReturningDevices", &LiveSettings::chkMergeReturningDevices,
        "Merge it into the known device without asking",
        "Off, it is only linked and you merge it from its menu: a stranger who copies a name must not become "
        "trusted by itself",
        Effect::None},
}};

const std::array<Text, TextCount> Texts {{
    {"txtEmailServer", "EmailServer", &LiveSettings::txtEmailServer, "SMTP server:",
        "The outgoing mail server as host or host:port, e.g. mail.example.net:587 (without a port: the one that "
        "goes with Security)",
        false},
    {"txtEmailAddresses", "EmailAddresses", &LiveSettings::txtEmailAddresses,
        "To:", "Where alerts are mailed; separate several addresses with a semicolon", false},
    {"txtEmailFrom", "EmailFrom", &LiveSettings::txtEmailFrom,
        "From:", "The sender address of the mails; many servers accept only your own address", false},
    {"txtEmailUsername", "EmailUsername", &LiveSettings::txtEmailUsername,
        "User name:", "The login name at the mail server (often your address)", true},
    {"txtEmailPassword", "EmailPassword", &LiveSettings::txtEmailPassword,
        "Password:", "The password at the mail server; kept in your private Kestrelwatch folder", true},
}};

const std::array<Text, 6> ChannelTexts {{
    {"txtNtfyServer", "NtfyServer", &LiveSettings::txtNtfyServer,
        "Topic URL:", " The ntfy topic, e.g. https://ntfy.sh/my-lan-alerts; empty: no ntfy", false},
    {"txtNtfyToken", "NtfyToken", &LiveSettings::txtNtfyToken, "Token:", " Sent as Authorization: Bearer; empty: none",
        false},
    {"txtGotifyServer", "GotifyServer", &LiveSettings::txtGotifyServer,
        "Server URL:", " The Gotify server, e.g. https://gotify.example; empty: no Gotify", false},
    {"txtGotifyToken", "GotifyToken", &LiveSettings::txtGotifyToken,
        "App token:", " The token of the Gotify application the messages come from", false},
    {"txtWebhookUrl", "WebhookUrl", &LiveSettings::txtWebhookUrl,
        "URL:", " Each alert is POSTed here as JSON; empty: no webhook", false},
    {"txtWebhookToken", "WebhookToken", &LiveSettings::txtWebhookToken,
        "Token:", " Sent as Authorization: Bearer; empty: none", false},
}};

} // namespace SettingsControls
