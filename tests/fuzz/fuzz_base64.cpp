// Base64 decoding of received text: any input decodes without fault, and what is encoded decodes back.
#include "store/Base64.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Base64 b;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    b.DecodeToByteArray(QString::fromUtf8(bytes));
    b.DecodeTostring(QString::fromLatin1(bytes));
    if (b.DecodeToByteArray(b.EncodeByteArray(bytes)) != bytes)
        std::abort();
    return 0;
}
