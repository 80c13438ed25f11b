// mDNS replies as any host on the link may send them: no input faults, each gives a name or an error, and a
// name that passes the one name filter, as every name must before it is kept, holds no control character.
#include "platform/DnsMessage.h"
#include "store/DeviceText.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto r =
        dnsmsg::parsePtrReply(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), 0x1234, 0xc612000a);
    if (r.name.isEmpty() == r.error.isEmpty())
        std::abort();
    const DeviceText::Name kept = DeviceText::filterName(r.name);
    if (kept.ok() && (kept.text.contains(QChar(0x7f)) || kept.text.contains(QChar(0x1b))))
        std::abort();
    return 0;
}
