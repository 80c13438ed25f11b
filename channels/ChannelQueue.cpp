#include "channels/ChannelQueue.h"

#include "platform/DebugSink.h"
#include "platform/SqliteFile.h"

#include <QFile>
#include <QVariant>
#include <algorithm>
#include <sqlite3.h>

namespace {

QString sqliteError(sqlite3* db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

} // namespace

ChannelQueue::~ChannelQueue()
{
    if (m_db)
        sqlite3_close(m_db);
}

QString ChannelQueue::open(const QString& file)
{
    const SqliteFile::Opened opened = SqliteFile::open(file, SqliteFile::Access::Create, 2000);
    if (!opened.db)
        return opened.error;
    m_db = opened.db;
    // Written after every delivery: the write-ahead log keeps that cheap.
    if (!SqliteFile::useWal(m_db)
        || !exec("CREATE TABLE IF NOT EXISTS pending (id INTEGER PRIMARY KEY, channel INTEGER NOT NULL, notice "
                 "BLOB NOT NULL, first INTEGER NOT NULL, due INTEGER NOT NULL, attempts INTEGER NOT NULL)")) {
        QString error = sqliteError(m_db);
        sqlite3_close(m_db);
        m_db = nullptr;
        return error;
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(
        m_db, "SELECT id, channel, notice, first, due, attempts FROM pending ORDER BY id", -1, &st, nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        Item item;
        item.id = sqlite3_column_int64(st, 0);
        const int channel = sqlite3_column_int(st, 1);
        item.notice =
            QByteArray(static_cast<const char*>(sqlite3_column_blob(st, 2)), qsizetype(sqlite3_column_bytes(st, 2)));
        item.first = QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(st, 3));
        item.due = QDateTime::fromMSecsSinceEpoch(sqlite3_column_int64(st, 4));
        item.attempts = sqlite3_column_int(st, 5);
        m_nextId = std::max(m_nextId, item.id + 1);
        if (channel < int(Channel::Ntfy) || channel > int(Channel::Webhook)) {
            Log(kwPush,
                QStringLiteral("Channels - queued message %1 names no channel (%2); dropped")
                    .arg(item.id)
                    .arg(channel));
            remove(item.id);
            continue;
        }
        item.channel = Channel(channel);
        m_items.push_back(item);
    }
    sqlite3_finalize(st);
    return {};
}

bool ChannelQueue::exec(const char* sql, const std::vector<QVariant>& values)
{
    if (!m_db)
        return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK)
        return false;
    int i = 1;
    for (const QVariant& v : values) {
        if (v.typeId() == QMetaType::QByteArray) {
            const QByteArray bytes = v.toByteArray();
            sqlite3_bind_blob(st, i++, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_int64(st, i++, v.toLongLong());
        }
    }
    int rc = sqlite3_step(st);
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        Log(kwPush, QStringLiteral("Channels - the delivery queue could not be written: ") + sqliteError(m_db));
        return false;
    }
    return true;
}

qint64 ChannelQueue::add(Channel channel, const QByteArray& notice, const QDateTime& now)
{
    Item item;
    item.id = m_nextId++;
    item.channel = channel;
    item.notice = notice;
    item.first = now;
    item.due = now;
    exec("INSERT INTO pending (id, channel, notice, first, due, attempts) VALUES (?, ?, ?, ?, ?, 0)",
        {item.id, int(channel), notice, now.toMSecsSinceEpoch(), now.toMSecsSinceEpoch()});
    m_items.push_back(item);
    return item.id;
}

void ChannelQueue::remove(qint64 id)
{
    exec("DELETE FROM pending WHERE id = ?", {id});
    std::erase_if(m_items, [id](const Item& item) { return item.id == id; });
}

void ChannelQueue::reschedule(qint64 id, const QDateTime& due, int attempts)
{
    exec("UPDATE pending SET due = ?, attempts = ? WHERE id = ?", {due.toMSecsSinceEpoch(), attempts, id});
    if (Item* item = find(id)) {
        item->due = due;
        item->attempts = attempts;
    }
}

ChannelQueue::Item* ChannelQueue::find(qint64 id)
{
    const auto it = std::find_if(m_items.begin(), m_items.end(), [id](const Item& item) { return item.id == id; });
    return it == m_items.end() ? nullptr : &*it;
}
