// UPnP device descriptions as a device (or whoever answers on its address) may serve them: no input faults, no
// entity expansion, each field bounded, and an error or a description, never both.
#include "recognition/UpnpClues.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const UpnpClues::Description d =
        UpnpClues::parseDescription(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!d.error.isEmpty() && !(d.deviceType + d.friendlyName + d.manufacturer + d.modelName).isEmpty())
        std::abort();
    for (const QString* field : {&d.deviceType, &d.friendlyName, &d.manufacturer, &d.modelName}) {
        if (field->size() > 256)
            std::abort();
    }
    UpnpClues::clueOf(d);
    return 0;
}
