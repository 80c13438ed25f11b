#include "settings/SettingsControls.h"

namespace SettingsControls {

// Captions in sentence case; every box has a tooltip that says what it does.
const std::array<Flag, FlagCount> Flags {{
    {"reCentreCheck", "ReCentre", "Centre the window on the screen each time it is shown",
        "Otherwise the window opens where you left it", Effect::None},
    {"alwaysOnTopCheck", "AlwaysOnTop", "Keep the window on top of other windows",
        "While it is shown, the window stays above every other window", Effect::AlwaysOnTop},
    {"generalStartupCheck", nullptr, "Start Kestrelwatch when I log in",
        "Adds Kestrelwatch to your desktop's autostart programs (~/.config/autostart); needs an installed copy",
        Effect::Startup},
    {"externalProgramsCheck", "ExternalPrograms",
        "Add the programs listed in Programs.ini (ping, traceroute, web page) to the device menus",
        "Programs.ini is in the Configs folder of your Kestrelwatch data", Effect::ExternalPrograms},
    {"newIntruderSoundCheck", "NewIntruderSound", "Play a sound",
        "Plays the new intruder sound at the volume set on the General page", Effect::None},
    {"newIntruderPopupCheck", "NewIntruderPopup", "Show the window",
        "Brings the window up with the new device selected", Effect::None},
    {"newIntruderEmailCheck", "NewIntruderEmail", "Send an email", "Mails the addresses on the Email page",
        Effect::None},
    {"onlineIntruderSoundCheck", "OnlineIntruderSound", "Play a sound",
        "Plays the intruder online sound at the volume set on the General page", Effect::None},
    {"onlineIntruderPopupCheck", "OnlineIntruderPopup", "Show the window", "Brings the window up", Effect::None},
    {"onlineIntruderEmailCheck", "OnlineIntruderEmail", "Send an email", "Mails the addresses on the Email page",
        Effect::None},
    {"onlineIntruderReminderCheck", "OnlineIntruderReminder",
        "Repeat a sound every 5 minutes while an intruder is online",
        "A reminder for as long as any intruder stays online; off by default", Effect::Reminder},
    {"newIntruderNotifyCheck", "NewIntruderNotify", "Show a desktop notification",
        "A notification with Show and Acknowledge buttons", Effect::None},
    {"onlineIntruderNotifyCheck", "OnlineIntruderNotify", "Show a desktop notification",
        "A notification with Show and Acknowledge buttons", Effect::None},
    {"emailAuthenticateCheck", "EmailAuthenticate",
        "Log in:", "Turn on when the server asks for a user name and password", Effect::Authenticate},
    {"logToDiskCheck", "LogToDisk",
        "Save the debug log to disk:", "Also writes the debug log to the file named beside this box", Effect::None},
    {"mergeReturningDevicesCheck", "MergeReturningDevices", "Merge it into the known device without asking",
        "Off, it is only linked and you merge it from its menu: a stranger who copies a name must not become "
        "trusted by itself",
        Effect::None},
}};

const std::array<Text, TextCount> Texts {{
    {"emailServerEdit", "EmailServer", "SMTP server:",
        "The outgoing mail server as host or host:port, e.g. mail.example.net:587 (without a port: the one that "
        "goes with Security)"},
    {"emailAddressesEdit", "EmailAddresses",
        "To:", "Where alerts are mailed; separate several addresses with a semicolon"},
    {"emailFromEdit", "EmailFrom",
        "From:", "The sender address of the mails; many servers accept only your own address"},
    {"emailUsernameEdit", "EmailUsername", "User name:", "The login name at the mail server (often your address)"},
    {"emailPasswordEdit", "EmailPassword",
        "Password:", "The password at the mail server; kept in your private Kestrelwatch folder"},
}};

const std::array<Text, 6> ChannelTexts {{
    {"ntfyServerEdit", "NtfyServer",
        "Topic URL:", " The ntfy topic, e.g. https://ntfy.sh/my-lan-alerts; empty: no ntfy"},
    {"ntfyTokenEdit", "NtfyToken", "Token:", " Sent as Authorization: Bearer; empty: none"},
    {"gotifyServerEdit", "GotifyServer",
        "Server URL:", " The Gotify server, e.g. https://gotify.example; empty: no Gotify"},
    {"gotifyTokenEdit", "GotifyToken", "App token:", " The token of the Gotify application the messages come from"},
    {"webhookUrlEdit", "WebhookUrl", "URL:", " Each alert is POSTed here as JSON; empty: no webhook"},
    {"webhookTokenEdit", "WebhookToken", "Token:", " Sent as Authorization: Bearer; empty: none"},
}};

bool& field(LiveSettings& settings, const Flag& flag)
{
    return flag.key ? SettingsTable::byKey(flag.key).flag(settings) : settings.window.startAtLogin;
}

QString& field(LiveSettings& settings, const Text& text)
{
    return SettingsTable::byKey(text.key).text(settings);
}

} // namespace SettingsControls
