#include "store/PresenceStore.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"

#include <QFile>
#include <QFileInfo>
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

PresenceStore::OpenResult PresenceStore::open(const QString& file, const QDateTime& now)
{
    const QByteArray path = QFile::encodeName(file);
    if (!QFileInfo::exists(file)) {
        // Created private before SQLite writes a byte, whatever the umask.
        const int fd = ::open(path.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0)
            return {nullptr,
                QStringLiteral("The presence file %1 cannot be created: %2")
                    .arg(file, QString::fromLocal8Bit(strerror(errno)))};
        ::close(fd);
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    }
    // WAL with NORMAL sync: a committed change survives the process being killed; a power cut may lose the
    // newest ones, never the file.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const QString why = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        return {nullptr,
            QStringLiteral("The presence file %1 is damaged or unreadable (%2); it has been left untouched")
                .arg(file, why)};
    }
    ::chmod(path.constData(), 0600);
    std::unique_ptr<PresenceStore> store(new PresenceStore(file, db));
    sqlite3_stmt* st = store->cached("SELECT id, mac FROM presence_devices");
    while (st && sqlite3_step(st) == SQLITE_ROW)
        store->m_deviceIds.insert(text(st, 1), sqlite3_column_int64(st, 0));
    sqlite3_reset(st);
    // What an earlier life left open ends where it was last confirmed.
    store->exec("UPDATE presence_intervals SET open = 0 WHERE open = 1");
    if (now.isValid()) {
        store->cutRetention(now);
        store->m_lastConfirm = now.toSecsSinceEpoch();
    }
    return {std::move(store), {}};
}

PresenceStore::OpenResult PresenceStore::openReadOnly(const QString& file)
{
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        rc = sqlite3_exec(db, "SELECT count(*) FROM presence_intervals", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        const QString why = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        return {nullptr, QStringLiteral("The presence file %1 cannot be read (%2)").arg(file, why)};
    }
    std::unique_ptr<PresenceStore> store(new PresenceStore(file, db));
    sqlite3_stmt* st = store->cached("SELECT id, mac FROM presence_devices");
    while (st && sqlite3_step(st) == SQLITE_ROW)
        store->m_deviceIds.insert(text(st, 1), sqlite3_column_int64(st, 0));
    sqlite3_reset(st);
    return {std::move(store), {}};
}

PresenceStore::PresenceStore(QString file, sqlite3* db)
    : m_file(std::move(file))
    , m_db(db)
{ }

PresenceStore::~PresenceStore()
{
    for (sqlite3_stmt* st : std::as_const(m_statements))
        sqlite3_finalize(st);
    sqlite3_close(m_db);
}

void PresenceStore::fail(const QString& what) const
{
    Log(QStringLiteral("Presence - %1 failed: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db))));
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

qint64 PresenceStore::deviceId(const QString& mac)
{
    const auto found = m_deviceIds.constFind(mac);
    if (found != m_deviceIds.cend())
        return *found;
    sqlite3_stmt* st = cached("INSERT INTO presence_devices(mac) VALUES(?)");
    if (!st)
        return -1;
    bind(st, 1, mac);
    if (!run(st)) {
        fail(QStringLiteral("adding device %1").arg(mac));
        return -1;
    }
    const qint64 id = sqlite3_last_insert_rowid(m_db);
    m_deviceIds.insert(mac, id);
    return id;
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

void PresenceStore::deviceEvent(const DeviceEvent& event)
{
    using Kind = DeviceEvent::Kind;
    if (event.mac.isEmpty() || !event.time.isValid())
        return;
    const qint64 t = event.time.toSecsSinceEpoch();
    switch (event.kind) {
    case Kind::Admitted:
    case Kind::Online:
    case Kind::AddressChanged: {
        const qint64 device = deviceId(event.mac);
        if (device < 0)
            return;
        const auto open = m_open.constFind(device);
        if (open != m_open.cend() && (event.address.isEmpty() || open->address == event.address))
            return;
        // A move ends the interval at the old address and starts one at the new, both or neither.
        transact([&] { return closeInterval(device, t) && openInterval(device, t, event.address); });
        return;
    }
    case Kind::Offline:
    case Kind::Removed: {
        const auto id = m_deviceIds.constFind(event.mac);
        if (id != m_deviceIds.cend())
            closeInterval(*id, t);
        return;
    }
    default:
        return;
    }
}

void PresenceStore::confirm(const QDateTime& now, bool force)
{
    const qint64 t = now.toSecsSinceEpoch();
    if (!m_open.isEmpty() && (force || t - m_lastConfirm >= ConfirmEverySeconds)) {
        sqlite3_stmt* st = cached("UPDATE presence_intervals SET end = max(end, ?) WHERE open = 1");
        if (st) {
            sqlite3_bind_int64(st, 1, t);
            if (!run(st))
                fail(QStringLiteral("confirming the open intervals"));
        }
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
    const auto id = m_deviceIds.constFind(mac);
    if (id == m_deviceIds.cend())
        return found;
    sqlite3_stmt* st = cached("SELECT start, end, open, address FROM presence_intervals"
                              " WHERE device = ? AND start <= ? AND (end >= ? OR open = 1) ORDER BY start");
    if (!st)
        return found;
    const qint64 nowSecs = (now.isValid() ? now : kwclock::now()).toSecsSinceEpoch();
    sqlite3_bind_int64(st, 1, *id);
    sqlite3_bind_int64(st, 2, to.toSecsSinceEpoch());
    sqlite3_bind_int64(st, 3, from.toSecsSinceEpoch());
    while (sqlite3_step(st) == SQLITE_ROW) {
        PresenceInterval interval;
        const qint64 start = sqlite3_column_int64(st, 0);
        interval.open = sqlite3_column_int(st, 2) != 0;
        const qint64 end = interval.open ? std::max(nowSecs, sqlite3_column_int64(st, 1)) : sqlite3_column_int64(st, 1);
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
