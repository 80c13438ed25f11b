#pragma once

#include "store/DeviceEvent.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

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
//
// The file stays small whatever a device does: a departure is written only once the device has stayed away
// JoinGapSeconds (a return before then continues the stay, and costs no write), and past MaxStaysPerDay stays
// begun on one day (UTC) a return or a move continues the day's last stay. A year of 100 devices is then at most
// 100 x 365 x 12 rows of about 33 bytes, some 15 MB.
class PresenceStore final
{
public:
    static constexpr qint64 RetentionDays = 365;
    // Open intervals are confirmed at most this often, one UPDATE for all of them.
    static constexpr qint64 ConfirmEverySeconds = 30;
    // A device away for less than this has not left: the store resolves no finer than its confirmations.
    static constexpr qint64 JoinGapSeconds = ConfirmEverySeconds;
    static constexpr qint64 MaxStaysPerDay = 12;
    // The monitor's own blind and away times, kept as the stays of this key (no MAC looks like it): the timelines
    // shade them, so that a device's gap there is not read as its absence.
    static inline const QString MonitorAway = QStringLiteral("monitor away");

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
    // Opens or creates the file beside a monitor that may hold it (an import): the intervals it holds open stay
    // as they are, and nothing is cut.
    static OpenResult openBeside(const QString& file);
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
    // The address of the device's latest interval (where it is, or was last), empty when it has none.
    QString lastAddress(const QString& mac) const;

    // Merges intervals into the devices' ended ones in one transaction: one already there is not doubled, and
    // those at one address that overlap are joined. An interval running here bounds what is merged before it;
    // one that ended more than RetentionDays before now is left out. Returns how many rows the devices gained
    // (negative when rows were joined), or nullopt on failure (nothing is written then).
    std::optional<qint64> merge(const QHash<QString, QList<PresenceInterval>>& byMac, const QDateTime& now);
    // A merge of two devices: every interval of oldMac becomes newMac's, in one transaction (at a start both
    // have, newMac's stays), and oldMac is forgotten. False, with a log line, when nothing could be written.
    bool moveDevice(const QString& oldMac, const QString& newMac, const QDateTime& now);
    QString fileName() const { return m_file; }

private:
    static const QDateTime kNoTime;

    static OpenResult openFile(const QString& file);
    PresenceStore(QString file, sqlite3* db);
    bool exec(const char* sql) const;
    sqlite3_stmt* cached(const char* sql) const;
    // The device's row id, created on first use; -1 on failure. knownId only finds it.
    qint64 deviceId(const QString& mac);
    qint64 knownId(const QString& mac) const;
    bool openInterval(qint64 device, qint64 start, const QString& address);
    bool closeInterval(qint64 device, qint64 end);
    // Starts a stay at t: continues the device's last one when the device was away briefly or the day's stays
    // are used up, else opens a new interval.
    bool startStay(qint64 device, qint64 t, const QString& address);
    bool capReached(qint64 device, qint64 t) const;
    // Writes the departures held back for JoinGapSeconds that are due at t (all of them when t is max).
    void settleDepartures(qint64 t);
    bool transact(const std::function<bool()>& work);
    void fail(const QString& what) const;

    QString m_file;
    sqlite3* m_db = nullptr;
    mutable QHash<const char*, sqlite3_stmt*> m_statements;
    mutable QHash<QString, qint64> m_deviceIds;
    // Per device id: start and address of its open interval.
    struct Open
    {
        qint64 start = 0;
        QString address;
    };
    QHash<qint64, Open> m_open;
    // Per device id with an open interval: when it went offline, not written yet (see JoinGapSeconds).
    QHash<qint64, qint64> m_leaving;
    qint64 m_lastConfirm = 0;
    qint64 m_lastCut = 0;
};
