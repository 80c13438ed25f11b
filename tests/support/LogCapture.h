#pragma once

#include <QStringList>

// Collects every debug line written through Log() while it lives (the one log sink of the tests): each
// line's text, and the area it was logged in.
class LogCapture final
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const QStringList& lines() const { return m_lines; }
    // The lines that start with tag ("SmtpClient:  ", "loadStore - "), without it.
    QStringList tagged(const QString& tag) const;
    // The lines logged in an area ("kw.mail").
    QStringList inArea(const QString& area) const;
    void clear()
    {
        m_lines.clear();
        m_areas.clear();
    }

private:
    QStringList m_lines;
    QStringList m_areas;
};
