#pragma once

class QDateTime;

// What the settings dialog asks of the main window. The dialog knows nothing else about it, so the window
// (or a test) implements exactly these.
class SettingsHost
{
public:
    virtual ~SettingsHost() = default;

    // onlineIntruderReminderCheck: the next reminder comes no sooner than its full interval after this.
    virtual void setLastIntruderWarning(const QDateTime& when) = 0;
    // externalProgramsCheck: rebuild the external programs menus from the live setting.
    virtual void Load_ExternalProgs() = 0;
    // alwaysOnTopCheck reaches the window only while it is shown; a hidden window picks the setting up when it
    // is next shown.
    virtual bool isMainWindowVisible() const = 0;
    virtual void applyAlwaysOnTop(bool onTop) = 0;
    // The dialog was closed: bring the main window up again, re-centred when reCentreCheck is on.
    virtual void showMainWindowAgain() = 0;
};
