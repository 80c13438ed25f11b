#pragma once

#include <QString>
#include <functional>

struct LiveSettings;

// The debug log: a running, time-stamped text held in memory (bounded at 1,048,576 characters by dropping
// its oldest lines), mirrored to the settings dialog's text box, and appended to
// "Log Database/Kestrelwatch.log" while LogToDisk is on. It never fails towards its caller. Each line is
// "<time> - [<area>] <text>", the area a category's name (platform/LogAreas.h).
class DebugLog final
{
public:
    static constexpr qsizetype MaxText = 1048576;

    DebugLog(const LiveSettings& settings, QString file);

    void Log(const QString& area, const QString& text);
    // A line of the monitor's own area.
    void Log(const QString& text);
    // The area a line names ("kw.mail"); empty for a line without one (an earlier release's).
    static QString areaOf(QStringView line);
    const QString& text() const { return m_text; }
    QString file() const { return m_file; }

    // Receives each formatted line (with its CR LF) as it is added: the settings dialog's logEdit.
    void setMirror(std::function<void(const QString& line)> mirror) { m_mirror = std::move(mirror); }
    // Routes the process-wide Log() (platform/DebugSink.h) here; extra, when set, also gets each raw text.
    void installAsSink(std::function<void(const QString& text)> extra = {});

private:
    const LiveSettings& m_settings;
    QString m_file;
    QString m_text;
    std::function<void(const QString&)> m_mirror;
};
