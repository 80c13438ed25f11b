// A server's reply as the user sees it, against arbitrary bytes: bounded, one line, nothing that moves a cursor
// or turns text round.
#include "channels/ChannelMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = replyText(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (text.size() > 300)
        __builtin_trap();
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format || c.isSurrogate()
            || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            __builtin_trap();
    }
    return 0;
}
