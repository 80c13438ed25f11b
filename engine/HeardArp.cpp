// Heard ARP: a stranger that speaks for itself on a swept range (announces itself, probes for the address it is
// about to take, asks for another host) is admitted through the harvest's own admission at once instead of at
// the end of the next sweep, and any ARP of a known device, answers too, counts as seeing it. An answer admits its
// sender at once when it answers this machine's own question: sent to its MAC, from an address the sweep asked
// within the last three seconds; an answer to another host's question admits nobody. Passive
// evidence only adds sightings: going offline still takes two sweeps without one, and an address change is
// left to the harvest, which sees every address a MAC holds. Heard DHCP admits and sights through the same
// routine, heardSighting.

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

qint32 frmClient::heardSighting(
    const QString& mac, const QString& ip, qint32 range, bool mayAdmit, const QString& source, const QString& what)
{
    if (!rangeWatched(range))
        return -1;
    qint32 index = m_devices.indexOfMac(mac);
    bool cameOnline = true;
    if (index < 0) {
        if (!mayAdmit)
            return -1;
        const qint32 before = m_devices.DeviceCount;
        AddNewMacEntry(mac, ip, NeighbourType::Dynamic);
        storeAdmissions();
        if (m_devices.DeviceCount <= before)
            return -1;
        index = m_devices.DeviceCount - 1;
        Log(QStringLiteral("%1 - %2 admitted at %3 from %4").arg(source, mac, ip, what));
    } else {
        // Offline as far as the last harvest went.
        cameOnline = !m_devices[index].isOnline();
        if (cameOnline)
            Log(QStringLiteral("%1 - %2 back at %3 from %4").arg(source, mac, ip, what));
    }
    DeviceRecord& device = m_devices[index];
    device.NetworkIndex = range;
    device.PresenceCountdown = SightedCountdown;
    noteSighting(index, range, currentTime());
    if (cameOnline) {
        // The harvest's own presence step for this device alone; the next harvest then sees no change to report.
        device.OnlineState = 0;
        trackPresence(currentTime(), index);
        m_devices[index].OnlineState = SightedCountdown;
        m_onlineAddressesValid = false;
    }
    return index;
}

void frmClient::arpHeard(const HeardArp& arp)
{
    runTrapped("HeardArp", [&] {
        // Only what a sweep would look at: while running, inside the ranges it sweeps; and not what was heard
        // while the monitor slept.
        lookAtClocks();
        const qint32 range = m_running && !heardQuiet() ? rangeOf(arp.ip) : -1;
        const QString ip = AddressText::ipText(arp.ip);
        if (range < 0 || !isDeviceMac(arp.mac, ip, QStringLiteral("HeardArp")))
            return;
        const QString mac = AddressText::macText(arp.mac);
        // An answer admits only when it answers this machine's own question.
        const bool admits =
            arp.kind != HeardArp::Reply || (arp.toHost && m_sweep.asked(AddressText::toNumber(arp.ip), m_ticks));
        if (heardSighting(
                mac, ip, range, admits, QStringLiteral("HeardArp"), QStringLiteral("an ARP ") + kindText(arp.kind))
            < 0)
            return;
        // The router's own ARP keeps its hold on the gateway address, as a harvest that finds it does.
        noteGatewaySighting(mac, ip, currentTime());
    });
}
