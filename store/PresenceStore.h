#pragma once

#include "store/DeviceEvent.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// One stretch of time a device was online at one address. An open interval is the one still running: its end
// is the last time the monitor confirmed it (a harvest), and readers see it reach "now".
struct PresenceInterval
{
    QDateTime from;
    QDateTime to;
    QString address;
    bool open = false;
};

// Who was online when: per device, the intervals it was online (from, to, address), in a second SQLite file beside
// the hive, private like it. Fed by the typed device events (Admitted, Online, AddressChanged open an interval;
// Offline closes it); every change is its own transaction in WAL mode, so a killed process loses nothing written.
// An interval still open when the monitor ends is closed at its last confirmation when the file is opened again:
// the monitor was not watching after that. Intervals that ended more than a year ago are cut.
class PresenceStore final
{
public:
    static constexpr qint64 RetentionDays = 365;
    // Open intervals are confirmed at most this often, one UPDATE for all of them.
    static constexpr qint64 ConfirmEverySeconds = 30;

    struct OpenResult
    {
        std::unique_ptr<PresenceStore> store;
        QString error; // set when store is null: names the file and says what is wrong
    };
    // Opens or creates the file (mode 0600), closes what an earlier life left open and cuts old intervals.
    static OpenResult open(const QString& file, const QDateTime& now);
    // Opens an existing file only to read it, changing nothing: another process (kestrelwatch-ctl) reads the
    // intervals while a monitor may hold them open.
    static OpenResult openReadOnly(const QString& file);
    ~PresenceStore();
    PresenceStore(const PresenceStore&) = delete;
    PresenceStore& operator=(const PresenceStore&) = delete;

    void deviceEvent(const DeviceEvent& event);
    // A harvest has ended at now: the open intervals last held then. Once a day it also cuts old intervals.
    void confirm(const QDateTime& now, bool force = false);
    // Removes the intervals that ended before now less RetentionDays; returns how many went, -1 on failure.
    qint64 cutRetention(const QDateTime& now);

    // The intervals of mac that overlap [from, to], oldest first; an open one ends at now (never before its
    // start). The read API of every view and of the export.
    QList<PresenceInterval> intervals(
        const QString& mac, const QDateTime& from, const QDateTime& to, const QDateTime& now = kNoTime) const;
    qint64 intervalCount() const;
    QString fileName() const { return m_file; }

private:
    static const QDateTime kNoTime;

    PresenceStore(QString file, sqlite3* db);
    bool exec(const char* sql) const;
    sqlite3_stmt* cached(const char* sql) const;
    // The device's row id, created on first use; -1 on failure.
    qint64 deviceId(const QString& mac);
    bool openInterval(qint64 device, qint64 start, const QString& address);
    bool closeInterval(qint64 device, qint64 end);
    bool transact(const std::function<bool()>& work);
    void fail(const QString& what) const;

    QString m_file;
    sqlite3* m_db = nullptr;
    mutable QHash<const char*, sqlite3_stmt*> m_statements;
    QHash<QString, qint64> m_deviceIds;
    // Per device id: start and address of its open interval.
    struct Open
    {
        qint64 start = 0;
        QString address;
    };
    QHash<qint64, Open> m_open;
    qint64 m_lastConfirm = 0;
    qint64 m_lastCut = 0;
};
