// Host names: one reverse lookup at a time, devices in index order, each device's name taken only while it is
// online and its address is not shared with another online device.

#include "engine/AddressText.h"
#include "engine/Describer.h"
#include "engine/ErrorTrap.h"
#include "engine/frmClient.h"
#include "platform/NetPlatform.h"
#include "store/DeviceTable.h"
#include "store/Settings.h"
#include "store/modRegistry.h"

#include <QPointer>
#include <QTimer>

#include <limits>

namespace {
constexpr int kRefusedLookup = 1; // the error code of a lookup that could not be asked
} // namespace

void frmClient::ScanNextName()
{
    runTrapped("ScanNextName", [this] {
        if (m_hostLookupHandle != 0 || m_ask)
            return;
        // A removal moved devices between slots.
        if (blnEntryDeleted)
            m_onlineAddressesValid = false;
        blnEntryDeleted = false;
        const qint32 count = m_devices.DeviceCount;
        if (m_lookupIndex >= count || !m_running || count < 1) {
            m_lookupIndex = 0;
            return;
        }
        qint32 d = std::max(m_lookupIndex, 0);
        while (d < count && !m_devices[d].NameLookupPending)
            ++d;
        if (d >= count) {
            m_lookupIndex = 0;
            return;
        }
        m_lookupIndex = d;
        m_lookupStart = m_secondsCounter;

        // The platform answers from the event loop, never from inside lookupAddress, so the handle is known
        // by the time the reply comes. The engine may be gone by then.
        QPointer<frmClient> self(this);
        auto done = [self](int handle, int error, const QString& name) {
            if (self)
                self->HostScanReply(handle, error, name);
        };
        const QString& ip = m_devices[d].IpAddress;
        if (AddressText::parseIPv4(ip).has_value())
            m_hostLookupHandle = m_net.lookupAddress(ip, std::move(done));
        if (m_hostLookupHandle == 0)
            refuseLookup();
    });
}

// A stored address that is empty or no dotted quad cannot be looked up. The lookup then fails as any other
// does, from the event loop, so the walk moves on to the next device instead of stopping at this one.
void frmClient::refuseLookup()
{
    m_lastRefusedHandle = m_lastRefusedHandle <= std::numeric_limits<int>::min() + 1 ? -1 : m_lastRefusedHandle - 1;
    const int handle = m_lastRefusedHandle;
    m_hostLookupHandle = handle;
    QTimer::singleShot(0, this, [this, handle] { HostScanReply(handle, kRefusedLookup, QString()); });
}

bool frmClient::sharesOnlineAddress(qint32 device)
{
    if (!m_onlineAddressesValid || m_onlineAddresses.isEmpty()) {
        m_onlineAddresses.clear();
        for (qint32 d = 0; d < m_devices.DeviceCount; ++d) {
            if (m_devices[d].PresenceCountdown != 0)
                ++m_onlineAddresses[m_devices[d].IpAddress];
        }
        m_onlineAddressesValid = true;
    }
    return m_onlineAddresses.value(m_devices[device].IpAddress) > 1;
}

void frmClient::HostScanReply(int handle, int error, const QString& name)
{
    runTrapped("HostScanReply", [&] {
        // Replies of cancelled lookups carry a handle that is no longer pending.
        if (handle == 0 || handle != m_hostLookupHandle)
            return;
        if (!m_running || m_devices.DeviceCount < 1) {
            m_hostLookupHandle = 0;
            m_lookupIndex = 0;
            return;
        }
        m_hostLookupHandle = 0;
        // A device was removed while the lookup ran: LookupIndex may now name another device.
        if (blnEntryDeleted || !m_devices.isValid(m_lookupIndex)) {
            ScanNextName();
            return;
        }
        const qint32 d = m_lookupIndex;
        QString host;
        if (error == 0) {
            host = name;
            const qsizetype zero = host.indexOf(QChar(0));
            if (zero >= 0)
                host.truncate(zero);
            host = admittedName(d, QStringLiteral("reverse DNS"), host);
        }
        // Two online devices sharing the address: the name may be either's.
        const bool accepted = m_devices[d].PresenceCountdown != 0 && !sharesOnlineAddress(d);
        if (accepted && !host.isEmpty() && host != m_devices[d].HostName)
            storeHostName(d, host);
        // No reverse name: the device itself may know one. Its flag stays set until that question ends.
        if (accepted && host.isEmpty() && askDevice(d))
            return;
        if (m_devices.isValid(d))
            m_devices[d].NameLookupPending = false;
        ScanNextName();
    });
}

QString frmClient::admittedName(qint32 d, const QString& source, const QString& raw)
{
    const DeviceText::Name name = DeviceText::filterName(raw);
    if (!name.ok() && m_nameRefusals.firstTime(m_devices[d].MacAddress + QLatin1Char(' ') + source))
        Log(QStringLiteral("Names - %1 name of %2 (%3) refused, it %4: %5")
                .arg(source, m_devices[d].MacAddress, m_devices[d].IpAddress, name.refusal, raw.left(80)));
    return name.text;
}

void frmClient::storeHostName(qint32 d, const QString& host)
{
    m_devices[d].HostName = host;
    modRegistry::WriteString(
        modRegistry::ProductKey, Keys::deviceKey(m_devices[d].MacAddress), QStringLiteral("Host_Name"), host);
    DeviceEvent event = newEvent(DeviceEvent::Kind::NameChanged, d, currentTime());
    event.name = host;
    Q_EMIT deviceEvent(event);
    notePossibleReturn(d);
    m_describer->hintsChanged(m_devices[d].MacAddress);
}
