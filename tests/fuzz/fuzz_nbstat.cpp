// NetBIOS node-status replies as any host may send them: every input parses without fault, and a reply
// gives either a name of at most 15 printable ASCII characters or an error.
#include "platform/NbstatMessage.h"

#include <QRegularExpression>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QRegularExpression printable(QStringLiteral("^[ -~]{1,15}$"));
    const dnsmsg::NameReply r =
        nbstat::parseNodeStatusReply(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), 0x1234);
    if (r.error.isEmpty() != printable.match(r.name).hasMatch())
        std::abort();
    return 0;
}
