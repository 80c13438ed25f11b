// Heard ARP: a stranger that speaks for itself on a swept range (announces itself, probes for the address it is
// about to take, asks for another host) is admitted through the harvest's own admission at once instead of at
// the end of the next sweep, and any ARP of a known device, answers too, counts as seeing it. An answer admits its
// sender at once when it answers this machine's own question: sent to its MAC, from an address the sweep asked
// within the last three seconds; an answer to another host's question admits nobody. Passive
// evidence only adds sightings: going offline still takes two sweeps without one, and an address change is
// left to the harvest, which sees every address a MAC holds.

#include "engine/AddressText.h"
#include "engine/ErrorTrap.h"
#include "engine/frmClient.h"
#include "platform/NetPlatform.h"
#include "store/DeviceTable.h"

namespace {

QString kindText(HeardArp::Kind kind)
{
    switch (kind) {
    case HeardArp::Reply:
        return QStringLiteral("reply");
    case HeardArp::Probe:
        return QStringLiteral("probe");
    case HeardArp::Announcement:
        return QStringLiteral("announcement");
    default:
        return QStringLiteral("request");
    }
}

} // namespace

qint32 frmClient::rangeOf(const std::array<quint8, 4>& ip) const
{
    const quint32 address = AddressText::toNumber(ip);
    for (qint32 r = 0; r < qint32(m_ranges.size()); ++r) {
        if (m_ranges.at(r).contains(address))
            return r;
    }
    return -1;
}

void frmClient::arpHeard(const HeardArp& arp)
{
    runTrapped("HeardArp", [&] {
        // Only what a sweep would look at: while running, inside the ranges it sweeps.
        const qint32 range = m_running ? rangeOf(arp.ip) : -1;
        const QString ip = AddressText::ipText(arp.ip);
        if (range < 0 || !isDeviceMac(arp.mac, ip, QStringLiteral("HeardArp")))
            return;
        const QString mac = AddressText::macText(arp.mac);
        const QDateTime now = currentTime();
        qint32 index = m_devices.indexOfMac(mac);
        bool cameOnline = true;
        if (index < 0) {
            if (arp.kind == HeardArp::Reply && (!arp.toHost || !m_sweep.asked(AddressText::toNumber(arp.ip), m_ticks)))
                return;
            const qint32 before = m_devices.DeviceCount;
            AddNewMacEntry(mac, ip, NeighbourType::Dynamic);
            storeAdmissions();
            if (m_devices.DeviceCount <= before)
                return;
            index = m_devices.DeviceCount - 1;
            Log(QStringLiteral("HeardArp - %1 admitted at %2 from an ARP %3").arg(mac, ip, kindText(arp.kind)));
        } else {
            const DeviceRecord& known = m_devices[index];
            // Offline as far as the last harvest went.
            cameOnline = !known.isOnline();
            if (cameOnline)
                Log(QStringLiteral("HeardArp - %1 back at %2 from an ARP %3").arg(mac, ip, kindText(arp.kind)));
        }
        // The router's own ARP keeps its hold on the gateway address, as a harvest that finds it does.
        noteGatewaySighting(mac, ip, now);
        DeviceRecord& device = m_devices[index];
        device.NetworkIndex = range;
        device.PresenceCountdown = SightedCountdown;
        if (!cameOnline)
            return;
        // The harvest's own presence step for this device alone; the next harvest then sees no change to report.
        device.OnlineState = 0;
        trackPresence(now, index);
        m_devices[index].OnlineState = SightedCountdown;
        m_onlineAddressesValid = false;
    });
}
