#include "Devices.h"

#include "store/TextForms.h"

DeviceRecord& appendDevice(DeviceStore& devices, const QString& mac, const QString& ip, const QDateTime& seen)
{
    DeviceRecord d = DeviceRecord::empty();
    d.MacAddress = mac;
    d.IpAddress = ip;
    d.HostName = QStringLiteral("Unknown Device");
    d.FirstSeen = seen;
    d.LastOnline = seen;
    d.LastSeen = seen;
    d.LastOffline = TextForms::NeverDate();
    DeviceRecord* added = devices.append(d);
    Q_ASSERT(added); // a test that appends a MAC twice is wrong
    return added ? *added : *devices.find(mac);
}

DeviceRecord& nth(DeviceStore& devices, qsizetype n)
{
    auto it = devices.begin();
    for (qsizetype i = 0; i < n && it != devices.end(); ++i)
        ++it;
    Q_ASSERT(it != devices.end());
    return *it;
}

qint32 positionOf(const DeviceStore& devices, const QString& mac)
{
    qint32 at = 0;
    for (const DeviceRecord& d : devices) {
        if (d.MacAddress == mac)
            return at;
        ++at;
    }
    return -1;
}
