// Networks, plural: each adapter's view is on one network, known by its gateway's MAC with the subnet (NetworkBook).
// The gateways are asked first in every cycle, and their rows name the network before the harvest looks at anyone
// else. On a network the user has not chosen to watch nothing is admitted and nobody is seen: its devices raise no
// alert, and the devices of the networks left behind are out of sight, neither present nor absent.

#include "engine/AddressText.h"
#include "engine/DiscoveryEngine.h"
#include "platform/DebugSink.h"
#include "platform/NetPlatform.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/MacAddress.h"
#include "store/Settings.h"

void DiscoveryEngine::loadNetworks()
{
    m_networks.load();
    const QString word = KeyStore::readString(KeyStore::ProductKey, Keys::General, NetworkBook::PolicyValue);
    m_networkPolicy = NetworkBook::parsePolicy(word).value_or(m_networkPolicyDefault);
    QSet<QString> views;
    for (const ScanRange& range : std::as_const(m_ranges))
        views.insert(Sight::keyOf(range));
    for (auto it = m_viewNetwork.begin(); it != m_viewNetwork.end();) {
        if (views.contains(it.key())) {
            ++it;
            continue;
        }
        // Left: joined again later, the question comes again.
        m_networksAsked.remove(it.value());
        it = m_viewNetwork.erase(it);
    }
    // A view without a gateway is known by its subnet alone, at once.
    const QList<quint32> gateways = gatewayAddresses();
    for (const ScanRange& range : std::as_const(m_ranges)) {
        if (range.first == 0 && range.last == 0)
            continue;
        const bool hasGateway =
            std::any_of(gateways.cbegin(), gateways.cend(), [&range](quint32 gw) { return range.contains(gw); });
        if (!hasGateway)
            networkResolved(Sight::keyOf(range),
                m_networks.resolve(Sight::keyOf(range), {}, {}, m_networkPolicy, currentTime(), {}));
    }
}

QList<quint32> DiscoveryEngine::gatewayAddresses() const
{
    QList<quint32> out;
    for (const QString& gateway : m_gateways) {
        if (const auto ip = AddressText::parseIPv4(gateway); ip && !out.contains(AddressText::toNumber(*ip)))
            out.append(AddressText::toNumber(*ip));
    }
    return out;
}

void DiscoveryEngine::identifyNetworks(const QList<NeighbourRow>& rows, const QDateTime& now)
{
    const QList<quint32> gateways = gatewayAddresses();
    QSet<QString> answering;
    for (const NeighbourRow& row : rows) {
        if (row.type != NeighbourType::Invalid && !row.mac.isEmpty())
            answering.insert(AddressText::macText(row.mac));
    }
    // Most of a network's present devices answering: a new gateway there is a replaced router.
    const auto mostAnswer = [&](const QString& id) {
        int known = 0;
        int found = 0;
        for (const DeviceRecord& device : std::as_const(m_devices)) {
            if (device.Network != id || !device.isOnline())
                continue;
            ++known;
            found += answering.contains(device.MacAddress) ? 1 : 0;
        }
        return known > 0 && 2 * found > known;
    };
    for (const NeighbourRow& row : rows) {
        const quint32 address = AddressText::toNumber(row.ip);
        if (row.type == NeighbourType::Invalid || row.mac.isEmpty() || !gateways.contains(address))
            continue;
        const qint32 range = rangeOf(row.ip);
        if (range < 0 || MacAddress::refusal(row.mac) != MacAddress::Refusal::Device)
            continue;
        // A second MAC answering for the gateway while its known one is about names no network: it is what ARP
        // spoofing looks like (GatewayWatch.cpp).
        const QString mac = AddressText::macText(row.mac);
        if (gatewayHeldByOther(AddressText::ipText(row.ip), mac, now))
            continue;
        const QString view = Sight::keyOf(m_ranges.at(range));
        networkResolved(view,
            m_networks.resolve(
                view, AddressText::macText(row.mac), AddressText::ipText(row.ip), m_networkPolicy, now, mostAnswer));
    }
}

void DiscoveryEngine::networkResolved(const QString& view, const NetworkBook::Resolution& resolution)
{
    const QString before = m_viewNetwork.value(view);
    m_viewNetwork.insert(view, resolution.id);
    const NetworkBook::Network* network = m_networks.find(resolution.id);
    if (!network)
        return;
    const QString gateway = network->gatewayIp.isEmpty() ? QStringLiteral("none") : network->gatewayIp;
    if (!resolution.formerGateway.isEmpty())
        Log(kwEngine,
            QStringLiteral("Networks - the gateway of %1 changed from %2 to %3; the same network, as most of its "
                           "devices still answer")
                .arg(network->subnet, resolution.formerGateway, network->gatewayMac));
    if (before == resolution.id || m_networksAsked.contains(resolution.id))
        return;
    if (network->watch == NetworkBook::Watch::Asked || network->watch == NetworkBook::Watch::NotNow) {
        m_networksAsked.insert(resolution.id);
        Log(kwEngine,
            QStringLiteral("Networks - joined %1 (gateway %2), which is not watched: nothing there is admitted or "
                           "alerts until it is (kestrelwatch-ctl watch-network \"%3\")")
                .arg(network->subnet, gateway, network->id));
        Q_EMIT networkJoined(resolution.id);
    }
}

QString DiscoveryEngine::networkOfRange(qint32 range) const
{
    if (range < 0 || range >= m_ranges.size())
        return {};
    return m_viewNetwork.value(Sight::keyOf(m_ranges.at(range)));
}

QStringList DiscoveryEngine::networksInView() const
{
    QStringList out;
    for (const QString& id : m_viewNetwork) {
        if (!id.isEmpty() && !out.contains(id))
            out.append(id);
    }
    return out;
}

bool DiscoveryEngine::rangeWatched(qint32 range) const
{
    const QString id = networkOfRange(range);
    // Until its gateway answers, a view is watched only where every network is, or when no network is known yet
    // (the first of all is watched).
    if (id.isEmpty())
        return m_networkPolicy == NetworkBook::Policy::All || m_networks.all().isEmpty();
    return m_networks.watched(id);
}

QString DiscoveryEngine::sightKey(qint32 range) const
{
    return Sight::keyOf(m_ranges.at(range)) + QLatin1Char('|') + networkOfRange(range);
}

void DiscoveryEngine::answerNetwork(const QString& id, NetworkBook::Watch watch)
{
    if (!m_networks.setWatch(id, watch))
        return;
    Log(kwEngine, QStringLiteral("Networks - %1 is now %2").arg(id, NetworkBook::watchWord(watch)));
}
