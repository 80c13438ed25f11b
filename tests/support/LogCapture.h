#pragma once

#include <QStringList>

// Collects every debug line written through Log() while it lives (the one log sink of the tests).
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
    void clear() { m_lines.clear(); }

private:
    QStringList m_lines;
};
