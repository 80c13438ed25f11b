#include "LogCapture.h"

#include "platform/DebugSink.h"

LogCapture::LogCapture()
{
    installLogSink([this](const QString& text) { m_lines << text; });
}

LogCapture::~LogCapture()
{
    installLogSink({});
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
