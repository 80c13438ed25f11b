#pragma once

#include "logging/DebugLog.h"
#include "notify/CEmail.h"
#include "platform/Hive.h"
#include "settings/SettingsHost.h"
#include "settings/SettingsPrompt.h"
#include "settings/frmSettings.h"
#include "store/Base64Class.h"
#include "store/LiveSettings.h"
#include "tests/support/TestHome.h"

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <functional>
#include <memory>

class QCheckBox;
class QLineEdit;

// The main window as the dialog sees it: records every call, with whatever `probe` says at that moment.
class RecordingHost final : public SettingsHost
{
public:
    struct Call
    {
        QString name;
        QString argument;
        QString probed;
    };

    void setLastIntruderWarning(const QDateTime& when) override;
    void Load_ExternalProgs() override;
    bool isMainWindowVisible() const override { return visible; }
    void applyAlwaysOnTop(bool onTop) override;
    void showMainWindowAgain() override;

    QStringList names() const;

    bool visible = false;
    std::function<QString()> probe;
    QList<Call> calls;

private:
    void record(const QString& name, const QString& argument);
};

// Answers the dialog's questions from a script and keeps what it was asked and told.
class ScriptedPrompt final : public SettingsPrompt
{
public:
    bool askYesNo(QWidget* parent, const QString& text) override;
    void inform(QWidget* parent, const QString& text) override;

    QList<bool> answers; // taken from the front
    QStringList questions;
    QStringList notices;
    int unscripted = 0; // questions asked with no answer left (answered No)
};

// One dialog on a private home with a real hive, the real debug log and mailer, a recording host and a
// scripted prompt. The pictures come from imagesDir (written by writePictures unless told otherwise).
class SettingsRig final
{
public:
    explicit SettingsRig(bool withPictures = true);
    ~SettingsRig();

    frmSettings& dialog() { return *m_dialog; }
    QCheckBox* flag(const char* name) const;
    QLineEdit* text(const char* name) const;
    // A GENERAL value as the hive holds it; nothing when it is absent.
    std::optional<QString> stored(const QString& name) const;
    static void writePictures(const QString& dir);

    TestHome home;
    std::unique_ptr<Hive> hive;
    LiveSettings settings;
    DebugLog debugLog;
    Base64Class base64;
    CEmail mail;
    RecordingHost host;
    ScriptedPrompt prompt;
    QString imagesDir;

private:
    std::unique_ptr<frmSettings> m_dialog;
};
