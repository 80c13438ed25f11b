#pragma once

#include "store/DeviceEvent.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class DeviceStore;

// The event history of every device: at most 100 lines of "time stamp<TAB>event" in "Devices/<MAC>.log",
// written whole after every entry. The file is the only copy: 10,000 full histories held in memory would
// cost some 60 MB, and a history is read only to add an entry, to show it, or to quote it in a mail.
class DeviceLog final
{
public:
    static constexpr int MaxLines = 100;

    // One history line of an event, without its time stamp, and the kind of event it tells of (an admission
    // also tells of the address it connected at, and of an impersonation).
    struct Entry
    {
        DeviceEvent::Kind kind;
        QString text;
    };

    DeviceLog(const DeviceStore& devices, QString devicesDir);

    // The lines an event adds to its device's history, in order; none for an event the history leaves out.
    static QList<Entry> entries(const DeviceEvent& event);
    // Who took a user's action, as its history line says it: "in the window", "by kestrelwatch-ctl".
    static QString byWhom(DeviceEvent::Origin origin);
    // "Probably Anna's phone, with a new private address (earlier MAC …)": a likely return's line.
    static QString likelyReturnText(const QString& earlierName, const QString& earlierMac);
    // A history line's beginning: the time as ISO 8601 with its offset, and a tab. Lines written by earlier
    // releases keep their locale text.
    static QString stamp(const QDateTime& when);
    // Writes an event's lines after what the file holds, an earlier life of the MAC's included.
    void record(const DeviceEvent& event);

    // A line for a device in the store; for any other MAC it is logged and dropped.
    void AddLogEntry(const QString& mac, const QString& text);
    // The device's history as its file holds it, cut to the last 100 lines; empty for a device without one.
    QString history(const QString& mac) const;
    // The device's last (at most 100) non-empty lines, oldest first, each ending in CR LF.
    QString historyExcerpt(const QString& mac) const;

    QString fileFor(const QString& mac) const;

    // Called after an entry has been added and saved: the window shows it when the device is selected.
    void setEntryHook(std::function<void(const QString& mac, const QString& text)> hook)
    {
        m_entryHook = std::move(hook);
    }

    // An event's text as people read it: the history keeps its own forms ("Connected ( 198.18.0.10 )"), which
    // scripts and old files know; the window shows "Connected at 198.18.0.10".
    static QString readable(const QString& event);
    // Keeps the last 100 lines of a history text.
    static QString trimmed(const QString& log);

private:
    // Appends already stamped lines to a device's history, saves it once, and tells the hook of each.
    void addEntries(const QString& mac, const QStringList& texts);
    void save(const QString& mac, const QString& history);
    const DeviceStore& m_devices;
    QString m_dir;
    std::function<void(const QString&, const QString&)> m_entryHook;
};
