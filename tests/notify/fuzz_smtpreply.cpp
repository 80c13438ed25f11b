// Whatever a server sends: reading replies never crashes, never takes more than it was given, and the
// judgement of every state is defined.
#include "notify/SmtpClient.h"
#include "notify/SmtpReply.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArrayView buffer(reinterpret_cast<const char*>(data), qsizetype(size));
    while (const auto reply = SmtpReply::take(buffer)) {
        if (reply->length <= 0 || reply->length > buffer.size() || reply->lines.isEmpty())
            std::abort();
        (void)SmtpReply::extensions(*reply);
        for (qint16 state = -1; state <= 13; ++state)
            (void)SmtpClient::judgeReply(state, *reply);
        (void)reply->firstLine();
        buffer = buffer.sliced(reply->length);
    }
    return 0;
}
