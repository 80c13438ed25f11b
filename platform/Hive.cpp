#include "platform/Hive.h"

#include "platform/Autostart.h"
#include "platform/DebugSink.h"
#include "platform/SqliteFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS hive_keys("
                                " id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL,"
                                " uname TEXT NOT NULL, UNIQUE(parent, uname));"
                                "CREATE TABLE IF NOT EXISTS hive_values("
                                " id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL,"
                                " uname TEXT NOT NULL, data TEXT NOT NULL, UNIQUE(key, uname));";

const QString kRunKey = QStringLiteral("SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN");
const QString kRunValue = QStringLiteral("BRACKMOOR\\KESTRELWATCH");

QStringList splitPath(const QString& keyPath)
{
    QStringList parts = keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (QString& p : parts)
        p = p.trimmed();
    parts.removeAll(QString());
    return parts;
}

QString upper(const QString& s)
{
    return s.toUpper();
}

bool isRunValue(const QString& keyPath, const QString& name)
{
    if (name.compare(kRunValue, Qt::CaseInsensitive) != 0)
        return false;
    return splitPath(keyPath).join(QLatin1Char('\\')).toUpper() == kRunKey;
}

// Texts cross into the file as UTF-8 bytes, both ways: SQLite's UTF-16 conversion would store U+FFFE and
// U+FFFF as U+FFFD, and the file would then disagree with memory.
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

// A lone surrogate has no UTF-8 form: such a text would not read back as written, so it is refused.
bool storable(const QString& s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
            ++i;
        else if (s[i].isSurrogate())
            return false;
    }
    return true;
}

bool refuseUnstorable(const QString& keyPath, const QString& name, const QString& data)
{
    if (storable(keyPath) && storable(name) && storable(data))
        return false;
    Log(kwStore,
        QStringLiteral("Hive - refused to write %1\\%2: the text holds a lone UTF-16 surrogate").arg(keyPath, name));
    return true;
}

QString sqliteError(sqlite3* db, int rc)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
}

// A new store is built under a temporary name and renamed into place, so a crash during creation never
// leaves a half-made file under the real name.
QString createStore(const QString& file)
{
    const QString tmp = file + QStringLiteral(".new");
    QFile::remove(tmp);
    const SqliteFile::Opened opened = SqliteFile::open(tmp, SqliteFile::Access::Create);
    if (!opened.db)
        return opened.error;
    sqlite3* db = opened.db;
    int rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr);
    QString err = rc == SQLITE_OK ? QString() : sqliteError(db, rc);
    sqlite3_close(db);
    if (err.isEmpty() && ::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(file).constData()) != 0)
        err = QString::fromLocal8Bit(strerror(errno));
    if (!err.isEmpty())
        QFile::remove(tmp);
    return err;
}

} // namespace

Hive::OpenResult Hive::open(const QString& file)
{
    const auto refuse = [&file](const QString& why) {
        return OpenResult {nullptr,
            QStringLiteral("The store %1 is damaged or unreadable (%2). It has been left untouched: "
                           "move it aside to start with an empty store, or restore a copy.")
                .arg(file, why)};
    };
    const QFileInfo info(file);
    if (!info.exists()) {
        const QString err = createStore(file);
        if (!err.isEmpty())
            return OpenResult {nullptr, QStringLiteral("The store %1 cannot be created: %2").arg(file, err)};
    } else if (info.size() == 0) {
        return refuse(QStringLiteral("the file is empty"));
    }

    const SqliteFile::Opened opened = SqliteFile::open(file, SqliteFile::Access::ReadWrite);
    if (!opened.db) {
        if (info.exists() && !info.isWritable())
            return OpenResult {
                nullptr, QStringLiteral("The store %1 cannot be opened for writing: %2").arg(file, opened.error)};
        return refuse(opened.error);
    }
    sqlite3* db = opened.db;
    int rc = SQLITE_OK;
    // Reads are answered from the key tree in memory, so SQLite's page cache serves the check, the one load
    // and the writes' few pages: a quarter of a megabyte, not the default two.
    sqlite3_exec(db, "PRAGMA cache_size=-256", nullptr, nullptr, nullptr);

    // Check before anything writes to the file: a damaged store must stay exactly as it was found.
    QString problem;
    sqlite3_stmt* st = nullptr;
    rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        problem = sqliteError(db, rc);
    } else {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            const QString verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            if (verdict != QLatin1String("ok"))
                problem = QStringLiteral("integrity check: %1").arg(verdict);
        } else {
            problem = sqliteError(db, rc);
        }
    }
    sqlite3_finalize(st);
    if (problem.isEmpty()) {
        int tables = 0;
        rc = sqlite3_prepare_v2(db,
            "SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN ('hive_keys','hive_values')", -1, &st,
            nullptr);
        if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            tables = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        if (tables != 2)
            problem = QStringLiteral("not a Kestrelwatch store");
    }
    if (!problem.isEmpty()) {
        sqlite3_close(db);
        return refuse(problem);
    }

    // The key tree is checked before anything is written too; the Hive owns the connection from here.
    std::unique_ptr<Hive> hive(new Hive(file, db));
    if (!hive->loadCache(&problem))
        return refuse(problem);

    // WAL keeps every committed write across a crash of the process; NORMAL sync spares an fsync per value
    // write (a power cut may lose the newest writes, never the file).
    SqliteFile::useWal(db);
    return OpenResult {std::move(hive), {}};
}

Hive::Hive(QString file, sqlite3* db)
    : m_file(std::move(file))
    , m_db(db)
{ }

Hive::~Hive()
{
    sqlite3_stmt* st = nullptr;
    while ((st = sqlite3_next_stmt(m_db, nullptr)) != nullptr)
        sqlite3_finalize(st);
    sqlite3_close(m_db);
}

sqlite3_stmt* Hive::prepare(const char* sql)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
        return nullptr;
    return st;
}

// Statements of the hot paths are prepared once per connection and reused.
sqlite3_stmt* Hive::cached(const char* sql)
{
    sqlite3_stmt*& st = m_statements[sql];
    if (!st)
        st = prepare(sql);
    else
        sqlite3_clear_bindings(st);
    return st;
}

bool Hive::exec(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Builds the key tree from the file. Every row must hang, through its parents, from the root (id 0) exactly
// once: a row with id 0, a parent that does not exist, a parent loop or a value of a missing key is damage,
// and the tree is left as it was.
bool Hive::loadCache(QString* why)
{
    const auto damaged = [why](const QString& problem) {
        if (why)
            *why = problem;
        return false;
    };
    QHash<qint64, Node> nodes;
    nodes.insert(0, Node {});
    sqlite3_stmt* st = prepare("SELECT id, parent, name, uname FROM hive_keys ORDER BY id");
    if (!st)
        return damaged(sqliteError(m_db, SQLITE_ERROR));
    QList<qint64> ids;
    bool rootRow = false;
    while (sqlite3_step(st) == SQLITE_ROW) {
        Node node;
        const qint64 id = sqlite3_column_int64(st, 0);
        node.parent = sqlite3_column_int64(st, 1);
        node.name = text(st, 2);
        rootRow = rootRow || id == 0;
        nodes.insert(id, node);
        ids.append(id);
    }
    sqlite3_finalize(st);
    if (rootRow)
        return damaged(QStringLiteral("a key row has the root's id 0"));
    for (qint64 id : ids) {
        auto it = nodes.find(nodes[id].parent);
        if (it == nodes.end())
            return damaged(QStringLiteral("key row %1 has no parent row %2").arg(id).arg(nodes[id].parent));
        it->children.insert(upper(nodes[id].name), id);
    }
    // Reachable from the root: a loop of parents, or two rows under one name, leaves rows unreached.
    QList<qint64> reached {0};
    for (qsizetype i = 0; i < reached.size() && reached.size() <= nodes.size(); ++i)
        reached += nodes[reached[i]].children.values();
    if (reached.size() != nodes.size())
        return damaged(QStringLiteral("%1 of %2 key rows do not hang from the root")
                           .arg(nodes.size() - reached.size())
                           .arg(nodes.size() - 1));
    // Each key's list is made to its final size at once: grown value by value, every list would keep the
    // slack of its last growth, a third of the whole cache on a large store.
    st = prepare("SELECT key, count(*) FROM hive_values GROUP BY key");
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        auto it = nodes.find(sqlite3_column_int64(st, 0));
        if (it != nodes.end())
            it->values.reserve(sqlite3_column_int64(st, 1));
    }
    sqlite3_finalize(st);
    st = prepare("SELECT key, name, data FROM hive_values ORDER BY id");
    if (!st)
        return damaged(sqliteError(m_db, SQLITE_ERROR));
    while (sqlite3_step(st) == SQLITE_ROW) {
        const qint64 key = sqlite3_column_int64(st, 0);
        auto it = nodes.find(key);
        if (it == nodes.end() || key == 0) {
            sqlite3_finalize(st);
            return damaged(QStringLiteral("a value belongs to no key row (%1)").arg(key));
        }
        // Flags and small numbers are kept once; addresses, dates and names are mostly the device's own.
        constexpr qsizetype kSharedDataChars = 5;
        QString data = text(st, 2);
        if (data.size() <= kSharedDataChars)
            data = shared(data);
        it->values.append(StoredValue {valueName(text(st, 1)), data});
    }
    sqlite3_finalize(st);

    m_nodes = std::move(nodes);
    m_pathCache.clear();
    st = prepare("PRAGMA data_version");
    if (st && sqlite3_step(st) == SQLITE_ROW)
        m_dataVersion = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return true;
}

// Another process (kestrelwatch-reg, say) may have changed the file; data_version tells.
void Hive::refreshIfChanged(bool force)
{
    constexpr qint64 kReadCheckIntervalMs = 50;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    if (!force && nowMs - m_lastCheckMs < kReadCheckIntervalMs && nowMs >= m_lastCheckMs)
        return;
    m_lastCheckMs = nowMs;
    sqlite3_stmt* st = cached("PRAGMA data_version");
    qint64 version = m_dataVersion;
    if (st && sqlite3_step(st) == SQLITE_ROW)
        version = sqlite3_column_int64(st, 0);
    if (st)
        sqlite3_reset(st);
    if (version != m_dataVersion)
        ++m_outsideChanges;
    QString why;
    if (version != m_dataVersion && !loadCache(&why)) {
        m_dataVersion = version; // one line per change, not one per read
        Log(kwStore,
            QStringLiteral("Hive - %1 changed into a damaged store (%2); keeping the last good view").arg(m_file, why));
    }
}

qint64 Hive::findKey(const QString& keyPath)
{
    const auto cachedId = m_pathCache.constFind(keyPath);
    if (cachedId != m_pathCache.constEnd())
        return cachedId.value();
    qint64 id = 0;
    for (const QString& part : splitPath(keyPath)) {
        const Node& node = m_nodes[id];
        auto it = node.children.constFind(upper(part));
        if (it == node.children.constEnd())
            return -1;
        id = it.value();
    }
    // Every device has a key: a cache of every path ever asked would hold a second copy of the store's key
    // names. The paths in use come back after a clear at the price of one walk each.
    constexpr qsizetype kMaxCachedPaths = 512;
    if (m_pathCache.size() >= kMaxCachedPaths)
        m_pathCache.clear();
    m_pathCache.insert(keyPath, id);
    return id;
}

quint32 Hive::valueName(const QString& name)
{
    const auto it = m_valueNameIds.constFind(name);
    if (it != m_valueNameIds.constEnd())
        return it.value();
    const auto id = quint32(m_valueNames.size());
    m_valueNames.append(ValueName {name, upper(name)});
    m_valueNameIds.insert(name, id);
    return id;
}

QString Hive::shared(const QString& text)
{
    // Names made up by another program cannot grow the table without end: past the bound, texts stay copies.
    constexpr qsizetype kMaxShared = 4096;
    const auto it = m_shared.constFind(text);
    if (it != m_shared.constEnd())
        return *it;
    if (m_shared.size() < kMaxShared)
        m_shared.insert(text);
    return text;
}

qint64 Hive::ensureKey(const QStringList& parts)
{
    qint64 id = 0;
    for (const QString& part : parts) {
        const QString up = upper(part);
        auto it = m_nodes[id].children.constFind(up);
        if (it != m_nodes[id].children.constEnd()) {
            id = it.value();
            continue;
        }
        sqlite3_stmt* st = cached("INSERT INTO hive_keys(parent, name, uname) VALUES(?, ?, ?)");
        if (!st)
            return -1;
        sqlite3_bind_int64(st, 1, id);
        bind(st, 2, part);
        bind(st, 3, up);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE)
            return -1;
        const qint64 child = sqlite3_last_insert_rowid(m_db);
        Node node;
        node.parent = id;
        node.name = part;
        m_nodes.insert(child, node);
        m_nodes[id].children.insert(up, child);
        id = child;
    }
    return id;
}

int Hive::valueIndex(const Node& node, const QString& name) const
{
    const QString up = upper(name);
    for (int i = 0; i < node.values.size(); ++i) {
        if (m_valueNames[node.values[i].name].uname == up)
            return i;
    }
    return -1;
}

// Every write runs in its own IMMEDIATE transaction; the cache is checked against the file once the write
// lock is held, so a change made meanwhile by another process is never written over from a stale view.
bool Hive::beginWrite()
{
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    refreshIfChanged(true);
    return true;
}

bool Hive::endWrite(bool ok)
{
    if (ok && exec("COMMIT"))
        return true;
    exec("ROLLBACK");
    loadCache();
    return false;
}

bool Hive::createKey(const QString& keyPath)
{
    if (refuseUnstorable(keyPath, {}, {}))
        return false;
    if (!beginWrite())
        return false;
    return endWrite(ensureKey(splitPath(keyPath)) >= 0);
}

quint64 Hive::outsideChanges()
{
    refreshIfChanged(true);
    return m_outsideChanges;
}

bool Hive::keyExists(const QString& keyPath)
{
    refreshIfChanged(false);
    return findKey(keyPath) >= 0;
}

std::optional<QString> Hive::value(const QString& keyPath, const QString& name)
{
    if (isRunValue(keyPath, name))
        return readAutostart();
    refreshIfChanged(false);
    const qint64 id = findKey(keyPath);
    if (id < 0)
        return std::nullopt;
    const Node& node = m_nodes[id];
    const int i = valueIndex(node, name);
    if (i < 0)
        return std::nullopt;
    return node.values[i].data;
}

bool Hive::setValue(const QString& keyPath, const QString& name, const QString& data)
{
    if (refuseUnstorable(keyPath, name, data))
        return false;
    if (isRunValue(keyPath, name))
        return writeAutostart(data, m_autostartArguments);
    if (!beginWrite())
        return false;
    const qint64 id = ensureKey(splitPath(keyPath));
    sqlite3_stmt* st = id >= 0 ? cached("INSERT INTO hive_values(key, name, uname, data) VALUES(?, ?, ?, ?) "
                                        "ON CONFLICT(key, uname) DO UPDATE SET data = excluded.data")
                               : nullptr;
    bool ok = st != nullptr;
    if (ok) {
        sqlite3_bind_int64(st, 1, id);
        bind(st, 2, name);
        bind(st, 3, upper(name));
        bind(st, 4, data);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    if (!endWrite(ok))
        return false;
    Node& node = m_nodes[id];
    const int i = valueIndex(node, name);
    if (i >= 0)
        node.values[i].data = data;
    else
        node.values.append(StoredValue {valueName(name), data});
    return true;
}

bool Hive::setValues(const QList<KeyValues>& keys, const QStringList& deleteKeys)
{
    for (const KeyValues& key : keys) {
        if (refuseUnstorable(key.keyPath, {}, {}))
            return false;
        for (const Value& v : key.values) {
            if (refuseUnstorable(key.keyPath, v.name, v.data) || isRunValue(key.keyPath, v.name))
                return false;
        }
    }
    if (!beginWrite())
        return false;
    sqlite3_stmt* st = cached("INSERT INTO hive_values(key, name, uname, data) VALUES(?, ?, ?, ?) "
                              "ON CONFLICT(key, uname) DO UPDATE SET data = excluded.data");
    bool ok = st != nullptr;
    QList<qint64> ids;
    for (qsizetype k = 0; ok && k < keys.size(); ++k) {
        const qint64 id = ensureKey(splitPath(keys[k].keyPath));
        ok = id >= 0;
        ids.append(id);
        for (qsizetype i = 0; ok && i < keys[k].values.size(); ++i) {
            const Value& v = keys[k].values[i];
            sqlite3_bind_int64(st, 1, id);
            bind(st, 2, v.name);
            bind(st, 3, upper(v.name));
            bind(st, 4, v.data);
            ok = sqlite3_step(st) == SQLITE_DONE;
            sqlite3_reset(st);
        }
    }
    QList<qint64> deleted;
    for (const QString& path : deleteKeys) {
        const qint64 id = ok ? findKey(path) : -1;
        if (id > 0 && !ids.contains(id) && !deleted.contains(id)) {
            ok = deleteRows(id);
            deleted.append(id);
        }
    }
    if (!endWrite(ok))
        return false;
    for (const qint64 id : std::as_const(deleted))
        forgetKey(id);
    for (qsizetype k = 0; k < keys.size(); ++k) {
        Node& node = m_nodes[ids[k]];
        for (const Value& v : keys[k].values) {
            const int i = valueIndex(node, v.name);
            if (i >= 0)
                node.values[i].data = v.data;
            else
                node.values.append(StoredValue {valueName(v.name), v.data});
        }
    }
    return true;
}

bool Hive::deleteValue(const QString& keyPath, const QString& name)
{
    if (isRunValue(keyPath, name))
        return removeAutostart();
    if (!beginWrite())
        return false;
    const qint64 id = findKey(keyPath);
    const int i = id >= 0 ? valueIndex(m_nodes[id], name) : -1;
    sqlite3_stmt* st = i >= 0 ? cached("DELETE FROM hive_values WHERE key = ? AND uname = ?") : nullptr;
    bool ok = st != nullptr;
    if (ok) {
        sqlite3_bind_int64(st, 1, id);
        bind(st, 2, upper(name));
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    if (!endWrite(ok))
        return false;
    m_nodes[id].values.removeAt(i);
    return true;
}

void Hive::dropSubtree(qint64 id)
{
    const Node node = m_nodes.take(id);
    for (qint64 child : node.children)
        dropSubtree(child);
}

bool Hive::deleteKey(const QString& keyPath)
{
    if (!beginWrite())
        return false;
    const qint64 id = findKey(keyPath);
    if (!endWrite(id > 0 && deleteRows(id)))
        return false;
    forgetKey(id);
    return true;
}

bool Hive::deleteRows(qint64 id)
{
    QList<qint64> ids {id};
    for (int i = 0; i < ids.size(); ++i)
        ids += m_nodes[ids[i]].children.values();
    sqlite3_stmt* delValues = cached("DELETE FROM hive_values WHERE key = ?");
    sqlite3_stmt* delKey = cached("DELETE FROM hive_keys WHERE id = ?");
    bool ok = delValues && delKey;
    for (qint64 k : ids) {
        if (!ok)
            break;
        sqlite3_bind_int64(delValues, 1, k);
        sqlite3_bind_int64(delKey, 1, k);
        ok = sqlite3_step(delValues) == SQLITE_DONE && sqlite3_step(delKey) == SQLITE_DONE;
        sqlite3_reset(delValues);
        sqlite3_reset(delKey);
    }
    return ok;
}

void Hive::forgetKey(qint64 id)
{
    const qint64 parent = m_nodes[id].parent;
    m_nodes[parent].children.remove(upper(m_nodes[id].name));
    dropSubtree(id);
    m_pathCache.clear();
}

QStringList Hive::subkeys(const QString& keyPath)
{
    refreshIfChanged(false);
    const qint64 id = findKey(keyPath);
    QStringList names;
    if (id < 0)
        return names;
    const Node& node = m_nodes[id];
    names.reserve(node.children.size());
    for (qint64 child : node.children)
        names.append(m_nodes[child].name);
    return names;
}

QList<Hive::Value> Hive::values(const QString& keyPath)
{
    refreshIfChanged(false);
    const qint64 id = findKey(keyPath);
    if (id < 0)
        return {};
    QList<Value> out;
    for (const StoredValue& v : m_nodes[id].values)
        out.append(Value {m_valueNames[v.name].name, v.data});
    return out;
}
