#include "store/DeviceStore.h"

#include "store/TextForms.h"

#include <algorithm>

DeviceRecord DeviceRecord::empty()
{
    DeviceRecord r;
    r.LastOnline = TextForms::ZeroDate();
    r.LastOffline = TextForms::ZeroDate();
    r.FirstSeen = TextForms::ZeroDate();
    return r;
}

bool DeviceRecord::isOnline() const
{
    // The sweep's start copies the countdown to OnlineState before lowering it; the harvest that finds the
    // device gone dates its LastOffline after its LastOnline.
    return PresenceCountdown != 0 || (OnlineState != 0 && LastOnline >= LastOffline);
}

DeviceRecord* DeviceStore::append(DeviceRecord record)
{
    if (record.MacAddress.isEmpty() || m_byMac.contains(record.MacAddress))
        return nullptr;
    m_devices.push_back(std::make_unique<DeviceRecord>(std::move(record)));
    DeviceRecord* added = m_devices.back().get();
    m_byMac.insert(added->MacAddress, added);
    return added;
}

bool DeviceStore::remove(const QString& mac)
{
    DeviceRecord* gone = m_byMac.take(mac);
    if (!gone)
        return false;
    m_devices.erase(std::find_if(m_devices.begin(), m_devices.end(),
        [gone](const std::unique_ptr<DeviceRecord>& d) { return d.get() == gone; }));
    return true;
}

void DeviceStore::clear()
{
    m_byMac.clear();
    m_devices.clear();
}

DeviceRecord* DeviceStore::find(const QString& mac)
{
    return m_byMac.value(mac, nullptr);
}

const DeviceRecord* DeviceStore::find(const QString& mac) const
{
    return m_byMac.value(mac, nullptr);
}

DeviceRecord* DeviceStore::findDevice(const QString& mac)
{
    if (DeviceRecord* d = find(mac))
        return d;
    for (const auto& d : m_devices) {
        if (!d->FormerMacs.isEmpty() && d->FormerMacs.contains(mac))
            return d.get();
    }
    return nullptr;
}
