#pragma once

#include "store/DeviceRecord.h"

#include <QDateTime>
#include <QString>
#include <memory>

// What happened to one device, as the engine or the user's actions saw it. They emit these and knows nothing of who
// listens: the history log renders them, the alert policy decides which alerts they raise, MQTT publishes them, and the
// front ends redraw (app/MonitorCore connects them all).
struct DeviceEvent
{
    enum class Kind {
        Admitted, // a new MAC became a device at address; intruder, impersonation say how
        Impersonation, // a known device took over the gateway address while the gateway's MAC is about
        Online, // found again at address; logged is false when its dates already counted it online
        Offline, // two sweeps without a sighting; logged is false when its dates already counted it offline
        AddressChanged, // a known device answers at a new address
        NameChanged, // its host name is now name
        AddressesChanged, // its IPv6 addresses changed: no history line, only a redraw
        Described, // what the device says about itself changed its type, model or os (name says which)
        LikelyReturn, // a private-MAC newcomer matches a known device that is away: earlierMac is that one
        // The user's actions (app/DeviceActions), each with a history line that says who took it (origin):
        Acknowledged, // no longer new
        Moved, // between the lists: intruder says to which
        Renamed, // its friendly name is now name
        Removed, // its key is gone and it left the store; record is what it was
        Merged, // earlierMac's device was merged into mac's: name, list, history and intervals carried over
        NoteChanged, // the user's note is now name; before is the one it replaced
        WatchChanged, // which presence changes alert: name is the mode's word (offline, online, both, none)
    };
    // Who took a user's action: the window, kestrelwatch-ctl, an MQTT command, the web page, or an import.
    enum class Origin { Monitor, Window, Ctl, Mqtt, Web, Import };

    Kind kind = Kind::Online;
    QString mac; // the device; it is still in the store, except after Removed

    QDateTime time; // to the second, as every history line carries it
    QString address;
    QString name;
    QString earlierMac;
    bool intruder = false; // Admitted, Online, Moved: the device is (or is admitted as) an intruder
    bool impersonation = false; // Admitted: it answers for the gateway while the gateway's MAC is about
    bool logged = true; // Online and Offline: whether the change gets a history line
    QDateTime firstSeen; // Online: when the device was first seen
    std::shared_ptr<const DeviceRecord> record; // Removed: the device as it was when it left
    Origin origin = Origin::Monitor; // the user's actions: who took it
    QString before; // Renamed, NoteChanged: the name or note it replaced
};
