// DNS-SD answers and announcements as any host on the link may send them: no input faults; a message is read
// whole or refused with a reason, within its bounds, and what the services make of it stays within theirs.
#include "platform/DnsMessage.h"
#include "recognition/ServiceClues.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray msg(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const std::optional<quint16> id : {std::optional<quint16>(), std::optional<quint16>(0x1234)}) {
        const dnsmsg::Records r = dnsmsg::parseRecords(msg, id);
        if ((!r.error.isEmpty() && !r.records.isEmpty()) || r.records.size() > dnsmsg::kMaxRecords)
            std::abort();
        DeviceServices services;
        services.add(r.records, 0xC6120007);
        services.add(r.records);
        for (const dnsmsg::Record& record : r.records) {
            if (record.txt.size() > dnsmsg::kMaxTxtEntries)
                std::abort();
        }
        if (services.serviceTypes().size() > DeviceServices::kMaxServices
            || services.instancesWithoutTxt().size() > DeviceServices::kMaxInstances)
            std::abort();
        // A name is one label or one host name at most.
        if (services.deviceName().size() > 255)
            std::abort();
        const Clue c = services.clue();
        if (c.isEmpty() != (c.source == FactSource::None))
            std::abort();
    }
    return 0;
}
