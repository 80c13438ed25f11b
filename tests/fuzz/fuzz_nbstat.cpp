// NetBIOS node-status replies as any host may send them: no input faults, each gives an error or a name of
// at most 15 characters without control characters.
#include "platform/NbstatMessage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto r =
        nbstat::parseNodeStatusReply(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), 0x1234);
    if (r.name.isEmpty() == r.error.isEmpty() || r.name.size() > 15 || r.name.contains(QChar(0x1b)))
        std::abort();
    return 0;
}
