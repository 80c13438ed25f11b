#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// The registry hive: a tree of keys below HKEY_LOCAL_MACHINE holding string values, kept in one SQLite file.
// Key and value names compare case-insensitively and keep the case they were created with; subkeys list in
// ascending order of their upper-cased names. Every write is its own transaction, so a crash loses nothing
// that was already written. A file that SQLite cannot read or that fails its integrity check is refused and
// left exactly as it is.
//
// Key paths are relative to HKEY_LOCAL_MACHINE and use '\' ("Software\Brackmoor\Kestrelwatch\GENERAL").
// The start-with-login value (Software\Microsoft\Windows\CurrentVersion\Run, "Brackmoor\Kestrelwatch") is
// not kept in the file: it is the XDG autostart entry (platform/Autostart), whose Exec= line is the value's data.
class Hive final
{
public:
    struct OpenResult
    {
        std::unique_ptr<Hive> hive;
        QString error; // set when hive is null: names the file and says what is wrong
    };
    struct Value
    {
        QString name;
        QString data;
    };

    static OpenResult open(const QString& file);
    ~Hive();
    Hive(const Hive&) = delete;
    Hive& operator=(const Hive&) = delete;

    QString fileName() const { return m_file; }

    bool createKey(const QString& keyPath);
    bool keyExists(const QString& keyPath);
    std::optional<QString> value(const QString& keyPath, const QString& name);
    bool setValue(const QString& keyPath, const QString& name, const QString& data);
    struct KeyValues
    {
        QString keyPath;
        QList<Value> values;
    };
    // Creates each key and writes its values, and removes the keys of deleteKeys with everything below them,
    // all in one transaction: after a crash either everything is stored or nothing is. Not for the Run value.
    bool setValues(const QList<KeyValues>& keys, const QStringList& deleteKeys = {});
    bool deleteValue(const QString& keyPath, const QString& name);
    // Removes the key with its values and everything below it.
    bool deleteKey(const QString& keyPath);
    QStringList subkeys(const QString& keyPath);
    QList<Value> values(const QString& keyPath);
    // How often commits of another connection (kestrelwatch-ctl, kestrelwatch-reg) have been found so far;
    // asks SQLite at once. The running monitor polls it to take such changes into memory.
    quint64 outsideChanges();

    // Arguments the autostart entry passes after the program (the store it starts with, --home DIR).
    void setAutostartArguments(const QStringList& arguments) { m_autostartArguments = arguments; }

private:
    // A value name as written and upper-cased (the comparison key). Every key of a store holds the same few
    // names, so each is kept once and a value holds its number.
    struct ValueName
    {
        QString name;
        QString uname;
    };
    struct StoredValue
    {
        quint32 name; // in m_valueNames
        QString data;
    };
    struct Node
    {
        qint64 parent = -1;
        QString name;
        QMap<QString, qint64> children; // upper-cased name -> id: the registry's enumeration order
        QList<StoredValue> values; // in creation order
    };

    Hive(QString file, sqlite3* db);
    bool loadCache(QString* why = nullptr);
    // Reloads the cache when another connection has committed. Writes always ask SQLite; reads ask at most
    // every few milliseconds, since each question costs a read transaction with its file locks.
    void refreshIfChanged(bool force);
    bool beginWrite();
    bool endWrite(bool ok);
    qint64 findKey(const QString& keyPath);
    qint64 ensureKey(const QStringList& parts);
    int valueIndex(const Node& node, const QString& name) const;
    quint32 valueName(const QString& name);
    // The one kept copy of a short value text: a store of 10,000 devices holds mostly the same flags ("True",
    // "0") in every device, one heap block each, not one per device.
    QString shared(const QString& text);
    void dropSubtree(qint64 id);
    // The rows of a key and everything below it, inside a write; forgetKey then drops it from the cache.
    bool deleteRows(qint64 id);
    void forgetKey(qint64 id);
    bool exec(const char* sql);
    sqlite3_stmt* prepare(const char* sql);
    sqlite3_stmt* cached(const char* sql);

    QString m_file;
    sqlite3* m_db = nullptr;
    qint64 m_dataVersion = -1;
    QHash<qint64, Node> m_nodes; // id 0 is HKEY_LOCAL_MACHINE itself
    QHash<const char*, sqlite3_stmt*> m_statements;
    QHash<QString, qint64> m_pathCache; // key path as given -> id; only keys that exist; bounded
    QSet<QString> m_shared; // the texts shared() hands out; bounded
    QList<ValueName> m_valueNames; // every value name met, never removed
    QHash<QString, quint32> m_valueNameIds; // name as written -> its place in m_valueNames
    qint64 m_lastCheckMs = 0;
    quint64 m_outsideChanges = 0;
    QStringList m_autostartArguments;
};
