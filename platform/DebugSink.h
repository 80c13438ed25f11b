#pragma once

#include <QString>
#include <functional>

// Every part of the system writes its diagnostics through Log(); the debug log (logging/) installs itself
// here at start-up. Until then, and in tests that install nothing, lines go to stderr.
using LogSinkFn = std::function<void(const QString& text)>;

void Log(const QString& text);
void installLogSink(LogSinkFn sink);
