#pragma once

#include "platform/LogAreas.h"

#include <QString>
#include <functional>

// Every part of the system writes its diagnostics through Log(), each line in its area (platform/LogAreas.h);
// the debug log (logging/) installs itself here at start-up. Until then, and in tests that install nothing,
// lines go to stderr. Log() escapes the text (escapeLogText) before any sink sees it, so a line from outside
// stays one inert line. An area that QT_LOGGING_RULES turns off (its info level) logs nothing.
using LogSinkFn = std::function<void(const QString& area, const QString& text)>;

void Log(const QLoggingCategory& area, const QString& text);
// Log(kwMail, text): the category's function, as Q_DECLARE_LOGGING_CATEGORY declares it.
using LogArea = const QLoggingCategory& (*)();
inline void Log(LogArea area, const QString& text)
{
    Log(area(), text);
}
// A line that names no area counts as the monitor's own.
void Log(const QString& text);
void installLogSink(LogSinkFn sink);

// The text with every character that could move a terminal's cursor, start a new line or turn text round
// written as an escape: C0 and C1 controls and DEL as \n, \r, \t or \xHH; format characters (U+202E), line
// and paragraph separators and lone surrogates as \uHHHH. Backslashes stay as they are (store paths hold
// them), so escaping escaped text changes nothing.
// A device history's line keeps its tab: it divides the date from the entry there (Tabs::Keep).
enum class Tabs { Escape, Keep };
QString escapeLogText(const QString& text, Tabs tabs = Tabs::Escape);
