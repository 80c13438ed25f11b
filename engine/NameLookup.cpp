// Host names: one reverse lookup at a time, devices in index order, each device's name taken only while it is
// online and its address is not shared with another online device.

#include "engine/ErrorTrap.h"
#include "engine/MainWindowSeam.h"
#include "engine/frmClient.h"
#include "platform/NetPlatform.h"
#include "store/DeviceTable.h"
#include "store/Settings.h"
#include "store/modRegistry.h"

#include <QPointer>

namespace {
constexpr qsizetype kNameBytes = 256; // the most of the reply's official name that is read
} // namespace

void frmClient::ScanNextName()
{
    runTrapped("ScanNextName", m_window, [this] {
        if (m_hostLookupHandle != 0)
            return;
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
        m_hostLookupHandle = m_net.lookupAddress(m_devices[d].IpAddress, std::move(done));
    });
}

void frmClient::HostScanReply(int handle, int error, const QString& name)
{
    runTrapped("HostScanReply", m_window, [&] {
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
        if (error == 0) {
            QString host = name.left(kNameBytes);
            const qsizetype zero = host.indexOf(QChar(0));
            if (zero >= 0)
                host.truncate(zero);

            const DeviceRecord& device = m_devices[d];
            bool accepted = device.PresenceCountdown != 0;
            for (qint32 other = 0; accepted && other < m_devices.DeviceCount; ++other) {
                if (other != d && m_devices[other].PresenceCountdown != 0
                    && m_devices[other].IpAddress == device.IpAddress)
                    accepted = false; // two online devices share the address: the name may be either's
            }
            if (accepted && !host.isEmpty() && host != device.HostName) {
                m_devices[d].HostName = host;
                modRegistry::WriteString(modRegistry::ProductKey, Keys::deviceKey(m_devices[d].MacAddress),
                    QStringLiteral("Host_Name"), host);
                m_window.AddLogEntry(d, stamp(currentTime()) + QStringLiteral("Name is ") + host);
                m_window.MacUpdateOccured(d);
            }
        }
        if (m_devices.isValid(d))
            m_devices[d].NameLookupPending = false;
        ScanNextName();
    });
}
