#include "store/DeviceTable.h"

#include "store/TextForms.h"

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

DeviceTable::DeviceTable()
{
    ResizeDeviceTable(0);
}

void DeviceTable::ResizeDeviceTable(qint32 count)
{
    m_slots.resize(size_t(std::max(count, 0)) + 1, DeviceRecord::empty());
    // Growing keeps every indexed slot as it was; only a cut below them makes the index stale.
    if (count < m_indexedCount)
        m_indexValid = false;
    // New slots start empty, without former MACs: only a cut makes the former index stale.
    if (count < DeviceCount)
        m_formerValid = false;
}

void DeviceTable::CopyDeviceRecord(qint32 from, qint32 to)
{
    m_slots[size_t(to)] = m_slots[size_t(from)];
    m_indexValid = false;
    m_formerValid = false;
}

void DeviceTable::removeSlot(qint32 index)
{
    if (!isValid(index))
        return;
    for (qint32 i = index; i < DeviceCount - 1; ++i)
        CopyDeviceRecord(i + 1, i);
    --DeviceCount;
    // The vacated slot is cleared so that the next admission into it starts from an empty record.
    m_slots[size_t(DeviceCount)] = DeviceRecord::empty();
    m_indexValid = false;
    m_formerValid = false;
}

qint32 DeviceTable::indexOfMac(const QString& mac) const
{
    // Admission only appends, so a grown count extends the index instead of rebuilding it.
    if (!m_indexValid || m_indexedCount > DeviceCount)
        rebuildIndex();
    for (qint32 i = m_indexedCount; i < DeviceCount; ++i) {
        const QString& key = m_slots[size_t(i)].MacAddress;
        if (!m_macIndex.contains(key))
            m_macIndex.insert(key, i);
    }
    m_indexedCount = DeviceCount;
    return m_macIndex.value(mac, -1);
}

void DeviceTable::rebuildIndex() const
{
    m_macIndex.clear();
    m_indexedCount = 0;
    m_indexValid = true;
}

qint32 DeviceTable::indexOfDevice(const QString& mac) const
{
    const qint32 slot = indexOfMac(mac);
    if (slot >= 0)
        return slot;
    // Few devices have former MACs and an unknown MAC is rare, so the index is built only when asked.
    if (!m_formerValid) {
        m_formerIndex.clear();
        for (qint32 i = 0; i < DeviceCount; ++i) {
            for (const QString& former : m_slots[size_t(i)].FormerMacs)
                m_formerIndex.insert(former, i);
        }
        m_formerValid = true;
    }
    const qint32 former = m_formerIndex.value(mac, -1);
    return former < DeviceCount ? former : -1;
}
