#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// One registry of the vendor database: an index text of fixed records (a key of keyLength characters, then
// CR LF) and a name list whose line k (lines separated by CR LF) belongs to record k. Record 0 is a
// placeholder: a match there reads as no match.
//
// A lookup gives exactly what a substring search in the index text gives: the first occurrence of the key
// at 1-based position p names record round(p / record size), ties going to the even record. A key of full
// length without CR or LF can only occur at the start of a record, so such keys are answered from a table
// sorted at load; any other key (short, long, or non-ASCII) takes the substring search itself.
class MacRegistryTable final
{
public:
    static constexpr qsizetype MaxKeyLength = 9;

    explicit MacRegistryTable(qsizetype keyLength); // 1 to MaxKeyLength

    // Loads both files whole. Returns one description per problem found; a table with any problem stays
    // empty, because a misshapen index or a short name list would pair keys with the wrong names.
    QStringList load(const QString& indexFile, const QString& namesFile);

    // The record the search names for key (0 when absent or in the placeholder).
    qsizetype recordOf(QStringView key) const;
    // Name line of a record; empty for record 0 and for lines the name list does not have.
    QString nameOf(qsizetype record) const;
    QString lookup(QStringView key) const { return nameOf(recordOf(key)); }

    qsizetype recordCount() const { return m_index.size() / recordSize(); }

private:
    struct KeyEntry
    {
        quint64 key;
        quint32 record;
    };

    qsizetype recordSize() const { return m_keyLength + 2; }
    QString checkIndex(const QByteArray& bytes, const QString& file) const;
    void buildKeyTable();
    qsizetype searchRecord(QStringView key) const;
    void clear();

    qsizetype m_keyLength;
    QByteArray m_index; // the index text; checked to be printable ASCII keys each followed by CR LF
    QByteArray m_names; // the name list, checked to be UTF-8
    std::vector<quint32> m_lineStart; // where each name line starts, plus one entry past the last line
    std::vector<KeyEntry> m_byKey; // every record's key, sorted by key and then by record
};
