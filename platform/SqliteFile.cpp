#include "platform/SqliteFile.h"

#include "platform/PrivateFiles.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace SqliteFile {

Opened open(const QString& file, Access access, int busyMs)
{
    Opened opened;
    if (access == Access::Create && !QFileInfo::exists(file)) {
        opened.error = PrivateFiles::createFile(file);
        if (!opened.error.isEmpty())
            return opened;
        opened.created = true;
    }
    const int flags = (access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        opened.error = errorText(db, rc);
        sqlite3_close(db);
        return opened;
    }
    sqlite3_busy_timeout(db, busyMs);
    opened.db = db;
    return opened;
}

bool useWal(sqlite3* db)
{
    return sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr)
        == SQLITE_OK;
}

QString errorText(sqlite3* db, int code)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
}

} // namespace SqliteFile
