#include "platform/DebugSink.h"

#include <cstdio>

namespace {
LogSinkFn& sinkRef()
{
    static LogSinkFn sink;
    return sink;
}

bool inert(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    case QChar::Other_Surrogate:
        return false; // pairs are let through by the caller
    default:
        return true;
    }
}
} // namespace

QString escapeLogText(const QString& text, Tabs tabs)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (inert(c) || (c == QLatin1Char('\t') && tabs == Tabs::Keep)) {
            out += c;
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else if (c == QLatin1Char('\r')) {
            out += QLatin1String("\\r");
        } else if (c == QLatin1Char('\t')) {
            out += QLatin1String("\\t");
        } else if (c.unicode() < 0x100) {
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        }
    }
    return out;
}

void Log(const QLoggingCategory& area, const QString& text)
{
    if (!area.isInfoEnabled())
        return;
    const QString name = QString::fromLatin1(area.categoryName());
    const QString line = escapeLogText(text);
    if (const auto& sink = sinkRef()) {
        sink(name, line);
        return;
    }
    std::fprintf(stderr, "[%s] %s\n", area.categoryName(), line.toLocal8Bit().constData());
}

void Log(const QString& text)
{
    Log(kwMonitor(), text);
}

void installLogSink(LogSinkFn sink)
{
    sinkRef() = std::move(sink);
}
