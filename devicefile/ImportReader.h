#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

class QIODevice;

// Reads an import file one device at a time, so that however large the file, the reader holds one device's
// text: the JSON export's "devices" array element by element (what lies around it, small, is checked whole at
// the end, its line breaks kept so that a fault names the file's line), the CSV export line by line. A record
// longer than MaxRecordBytes is refused.
class ImportReader final
{
public:
    static constexpr qsizetype MaxRecordBytes = 1 << 20;
    static constexpr qsizetype MaxFrameBytes = 64 << 10; // JSON outside the devices

    struct Record
    {
        int line = 0;
        QJsonObject object; // JSON
        QList<int> innerLines; // JSON: the line of each object inside it (its intervals)
        QString text; // CSV: the line, header first
    };
    enum class Step { Record, End, Fault };

    explicit ImportReader(QIODevice& file);
    bool isJson() const { return m_json; }
    Step next(Record& record);
    // "line 7: ..." once next gave Fault.
    const QString& fault() const { return m_fault; }

private:
    Step nextJson(Record& record);
    Step nextCsv(Record& record);
    Step endJson();
    Step fail(int line, const QString& why);
    bool fill();

    QIODevice& m_file;
    bool m_json = false;
    bool m_bareArray = false; // a JSON array of device objects, read as an export's devices list
    QString m_fault;
    int m_line = 1;
    // JSON scanning state, kept across the file's chunks.
    QByteArray m_chunk;
    qsizetype m_at = 0;
    int m_depth = 0;
    bool m_inString = false;
    bool m_escape = false;
    QByteArray m_string; // the string being read at depth 1 (a key), bounded
    QByteArray m_lastKey;
    int m_devicesDepth = -1; // the depth inside the devices array, while in it
    int m_index = 0; // devices so far
    QByteArray m_frame;
    QByteArray m_element;
    int m_elementLine = 0;
    bool m_ended = false;
};
