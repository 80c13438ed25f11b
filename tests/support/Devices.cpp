#include "Devices.h"

#include "store/TextForms.h"

qint32 appendDevice(DeviceTable& table, const QString& mac, const QString& ip, const QDateTime& seen)
{
    const qint32 slot = table.DeviceCount;
    table.DeviceCount = slot + 1;
    table.ResizeDeviceTable(table.DeviceCount);
    DeviceRecord& d = table[slot];
    d = DeviceRecord::empty();
    d.MacAddress = mac;
    d.IpAddress = ip;
    d.HostName = QStringLiteral("Unknown Device");
    d.FirstSeen = seen;
    d.LastOnline = seen;
    d.LastOffline = TextForms::NeverDate();
    table.macChanged();
    return slot;
}
