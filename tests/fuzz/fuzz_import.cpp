// Files handed to `kestrelwatch-ctl import` or the window's Import: any file either gives devices or one fault
// that names a line of the file; every device it gives has a device's own MAC, names the one name filter keeps
// and intervals that end after they start, none in the future and at most a day's stays a day, and exporting
// those devices and reading the export back gives the same devices.
#include "devicefile/DeviceExport.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceText.h"
#include "store/MacAddress.h"

#include <QRegularExpression>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = (installLogSink([](const QString&, const QString&) {}), true);
    (void)quiet;
    auto require = [](bool holds) {
        if (!holds)
            __builtin_trap();
    };
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    const DeviceExport::Parsed parsed = DeviceExport::parse(file);
    if (!parsed.fault.isEmpty()) {
        static const QRegularExpression line(QStringLiteral("^line (\\d+): "));
        const QRegularExpressionMatch m = line.match(parsed.fault);
        require(m.hasMatch() && m.captured(1).toLongLong() >= 1 && m.captured(1).toLongLong() <= file.count('\n') + 1);
        require(parsed.devices.isEmpty());
        return 0;
    }
    DeviceStore table;
    require(parsed.devices.size() <= DeviceStore::MaxDevices);
    const QDateTime latest = kwclock::now().addSecs(DeviceExport::FutureSkewSecs);
    for (const DeviceExport::Imported& device : parsed.devices) {
        const DeviceRecord& d = device.record;
        require(MacAddress::isDeviceMac(d.MacAddress));
        require(DeviceText::filterName(d.FriendlyName).ok() && DeviceText::filterName(d.HostName).ok());
        QHash<QDate, int> stays;
        for (const PresenceInterval& i : device.intervals) {
            require(i.from.isValid() && i.from <= i.to && i.to <= latest);
            require(++stays[i.from.toUTC().date()] <= PresenceStore::MaxStaysPerDay);
        }
        require(table.append(d) != nullptr); // the file names each MAC once
    }
    for (const auto format : {DeviceExport::Format::Json, DeviceExport::Format::Csv}) {
        const DeviceExport::Parsed again = DeviceExport::parse(DeviceExport::exportText(table, format).toUtf8());
        require(again.fault.isEmpty() && again.devices.size() == parsed.devices.size());
        for (qsizetype i = 0; i < again.devices.size(); ++i) {
            const DeviceRecord& a = again.devices[i].record;
            const DeviceRecord& b = parsed.devices[i].record;
            require(a.MacAddress == b.MacAddress && a.FriendlyName == b.FriendlyName && a.HostName == b.HostName
                && a.Intruder == b.Intruder && a.NewDevice == b.NewDevice && a.IpAddress == b.IpAddress);
        }
    }
    return 0;
}
