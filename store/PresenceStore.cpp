#include "store/PresenceStore.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "platform/SqliteFile.h"

#include <QFile>
#include <QFileInfo>
#include <limits>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Devices get a small integer id so that an interval row stays a few dozen bytes: a year of a hundred devices
// that come and go several times a day stays far below 20 MB.
constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS presence_devices("
                                " id INTEGER PRIMARY KEY, mac TEXT NOT NULL UNIQUE);"
                                "CREATE TABLE IF NOT EXISTS presence_intervals("
                                " device INTEGER NOT NULL, start INTEGER NOT NULL, end INTEGER NOT NULL,"
                                " open INTEGER NOT NULL, address TEXT NOT NULL,"
                                " PRIMARY KEY(device, start)) WITHOUT ROWID;";

constexpr qint64 kDay = 24 * 3600;

QString text(sqlite3_stmt* st, int col)
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(st, col)) : QString();
}

void bind(sqlite3_stmt* st, int col, const QString& s)
{
    const QByteArray utf8 = s.toUtf8();
    sqlite3_bind_text(st, col, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// One statement run to its end, reset for its next use.
bool run(sqlite3_stmt* st)
{
    if (!st)
        return false;
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return rc == SQLITE_DONE || rc == SQLITE_ROW;
}

} // namespace

const QDateTime PresenceStore::kNoTime;

PresenceStore::OpenResult PresenceStore::openFile(const QString& file)
{
    const SqliteFile::Opened opened = SqliteFile::open(file, SqliteFile::Access::Create);
    if (!opened.db)
        return {
            nullptr, QStringLiteral("The presence file %1 cannot be created or opened: %2").arg(file, opened.error)};
    sqlite3* db = opened.db;
    int rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK && !SqliteFile::useWal(db))
        rc = sqlite3_errcode(db);
    if (rc != SQLITE_OK) {
        const QString why = SqliteFile::errorText(db, rc);
        sqlite3_close(db);
        return {nullptr,
            QStringLiteral("The presence file %1 is damaged or unreadable (%2); it has been left untouched")
                .arg(file, why)};
    }
    return {std::unique_ptr<PresenceStore>(new PresenceStore(file, db)), {}};
}

PresenceStore::OpenResult PresenceStore::open(const QString& file, const QDateTime& now)
{
    OpenResult opened = openFile(file);
    PresenceStore* store = opened.store.get();
    if (!store)
        return opened;
    // What an earlier life left open ends where it was last confirmed.
    store->exec("UPDATE presence_intervals SET open = 0 WHERE open = 1");
    if (now.isValid()) {
        store->cutRetention(now);
        store->m_lastConfirm = now.toSecsSinceEpoch();
    }
    return opened;
}

PresenceStore::OpenResult PresenceStore::openBeside(const QString& file)
{
    return openFile(file);
}

PresenceStore::OpenResult PresenceStore::openReadOnly(const QString& file)
{
    const SqliteFile::Opened opened = SqliteFile::open(file, SqliteFile::Access::ReadOnly);
    sqlite3* db = opened.db;
    const int rc =
        db ? sqlite3_exec(db, "SELECT count(*) FROM presence_intervals", nullptr, nullptr, nullptr) : SQLITE_CANTOPEN;
    if (rc != SQLITE_OK) {
        const QString why = db ? SqliteFile::errorText(db, rc) : opened.error;
        sqlite3_close(db);
        return {nullptr, QStringLiteral("The presence file %1 cannot be read (%2)").arg(file, why)};
    }
    return {std::unique_ptr<PresenceStore>(new PresenceStore(file, db)), {}};
}

PresenceStore::PresenceStore(QString file, sqlite3* db)
    : m_file(std::move(file))
    , m_db(db)
{ }

PresenceStore::~PresenceStore()
{
    settleDepartures(std::numeric_limits<qint64>::max());
    for (sqlite3_stmt* st : std::as_const(m_statements))
        sqlite3_finalize(st);
    sqlite3_close(m_db);
}

void PresenceStore::fail(const QString& what) const
{
    Log(kwStore, QStringLiteral("Presence - %1 failed: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db))));
}

bool PresenceStore::exec(const char* sql) const
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    fail(QString::fromLatin1(sql).section(QLatin1Char(' '), 0, 1));
    return false;
}

sqlite3_stmt* PresenceStore::cached(const char* sql) const
{
    sqlite3_stmt*& st = m_statements[sql];
    if (!st && sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("preparing a statement"));
        st = nullptr;
    }
    return st;
}

bool PresenceStore::transact(const std::function<bool()>& work)
{
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    if (work() && exec("COMMIT"))
        return true;
    exec("ROLLBACK");
    return false;
}

qint64 PresenceStore::knownId(const QString& mac) const
{
    const auto found = m_deviceIds.constFind(mac);
    if (found != m_deviceIds.cend())
        return *found;
    // Another process (an import) may have added it since.
    sqlite3_stmt* st = cached("SELECT id FROM presence_devices WHERE mac = ?");
    if (!st)
        return -1;
    bind(st, 1, mac);
    qint64 id = -1;
    if (sqlite3_step(st) == SQLITE_ROW)
        id = sqlite3_column_int64(st, 0);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (id >= 0)
        m_deviceIds.insert(mac, id);
    return id;
}

qint64 PresenceStore::deviceId(const QString& mac)
{
    if (const qint64 id = knownId(mac); id >= 0)
        return id;
    sqlite3_stmt* st = cached("INSERT OR IGNORE INTO presence_devices(mac) VALUES(?)");
    if (!st)
        return -1;
    bind(st, 1, mac);
    if (!run(st)) {
        fail(QStringLiteral("adding device %1").arg(mac));
        return -1;
    }
    return knownId(mac);
}

bool PresenceStore::openInterval(qint64 device, qint64 start, const QString& address)
{
    // A zero-length interval closed this same second gives way to the new one.
    sqlite3_stmt* st = cached("INSERT OR REPLACE INTO presence_intervals VALUES(?, ?, ?, 1, ?)");
    if (!st)
        return false;
    sqlite3_bind_int64(st, 1, device);
    sqlite3_bind_int64(st, 2, start);
    sqlite3_bind_int64(st, 3, start);
    bind(st, 4, address);
    if (!run(st)) {
        fail(QStringLiteral("opening an interval"));
        return false;
    }
    m_open.insert(device, {start, address});
    return true;
}

bool PresenceStore::closeInterval(qint64 device, qint64 end)
{
    const auto open = m_open.constFind(device);
    if (open == m_open.cend())
        return true;
    sqlite3_stmt* st = cached("UPDATE presence_intervals SET end = ?, open = 0 WHERE device = ? AND start = ?");
    if (!st)
        return false;
    sqlite3_bind_int64(st, 1, std::max(end, open->start));
    sqlite3_bind_int64(st, 2, device);
    sqlite3_bind_int64(st, 3, open->start);
    if (!run(st)) {
        fail(QStringLiteral("closing an interval"));
        return false;
    }
    m_open.erase(open);
    return true;
}

bool PresenceStore::capReached(qint64 device, qint64 t) const
{
    sqlite3_stmt* st = cached("SELECT count(*) FROM presence_intervals WHERE device = ? AND start >= ?");
    if (!st)
        return false;
    sqlite3_bind_int64(st, 1, device);
    sqlite3_bind_int64(st, 2, t - t % kDay);
    const qint64 stays = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return stays >= MaxStaysPerDay;
}

bool PresenceStore::startStay(qint64 device, qint64 t, const QString& address)
{
    sqlite3_stmt* st = cached("SELECT start, end, address FROM presence_intervals WHERE device = ? AND open = 0"
                              " ORDER BY start DESC LIMIT 1");
    if (!st)
        return false;
    sqlite3_bind_int64(st, 1, device);
    std::optional<Open> last;
    qint64 lastEnd = 0;
    if (sqlite3_step(st) == SQLITE_ROW) {
        last = Open {sqlite3_column_int64(st, 0), text(st, 2)};
        lastEnd = sqlite3_column_int64(st, 1);
    }
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    const bool sameAddress = last && (address.isEmpty() || address == last->address);
    const bool resume = last && t >= last->start
        && ((sameAddress && t - lastEnd < JoinGapSeconds) || (last->start >= t - t % kDay && capReached(device, t)));
    if (!resume)
        return openInterval(device, t, address);
    sqlite3_stmt* up =
        cached("UPDATE presence_intervals SET end = max(end, ?), open = 1 WHERE device = ? AND start = ?");
    if (!up)
        return false;
    sqlite3_bind_int64(up, 1, t);
    sqlite3_bind_int64(up, 2, device);
    sqlite3_bind_int64(up, 3, last->start);
    if (!run(up)) {
        fail(QStringLiteral("continuing an interval"));
        return false;
    }
    m_open.insert(device, *last);
    return true;
}

void PresenceStore::settleDepartures(qint64 t)
{
    for (auto it = m_leaving.begin(); it != m_leaving.end();) {
        if (t - it.value() < JoinGapSeconds) {
            ++it;
            continue;
        }
        const qint64 device = it.key();
        const qint64 end = it.value();
        it = m_leaving.erase(it);
        closeInterval(device, end);
    }
}

void PresenceStore::deviceEvent(const DeviceEvent& event)
{
    using Kind = DeviceEvent::Kind;
    if (event.mac.isEmpty() || !event.time.isValid())
        return;
    const qint64 t = event.time.toSecsSinceEpoch();
    settleDepartures(t);
    switch (event.kind) {
    case Kind::Admitted:
    case Kind::Online:
    case Kind::AddressChanged: {
        const qint64 device = deviceId(event.mac);
        if (device < 0)
            return;
        const auto open = m_open.constFind(device);
        if (open == m_open.cend()) {
            transact([&] { return startStay(device, t, event.address); });
            return;
        }
        const auto leaving = m_leaving.constFind(device);
        // Back within the gap at the same address, or a move past the day's stays: the stay goes on.
        if (event.address.isEmpty() || open->address == event.address || capReached(device, t)) {
            m_leaving.remove(device);
            return;
        }
        // A move ends the interval at the old address and starts one at the new, both or neither.
        const qint64 end = leaving != m_leaving.cend() ? *leaving : t;
        if (transact([&] { return closeInterval(device, end) && openInterval(device, t, event.address); }))
            m_leaving.remove(device);
        return;
    }
    case Kind::Offline: {
        const qint64 id = knownId(event.mac);
        if (m_open.contains(id) && !m_leaving.contains(id))
            m_leaving.insert(id, t);
        return;
    }
    case Kind::Removed: {
        const qint64 id = knownId(event.mac);
        closeInterval(id, m_leaving.value(id, t));
        m_leaving.remove(id);
        return;
    }
    default:
        return;
    }
}

void PresenceStore::confirm(const QDateTime& now, bool force)
{
    const qint64 t = now.toSecsSinceEpoch();
    settleDepartures(t);
    if (!m_open.isEmpty() && (force || t - m_lastConfirm >= ConfirmEverySeconds)) {
        // By key, one row each (the file may hold a year of rows); a device leaving is confirmed until it left,
        // so that a kill now ends its stay there.
        transact([&] {
            sqlite3_stmt* st = cached("UPDATE presence_intervals SET end = max(end, ?) WHERE device = ? AND start = ?");
            for (auto it = m_open.cbegin(); st && it != m_open.cend(); ++it) {
                sqlite3_bind_int64(st, 1, m_leaving.value(it.key(), t));
                sqlite3_bind_int64(st, 2, it.key());
                sqlite3_bind_int64(st, 3, it->start);
                if (!run(st)) {
                    fail(QStringLiteral("confirming the open intervals"));
                    return false;
                }
            }
            return st != nullptr;
        });
        m_lastConfirm = t;
    }
    if (t - m_lastCut >= kDay)
        cutRetention(now);
}

qint64 PresenceStore::cutRetention(const QDateTime& now)
{
    m_lastCut = now.toSecsSinceEpoch();
    sqlite3_stmt* st = cached("DELETE FROM presence_intervals WHERE open = 0 AND end < ?");
    if (!st)
        return -1;
    sqlite3_bind_int64(st, 1, m_lastCut - RetentionDays * kDay);
    if (!run(st)) {
        fail(QStringLiteral("cutting intervals older than a year"));
        return -1;
    }
    return sqlite3_changes64(m_db);
}

QList<PresenceInterval> PresenceStore::intervals(
    const QString& mac, const QDateTime& from, const QDateTime& to, const QDateTime& now) const
{
    QList<PresenceInterval> found;
    const qint64 id = knownId(mac);
    if (id < 0)
        return found;
    const auto leaving = m_leaving.constFind(id);
    sqlite3_stmt* st = cached("SELECT start, end, open, address FROM presence_intervals"
                              " WHERE device = ? AND start <= ? AND (end >= ? OR open = 1) ORDER BY start");
    if (!st)
        return found;
    const qint64 nowSecs = (now.isValid() ? now : kwclock::now()).toSecsSinceEpoch();
    sqlite3_bind_int64(st, 1, id);
    sqlite3_bind_int64(st, 2, to.toSecsSinceEpoch());
    sqlite3_bind_int64(st, 3, from.toSecsSinceEpoch());
    while (sqlite3_step(st) == SQLITE_ROW) {
        PresenceInterval interval;
        const qint64 start = sqlite3_column_int64(st, 0);
        interval.open = sqlite3_column_int(st, 2) != 0;
        qint64 end = interval.open ? std::max(nowSecs, sqlite3_column_int64(st, 1)) : sqlite3_column_int64(st, 1);
        // A device that left is shown gone at once, though its departure is written only later.
        if (interval.open && leaving != m_leaving.cend() && m_open.value(id).start == start) {
            interval.open = false;
            end = *leaving;
        }
        if (end < from.toSecsSinceEpoch())
            continue;
        interval.from = QDateTime::fromSecsSinceEpoch(start);
        interval.to = QDateTime::fromSecsSinceEpoch(end);
        interval.address = text(st, 3);
        found.append(interval);
    }
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return found;
}

qint64 PresenceStore::intervalCount() const
{
    sqlite3_stmt* st = cached("SELECT count(*) FROM presence_intervals");
    qint64 count = -1;
    if (st && sqlite3_step(st) == SQLITE_ROW)
        count = sqlite3_column_int64(st, 0);
    if (st)
        sqlite3_reset(st);
    return count;
}

QString PresenceStore::lastAddress(const QString& mac) const
{
    const qint64 id = knownId(mac);
    sqlite3_stmt* st = cached("SELECT address FROM presence_intervals WHERE device = ? ORDER BY start DESC LIMIT 1");
    if (id < 0 || !st)
        return {};
    sqlite3_bind_int64(st, 1, id);
    const QString address = sqlite3_step(st) == SQLITE_ROW ? text(st, 0) : QString();
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return address;
}

std::optional<qint64> PresenceStore::merge(const QHash<QString, QList<PresenceInterval>>& byMac, const QDateTime& now)
{
    struct Row
    {
        qint64 start;
        qint64 end;
        QString address;
    };
    const qint64 oldest = now.toSecsSinceEpoch() - RetentionDays * kDay;
    qint64 gained = 0;
    const bool ok = transact([&] {
        for (auto it = byMac.cbegin(); it != byMac.cend(); ++it) {
            const qint64 device = deviceId(it.key());
            sqlite3_stmt* st = cached("SELECT start, end, open, address FROM presence_intervals WHERE device = ?");
            if (device < 0 || !st)
                return false;
            sqlite3_bind_int64(st, 1, device);
            QList<Row> rows;
            qint64 running = std::numeric_limits<qint64>::max(); // where the interval held open starts
            while (sqlite3_step(st) == SQLITE_ROW) {
                if (sqlite3_column_int(st, 2) != 0)
                    running = std::min(running, sqlite3_column_int64(st, 0));
                else
                    rows.append({sqlite3_column_int64(st, 0), sqlite3_column_int64(st, 1), text(st, 3)});
            }
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
            const qsizetype before = rows.size();
            for (const PresenceInterval& i : it.value()) {
                const qint64 start = i.from.toSecsSinceEpoch();
                const qint64 end = std::min(i.to.toSecsSinceEpoch(), running);
                if (start < running && end >= start && end >= oldest)
                    rows.append({start, end, i.address});
            }
            if (rows.size() == before)
                continue;
            // Those already there first, so that at one start the stored interval stays.
            std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.start < b.start; });
            QList<Row> joined;
            QHash<QString, qsizetype> latest; // per address, its latest interval in joined
            for (const Row& r : std::as_const(rows)) {
                const auto same = latest.constFind(r.address);
                if (same != latest.cend() && r.start <= joined[*same].end)
                    joined[*same].end = std::max(joined[*same].end, r.end);
                else if (joined.isEmpty() || joined.last().start != r.start)
                    latest.insert(r.address, joined.size()), joined.append(r);
            }
            // As live data: past MaxStaysPerDay stays begun on one day (UTC), the day's last stay continues.
            QList<Row> kept;
            QHash<qint64, int> begun;
            for (const Row& r : std::as_const(joined)) {
                if (++begun[r.start - r.start % kDay] > MaxStaysPerDay && !kept.isEmpty())
                    kept.last().end = std::max(kept.last().end, r.end);
                else
                    kept.append(r);
            }
            joined = kept;
            sqlite3_stmt* clear = cached("DELETE FROM presence_intervals WHERE device = ? AND open = 0");
            sqlite3_stmt* insert = cached("INSERT INTO presence_intervals VALUES(?, ?, ?, 0, ?)");
            if (!clear || !insert)
                return false;
            sqlite3_bind_int64(clear, 1, device);
            if (!run(clear))
                return false;
            for (const Row& r : std::as_const(joined)) {
                sqlite3_bind_int64(insert, 1, device);
                sqlite3_bind_int64(insert, 2, r.start);
                sqlite3_bind_int64(insert, 3, r.end);
                bind(insert, 4, r.address);
                if (!run(insert))
                    return false;
            }
            gained += joined.size() - before;
        }
        return true;
    });
    if (!ok) {
        fail(QStringLiteral("merging imported intervals"));
        return std::nullopt;
    }
    return gained;
}

bool PresenceStore::moveDevice(const QString& oldMac, const QString& newMac, const QDateTime& now)
{
    const qint64 from = knownId(oldMac);
    if (from < 0 || oldMac == newMac)
        return true;
    const qint64 t = now.toSecsSinceEpoch();
    const bool ok = transact([&] {
        // A stay still running under the old MAC ends now: the device is known by the new one from here on.
        if (!closeInterval(from, m_leaving.value(from, t)))
            return false;
        const qint64 to = deviceId(newMac);
        // Closed as they move: one a monitor beside this process still holds open ends at its last confirmation,
        // as it would at that monitor's next start.
        sqlite3_stmt* copy = cached("INSERT OR IGNORE INTO presence_intervals"
                                    " SELECT ?, start, end, 0, address FROM presence_intervals WHERE device = ?");
        sqlite3_stmt* drop = cached("DELETE FROM presence_intervals WHERE device = ?");
        sqlite3_stmt* forget = cached("DELETE FROM presence_devices WHERE id = ?");
        if (to < 0 || !copy || !drop || !forget)
            return false;
        sqlite3_bind_int64(copy, 1, to);
        sqlite3_bind_int64(copy, 2, from);
        sqlite3_bind_int64(drop, 1, from);
        sqlite3_bind_int64(forget, 1, from);
        return run(copy) && run(drop) && run(forget);
    });
    if (!ok) {
        fail(QStringLiteral("moving the intervals of %1 to %2").arg(oldMac, newMac));
        return false;
    }
    m_leaving.remove(from);
    m_deviceIds.remove(oldMac);
    return true;
}
