// Sweep set-up: the range and gateway tables rebuilt from the adapters before every sweep, and the adapter
// listing.

#include "engine/AddressText.h"
#include "engine/ErrorTrap.h"
#include "engine/frmClient.h"
#include "platform/NetPlatform.h"
#include "store/DeviceTable.h"

namespace {

// Adapter texts are cut at their first zero character.
QString cutAtZero(const QString& text)
{
    const qsizetype zero = text.indexOf(QChar(0));
    return zero < 0 ? text : text.left(zero);
}

// The Linux layer lists no interface without an IPv4 address; an adapter that comes with an empty address list
// anyway counts as 0.0.0.0 / 0.0.0.0, the range 0.0.0.0 to 0.0.0.255, whose sends simply fail.
AdapterAddress firstAddress(const AdapterInfo& adapter)
{
    if (adapter.addresses.isEmpty())
        return {QStringLiteral("0.0.0.0"), QStringLiteral("0.0.0.0")};
    return adapter.addresses.first();
}

} // namespace

bool frmClient::SetupForNewScan()
{
    bool ready = false;
    runTrapped("SetupForNewScan", [this, &ready] {
        if (!m_running)
            return;
        m_ranges.clear();
        m_gateways.clear();
        m_adapters.clear();

        const std::optional<QList<AdapterInfo>> adapters = m_net.adapters();
        if (!adapters)
            return;
        // Ageing waits for a readable adapter list: the set-up is retried, and ageing on failed reads with no
        // harvest between would take present devices offline unseen and raise "online again" alerts.
        agePresence();

        // No adapters at all (a machine or namespace without an interface that is up) is not a failure: the
        // range table stays empty, the batches send nothing and the engine idles until it is stopped.
        for (const AdapterInfo& adapter : *adapters) {
            m_adapters.append(
                {adapter.name, AddressText::adapterTypeName(adapter.type), AddressText::macText(adapter.mac)});
            const AdapterAddress first = firstAddress(adapter);
            AddNetwork(first.ip, first.mask);
            AddGateway(adapter.gateways.isEmpty() ? QString() : adapter.gateways.first());
            for (qsizetype g = 1; g < adapter.gateways.size(); ++g)
                AddGateway(adapter.gateways[g]);
            for (qsizetype a = 1; a < adapter.addresses.size(); ++a)
                AddNetwork(adapter.addresses[a].ip, adapter.addresses[a].mask);
        }

        fitRangesToNeighbourTable();
        m_rangeIndex = 0;
        m_hostByte = m_ranges.isEmpty() ? 0 : m_ranges.first().firstHost;
        m_passCount = 0;
        ready = true;
    });
    return ready;
}

// The harvest compares the copy with the counter to see who came and who went.
void frmClient::agePresence()
{
    for (qint32 d = 0; d < m_devices.DeviceCount; ++d) {
        DeviceRecord& device = m_devices[d];
        device.OnlineState = device.PresenceCountdown;
        if (device.PresenceCountdown > 0)
            --device.PresenceCountdown;
    }
    m_onlineAddresses.clear();
    m_onlineAddressesValid = false;
}

// Every swept address takes a row of the kernel's neighbour table until the harvest or the kernel's own
// clean-up frees it. Past the table's limit the kernel refuses new rows, for this machine's own traffic too,
// so a sweep takes whole ranges, in table order, while their distinct addresses fit in three quarters of
// the limit, and leaves the rest out (logged once per range).
void frmClient::fitRangesToNeighbourTable()
{
    const int limit = m_net.neighbourTableLimit();
    if (limit <= 0)
        return;
    const int budget = limit - limit / 4;
    QSet<quint32> addresses;
    QList<ScanRange> kept;
    for (qint32 r = 0; r < qint32(m_ranges.size()); ++r) {
        const ScanRange& range = m_ranges.at(r);
        const quint32 prefix =
            (quint32(range.byte1) << 24) | (quint32(range.byte2) << 16) | (quint32(range.byte3) << 8);
        int fresh = 0;
        for (int host = range.firstHost; host <= range.lastHost; ++host)
            fresh += addresses.contains(prefix | quint32(host)) ? 0 : 1;
        if (addresses.size() + fresh <= budget) {
            for (int host = range.firstHost; host <= range.lastHost; ++host)
                addresses.insert(prefix | quint32(host));
            kept.append(range);
            continue;
        }
        const QString text = GetIP_Address(r);
        if (!m_rangesLeftOut.contains(text)) {
            m_rangesLeftOut.insert(text);
            Log(QStringLiteral("SetupForNewScan - %1 is left out of the sweep: the kernel's neighbour table holds "
                               "%2 rows and the ranges before it take %3 addresses")
                    .arg(text)
                    .arg(limit)
                    .arg(addresses.size()));
        }
    }
    m_ranges = kept;
}

void frmClient::AddNetwork(const QString& address, const QString& mask)
{
    if (!m_running)
        return;
    ScanRange range;
    const auto a = AddressText::parseIPv4(cutAtZero(address));
    const auto m = AddressText::parseIPv4(cutAtZero(mask));
    if (a && m) {
        // Only the mask's last byte counts: a /16 still sweeps the 256 addresses around the adapter's own.
        const quint8 maskByte = (*m)[3];
        range.byte1 = (*a)[0];
        range.byte2 = (*a)[1];
        range.byte3 = (*a)[2];
        range.maskByte = maskByte;
        range.firstHost = quint8((*a)[3] & maskByte);
        range.lastHost = quint8(range.firstHost | (255 - maskByte));
    } else {
        Log(QStringLiteral("AddNetwork - \"%1\" / \"%2\" is not an IPv4 address and mask; range left at 0.0.0.0")
                .arg(address, mask));
    }
    m_ranges.append(range);
}

void frmClient::AddGateway(const QString& gateway)
{
    if (!m_running)
        return;
    m_gateways.append(cutAtZero(gateway));
}

QStringList frmClient::GetLocalAdapterInfo()
{
    QStringList lines;
    runTrapped("GetLocalAdapterInfo", [this, &lines] {
        const std::optional<QList<AdapterInfo>> adapters = m_net.adapters();
        if (!adapters) {
            Log(QStringLiteral("GetLocalAdapterInfo - the adapter list cannot be read"));
            return;
        }
        for (const AdapterInfo& adapter : *adapters) {
            QStringList addresses;
            for (const AdapterAddress& a : adapter.addresses)
                addresses << a.ip + QLatin1Char('/') + a.mask;
            const QString mac = AddressText::macText(adapter.mac);
            lines << QStringLiteral("%1  %2  %3  IP %4  Gateway %5")
                         .arg(adapter.name, AddressText::adapterTypeName(adapter.type),
                             mac.isEmpty() ? QStringLiteral("(no MAC)") : mac, addresses.join(QStringLiteral(", ")),
                             adapter.gateways.join(QStringLiteral(", ")));
        }
    });
    return lines;
}
