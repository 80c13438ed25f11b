// Admission of a MAC address that the harvest found inside a swept range and no device carries: a new device
// record, its store key with all nine values, two history lines, its row in the window, and the new-intruder
// alerts. A default gateway of a local adapter is admitted as safe, unless the gateway's known MAC is still
// about: a second MAC answering for it is an intruder (GatewayWatch.cpp). The harvest and every other source
// of sightings admit through here.

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
        const bool impersonation = gatewayHeldByOther(ip, mac, now);
        const bool gateway = !impersonation && m_gateways.contains(ip);
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
        device.HostName = DeviceRecord::unknownHostName();
        device.NameLookupPending = true;
        device.OnlineState = 0;
        device.PresenceCountdown = 2;
        // No macChanged(): the new slot lies past every slot the MAC index holds, and the index takes in
        // appended slots by itself, so a harvest admitting hundreds of devices never rebuilds it.

        device.NewDevice = !gateway;
        device.Intruder = !gateway;
        if (gateway)
            device.FriendlyName = QStringLiteral("Default Gateway");
        const DeviceRecord admitted = device;

        m_window.Load_Log(index);

        // A crash part-way must never leave a key without "Intruder", which would load as a safe device: the
        // key and its values are written in one transaction, with the harvest's other admissions.
        m_unstoredAdmissions.append({Keys::deviceKey(mac),
            {
                {QStringLiteral("IP_Address"), admitted.IpAddress},
                {QStringLiteral("Host_Name"), admitted.HostName},
                {QStringLiteral("Friendly_Name"), admitted.FriendlyName},
                {QStringLiteral("New_Device"), TextForms::boolText(admitted.NewDevice)},
                {QStringLiteral("Intruder"), TextForms::boolText(admitted.Intruder)},
                {QStringLiteral("First_Seen"), TextForms::dateText(admitted.FirstSeen)},
                {QStringLiteral("Last_Online"), TextForms::dateText(admitted.LastOnline)},
                {QStringLiteral("Last_Offline"), TextForms::dateText(admitted.LastOffline)},
                {QStringLiteral("Mac_Type"), QString::number(type)},
            }});

        m_window.AddLogEntry(index, stamp(now) + QStringLiteral("** WARNING - NEW DEVICE **"));
        if (impersonation)
            warnGatewayImpersonation(index, ip, now);
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

void frmClient::storeAdmissions()
{
    if (m_unstoredAdmissions.isEmpty())
        return;
    const auto admissions = std::exchange(m_unstoredAdmissions, {});
    modRegistry::WriteKeys(modRegistry::ProductKey, admissions);
}
