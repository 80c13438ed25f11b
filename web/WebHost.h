#pragma once

#include "store/PresenceStore.h"

#include <QDateTime>
#include <QList>
#include <QString>

struct DeviceRecord;

// What the web page needs of the running monitor. The monitor's core provides it (app/MonitorWeb.cpp), so the
// web folder stays below the app layer and the actions go through the same DeviceActions as the window's, ctl's
// and MQTT's; the tests give one over a plain table.
class WebHost
{
public:
    enum class Action { Acknowledge, MoveSafe, MoveIntruders, Rename, Note, Watch, Remove };
    enum class Outcome { Changed, Unchanged, Refused };
    struct Result
    {
        Outcome outcome = Outcome::Unchanged;
        QString reason; // for Refused: one sentence the page shows
    };

    virtual ~WebHost() = default;
    // Every device in the store's order, and one by its MAC (in the store's form) or nullptr.
    virtual QList<const DeviceRecord*> devices() const = 0;
    virtual const DeviceRecord* find(const QString& mac) const = 0;
    virtual QString vendorName(const QString& mac) const = 0;
    // The device's history as its file holds it ("time<TAB>event" lines), empty when it has none.
    virtual QString history(const QString& mac) const = 0;
    virtual QList<PresenceInterval> intervals(const QString& mac, const QDateTime& from, const QDateTime& to) const = 0;
    // The argument is the new name (Rename), the note (Note) or the watch word (Watch); the MAC names a device find()
    // knows.
    virtual Result act(const QString& mac, Action action, const QString& argument) = 0;
};
