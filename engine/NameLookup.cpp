// Host names: one reverse lookup at a time, devices in the store's order, each device's name taken only while it is
// online and its address is not shared with another online device.

#include "engine/AddressText.h"
#include "engine/Describer.h"
#include "engine/DiscoveryEngine.h"
#include "engine/ErrorTrap.h"
#include "platform/DebugSink.h"
#include "platform/NetPlatform.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/Settings.h"

#include <QPointer>
#include <QTimer>

#include <limits>

namespace {
constexpr int kRefusedLookup = 1; // the error code of a lookup that could not be asked
} // namespace

void DiscoveryEngine::ScanNextName()
{
    runTrapped("ScanNextName", [this] {
        if (m_hostLookupHandle != 0 || m_ask)
            return;
        m_lookupMac.clear();
        if (!m_running || m_devices.isEmpty()) {
            m_nameWalk.clear();
            return;
        }
        // The walk visits every device once in the store's order; the next walk starts when it has ended, so
        // that each lookup costs a step, not a search of the whole store.
        if (m_nameWalkAt >= m_nameWalk.size()) {
            m_nameWalk.clear();
            m_nameWalkAt = 0;
            for (const DeviceRecord& device : std::as_const(m_devices)) {
                if (device.NameLookupPending)
                    m_nameWalk.append(device.MacAddress);
            }
        }
        DeviceRecord* device = nullptr;
        while (!device && m_nameWalkAt < m_nameWalk.size()) {
            // Removed since the walk began, or named meanwhile: the next one.
            device = m_devices.find(m_nameWalk.at(m_nameWalkAt));
            if (!device)
                m_onlineAddressesValid = false;
            else if (!device->NameLookupPending)
                device = nullptr;
            if (!device)
                ++m_nameWalkAt;
        }
        if (!device)
            return;
        m_lookupMac = device->MacAddress;
        m_lookupStart = m_secondsCounter;

        // The platform answers from the event loop, never from inside lookupAddress, so the handle is known
        // by the time the reply comes. The engine may be gone by then.
        QPointer<DiscoveryEngine> self(this);
        auto done = [self](int handle, int error, const QString& name) {
            if (self)
                self->HostScanReply(handle, error, name);
        };
        const QString& ip = device->IpAddress;
        if (AddressText::parseIPv4(ip).has_value())
            m_hostLookupHandle = m_net.lookupAddress(ip, std::move(done));
        if (m_hostLookupHandle == 0)
            refuseLookup();
    });
}

// A stored address that is empty or no dotted quad cannot be looked up. The lookup then fails as any other
// does, from the event loop, so the walk moves on to the next device instead of stopping at this one.
void DiscoveryEngine::refuseLookup()
{
    m_lastRefusedHandle = m_lastRefusedHandle <= std::numeric_limits<int>::min() + 1 ? -1 : m_lastRefusedHandle - 1;
    const int handle = m_lastRefusedHandle;
    m_hostLookupHandle = handle;
    QTimer::singleShot(0, this, [this, handle] { HostScanReply(handle, kRefusedLookup, QString()); });
}

bool DiscoveryEngine::sharesOnlineAddress(const DeviceRecord& device)
{
    if (!m_onlineAddressesValid || m_onlineAddresses.isEmpty()) {
        m_onlineAddresses.clear();
        for (const DeviceRecord& other : std::as_const(m_devices)) {
            if (other.PresenceCountdown != 0)
                ++m_onlineAddresses[other.IpAddress];
        }
        m_onlineAddressesValid = true;
    }
    return m_onlineAddresses.value(device.IpAddress) > 1;
}

void DiscoveryEngine::HostScanReply(int handle, int error, const QString& name)
{
    runTrapped("HostScanReply", [&] {
        // Replies of cancelled lookups carry a handle that is no longer pending.
        if (handle == 0 || handle != m_hostLookupHandle)
            return;
        m_hostLookupHandle = 0;
        // The device may have been removed while the lookup ran: the reply is then nobody's, and the count of
        // devices at each address is out of date.
        DeviceRecord* device = m_running ? m_devices.find(m_lookupMac) : nullptr;
        if (!device) {
            m_onlineAddressesValid = false;
            ScanNextName();
            return;
        }
        QString host;
        if (error == 0) {
            host = name;
            const qsizetype zero = host.indexOf(QChar(0));
            if (zero >= 0)
                host.truncate(zero);
            host = admittedName(*device, QStringLiteral("reverse DNS"), host);
        }
        // Two online devices sharing the address: the name may be either's.
        const bool accepted = device->PresenceCountdown != 0 && !sharesOnlineAddress(*device);
        const QString mac = device->MacAddress;
        if (accepted && !host.isEmpty() && host != device->HostName)
            storeHostName(*device, host);
        device = m_devices.find(mac);
        // No reverse name: the device itself may know one. Its flag stays set until that question ends.
        if (device && accepted && host.isEmpty() && askDevice(*device))
            return;
        if (device)
            device->NameLookupPending = false;
        ScanNextName();
    });
}

QString DiscoveryEngine::admittedName(const DeviceRecord& device, const QString& source, const QString& raw)
{
    const DeviceText::Name name = DeviceText::filterName(raw);
    if (!name.ok() && m_nameRefusals.firstTime(device.MacAddress + QLatin1Char(' ') + source))
        Log(kwEngine,
            QStringLiteral("Names - %1 name of %2 (%3) refused, it %4: %5")
                .arg(source, device.MacAddress, device.IpAddress, name.refusal, raw.left(80)));
    return name.text;
}

void DiscoveryEngine::storeHostName(DeviceRecord& device, const QString& host)
{
    device.HostName = host;
    KeyStore::writeString(KeyStore::ProductKey, Keys::deviceKey(device.MacAddress), DeviceCodec::Name::HostName, host);
    // Linked before the name is told: the alerts held for the name then name the earlier device too.
    const std::optional<DeviceEvent> likely = linkLikelyReturn(device);
    DeviceEvent event = newEvent(DeviceEvent::Kind::NameChanged, device, currentTime());
    event.name = host;
    const QString mac = device.MacAddress;
    Q_EMIT deviceEvent(event);
    // A subscriber may have removed it.
    if (likely && m_devices.contains(mac))
        Q_EMIT deviceEvent(*likely);
    m_describer->hintsChanged(mac);
}
