// Request heads as any local program may send them to /metrics: every one gets a whole HTTP answer whose length
// header matches its body, and only "GET /metrics" is given the figures.
#include "metrics/MetricsServer.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray head(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray figures("kw_figures 1\n");
    const QByteArray answer = MetricsServer::respond(head, [&figures] { return figures; });
    auto require = [](bool holds) {
        if (!holds)
            __builtin_trap();
    };
    const qsizetype split = answer.indexOf("\r\n\r\n");
    require(answer.startsWith("HTTP/1.1 ") && split > 0);
    const QByteArray body = answer.mid(split + 4);
    require(answer.contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"));
    require((body == figures) == answer.startsWith("HTTP/1.1 200 "));
    require(!answer.startsWith("HTTP/1.1 200 ") || head.startsWith("GET /metrics"));
    return 0;
}
