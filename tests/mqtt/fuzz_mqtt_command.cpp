// The command payload parser against arbitrary bytes from the broker.
#include "mqtt/MqttCommand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const MqttCommand command =
        parseMqttCommand(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    // A command is either valid or says why not, never both.
    if (command.valid() == !command.error.isEmpty())
        __builtin_trap();
    return 0;
}
