#pragma once

#include "store/DeviceEvent.h"
#include "store/DeviceKind.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class DeviceStore;
class PresenceStore;
struct DeviceRecord;

// The user's actions on one device, the same whoever asks (the window, an MQTT command, the command line):
// each changes the record, writes the changed values to the device's key at once and emits what happened, so
// that every subscriber follows (MQTT's retained state, the window's lists) without the caller knowing them.
// Each returns true when it changed something; a call that changes nothing (or names no device) emits nothing.
class DeviceActions final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceActions)

public:
    explicit DeviceActions(DeviceStore& devices, QObject* parent = nullptr);

    // Acknowledge: the device is no longer new ("New_Device" = "False").
    bool Acknowledge(const QString& mac);
    // Move to the safe list: acknowledged and no longer an intruder ("New_Device", then "Intruder" = "False").
    bool MoveToSafe(const QString& mac);
    // Move back to the intruder list ("Intruder" = "True"); it stays acknowledged.
    bool MoveToIntruders(const QString& mac);
    // The friendly name ("Friendly_Name"), through the one name filter: a refused name is logged and not kept.
    bool Rename(const QString& mac, const QString& name);
    // Which presence changes of the device alert (the key's "Watch" value, none when DeviceWatch::None). Emits
    // WatchChanged, for its history line.
    bool SetWatch(const QString& mac, quint8 mode);
    // The user's note ("Note"), through the one text filter (at most DeviceText::MaxNoteChars); emits NoteChanged.
    bool setNote(const QString& mac, const QString& note);
    // Who takes the actions from now on (their events and history lines say it); OriginScope sets it for a while.
    void setOrigin(DeviceEvent::Origin origin) { m_origin = origin; }
    DeviceEvent::Origin origin() const { return m_origin; }
    // "Trust everything here now" (TrustAll.cpp), for the window, MQTT and kestrelwatch-ctl alike: every
    // intruder online now moves to the safe list, acknowledged, with a line in its history, and a safe device
    // online that is still new is acknowledged. Who is online is the caller's to judge (the engine's presence,
    // or ctl's reading of a running monitor's sightings). The moves come back so that the caller can undo them.
    struct Trusted
    {
        QString mac;
        bool wasNew = false;
    };
    struct TrustOutcome
    {
        QList<Trusted> moved;
        int acknowledged = 0; // safe devices that were new
        int online = 0; // devices online now, changed or not
        int changed() const { return int(moved.size()) + acknowledged; }
    };
    TrustOutcome trustAllOnline(const std::function<bool(const DeviceRecord&)>& online);
    // Puts back what trustAllOnline moved: each device still on the safe list returns to the intruder list,
    // new again where it was new, with a history line; one removed or moved back meanwhile is left alone.
    // Returns how many went back.
    int undoTrust(const QList<Trusted>& changed);
    // Where the actions write a line into a device's history (MonitorCore: the device log), stamped.
    void setHistoryHook(std::function<void(const QString& mac, const QString& text)> hook)
    {
        m_history = std::move(hook);
    }
    static const QString TrustedLine;
    static const QString TrustUndoneLine;
    // The type and model set by hand ("Type"/"Model" with their "_Source" "user"; DeviceKindActions.cpp): never
    // overwritten by what the device says. Unknown or an empty model gives the value back to the device.
    bool SetType(const QString& mac, DeviceType type);
    bool SetModel(const QString& mac, const QString& model);
    // A likely return the user says is not the earlier device ("Not mine"): the link goes, the device stays.
    bool NotLikelyReturn(const QString& mac);
    // A device that is online cannot be removed: it would be admitted again at the next sweep.
    static bool removable(const DeviceRecord& d);
    // The device's key goes with all its values and it leaves the store; its history file stays on disk.
    bool Remove(const QString& mac);

    // What another process (kestrelwatch-ctl) stored, taken into memory without writing it back, with the
    // events the actions above emit: WatchChanged, Renamed, Acknowledged, Moved, each only when it changed.
    void adoptStored(const QString& mac, const QString& name, bool intruder, bool newDevice, quint8 watch);
    // A note another process stored, taken into memory with its NoteChanged event.
    void adoptNote(const QString& mac, const QString& note);
    // A device whose key another process deleted: it leaves the store, with the Removed event, whether or not it
    // is online (the next sweep admits it again, as after a removal in the window).
    void adoptRemoval(const QString& mac);
    // What another process stored of what the device is (type, model, os, former MACs), taken into memory
    // with the Described event.
    void adoptFacts(const QString& mac, const DeviceRecord& stored);
    // A device another process stored (an import) that memory lacks: appended, announced as Moved to its list.
    void adoptAdded(const DeviceRecord& record);

    // Where merge finds the device histories ("Devices/") and the presence intervals; without them a merge
    // carries the stored values only.
    void setMergeFiles(const QString& devicesDir, PresenceStore* presence);
    // One device known under two MACs becomes one (DeviceMerge.cpp): newMac's device takes oldMac's name, list,
    // watch, hand-set type and model, history and presence intervals, and keeps oldMac among its FormerMacs;
    // oldMac's device is removed (Removed, then Merged). A refusal (a MAC unknown, the same MAC twice, a store
    // that cannot be written) changes nothing and says why.
    bool merge(const QString& oldMac, const QString& newMac, QString* refusal = nullptr);
    // The record newMac's device has after a merge with old (pure: the tests call it).
    static DeviceRecord merged(const DeviceRecord& old, const DeviceRecord& into);

Q_SIGNALS:
    void deviceEvent(const DeviceEvent& event);

private:
    void mergeHistories(const QString& oldMac, const DeviceRecord& merged, const QDateTime& now);
    static void store(const QString& mac, const QString& name, const QString& text);
    DeviceEvent makeEvent(DeviceEvent::Kind kind, const DeviceRecord& d) const;
    // The device leaves the store, with the Removed event that carries what it was.
    void leave(const DeviceRecord& d);

    DeviceStore& m_devices;
    DeviceEvent::Origin m_origin = DeviceEvent::Origin::Window;
    std::function<void(const QString&, const QString&)> m_history;
    QString m_devicesDir;
    PresenceStore* m_presence = nullptr;
};

// Who acts while it lives: an MQTT command, a web request, the store follower taking in another process's change.
class OriginScope final
{
public:
    OriginScope(DeviceActions& actions, DeviceEvent::Origin origin)
        : m_actions(actions)
        , m_before(actions.origin())
    {
        actions.setOrigin(origin);
    }
    ~OriginScope() { m_actions.setOrigin(m_before); }
    OriginScope(const OriginScope&) = delete;
    OriginScope& operator=(const OriginScope&) = delete;

private:
    DeviceActions& m_actions;
    DeviceEvent::Origin m_before;
};
