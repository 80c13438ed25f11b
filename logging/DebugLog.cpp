#include "logging/DebugLog.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/LiveSettings.h"
#include "store/TextForms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

DebugLog::DebugLog(const LiveSettings& settings, QString file)
    : m_settings(settings)
    , m_file(std::move(file))
{ }

void DebugLog::Log(const QString& text)
{
    Log(QString::fromLatin1(kwMonitor().categoryName()), text);
}

QString DebugLog::areaOf(QStringView line)
{
    const qsizetype open = line.indexOf(u" - [kw.");
    if (open < 0)
        return {};
    const qsizetype close = line.indexOf(u']', open);
    return close < 0 ? QString() : line.mid(open + 4, close - open - 4).toString();
}

void DebugLog::Log(const QString& area, const QString& text)
{
    const QString stamp = TextForms::dateText(kwclock::now());
    // Log() has escaped the text already; a caller that writes here directly gets the same.
    const QString line = stamp + QStringLiteral(" - [") + escapeLogText(area) + QStringLiteral("] ")
        + escapeLogText(text) + QStringLiteral("\r\n");

    m_text += line;
    // The oldest lines go first; a single line longer than the whole bound keeps only its end.
    while (m_text.size() > MaxText) {
        const qsizetype lf = m_text.indexOf(QLatin1Char('\n'));
        if (lf < 0 || lf + 1 >= m_text.size()) {
            m_text = m_text.right(MaxText);
            break;
        }
        m_text.remove(0, lf + 1);
    }

    if (m_mirror)
        m_mirror(line);

    if (m_settings.log.toDisk && !m_file.isEmpty()) {
        QDir().mkpath(QFileInfo(m_file).absolutePath());
        QFile f(m_file);
        if (f.open(QIODevice::Append))
            f.write(line.toUtf8());
    }
}

void DebugLog::installAsSink(std::function<void(const QString& text)> extra)
{
    installLogSink([this, extra = std::move(extra)](const QString& area, const QString& text) {
        Log(area, text);
        if (extra)
            extra(text);
    });
}
