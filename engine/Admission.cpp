// Admission of a MAC address that the harvest found inside a swept range and no device carries: a new device
// record, its store key with all its values, and the Admitted event (its history, row and alerts are the
// subscribers' business). A default gateway of a local adapter is admitted as safe, unless the gateway's known MAC is
// still about: a second MAC answering for it is an intruder (GatewayWatch.cpp). The harvest and every other source of
// sightings admit through here.

#include "engine/AddressText.h"
#include "engine/Describer.h"
#include "engine/DiscoveryEngine.h"
#include "engine/ErrorTrap.h"
#include "platform/DebugSink.h"
#include "store/DeviceCodec.h"
#include "store/DeviceDescription.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <utility>

DeviceRecord* DiscoveryEngine::AddNewMacEntry(const QString& mac, const QString& ip, quint8 type)
{
    DeviceRecord* added = nullptr;
    runTrapped("AddNewMacEntry", [&] {
        // A storm of made-up MACs must not eat the memory and the store: past the bound nobody new is admitted.
        if (m_devices.size() >= MaxDevices) {
            if (!std::exchange(m_tableFullLogged, true))
                Log(kwEngine,
                    QStringLiteral("AddNewMacEntry - the device table is full (%1 devices); %2 and every later new "
                                   "MAC are not admitted until devices are removed")
                        .arg(MaxDevices)
                        .arg(mac));
            return;
        }
        m_tableFullLogged = false;
        const QDateTime now = currentTime();
        const bool impersonation = gatewayHeldByOther(ip, mac, now);
        const bool gateway = !impersonation && m_gateways.contains(ip);

        DeviceRecord device = DeviceRecord::empty();
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
        if (const auto address = AddressText::parseIPv4(ip))
            device.Network = networkOfRange(rangeOf(*address));
        device.MacType = type;
        device.NewDevice = !gateway;
        device.Intruder = !gateway;
        if (gateway)
            device.FriendlyName = QStringLiteral("Default Gateway");
        // A DHCP request names the device as it arrives: a likely return is then told with the admission.
        DeviceRecord probe = device;
        probe.HostName = m_admissionNames.take(mac);
        const DeviceRecord* earlier = device.NewDevice && !probe.HostName.isEmpty() ? likelyEarlier(probe) : nullptr;
        DeviceEvent likely;
        if (earlier) {
            device.LikelyReturnOf = earlier->MacAddress;
            likely.earlierMac = earlier->MacAddress;
            likely.name = DeviceDescription::earlierName(*earlier);
            m_returnsNoted.insert(mac);
        }
        added = m_devices.append(device);
        if (!added)
            return;

        // A crash part-way must never leave a key without "Intruder": the key and its values are written in one
        // transaction, with the harvest's other admissions.
        m_unstored.append({Keys::deviceKey(mac), DeviceCodec::encode(device)});
        m_sightingStored.insert(mac, now);

        if (impersonation)
            Log(kwEngine,
                QStringLiteral("Gateway - %1 answers for the gateway %2 while its known MAC is about").arg(mac, ip));
        DeviceEvent event = newEvent(DeviceEvent::Kind::Admitted, device, now);
        event.address = ip;
        event.intruder = device.Intruder;
        event.impersonation = impersonation;
        event.earlierMac = likely.earlierMac;
        event.name = likely.name;
        Q_EMIT deviceEvent(event);
        // The weak hints; what they store follows the admission's own values into the same transaction.
        m_describer->hintsChanged(mac);
    });
    return added;
}

void DiscoveryEngine::noteSightings()
{
    for (const DeviceRecord& device : std::as_const(m_devices)) {
        if (!device.LastSeen.isValid())
            continue;
        const auto stored = m_sightingStored.constFind(device.MacAddress);
        const bool due = m_sightingDue.contains(device.MacAddress);
        if (stored != m_sightingStored.cend()
            && (*stored == device.LastSeen || (!due && stored->secsTo(device.LastSeen) < 60)))
            continue;
        m_unstored.append({Keys::deviceKey(device.MacAddress),
            {{DeviceCodec::Name::LastSeen, TextForms::storedDate(device.LastSeen)}}});
        m_sightingStored.insert(device.MacAddress, device.LastSeen);
    }
    m_sightingDue.clear();
}

void DiscoveryEngine::storeWrites()
{
    if (m_unstored.isEmpty())
        return;
    const auto writes = std::exchange(m_unstored, {});
    KeyStore::writeKeys(KeyStore::ProductKey, writes);
}
