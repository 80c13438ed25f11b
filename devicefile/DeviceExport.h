#pragma once

#include "store/DeviceStore.h"
#include "store/PresenceStore.h"

#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

// Devices out of the store and back in, the same for `kestrelwatch-ctl export|import` and the window's menu:
// the export writes every device with its stored values and its presence intervals as JSON (one device object
// per line) or CSV (a header, then one device per line); the import reads either back, checks the whole file
// before anything is written, and merges it: the devices in one transaction of the store, then their intervals
// in one of the presence file.
namespace DeviceExport {

enum class Format { Json, Csv };

// ISO 8601 with the offset ("2026-12-06T14:06:57+01:00"); empty for "never" and the empty date.
QString isoTime(const QDateTime& when);
// The reverse of isoTime; nullopt for a text that is no such time.
std::optional<QDateTime> parseIsoTime(const QString& text);

// With presence, each device's intervals go with it; an open one ends at openUntil (invalid: now).
QString exportText(const DeviceStore& devices, Format format, const PresenceStore* presence = nullptr,
    const QDateTime& openUntil = {});

// One device as a file gives it, checked, with its intervals.
struct Imported
{
    DeviceRecord record;
    QList<PresenceInterval> intervals;
    int line = 0;
    bool watchGiven = false; // the file says the device's watch (an older file does not: a replace keeps it)
};
// Every device of a file, or the first fault with its line ("line 7: ..."): then nothing is to be written.
struct Parsed
{
    QList<Imported> devices;
    QString fault;
};
// The file is read a device at a time and held to the bounds the store keeps: at most DeviceStore::MaxDevices
// devices and MaxIntervals intervals, PresenceStore::MaxStaysPerDay stays begun on one day per device, no time
// past FutureSkewSecs from now; a refusal names the bound.
constexpr qint64 FutureSkewSecs = 300;
constexpr qsizetype MaxIntervals = 1000000;
Parsed parse(QIODevice& file);
Parsed parse(const QByteArray& file);

// How merged devices reach memory once stored. Unset, the store is changed directly (kestrelwatch-ctl); the
// running monitor passes its DeviceActions' adopt calls, so that its lists and subscribers follow at once.
struct Adopt
{
    std::function<void(const DeviceRecord& record)> added;
    std::function<void(const DeviceRecord& fromFile)> replaced; // a device of the same MAC is in memory
};

// Merges checked devices into memory and the store in one transaction: a new MAC is added with all its
// values; a known one keeps its values, unless replace, which takes the file's name and list. Then every
// device's intervals are merged into presence (when there is one; see PresenceStore::merge).
struct Merged
{
    int added = 0;
    int replaced = 0;
    int kept = 0;
    bool stored = true;
    QString refused; // set, with stored false, when the file would take the store past a bound
    QString presenceError; // set when the devices were stored but their intervals were not
};
Merged merge(DeviceStore& devices, const QList<Imported>& imported, bool replace, PresenceStore* presence,
    const Adopt& adopt = {});
// "2 added, 0 replaced, 1 kept as they were"
QString summary(const Merged& merged);

} // namespace DeviceExport
