// A push server's reply, as any server may send it, summed up for "Send test": always one short line of plain
// text that begins with what happened, whatever the body holds (HTML, JSON, control characters, half a tag).
#include "channels/ChannelAnswer.h"
#include "channels/ChannelMessage.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes are the status, the rest the body as it came.
    const int status = (data[0] << 8 | data[1]) % 600;
    const QByteArray body(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    const QString line = ChannelAnswer::summary(status, replyText(body), QStringLiteral("no answer in time"));
    auto require = [](bool holds) {
        if (!holds)
            __builtin_trap();
    };
    require(line.size() <= 120);
    require(line.startsWith(QLatin1String("Sent: ")) || line.startsWith(QLatin1String("Refused by the server"))
        || line.startsWith(QLatin1String("Not sent: ")));
    for (const QChar c : line)
        require(c.unicode() >= 0x20 && c.unicode() != 0x7F);
    return 0;
}
