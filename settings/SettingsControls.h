#pragma once

#include "store/LiveSettings.h"
#include "store/SettingsTable.h"

#include <QString>
#include <array>

// The dialog's check boxes and text boxes: control name, the setting's key in SettingsTable (which knows its
// field, stored form and default), caption and tooltip. It drives building the controls, loading them and
// storing their changes.
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
    const char* key; // SettingsTable key; null for the start-with-login box
    const char* caption;
    const char* tooltip;
    Effect effect;
};

enum TextId : int { EmailServer, EmailAddresses, EmailFrom, EmailUsername, EmailPassword, TextCount };

struct Text
{
    const char* control;
    const char* key; // SettingsTable key
    const char* label;
    const char* tooltip;
};

extern const std::array<Flag, FlagCount> Flags;
extern const std::array<Text, TextCount> Texts;
// The push channels' fields in pairs (server, token) in the order of Channel: ntfy, Gotify, the webhook. Their
// own page (PushSettingsPage) shows them.
extern const std::array<Text, 6> ChannelTexts;

// The live setting a control edits.
bool& field(LiveSettings& settings, const Flag& flag);
QString& field(LiveSettings& settings, const Text& text);

inline QString latin1(const char* text)
{
    return text ? QString::fromLatin1(text) : QString();
}

} // namespace SettingsControls
