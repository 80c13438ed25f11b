#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class DeviceActions;
class DeviceStore;
class Hive;

// Takes into the running monitor what another process (kestrelwatch-ctl, kestrelwatch-reg) changed in the
// store: settings, renames, list moves, watches, acknowledgements, removals and imported devices, each with the usual
// event through DeviceActions, so that the window, MQTT and the headless lines follow. It asks the store once a second
// whether another connection committed (SQLite's data_version) and reads the devices only then.
//
// A stored value counts as changed elsewhere when it differs both from what was stored at the last look and
// from memory: a change the monitor made itself meanwhile is in memory already. The engine writes only its
// own values (address, dates, host name) and never these, so the monitor never writes over such a change.
class StoreFollower final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StoreFollower)

public:
    StoreFollower(Hive& hive, DeviceStore& devices, DeviceActions& actions, QObject* parent = nullptr);

    // Remembers what is stored now and polls every second from then on.
    void start();
    // One look (the timer's tick; tests call it directly).
    void poll();
    // Called when another process changed a setting (the live settings are read again there).
    void setSettingsHook(std::function<void()> hook) { m_settingsHook = std::move(hook); }

private:
    struct Stored
    {
        QString name;
        bool intruder = false;
        bool newDevice = false;
        quint8 watch = 0;
        QString facts; // type, model, os and former MACs as stored, joined
    };
    // clearRemnants: a key without its list is deleted (at a look; the first look only leaves it out).
    QHash<QString, Stored> readStored(bool clearRemnants);
    QStringList readSettings();

    Hive& m_hive;
    DeviceStore& m_devices;
    DeviceActions& m_actions;
    QTimer m_timer;
    quint64 m_changes = 0;
    QHash<QString, Stored> m_seen;
    QStringList m_settings;
    std::function<void()> m_settingsHook;
};
