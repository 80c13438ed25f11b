#include "platform/DebugSink.h"

#include <cstdio>

namespace {
LogSinkFn& sinkRef()
{
    static LogSinkFn sink;
    return sink;
}
} // namespace

void Log(const QString& text)
{
    if (const auto& sink = sinkRef()) {
        sink(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void installLogSink(LogSinkFn sink)
{
    sinkRef() = std::move(sink);
}
