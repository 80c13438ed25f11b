// Admission of a MAC address that the harvest found inside a swept range and no device carries: a new device
// record, its store key with all nine values, and the Admitted event (its history, row and alerts are the
// subscribers' business). A default gateway of a local adapter is admitted as safe, unless the gateway's known MAC is
// still about: a second MAC answering for it is an intruder (GatewayWatch.cpp). The harvest and every other source of
// sightings admit through here.

#include "engine/AddressText.h"
#include "engine/ErrorTrap.h"
#include "engine/frmClient.h"
#include "store/DeviceTable.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

#include <utility>

void frmClient::AddNewMacEntry(const QString& mac, const QString& ip, quint8 type)
{
    runTrapped("AddNewMacEntry", [&] {
        // A storm of made-up MACs must not eat the memory and the store: past the bound nobody new is admitted.
        if (m_devices.DeviceCount >= MaxDevices) {
            if (!std::exchange(m_tableFullLogged, true))
                Log(QStringLiteral("AddNewMacEntry - the device table is full (%1 devices); %2 and every later new "
                                   "MAC are not admitted until devices are removed")
                        .arg(MaxDevices)
                        .arg(mac));
            return;
        }
        m_tableFullLogged = false;
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
        device.LastSeen = now;
        device.LastOffline = TextForms::NeverDate();
        device.HostName = DeviceRecord::unknownHostName();
        device.NameLookupPending = true;
        device.OnlineState = 0;
        device.PresenceCountdown = 2;
        // No macChanged(): the new slot lies past every slot the MAC index holds, and the index takes in
        // appended slots by itself, so a harvest admitting hundreds of devices never rebuilds it.

        if (const auto address = AddressText::parseIPv4(ip))
            device.Network = networkOfRange(rangeOf(*address));
        device.NewDevice = !gateway;
        device.Intruder = !gateway;
        if (gateway)
            device.FriendlyName = QStringLiteral("Default Gateway");
        const DeviceRecord admitted = device;

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
                {QStringLiteral("Network"), admitted.Network},
            }});

        if (impersonation)
            Log(QStringLiteral("Gateway - %1 answers for the gateway %2 while its known MAC is about").arg(mac, ip));
        DeviceEvent event = newEvent(DeviceEvent::Kind::Admitted, index, now);
        event.address = ip;
        event.intruder = admitted.Intruder;
        event.impersonation = impersonation;
        Q_EMIT deviceEvent(event);
    });
}

void frmClient::storeAdmissions()
{
    if (m_unstoredAdmissions.isEmpty())
        return;
    const auto admissions = std::exchange(m_unstoredAdmissions, {});
    modRegistry::WriteKeys(modRegistry::ProductKey, admissions);
}
