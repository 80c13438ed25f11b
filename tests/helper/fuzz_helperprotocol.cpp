// libFuzzer harness of the helper's request parser: any bytes from the pipe, frame after frame.

#include "helper/HelperProtocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace helperproto;
    std::size_t used = 0;
    while (used < size) {
        const ParseResult r = parseRequest(data + used, size - used);
        if (r.status == Parse::NeedMore)
            break;
        if (r.consumed < kHeaderBytes || r.consumed > size - used)
            std::abort();
        if (r.status == Parse::Ok && r.request.echoTargets.size() + r.request.neighbours.size() == 0)
            std::abort();
        used += r.consumed;
    }
    const ReplyResult reply = parseReply(data, size);
    if (reply.status != Parse::NeedMore && reply.consumed > size)
        std::abort();
    return 0;
}
