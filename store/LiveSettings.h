#pragma once

#include <QString>

// The current value of every setting, typed and named as the settings table names it in code (mail.server is
// mail.server, alerts.newIntruder.mail is alerts.newIntruder.mail). A new object holds the table's defaults.
// loadStore fills it, the settings dialog and the store follower change it, and every reader reads it at
// the moment of use. SettingsTable knows each field's key on disk, its limits and its stored form.
struct LiveSettings
{
    LiveSettings(); // the table's defaults

    // What an intruder alert does, for one of the two kinds of intruder alert.
    struct AlertChoices
    {
        bool sound = false;
        bool popup = false;
        bool mail = false;
        bool notify = false; // the desktop's notification service
    };

    struct Mail
    {
        QString server; // host or host:port; empty: no mail
        QString addresses;
        QString from;
        bool authenticate = false;
        QString username; // held decoded, stored Base64-encoded
        QString password;
        QString security; // "None", "STARTTLS" or "TLS"
    } mail;

    struct Alerts
    {
        AlertChoices newIntruder;
        AlertChoices onlineIntruder;
        bool reminder = false; // a sound every 5 minutes while an intruder is online
        int volume = 0;
        // At most one online or offline alert per device within this many minutes (0: every change alerts).
        int quietMinutes = 0;
    } alerts;

    struct Window
    {
        bool alwaysOnTop = false;
        bool reCentre = false;
        bool externalPrograms = false;
        bool startAtLogin = false; // the desktop's autostart entry, not a stored value
    } window;

    struct Log
    {
        bool toDisk = false;
        QString path; // the debug log file's path, shown beside its check box
    } log;

    // The MQTT broker: no server means no connection. The sensor is this monitor's name on the broker (the host
    // name when empty).
    struct Mqtt
    {
        QString server;
        QString username;
        QString password;
        QString topic;
        QString security; // "None" or "TLS"
        QString sensor;
    } mqtt;

    // A push channel is on when its URL is set; the token is optional; alerts names the alert kinds it carries.
    struct Channel
    {
        QString url;
        QString token;
        QString alerts; // comma-separated words of AlertKinds
    };
    struct Push
    {
        Channel ntfy;
        Channel gotify;
        Channel webhook;
    } push;

    struct Devices
    {
        bool mergeReturning = false; // a likely return of a private-MAC device is merged without asking
        // How a network joined for the first time is taken: "all" watched at once, "asked" when the user says so
        // (store/NetworkBook reads the stored value itself: when none is stored the window asks).
        QString watchNetworks = QStringLiteral("all");
    } devices;

    // The web page: where it is served (empty: off, unless --web), and its TLS certificate and key files.
    struct Web
    {
        QString listen;
        QString certificate;
        QString key;
    } web;
};
