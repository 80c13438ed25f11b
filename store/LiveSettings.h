#pragma once

#include <QString>

// The current value of every setting, named after the settings dialog control that edits it. Check boxes
// hold 0 or 1 (on exactly when 1); the mail login is held decoded. Load_Registry fills it, the settings
// dialog edits it and writes each change to the store at once, and every reader reads it at the moment of use.
struct LiveSettings
{
    QString txtEmailServer;
    QString txtEmailAddresses;
    QString txtEmailFrom;
    QString txtEmailUsername;
    QString txtEmailPassword;
    int chkEmailAuthenticate = 0;
    QString cboEmailSecurity = QStringLiteral("None"); // "None", "STARTTLS" or "TLS"
    bool emailLoginEnabled = false; // the user name and password fields are enabled

    int chkLogToDisk = 0;
    int chkExternalPrograms = 0;
    int chkAlwaysOnTop = 0; // a new user's other windows are not covered
    int chkReCentre = 1;
    int chkNewIntruderSound = 1;
    int chkNewIntruderPopup = 1;
    int chkNewIntruderEmail = 0;
    int chkOnlineIntruderSound = 1;
    int chkOnlineIntruderPopup = 1;
    int chkOnlineIntruderEmail = 0;
    int chkOnlineIntruderReminder = 0; // the repeating reminder sounds only when asked for
    // Desktop notifications (the session's notification service), per alert kind.
    int chkNewIntruderNotify = 1;
    int chkOnlineIntruderNotify = 0;
    // A likely return of a known device (a new private MAC with its identity) is merged into it by itself;
    // off, the user decides: a stranger who copies a host name must not silently become a trusted device.
    int chkMergeReturningDevices = 0;
    int slideVolume = 70;
    int chkGeneralStartup = 0;

    // The MQTT broker: no server means no connection. The login is held decoded; the sensor is this monitor's
    // name on the broker (the host name when not set).
    QString txtMqttServer;
    QString txtMqttUsername;
    QString txtMqttPassword;
    QString txtMqttTopic = QStringLiteral("kestrelwatch");
    QString cboMqttSecurity = QStringLiteral("None"); // "None" or "TLS"
    QString txtMqttSensor;

    // The push channels: each is on when its server (or URL) is set; the tokens are optional.
    QString txtNtfyServer; // the topic URL
    QString txtNtfyToken;
    QString txtGotifyServer;
    QString txtGotifyToken; // the application token
    QString txtWebhookUrl;
    QString txtWebhookToken;
    // At most one online or offline alert per device within this many minutes (0: every change alerts).
    int alertQuietMinutes = 15;

    QString lblLogPath; // the debug log file's path, shown beside chkLogToDisk

    static bool on(int checkBox) { return checkBox == 1; }
};
