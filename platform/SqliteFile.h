#pragma once

#include <QString>

struct sqlite3;

// The one way the store's SQLite files are opened (the hive, the presence file, the delivery queue): a file
// that does not exist yet is created private (PrivateFiles) before SQLite writes a byte, so its journal, WAL and
// shared-memory files, which SQLite gives the database's own mode, are private too; SQLite itself never
// creates it under the umask. Every connection waits for another process's lock up to busyMs.
namespace SqliteFile {

enum class Access { ReadOnly, ReadWrite, Create };

struct Opened
{
    sqlite3* db = nullptr;
    QString error; // set when db is null
    bool created = false;
};

Opened open(const QString& file, Access access, int busyMs = 5000);
// WAL with NORMAL sync: a committed change survives the process being killed; a power cut may lose the newest
// ones, never the file. False when the file refuses.
bool useWal(sqlite3* db);
// "disk I/O error" and the like, for the connection (or, without one, the code).
QString errorText(sqlite3* db, int code);

} // namespace SqliteFile
