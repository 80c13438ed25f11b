#pragma once

#include "store/LiveSettings.h"

#include <QString>
#include <array>

// The dialog's check boxes and text boxes: control name, GENERAL value, live setting, caption and tooltip.
// One table drives building the controls, loading them and storing their changes.
namespace SettingsControls {

enum class Effect {
    None,
    Startup, // the start-with-login entry instead of a GENERAL value
    AlwaysOnTop,
    ExternalPrograms,
    Reminder,
    Authenticate,
};

enum FlagId : int {
    ReCentre,
    AlwaysOnTop,
    GeneralStartup,
    ExternalPrograms,
    NewIntruderSound,
    NewIntruderPopup,
    NewIntruderEmail,
    OnlineIntruderSound,
    OnlineIntruderPopup,
    OnlineIntruderEmail,
    OnlineIntruderReminder,
    NewIntruderNotify,
    OnlineIntruderNotify,
    EmailAuthenticate,
    LogToDisk,
    MergeReturningDevices,
    FlagCount
};

struct Flag
{
    const char* control;
    const char* value; // GENERAL value name; null for the start-with-login box
    int LiveSettings::*field;
    const char* caption;
    const char* tooltip;
    Effect effect;
};

enum TextId : int { EmailServer, EmailAddresses, EmailFrom, EmailUsername, EmailPassword, TextCount };

struct Text
{
    const char* control;
    const char* value;
    QString LiveSettings::*field;
    const char* label;
    const char* tooltip;
    bool base64; // the mail login is stored Base64-encoded
};

extern const std::array<Flag, FlagCount> Flags;
extern const std::array<Text, TextCount> Texts;
// The push channels' fields in pairs (server, token) in the order of Channel: ntfy, Gotify, the webhook. Their
// own page (frmSettingsChannels) shows them.
extern const std::array<Text, 6> ChannelTexts;

inline QString latin1(const char* text)
{
    return text ? QString::fromLatin1(text) : QString();
}

} // namespace SettingsControls
