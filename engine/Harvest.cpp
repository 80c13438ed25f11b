// The harvest of every window of the sweep: the neighbour table is read once, every row inside a swept range is
// deleted again and marks its device present (admitting unknown MAC addresses), the unanswered rows of the
// windows harvested are deleted too, so that the next windows find room, and then every device is examined for
// coming online or, once the cycle's known addresses have been checked, going offline.

#include "engine/AddressText.h"
#include "engine/ErrorTrap.h"
#include "engine/Ipv6Neighbours.h"
#include "engine/frmClient.h"
#include "platform/NetPlatform.h"
#include "store/DeviceTable.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

namespace {

void writeDeviceValue(const QString& mac, const QString& name, const QString& text)
{
    modRegistry::WriteString(modRegistry::ProductKey, Keys::deviceKey(mac), name, text);
}

} // namespace

void frmClient::FinishScan(const QList<SweepQueue::Window>& windows, bool judged)
{
    // A failure ends the harvest where it happened; the prepared flag then keeps its value.
    runTrapped("FinishScan", [&] {
        if (!m_running)
            return;
        const QDateTime now = currentTime();
        QSet<quint32> settled;
        for (const SweepQueue::Window& w : windows)
            settled.unite(QSet<quint32>(w.addresses.cbegin(), w.addresses.cend()));
        storeAdmissions(); // those of a harvest that failed part-way
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
        trackPresence(now, -1, judged);
        if (judged) {
            for (const qint32 d :
                attachIpv6Neighbours(m_net, m_devices, [this](const QByteArray&mac, const QString&ip) {
                    return isDeviceMac(mac, ip, QStringLiteral("FinishScan"));
                }))
                emitEvent(DeviceEvent::Kind::AddressesChanged, d, now);
            m_sweepPrepared = false;
        }
        m_onlineAddressesValid = false;
        Q_EMIT harvested();
        if (judged)
            Q_EMIT cycleJudged();
    });
}

void frmClient::harvestRows(const QDateTime& now, const QSet<quint32>& settled)
{
    const std::optional<QList<NeighbourRow>> rows = m_net.neighbours();
    if (!rows || rows->isEmpty())
        return;
    // A host with a second address, or a proxy-ARP router, shows one MAC at several addresses in one table.
    // Its address changes only when none of them is the one it has: then it takes the first in table order.
    identifyNetworks(*rows, now);
    std::vector<bool> addressSeen(size_t(m_devices.DeviceCount), false);
    QList<std::pair<qint32, QString>> moves;

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

        qint32 index = m_devices.indexOfMac(mac);
        if (index < 0) {
            const qint32 before = m_devices.DeviceCount;
            AddNewMacEntry(mac, ip, row.type);
            if (m_devices.DeviceCount <= before)
                continue;
            index = m_devices.DeviceCount - 1;
        }
        noteGatewaySighting(mac, ip, now);
        if (size_t(index) >= addressSeen.size())
            addressSeen.resize(size_t(m_devices.DeviceCount), false);
        DeviceRecord& device = m_devices[index];
        device.NetworkIndex = range;
        device.MacType = row.type;
        device.PresenceCountdown = SightedCountdown;
        noteSighting(index, range, now);
        if (device.IpAddress == ip)
            addressSeen[size_t(index)] = true;
        else
            moves.append({index, ip});
    }

    storeAdmissions();

    // Only the in-memory address follows a move; the stored IP_Address keeps the admission's value.
    for (const auto& [index, ip] : std::as_const(moves)) {
        if (addressSeen[size_t(index)])
            continue;
        addressSeen[size_t(index)] = true;
        m_devices[index].IpAddress = ip;
        emitEvent(DeviceEvent::Kind::AddressChanged, index, now, ip);
        // A known device taking over a gateway's address while the gateway is about: the same warning.
        if (gatewayHeldByOther(ip, m_devices[index].MacAddress, now))
            warnGatewayImpersonation(index, ip, now);
    }
}

void frmClient::trackPresence(const QDateTime& now, qint32 onlyDevice, bool judged)
{
    const qint32 end = onlyDevice < 0 ? m_devices.DeviceCount : onlyDevice + 1;
    for (qint32 d = std::max(onlyDevice, 0); d < end; ++d) {
        DeviceRecord& device = m_devices[d];
        const bool cameOnline = device.PresenceCountdown != 0 && device.OnlineState == 0;
        const bool wentOffline = judged && device.PresenceCountdown == 0 && device.OnlineState != 0;
        if (!cameOnline && !wentOffline)
            continue;
        // Whether the dates already counted it as online (a device admitted in this harvest does).
        const bool countedOnline = device.LastOnline >= device.LastOffline;
        const QString mac = device.MacAddress;

        // Said once: the cycle's later harvests see no change.
        device.OnlineState = cameOnline ? SightedCountdown : qint16(0);
        if (cameOnline) {
            // A device admitted in this harvest has stored this very date already.
            if (device.LastOnline != now || device.FirstSeen != now)
                writeDeviceValue(mac, QStringLiteral("Last_Online"), TextForms::dateText(now));
            device.LastOnline = now;
            DeviceEvent event = newEvent(DeviceEvent::Kind::Online, d, now);
            event.address = device.IpAddress;
            event.intruder = device.Intruder;
            event.firstSeen = device.FirstSeen;
            event.logged = !countedOnline;
            Q_EMIT deviceEvent(event);
        } else {
            const QDateTime left = offlineTime(device, now);
            device.LastOffline = left;
            writeDeviceValue(mac, QStringLiteral("Last_Offline"), TextForms::dateText(left));
            DeviceEvent event = newEvent(DeviceEvent::Kind::Offline, d, left);
            event.logged = countedOnline;
            Q_EMIT deviceEvent(event);
        }
    }
}
