// Admission of a MAC address that the harvest found inside a swept range and no device carries: a new device
// record, its store key with all nine values, two history lines, its row in the window, and the new-intruder
// alerts. A default gateway of a local adapter is admitted as safe.

#include "engine/ErrorTrap.h"
#include "engine/MainWindowSeam.h"
#include "engine/frmClient.h"
#include "store/DeviceTable.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

#include <limits>

void frmClient::AddNewMacEntry(const QString& mac, const QString& ip, quint8 type)
{
    runTrapped("AddNewMacEntry", m_window, [&] {
        if (m_devices.DeviceCount >= std::numeric_limits<qint32>::max() - 1) {
            Log(QStringLiteral("AddNewMacEntry - the device table is full; %1 is not admitted").arg(mac));
            return;
        }
        const QDateTime now = currentTime();
        const qint32 index = m_devices.DeviceCount;
        m_devices.DeviceCount = index + 1;
        m_devices.ResizeDeviceTable(m_devices.DeviceCount);

        DeviceRecord& device = m_devices[index];
        // The slot may still hold a record left behind when the count was lowered; the new device starts clean.
        device = DeviceRecord::empty();
        device.MacAddress = mac;
        device.IpAddress = ip;
        device.LastOnline = now;
        device.FirstSeen = now;
        device.LastOffline = TextForms::NeverDate();
        device.HostName = QStringLiteral("Unknown Device");
        device.NameLookupPending = true;
        device.OnlineState = 0;
        device.PresenceCountdown = 2;
        m_devices.macChanged();

        const bool gateway = m_gateways.contains(ip);
        device.NewDevice = !gateway;
        device.Intruder = !gateway;
        if (gateway)
            device.FriendlyName = QStringLiteral("Default Gateway");
        const DeviceRecord admitted = device;

        m_window.Load_Log(index);

        const QString& product = modRegistry::ProductKey;
        const QString key = Keys::deviceKey(mac);
        modRegistry::CreateKey(product, key);
        modRegistry::WriteString(product, key, QStringLiteral("IP_Address"), admitted.IpAddress);
        modRegistry::WriteString(product, key, QStringLiteral("Host_Name"), admitted.HostName);
        modRegistry::WriteString(product, key, QStringLiteral("Friendly_Name"), admitted.FriendlyName);
        modRegistry::WriteString(product, key, QStringLiteral("New_Device"), TextForms::boolText(admitted.NewDevice));
        modRegistry::WriteString(product, key, QStringLiteral("Intruder"), TextForms::boolText(admitted.Intruder));
        modRegistry::WriteString(product, key, QStringLiteral("First_Seen"), TextForms::dateText(admitted.FirstSeen));
        modRegistry::WriteString(product, key, QStringLiteral("Last_Online"), TextForms::dateText(admitted.LastOnline));
        modRegistry::WriteString(
            product, key, QStringLiteral("Last_Offline"), TextForms::dateText(admitted.LastOffline));
        modRegistry::WriteString(product, key, QStringLiteral("Mac_Type"), QString::number(type));

        m_window.AddLogEntry(index, stamp(now) + QStringLiteral("** WARNING - NEW DEVICE **"));
        m_window.AddLogEntry(index, stamp(now) + QStringLiteral("Connected ( ") + ip + QStringLiteral(" )"));
        m_window.AddNewDevice(index);

        if (!admitted.Intruder)
            return;
        if (LiveSettings::on(m_settings.chkNewIntruderSound))
            m_window.playNewIntruderSound(m_settings.slideVolume);
        if (LiveSettings::on(m_settings.chkNewIntruderPopup) && !m_window.isMainWindowVisible())
            m_window.SysTrayMouseEventHandlerleft();
        if (LiveSettings::on(m_settings.chkNewIntruderEmail))
            m_window.SendNewEmail(index);
        m_window.notifyDesktop(index, true);
        m_window.setLastIntruderWarning(now);
    });
}
