// Heard ARP: a stranger that speaks for itself on a swept range (announces itself, probes for the address it is
// about to take, asks for another host) is admitted through the harvest's own admission at once instead of at
// the end of the next sweep, and any ARP of a known device, answers too, counts as seeing it. An answer admits its
// sender at once when it answers this machine's own question: sent to its MAC, from an address the sweep asked
// within the last three seconds; an answer to another host's question admits nobody. Passive
// evidence only adds sightings: going offline still takes two sweeps without one, and an address change is
// left to the harvest, which sees every address a MAC holds. Heard DHCP admits and sights through the same
// routine, heardSighting.

#include "engine/AddressText.h"
#include "engine/DiscoveryEngine.h"
#include "engine/ErrorTrap.h"
#include "platform/DebugSink.h"
#include "platform/NetPlatform.h"
#include "store/DeviceStore.h"

namespace {

QString arpKindText(Heard::Kind kind)
{
    switch (kind) {
    case Heard::ArpReply:
        return QStringLiteral("reply");
    case Heard::ArpProbe:
        return QStringLiteral("probe");
    case Heard::ArpAnnouncement:
        return QStringLiteral("announcement");
    default:
        return QStringLiteral("request");
    }
}

} // namespace

qint32 DiscoveryEngine::rangeOf(const std::array<quint8, 4>& ip) const
{
    const quint32 address = AddressText::toNumber(ip);
    for (qint32 r = 0; r < qint32(m_ranges.size()); ++r) {
        if (m_ranges.at(r).holdsHost(address))
            return r;
    }
    return -1;
}

DeviceRecord* DiscoveryEngine::heardSighting(
    const QString& mac, const QString& ip, qint32 range, bool mayAdmit, const QString& source, const QString& what)
{
    if (!rangeWatched(range))
        return nullptr;
    // A former MAC of a merged device is that device.
    DeviceRecord* device = m_devices.findDevice(mac);
    bool cameOnline = true;
    if (!device) {
        if (!mayAdmit)
            return nullptr;
        device = AddNewMacEntry(mac, ip, NeighbourType::Dynamic);
        storeWrites();
        if (!device)
            return nullptr;
        Log(kwEngine, QStringLiteral("%1 - %2 admitted at %3 from %4").arg(source, mac, ip, what));
    } else {
        // Offline as far as the last harvest went.
        cameOnline = !device->isOnline();
        if (cameOnline)
            Log(kwEngine, QStringLiteral("%1 - %2 back at %3 from %4").arg(source, mac, ip, what));
    }
    device->NetworkIndex = range;
    device->PresenceCountdown = SightedCountdown;
    noteSighting(*device, range, currentTime());
    if (cameOnline) {
        // The harvest's own presence step for this device alone; the next harvest then sees no change to report.
        device->OnlineState = 0;
        trackPresence(currentTime(), device);
        storeWrites();
        // A subscriber may have removed it meanwhile.
        device = m_devices.findDevice(mac);
        if (!device)
            return nullptr;
        device->OnlineState = SightedCountdown;
        m_onlineAddressesValid = false;
    }
    return device;
}

void DiscoveryEngine::arpHeard(const Heard& arp)
{
    runTrapped("HeardArp", [&] {
        // Only what a sweep would look at: while running, inside the ranges it sweeps; and not what was heard
        // while the monitor slept.
        lookAtClocks();
        const qint32 range = m_running && !heardQuiet() ? rangeOf(arp.ip) : -1;
        const QString ip = AddressText::ipText(arp.ip);
        const QByteArray macBytes = AddressText::macBytes(arp.mac);
        if (range < 0 || !isDeviceMac(macBytes, ip, QStringLiteral("HeardArp")))
            return;
        const QString mac = AddressText::macText(macBytes);
        // An answer admits only when it answers this machine's own question.
        const bool admits =
            arp.kind != Heard::ArpReply || (arp.toHost && m_sweep.asked(AddressText::toNumber(arp.ip), m_ticks));
        // A stranger whose DHCP REQUEST asked for this address is admitted with the name it gave there.
        const auto pending = m_dhcpPending.constFind(mac);
        if (pending != m_dhcpPending.cend() && pending->ip == ip && !pending->name.isEmpty())
            m_admissionNames.insert(mac, QString::fromUtf8(pending->name));
        DeviceRecord* device = heardSighting(
            mac, ip, range, admits, QStringLiteral("HeardArp"), QStringLiteral("an ARP ") + arpKindText(arp.kind));
        m_admissionNames.remove(mac);
        if (!device)
            return;
        // The router's own ARP keeps its hold on the gateway address, as a harvest that finds it does.
        noteGatewaySighting(mac, ip, currentTime());
        dhcpConfirmed(mac, ip);
    });
}
