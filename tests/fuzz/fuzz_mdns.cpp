// mDNS replies as any host on the link may send them: no input faults, each gives a clean name or an error.
#include "platform/DnsMessage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto r =
        dnsmsg::parsePtrReply(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), 0x1234, 0xc612000a);
    if (r.name.isEmpty() == r.error.isEmpty() || r.name.contains(QChar(0x7f)) || r.name.contains(QChar(0x1b)))
        std::abort();
    return 0;
}
