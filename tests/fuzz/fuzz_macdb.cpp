// The vendor files (index, then names, split at the first 0xFF byte): any pair loads without fault, and a
// table that loaded answers every key exactly as the lookup is described: the first occurrence of the key
// in the index text at 1-based position p names record round(p / record size), halves to the even record.
#include "FuzzInput.h"

#include "vendor/MacRegistryTable.h"

#include <QFile>
#include <cmath>
#include <cstdlib>

namespace {
void write(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QString plainLookup(const QString& index, const QStringList& names, QStringView key, qsizetype recordSize)
{
    const qsizetype position = index.indexOf(key) + 1;
    const auto record = qsizetype(std::nearbyint(double(position) / double(recordSize)));
    return record <= 0 || record >= names.size() ? QString() : names.at(record);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto [index, names] = fuzz::split(data, size);
    const QString indexFile = fuzz::folder() + QStringLiteral("/oui.idx");
    const QString namesFile = fuzz::folder() + QStringLiteral("/oui.db");
    write(indexFile, index);
    write(namesFile, names);
    const QString text = QString::fromUtf8(index);
    const QString namesText = QString::fromUtf8(names);
    const QStringList lines = namesText.split(QStringLiteral("\r\n"));
    for (qsizetype keyLength : {6, 3, 7, 9}) { // OUI, IAB, MA-M and MA-S keys
        MacRegistryTable table(keyLength);
        if (!table.load(indexFile, namesFile).isEmpty())
            continue;
        // Keys from the index itself (whole and cut short), and from the names text.
        for (qsizetype at = 0; at < text.size() && at < 64 * (keyLength + 2); at += keyLength + 2) {
            for (qsizetype length : {keyLength, qsizetype(2), keyLength + 1}) {
                const QStringView key = QStringView(text).mid(at, length);
                if (!key.isEmpty() && table.lookup(key) != plainLookup(text, lines, key, keyLength + 2))
                    std::abort();
            }
        }
        const QStringView other = QStringView(namesText).left(keyLength);
        if (!other.isEmpty() && table.lookup(other) != plainLookup(text, lines, other, keyLength + 2))
            std::abort();
    }
    return 0;
}
