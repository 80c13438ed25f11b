#include "vendor/MacRegistryTable.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>

namespace {
// Far above the real registries (about 0.3 MB of index and 1 MB of names); guards memory against a wrong file.
constexpr qint64 MaxFileSize = qint64(32) * 1024 * 1024;

bool isKeyChar(char16_t c)
{
    return c >= 0x20 && c <= 0x7E;
}

// Keys are at most 9 printable ASCII characters of 7 bits each, so a key packs losslessly into 64 bits, and
// packed keys of one length order as the texts do.
quint64 packKey(const char* chars, qsizetype length)
{
    quint64 packed = 0;
    for (qsizetype i = 0; i < length; ++i)
        packed = (packed << 7) | static_cast<quint8>(chars[i]);
    return packed;
}

quint64 packKey(QStringView chars)
{
    quint64 packed = 0;
    for (const QChar c : chars)
        packed = (packed << 7) | static_cast<quint8>(c.unicode());
    return packed;
}

// Whole-number quotient of a 1-based position, rounded to nearest with ties to even.
qsizetype roundedQuotient(qsizetype position, qsizetype divisor)
{
    const qsizetype whole = position / divisor;
    const qsizetype twice = 2 * (position % divisor);
    if (twice > divisor || (twice == divisor && (whole % 2) != 0))
        return whole + 1;
    return whole;
}

QString readWhole(const QString& file, QByteArray& bytes)
{
    if (QFileInfo(file).isDir())
        return QStringLiteral("cannot read %1: it is a folder").arg(file);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot open %1: %2").arg(file, f.errorString());
    if (f.size() > MaxFileSize)
        return QStringLiteral("%1 is too large to be a vendor file (%2 bytes)").arg(file).arg(f.size());
    bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return QStringLiteral("cannot read %1: %2").arg(file, f.errorString());
    return {};
}
// UTF-8 without a NUL, checked a piece at a time: a decoded copy of the whole list would double its memory at
// start. Each piece ends after a CR LF, which no multi-byte sequence holds, so a sequence cut off is one at
// the end of the file.
bool isUtf8Text(const QByteArray& bytes)
{
    if (bytes.contains('\0'))
        return false;
    constexpr qsizetype kPiece = 64 * 1024;
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    qsizetype from = 0;
    while (from < bytes.size()) {
        const qsizetype crlf = from + kPiece < bytes.size() ? bytes.indexOf("\r\n", from + kPiece) : -1;
        const qsizetype to = crlf < 0 ? bytes.size() : crlf + 2;
        const QString piece = decode(QByteArrayView(bytes).sliced(from, to - from));
        if (decode.hasError())
            return false;
        from = to;
    }
    return true;
}
} // namespace

MacRegistryTable::MacRegistryTable(qsizetype keyLength)
    : m_keyLength(keyLength)
{
    Q_ASSERT(keyLength > 0 && keyLength <= MaxKeyLength);
}

QStringList MacRegistryTable::load(const QString& indexFile, const QString& namesFile)
{
    clear();
    QStringList problems;

    QByteArray index;
    QString problem = readWhole(indexFile, index);
    if (problem.isEmpty())
        problem = checkIndex(index, indexFile);
    const bool indexOk = problem.isEmpty();
    if (!indexOk)
        problems << problem;

    // Kept as the file's UTF-8, half the size of the decoded text; a lookup decodes its one line.
    QByteArray names;
    problem = readWhole(namesFile, names);
    if (problem.isEmpty() && !isUtf8Text(names))
        problem = QStringLiteral("%1 is not UTF-8 text").arg(namesFile);
    const bool namesOk = problem.isEmpty();
    if (!namesOk)
        problems << problem;

    if (!indexOk || !namesOk)
        return problems;

    std::vector<quint32> lineStart;
    qsizetype from = 0;
    for (;;) {
        lineStart.push_back(static_cast<quint32>(from));
        const qsizetype end = names.indexOf("\r\n", from);
        if (end < 0)
            break;
        from = end + 2;
    }
    // The sentinel sits where a CR LF after the last line would end, so every line ends two before the next start.
    lineStart.push_back(static_cast<quint32>(names.size() + 2));

    const qsizetype records = index.size() / recordSize();
    const auto lines = static_cast<qsizetype>(lineStart.size()) - 1;
    if (lines < records) {
        problems << QStringLiteral("%1 holds %2 names for the %3 records of %4")
                        .arg(namesFile)
                        .arg(lines)
                        .arg(records)
                        .arg(QFileInfo(indexFile).fileName());
        return problems;
    }

    m_index = std::move(index);
    m_names = std::move(names);
    m_lineStart = std::move(lineStart);
    m_lineStart.shrink_to_fit();
    buildKeyTable();
    return problems;
}

QString MacRegistryTable::checkIndex(const QByteArray& bytes, const QString& file) const
{
    if (bytes.isEmpty())
        return QStringLiteral("%1 holds no records").arg(file);
    if (bytes.size() % recordSize() != 0) {
        return QStringLiteral("%1 is damaged: its length of %2 bytes is not a whole number of %3-byte records")
            .arg(file)
            .arg(bytes.size())
            .arg(recordSize());
    }
    for (qsizetype at = 0; at < bytes.size(); at += recordSize()) {
        const char* record = bytes.constData() + at;
        const bool keyOk = std::all_of(record, record + m_keyLength, [](char c) { return isKeyChar(quint8(c)); });
        if (!keyOk || record[m_keyLength] != '\r' || record[m_keyLength + 1] != '\n') {
            return QStringLiteral("%1 is damaged: record %2 is not a %3-character key followed by CR LF")
                .arg(file)
                .arg(at / recordSize())
                .arg(m_keyLength);
        }
    }
    return {};
}

void MacRegistryTable::buildKeyTable()
{
    const qsizetype records = recordCount();
    m_byKey.resize(static_cast<size_t>(records));
    for (qsizetype r = 0; r < records; ++r)
        m_byKey[size_t(r)] = KeyEntry {packKey(m_index.constData() + r * recordSize(), m_keyLength), quint32(r)};
    // Records enter in order and the sort is stable, so the first record holding a key comes first.
    std::stable_sort(
        m_byKey.begin(), m_byKey.end(), [](const KeyEntry& a, const KeyEntry& b) { return a.key < b.key; });
}

qsizetype MacRegistryTable::recordOf(QStringView key) const
{
    if (m_index.isEmpty())
        return 0;
    if (key.size() != m_keyLength
        || !std::all_of(key.begin(), key.end(), [](QChar c) { return isKeyChar(c.unicode()); }))
        return searchRecord(key);

    const quint64 packed = packKey(key);
    const auto it = std::lower_bound(
        m_byKey.begin(), m_byKey.end(), packed, [](const KeyEntry& entry, quint64 value) { return entry.key < value; });
    if (it == m_byKey.end() || it->key != packed)
        return 0;
    return it->record;
}

qsizetype MacRegistryTable::searchRecord(QStringView key) const
{
    // The index is pure ASCII, so a key holding anything else cannot occur in it.
    if (!std::all_of(key.begin(), key.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return 0;
    const qsizetype at = m_index.indexOf(key.toLatin1());
    if (at < 0)
        return 0;
    return roundedQuotient(at + 1, recordSize());
}

QString MacRegistryTable::nameOf(qsizetype record) const
{
    if (record <= 0 || record + 1 >= static_cast<qsizetype>(m_lineStart.size()))
        return {};
    const qsizetype start = m_lineStart[size_t(record)];
    return QString::fromUtf8(m_names.constData() + start, qsizetype(m_lineStart[size_t(record) + 1]) - 2 - start);
}

void MacRegistryTable::clear()
{
    m_index.clear();
    m_names.clear();
    m_lineStart.clear();
    m_byKey.clear();
}
