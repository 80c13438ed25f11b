#pragma once

#include "store/DeviceEvent.h"

#include <QObject>
#include <QString>

class DeviceStore;
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
    // nothing: no history line, no redraw of the lists.
    bool SetWatch(const QString& mac, quint8 mode);
    // A device that is online cannot be removed: it would be admitted again at the next sweep.
    static bool removable(const DeviceRecord& d);
    // The device's key goes with all its values and it leaves the store; its history file stays on disk.
    bool Remove(const QString& mac);

    // What another process (kestrelwatch-ctl) stored, taken into memory without writing it back, with the
    // events the actions above emit: Renamed, Acknowledged, Moved, in that order, each only when it changed.
    // The watch is taken silently, as SetWatch sets it.
    void adoptStored(const QString& mac, const QString& name, bool intruder, bool newDevice, quint8 watch);
    // A device whose key another process deleted: it leaves the store, with the Removed event, whether or not it
    // is online (the next sweep admits it again, as after a removal in the window).
    void adoptRemoval(const QString& mac);
    // A device another process stored (an import) that memory lacks: appended, announced as Moved to its list.
    void adoptAdded(const DeviceRecord& record);

Q_SIGNALS:
    void deviceEvent(const DeviceEvent& event);

private:
    static void store(const QString& mac, const QString& name, const QString& text);
    static DeviceEvent makeEvent(DeviceEvent::Kind kind, const DeviceRecord& d);
    // The device leaves the store, with the Removed event that carries what it was.
    void leave(const DeviceRecord& d);

    DeviceStore& m_devices;
};
