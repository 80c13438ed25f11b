#pragma once

#include <QString>
#include <QStringList>
#include <utility>

class Hive;

// The system's only access to the registry hive. Every key lies below "software\" + product path, addressed
// by a product path ("Brackmoor\Kestrelwatch", or "Microsoft" for the start-with-login entry) and a subkey
// path. Nothing here reports a failure: reads fall back to their default, listing falls back to "<EMPTY>",
// failed writes and deletes change nothing.
namespace KeyStore {

inline const QString ProductKey = QStringLiteral("Brackmoor\\Kestrelwatch");
inline const QString EmptyList = QStringLiteral("<EMPTY>");

// The hive every operation uses; the application attaches it once at start-up, tests attach their own.
void attach(Hive* hive);
Hive* attached();

QString readString(
    const QString& product, const QString& subkey, const QString& value, const QString& defaultText = QString());
void writeString(const QString& product, const QString& subkey, const QString& value, const QString& text);
// (value name, text) pairs of one key.
using ValueTexts = QList<std::pair<QString, QString>>;
// Creates each subkey and writes its values, all in one transaction: a crash leaves all of them or none.
void writeKeys(const QString& product, const QList<std::pair<QString, ValueTexts>>& keys);
// The same, and deletes the deleted subkeys with all below them in that one transaction; false when nothing
// was written.
bool writeKeys(
    const QString& product, const QList<std::pair<QString, ValueTexts>>& keys, const QStringList& deletedSubkeys);
// Every value of one key, in the order they were created; empty when the key is missing.
ValueTexts readValues(const QString& product, const QString& subkey);
// Subkey names in the registry's order, or the single element "<EMPTY>".
QStringList listSubkeys(const QString& product, const QString& subkey);
void createKey(const QString& product, const QString& subkey);
void deleteKey(const QString& product, const QString& subkey);
void deleteValue(const QString& product, const QString& subkey, const QString& value);

// "software\" + product + "\" + subkey, the key path inside the hive.
QString fullKeyPath(const QString& product, const QString& subkey);

} // namespace KeyStore
