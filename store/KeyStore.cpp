#include "store/KeyStore.h"

#include "platform/Hive.h"

namespace {
Hive* s_hive = nullptr;
// The original read buffer holds 4096 characters of which 4094 are asked for: longer data comes back cut.
constexpr qsizetype kReadLimit = 4093;
} // namespace

namespace KeyStore {

void attach(Hive* hive)
{
    s_hive = hive;
}

Hive* attached()
{
    return s_hive;
}

QString fullKeyPath(const QString& product, const QString& subkey)
{
    QString path = QStringLiteral("software\\") + product;
    if (!subkey.isEmpty())
        path += QLatin1Char('\\') + subkey;
    return path;
}

QString readString(const QString& product, const QString& subkey, const QString& value, const QString& defaultText)
{
    if (!s_hive)
        return defaultText;
    const auto data = s_hive->value(fullKeyPath(product, subkey), value);
    if (!data)
        return defaultText;
    return data->left(kReadLimit);
}

ValueTexts readValues(const QString& product, const QString& subkey)
{
    ValueTexts out;
    if (!s_hive)
        return out;
    for (const Hive::Value& v : s_hive->values(fullKeyPath(product, subkey)))
        out.append({v.name, v.data.left(kReadLimit)});
    return out;
}

void writeString(const QString& product, const QString& subkey, const QString& value, const QString& text)
{
    if (s_hive)
        s_hive->setValue(fullKeyPath(product, subkey), value, text);
}

void writeKeys(const QString& product, const QList<std::pair<QString, ValueTexts>>& keys)
{
    if (!keys.isEmpty())
        writeKeys(product, keys, {});
}

bool writeKeys(
    const QString& product, const QList<std::pair<QString, ValueTexts>>& keys, const QStringList& deletedSubkeys)
{
    if (!s_hive)
        return false;
    QList<Hive::KeyValues> batch;
    batch.reserve(keys.size());
    for (const auto& [subkey, texts] : keys) {
        Hive::KeyValues& key = batch.emplace_back();
        key.keyPath = fullKeyPath(product, subkey);
        for (const auto& [name, text] : texts)
            key.values.append(Hive::Value {name, text});
    }
    QStringList deleted;
    for (const QString& subkey : deletedSubkeys)
        deleted.append(fullKeyPath(product, subkey));
    return s_hive->setValues(batch, deleted);
}

QStringList listSubkeys(const QString& product, const QString& subkey)
{
    QStringList names = s_hive ? s_hive->subkeys(fullKeyPath(product, subkey)) : QStringList();
    if (names.isEmpty())
        names.append(EmptyList);
    return names;
}

void createKey(const QString& product, const QString& subkey)
{
    if (s_hive)
        s_hive->createKey(fullKeyPath(product, subkey));
}

void deleteKey(const QString& product, const QString& subkey)
{
    if (s_hive && !subkey.isEmpty())
        s_hive->deleteKey(fullKeyPath(product, subkey));
}

void deleteValue(const QString& product, const QString& subkey, const QString& value)
{
    if (s_hive)
        s_hive->deleteValue(fullKeyPath(product, subkey), value);
}

} // namespace KeyStore
