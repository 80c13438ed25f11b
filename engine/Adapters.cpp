// Sweep set-up: the range and gateway tables rebuilt from the adapters before every sweep, and the adapter
// listing.

#include "engine/AddressText.h"
#include "engine/Describer.h"
#include "engine/DiscoveryEngine.h"
#include "engine/ErrorTrap.h"
#include "engine/Sight.h"
#include "platform/DebugSink.h"
#include "platform/NetPlatform.h"
#include "store/DeviceStore.h"

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

bool DiscoveryEngine::SetupForNewScan()
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

        m_sight.cycleStarted(Sight::viewsOf(*adapters), currentTime());
        loadNetworks();
        reportSight();
        QList<int> swept;
        for (const AdapterInfo& adapter : *adapters)
            swept.append(adapter.index);
        m_describer->listen(swept);
        m_sweep.setRanges(m_ranges);
        m_sweep.setTableLimit(m_net.neighbourTableLimit());
        // The gateways first: their answers tell which network each adapter is on.
        m_sweep.startCycle(gatewayAddresses() + knownAddresses());
        ready = true;
    });
    return ready;
}

// The harvest compares the copy with the counter to see who came and who went.
void DiscoveryEngine::agePresence()
{
    for (DeviceRecord& device : m_devices) {
        device.OnlineState = device.PresenceCountdown;
        if (device.PresenceCountdown > 0)
            --device.PresenceCountdown;
    }
    m_onlineAddresses.clear();
    m_onlineAddressesValid = false;
}

// The addresses of the devices the last cycles saw, checked first in every cycle so that presence does not
// wait on the discovery of a large range.
QList<quint32> DiscoveryEngine::knownAddresses() const
{
    QList<quint32> out;
    for (const DeviceRecord& device : m_devices) {
        if (device.OnlineState == 0)
            continue;
        if (const auto ip = AddressText::parseIPv4(device.IpAddress))
            out.append(AddressText::toNumber(*ip));
    }
    return out;
}

void DiscoveryEngine::AddNetwork(const QString& address, const QString& mask)
{
    if (!m_running)
        return;
    ScanRange range;
    const auto a = AddressText::parseIPv4(cutAtZero(address));
    const auto m = AddressText::parseIPv4(cutAtZero(mask));
    // An adapter without an IPv4 address (0.0.0.0) is given the empty range 0.0.0.0, whose sends simply fail.
    if (a && m && AddressText::toNumber(*a) != 0) {
        constexpr int kWidest = 16;
        const quint32 ip = AddressText::toNumber(*a);
        const quint32 bits = AddressText::toNumber(*m);
        int prefix = 0;
        while (prefix < 32 && (bits & (0x80000000U >> prefix)) != 0)
            ++prefix;
        if (prefix < kWidest) {
            // A wider range would take hours at the helper's rate and is mostly empty: the /16 around the
            // adapter's own address stands for it, said once per address.
            const QString text = AddressText::ipText(ip) + QLatin1Char('/') + QString::number(prefix);
            if (!m_wideLogged.contains(text)) {
                m_wideLogged.insert(text);
                Log(kwEngine,
                    QStringLiteral("AddNetwork - %1 is wider than a /16: only the /16 around the adapter's address "
                                   "is swept")
                        .arg(text));
            }
            prefix = kWidest;
        }
        const quint32 kept = ~quint32(0) << (32 - prefix);
        range.first = ip & kept;
        range.last = range.first | ~kept;
        range.prefix = prefix;
    } else if (!a || !m) {
        Log(kwEngine,
            QStringLiteral("AddNetwork - \"%1\" / \"%2\" is not an IPv4 address and mask; range left at 0.0.0.0")
                .arg(address, mask));
    }
    m_ranges.append(range);
}

void DiscoveryEngine::AddGateway(const QString& gateway)
{
    if (!m_running)
        return;
    m_gateways.append(cutAtZero(gateway));
}
