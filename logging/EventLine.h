#pragma once

#include "store/DeviceEvent.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

struct DeviceRecord;

// The headless monitor's line of a device event, for a server admin to read and a script to split on tabs:
//   TIME<TAB>MAC<TAB>ADDRESS<TAB>NAME<TAB>VENDOR<TAB>EVENT
// TIME is ISO 8601 local time with its offset (2026-12-06T14:06:57+01:00); NAME is the friendly name when the
// user gave one, else the host name; an empty or unknown field is "-"; EVENT is the history's text of the event,
// or for the user's actions (acknowledge, move, rename, remove) a text of its own. No field holds a tab or a
// control character.
namespace EventLine {

// "2026-12-06T14:06:57+01:00": local time, always with its offset (never "Z").
QString isoTime(const QDateTime& when);

// The event texts: one per history line of the event, or the action's one; none for an event without either.
QStringList texts(const DeviceEvent& event);

// The lines of an event; device is its record as it stands after the event (nullptr when it is gone),
// vendor its manufacturer.
QStringList lines(const DeviceEvent& event, const DeviceRecord* device, const QString& vendor);

} // namespace EventLine
