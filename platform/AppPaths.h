#pragma once

#include <QString>

// Every folder the system uses. The writable store is per user; the read-only data (images, sounds, vendor
// files, default configs, local help pages) sits beside the executable as ../share/kestrelwatch.
// Every folder text ends with '/'.
struct AppPaths
{
    QString home; // writable: the hive, Devices/, Log Database/, Configs/
    QString share; // read-only installation data

    QString hiveFile() const { return home + QStringLiteral("kestrelwatch.hive"); }
    // Who was online when (store/PresenceStore), beside the hive and private like it.
    QString presenceFile() const { return home + QStringLiteral("presence.db"); }
    QString lockFile() const { return home + QStringLiteral("kestrelwatch.lock"); }
    QString devices() const { return home + QStringLiteral("Devices/"); }
    QString logDatabase() const { return home + QStringLiteral("Log Database/"); }
    QString debugLogFile() const { return logDatabase() + QStringLiteral("Kestrelwatch.log"); }
    QString configs() const { return home + QStringLiteral("Configs/"); }
    QString configIni() const { return configs() + QStringLiteral("Config.ini"); }
    QString programsIni() const { return configs() + QStringLiteral("Programs.ini"); }
    QString images() const { return share + QStringLiteral("Images/"); }
    QString sounds() const { return share + QStringLiteral("Sounds/"); }
    QString macDatabase() const { return share + QStringLiteral("Mac Database/"); }
    QString defaultConfigs() const { return share + QStringLiteral("Configs/"); }
    QString site() const { return share + QStringLiteral("site/"); }

    // --home DIR, else $KESTRELWATCH_HOME, else $XDG_DATA_HOME/kestrelwatch (~/.local/share/kestrelwatch).
    static QString resolveHome(const QString& homeOption);
    // ../share/kestrelwatch relative to the executable's folder, else $KESTRELWATCH_SHARE when set.
    static QString resolveShare(const QString& executableDir);
    static AppPaths forDirs(const QString& home, const QString& share);

    // Creates the writable folders and copies the default Configs/ files that are missing.
    // Returns an empty text on success, else what failed.
    QString prepareHome() const;
};
