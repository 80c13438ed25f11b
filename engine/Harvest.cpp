// The harvest of every window of the sweep: the neighbour table is read once, every row inside a swept range is
// deleted again and marks its device present (admitting unknown MAC addresses), the unanswered rows of the
// windows harvested are deleted too, so that the next windows find room, and then every device is examined for
// coming online or, once the cycle's known addresses have been checked, going offline.

#include "engine/AddressText.h"
#include "engine/DiscoveryEngine.h"
#include "engine/ErrorTrap.h"
#include "engine/Ipv6Neighbours.h"
#include "platform/NetPlatform.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

void DiscoveryEngine::FinishScan(const QList<SweepQueue::Window>& windows, bool judged)
{
    // A failure ends the harvest where it happened; the prepared flag then keeps its value.
    runTrapped("FinishScan", [&] {
        if (!m_running)
            return;
        const QDateTime now = currentTime();
        QSet<quint32> settled;
        for (const SweepQueue::Window& w : windows)
            settled.unite(QSet<quint32>(w.addresses.cbegin(), w.addresses.cend()));
        storeWrites(); // those of a harvest that failed part-way
        harvestRows(now, settled);
        if (judged) {
            // The verdict counts only where the monitor could see all through the cycle.
            const std::optional<QList<AdapterInfo>> adapters = m_net.adapters();
            const QSet<QString> views =
                m_sight.cycleJudged(Sight::viewsOf(adapters.value_or(QList<AdapterInfo>())), now);
            // In sight: the view, with the network on it now, when that is watched.
            QSet<QString> inSight;
            for (qint32 r = 0; r < qint32(m_ranges.size()); ++r) {
                if (views.contains(Sight::keyOf(m_ranges.at(r))) && rangeWatched(r))
                    inSight.insert(sightKey(r));
            }
            holdOutOfSight(inSight, now);
            setAway(inSight.isEmpty(), now);
            reportSight();
        }
        trackPresence(now, nullptr, judged);
        noteSightings();
        storeWrites();
        if (judged) {
            for (const QString& mac :
                attachIpv6Neighbours(m_net, m_devices, [this](const QByteArray&mac, const QString&ip) {
                    return isDeviceMac(mac, ip, QStringLiteral("FinishScan"));
                })) {
                if (const DeviceRecord* device = m_devices.find(mac))
                    emitEvent(DeviceEvent::Kind::AddressesChanged, *device, now);
            }
            m_sweepPrepared = false;
        }
        m_onlineAddressesValid = false;
        Q_EMIT harvested();
        if (judged)
            Q_EMIT cycleJudged();
    });
}

void DiscoveryEngine::harvestRows(const QDateTime& now, const QSet<quint32>& settled)
{
    const std::optional<QList<NeighbourRow>> rows = m_net.neighbours();
    if (!rows || rows->isEmpty())
        return;
    // A host with a second address, or a proxy-ARP router, shows one MAC at several addresses in one table.
    // Its address changes only when none of them is the one it has: then it takes the first in table order.
    identifyNetworks(*rows, now);
    QSet<QString> addressSeen;
    QList<std::pair<QString, QString>> moves;

    for (const NeighbourRow& row : *rows) {
        // Rows outside every range are left in the table and change nothing, even for a known MAC.
        const qint32 range = rangeOf(row.ip);
        if (range < 0)
            continue;
        if (row.type == NeighbourType::Invalid || row.mac.isEmpty()) {
            // Nobody answered there in time: the row would hold its place in the table for seconds more.
            if (row.type == NeighbourType::Invalid && settled.contains(AddressText::toNumber(row.ip)))
                m_net.deleteNeighbour(row);
            continue;
        }
        const QString ip = AddressText::ipText(row.ip);
        if (!isDeviceMac(row.mac, ip, QStringLiteral("FinishScan")))
            continue;
        const QString mac = AddressText::macText(row.mac);
        // Deleted so that a device that leaves is not found again from a stale row. Static and NOARP rows
        // are not the sweep's to delete; they still count as sightings.
        if (row.type != NeighbourType::Static && row.type != NeighbourType::Other)
            m_net.deleteNeighbour(row);
        // On a network nobody chose to watch nothing is admitted and nobody is seen.
        if (!rangeWatched(range))
            continue;

        // A former MAC of a merged device is that device.
        DeviceRecord* device = m_devices.findDevice(mac);
        if (!device)
            device = AddNewMacEntry(mac, ip, row.type);
        if (!device)
            continue;
        noteGatewaySighting(mac, ip, now);
        device->NetworkIndex = range;
        device->MacType = row.type;
        device->PresenceCountdown = SightedCountdown;
        noteSighting(*device, range, now);
        if (device->IpAddress == ip)
            addressSeen.insert(device->MacAddress);
        else
            moves.append({device->MacAddress, ip});
    }

    storeWrites();
    // A row is the device answering for its address, which confirms what a DHCP REQUEST asked for.
    for (const NeighbourRow& row : m_dhcpPending.isEmpty() ? QList<NeighbourRow> {} : *rows) {
        if (!row.mac.isEmpty() && rangeOf(row.ip) >= 0)
            dhcpConfirmed(AddressText::macText(row.mac), AddressText::ipText(row.ip));
    }

    // Only the in-memory address follows a move; the stored IP_Address keeps the admission's value.
    for (const auto& [mac, ip] : std::as_const(moves)) {
        DeviceRecord* device = m_devices.find(mac);
        if (!device || addressSeen.contains(mac))
            continue;
        addressSeen.insert(mac);
        device->IpAddress = ip;
        emitEvent(DeviceEvent::Kind::AddressChanged, *device, now, ip);
        // A known device taking over a gateway's address while the gateway is about: the same warning.
        if (gatewayHeldByOther(ip, mac, now))
            warnGatewayImpersonation(*device, ip, now);
    }
}

void DiscoveryEngine::trackPresence(const QDateTime& now, DeviceRecord* onlyDevice, bool judged)
{
    if (onlyDevice) {
        trackOne(*onlyDevice, now, judged);
        return;
    }
    // An event's subscriber may remove a device (a removal from another process is taken in only on the
    // follower's timer, but nothing here relies on that): the walk goes by MAC.
    QStringList macs;
    for (const DeviceRecord& device : std::as_const(m_devices)) {
        const bool cameOnline = device.PresenceCountdown != 0 && device.OnlineState == 0;
        const bool wentOffline = judged && device.PresenceCountdown == 0 && device.OnlineState != 0;
        if (cameOnline || wentOffline)
            macs.append(device.MacAddress);
    }
    for (const QString& mac : std::as_const(macs)) {
        if (DeviceRecord* device = m_devices.find(mac))
            trackOne(*device, now, judged);
    }
}

void DiscoveryEngine::trackOne(DeviceRecord& device, const QDateTime& now, bool judged)
{
    const bool cameOnline = device.PresenceCountdown != 0 && device.OnlineState == 0;
    const bool wentOffline = judged && device.PresenceCountdown == 0 && device.OnlineState != 0;
    if (!cameOnline && !wentOffline)
        return;
    // Whether the dates already counted it as online (a device admitted in this harvest does).
    const bool countedOnline = device.LastOnline >= device.LastOffline;
    const QString key = Keys::deviceKey(device.MacAddress);

    // Said once: the cycle's later harvests see no change.
    device.OnlineState = cameOnline ? SightedCountdown : qint16(0);
    if (cameOnline) {
        // A device admitted in this harvest has stored this very date already.
        if (device.LastOnline != now || device.FirstSeen != now)
            m_unstored.append({key, {{DeviceCodec::Name::LastOnline, TextForms::storedDate(now)}}});
        device.LastOnline = now;
        device.LastSeen = now;
        DeviceEvent event = newEvent(DeviceEvent::Kind::Online, device, now);
        event.address = device.IpAddress;
        event.intruder = device.Intruder;
        event.firstSeen = device.FirstSeen;
        event.logged = !countedOnline;
        Q_EMIT deviceEvent(event);
    } else {
        // After a blind spell, when it was last seen.
        const QDateTime left = offlineTime(device, now);
        device.LastOffline = left;
        // The last sighting goes to the store exactly, so that a device away says when it was last seen.
        m_sightingDue.insert(device.MacAddress);
        m_unstored.append({key, {{DeviceCodec::Name::LastOffline, TextForms::storedDate(left)}}});
        DeviceEvent event = newEvent(DeviceEvent::Kind::Offline, device, left);
        event.logged = countedOnline;
        const QString mac = device.MacAddress;
        Q_EMIT deviceEvent(event);
        linkReturnsOf(mac);
    }
}
