// NetBIOS node-status replies as any host may send them: no input faults, each gives an error or a name of
// 1 to 15 printable ASCII characters.
#include "platform/NbstatMessage.h"

#include <QRegularExpression>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QRegularExpression printable(QStringLiteral("^[ -~]{1,15}$"));
    const auto r =
        nbstat::parseNodeStatusReply(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), 0x1234);
    if (r.error.isEmpty() != printable.match(r.name).hasMatch())
        std::abort();
    return 0;
}
