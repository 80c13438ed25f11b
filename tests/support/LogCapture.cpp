#include "LogCapture.h"

#include "platform/DebugSink.h"

LogCapture::LogCapture()
{
    installLogSink([this](const QString& area, const QString& text) {
        m_lines << text;
        m_areas << area;
    });
}

LogCapture::~LogCapture()
{
    installLogSink({});
}

QStringList LogCapture::inArea(const QString& area) const
{
    QStringList out;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_areas.at(i) == area)
            out << m_lines.at(i);
    }
    return out;
}

QStringList LogCapture::tagged(const QString& tag) const
{
    QStringList out;
    for (const QString& line : m_lines) {
        if (line.startsWith(tag))
            out << line.mid(tag.size());
    }
    return out;
}
