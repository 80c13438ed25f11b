#pragma once

#include "store/DeviceRecord.h"

#include <QHash>
#include <QString>
#include <memory>
#include <vector>

// The devices of the process, owned by their MAC. A record stays where it is until its device is removed, so a
// pointer from find() or append() is good until then; nothing outside knows a position. Iteration follows the
// order in which devices came in (the store's order at a load, then admission order), which the lists expect.
class DeviceStore final
{
public:
    DeviceStore() = default;
    Q_DISABLE_COPY_MOVE(DeviceStore)

    // Takes record in as the last device; a MAC that is already here (or empty) changes nothing and gives null.
    DeviceRecord* append(DeviceRecord record);
    // The device leaves; false when nobody has that MAC.
    bool remove(const QString& mac);
    void clear();

    DeviceRecord* find(const QString& mac);
    const DeviceRecord* find(const QString& mac) const;
    // The device a MAC belongs to: the one carrying it, else the one that holds it among its FormerMacs (a device
    // merged into another is that one when its MAC comes back), or null. What finds devices on the network asks
    // this; an unknown MAC is rare, so the former MACs are searched only then.
    DeviceRecord* findDevice(const QString& mac);
    bool contains(const QString& mac) const { return m_byMac.contains(mac); }
    // How many devices there are, for reports and bounds.
    qsizetype size() const { return qsizetype(m_devices.size()); }
    bool isEmpty() const { return m_devices.empty(); }

    template<typename Record, typename Inner> class Iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = DeviceRecord;
        using difference_type = std::ptrdiff_t;
        using pointer = Record*;
        using reference = Record&;
        explicit Iterator(Inner at)
            : m_at(at)
        { }
        Record& operator*() const { return **m_at; }
        Record* operator->() const { return m_at->get(); }
        Iterator& operator++()
        {
            ++m_at;
            return *this;
        }
        bool operator==(const Iterator& other) const { return m_at == other.m_at; }
        bool operator!=(const Iterator& other) const { return m_at != other.m_at; }

    private:
        Inner m_at;
    };
    using Records = std::vector<std::unique_ptr<DeviceRecord>>;
    using iterator = Iterator<DeviceRecord, Records::iterator>;
    using const_iterator = Iterator<const DeviceRecord, Records::const_iterator>;
    iterator begin() { return iterator(m_devices.begin()); }
    iterator end() { return iterator(m_devices.end()); }
    const_iterator begin() const { return const_iterator(m_devices.cbegin()); }
    const_iterator end() const { return const_iterator(m_devices.cend()); }

private:
    Records m_devices;
    QHash<QString, DeviceRecord*> m_byMac;
};
