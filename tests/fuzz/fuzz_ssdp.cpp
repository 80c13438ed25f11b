// SSDP datagrams as any host on the link may send them: no input faults, bounded reading, and a location is
// only ever taken when it is plain HTTP on the sender's own address.
#include "recognition/UpnpClues.h"

#include <QUrl>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto s = UpnpClues::parseSsdp(datagram);
    if (s && (datagram.size() > UpnpClues::kMaxSsdpBytes || s->location.size() > datagram.size()))
        std::abort();
    if (s && UpnpClues::locationOfSender(s->location, QStringLiteral("198.18.0.7"))) {
        const QUrl url(QString::fromLatin1(s->location));
        if (url.host() != QLatin1String("198.18.0.7") || url.scheme() != QLatin1String("http"))
            std::abort();
    }
    return 0;
}
