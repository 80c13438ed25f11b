#include "devicefile/ImportReader.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {

constexpr qint64 kChunk = 64 << 10;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The line of each object inside a device's object (its intervals), counted from the device's first line.
QList<int> innerLines(const QByteArray& element, int line)
{
    QList<int> lines;
    int depth = 0;
    bool inString = false;
    for (qsizetype i = 0; i < element.size(); ++i) {
        const char c = element[i];
        if (c == '\n')
            ++line;
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth == 3 && c == '{')
                lines.append(line);
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return lines;
}

QString jsonFault(const QByteArray& text, int firstLine, const QJsonParseError& error)
{
    return QStringLiteral("line %1: %2").arg(firstLine + text.left(error.offset).count('\n')).arg(error.errorString());
}

} // namespace

ImportReader::ImportReader(QIODevice& file)
    : m_file(file)
{
    // The first thing that is not white space tells the form: a JSON object or a CSV header.
    while (fill()) {
        for (; m_at < m_chunk.size() && isSpace(m_chunk[m_at]); ++m_at) {
            if (m_chunk[m_at] == '\n') {
                ++m_line;
                m_frame.append('\n'); // so that the frame's lines are the file's
            }
        }
        if (m_at < m_chunk.size())
            break;
    }
    m_json = m_at < m_chunk.size() && (m_chunk[m_at] == '{' || m_chunk[m_at] == '[');
    m_bareArray = m_json && m_chunk[m_at] == '[';
}

bool ImportReader::fill()
{
    if (m_at < m_chunk.size())
        return true;
    m_chunk = m_file.read(kChunk);
    m_at = 0;
    return !m_chunk.isEmpty();
}

ImportReader::Step ImportReader::fail(int line, const QString& why)
{
    m_fault = QStringLiteral("line %1: %2").arg(line).arg(why);
    m_ended = true;
    return Step::Fault;
}

ImportReader::Step ImportReader::next(Record& record)
{
    if (m_ended)
        return m_fault.isEmpty() ? Step::End : Step::Fault;
    return m_json ? nextJson(record) : nextCsv(record);
}

ImportReader::Step ImportReader::nextCsv(Record& record)
{
    for (;;) {
        // One line, however the chunks cut it.
        QByteArray line;
        bool complete = false;
        while (!complete && fill()) {
            const qsizetype end = m_chunk.indexOf('\n', m_at);
            const qsizetype stop = end < 0 ? m_chunk.size() : end + 1;
            line.append(m_chunk.constData() + m_at, stop - m_at);
            m_at = stop;
            complete = end >= 0;
            if (line.size() > MaxRecordBytes)
                return fail(m_line, QStringLiteral("the line is longer than %1 bytes").arg(MaxRecordBytes));
        }
        if (line.isEmpty()) {
            m_ended = true;
            return Step::End;
        }
        const int at = m_line++;
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        record = Record {};
        record.line = at;
        record.text = QString::fromUtf8(line);
        return Step::Record;
    }
}

ImportReader::Step ImportReader::nextJson(Record& record)
{
    while (fill()) {
        for (; m_at < m_chunk.size(); ++m_at) {
            const char c = m_chunk[m_at];
            const bool capturing = !m_element.isEmpty();
            if (c == '\n')
                ++m_line;
            if (capturing) {
                m_element.append(c);
                if (m_element.size() > MaxRecordBytes)
                    return fail(m_elementLine,
                        QStringLiteral("device %1 is longer than %2 bytes").arg(m_index).arg(MaxRecordBytes));
            } else {
                m_frame.append(c);
                if (m_frame.size() > MaxFrameBytes)
                    return fail(
                        m_line, QStringLiteral("more than %1 bytes outside the devices list").arg(MaxFrameBytes));
            }
            if (m_inString) {
                if (m_escape)
                    m_escape = false;
                else if (c == '\\')
                    m_escape = true;
                else if (c == '"')
                    m_inString = false;
                else if (m_depth == 1 && m_string.size() < 16)
                    m_string.append(c);
                if (!m_inString && m_depth == 1)
                    m_lastKey = m_string;
                continue;
            }
            if (c == '"') {
                if (!capturing && m_depth == m_devicesDepth)
                    return fail(m_line, QStringLiteral("device %1 is not an object").arg(m_index + 1));
                m_inString = true;
                m_string.clear();
            } else if (c == '{' || c == '[') {
                if (!capturing && m_depth == m_devicesDepth) {
                    // A device begins: its text goes aside, the frame keeps an empty object in its place.
                    if (c != '{')
                        return fail(m_line, QStringLiteral("device %1 is not an object").arg(m_index + 1));
                    m_frame.chop(1);
                    m_element = QByteArray(1, c);
                    m_elementLine = m_line;
                    ++m_index;
                }
                if (c == '[' && m_depth == 1 && m_lastKey == "devices")
                    m_devicesDepth = 2;
                else if (c == '[' && m_depth == 0 && m_bareArray)
                    m_devicesDepth = 1;
                ++m_depth;
            } else if (c == '}' || c == ']') {
                --m_depth;
                if (capturing && m_depth == m_devicesDepth) {
                    ++m_at;
                    const QByteArray element = std::exchange(m_element, {});
                    m_frame.append("{}");
                    m_frame.append(QByteArray(element.count('\n'), '\n'));
                    QJsonParseError error;
                    const QJsonDocument doc = QJsonDocument::fromJson(element, &error);
                    if (error.error != QJsonParseError::NoError) {
                        m_fault = jsonFault(element, m_elementLine, error);
                        m_ended = true;
                        return Step::Fault;
                    }
                    record = Record {};
                    record.line = m_elementLine;
                    record.object = doc.object();
                    record.innerLines = innerLines(element, m_elementLine);
                    return Step::Record;
                }
                if (!capturing && c == ']' && m_depth + 1 == m_devicesDepth)
                    m_devicesDepth = -1;
            } else if (!capturing && m_depth == m_devicesDepth && !isSpace(c) && c != ',') {
                return fail(m_line, QStringLiteral("device %1 is not an object").arg(m_index + 1));
            }
        }
    }
    return endJson();
}

ImportReader::Step ImportReader::endJson()
{
    m_ended = true;
    if (!m_element.isEmpty()) {
        // The file ends inside a device: its own fault says where.
        QJsonParseError error;
        QJsonDocument::fromJson(m_element, &error);
        m_fault = jsonFault(m_element, m_elementLine, error);
        return Step::Fault;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(m_frame, &error);
    if (error.error != QJsonParseError::NoError) {
        m_fault = jsonFault(m_frame, 1, error);
        return Step::Fault;
    }
    if (m_bareArray ? !doc.isArray() : !doc.isObject() || !doc.object().value(QStringLiteral("devices")).isArray()) {
        m_fault = QStringLiteral("line 1: no \"devices\" list (is this a kestrelwatch-ctl export?)");
        return Step::Fault;
    }
    return Step::End;
}
