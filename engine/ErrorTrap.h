#pragma once

#include "platform/DebugSink.h"

#include <QString>
#include <exception>

// Each engine operation has its own error trap: a failure ends that operation with one debug-log line tagged
// with the operation's name ("FinishScan - ..."), and whoever called it carries on. Nothing escapes.
template<typename Body> void runTrapped(const char* operation, Body&& body) noexcept
{
    QString line;
    try {
        body();
        return;
    } catch (const std::exception& e) {
        line = QLatin1String(operation) + QStringLiteral(" - ") + QString::fromLocal8Bit(e.what());
    } catch (...) {
        line = QLatin1String(operation) + QStringLiteral(" - unexpected error");
    }
    try {
        Log(kwEngine, line);
    } catch (...) {
        // The debug log itself failed; there is nowhere left to report it.
    }
}
