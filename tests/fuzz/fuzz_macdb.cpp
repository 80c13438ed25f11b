// The vendor files (index, then names, split at the first 0xFF byte): any pair loads without fault, and a
// table that loaded answers lookups of its own keys.
#include "FuzzInput.h"

#include "vendor/MacRegistryTable.h"

#include <QFile>

namespace {
void write(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto [index, names] = fuzz::split(data, size);
    const QString indexFile = fuzz::folder() + QStringLiteral("/oui.idx");
    const QString namesFile = fuzz::folder() + QStringLiteral("/oui.db");
    write(indexFile, index);
    write(namesFile, names);
    for (qsizetype keyLength : {6, 9}) {
        MacRegistryTable table(keyLength);
        if (!table.load(indexFile, namesFile).isEmpty())
            continue;
        const QString text = QString::fromUtf8(index);
        for (qsizetype at = 0; at + keyLength <= text.size() && at < 64 * (keyLength + 2); at += keyLength + 2)
            table.lookup(QStringView(text).mid(at, keyLength));
        table.lookup(QStringView(text).left(3));
    }
    return 0;
}
