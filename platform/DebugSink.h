#pragma once

#include <QString>
#include <functional>

// Every part of the system writes its diagnostics through Log(); the debug log (logging/) installs itself
// here at start-up. Until then, and in tests that install nothing, lines go to stderr. Log() escapes the text
// (escapeLogText) before any sink sees it, so a line from outside stays one inert line.
using LogSinkFn = std::function<void(const QString& text)>;

void Log(const QString& text);
void installLogSink(LogSinkFn sink);

// The text with every character that could move a terminal's cursor, start a new line or turn text round
// written as an escape: C0 and C1 controls and DEL as \n, \r, \t or \xHH; format characters (U+202E), line
// and paragraph separators and lone surrogates as \uHHHH. Backslashes stay as they are (store paths hold
// them), so escaping escaped text changes nothing.
// A device history's line keeps its tab: it divides the date from the entry there (Tabs::Keep).
enum class Tabs { Escape, Keep };
QString escapeLogText(const QString& text, Tabs tabs = Tabs::Escape);
