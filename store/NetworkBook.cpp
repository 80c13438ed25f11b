#include "store/NetworkBook.h"

#include "platform/DebugSink.h"
#include "store/DeviceText.h"
#include "store/KeyStore.h"
#include "store/TextForms.h"

const QString NetworkBook::StoreKey = QStringLiteral("Networks");
const QString NetworkBook::PolicyValue = QStringLiteral("WatchNetworks");

namespace {
QString keyOf(const QString& id)
{
    return NetworkBook::StoreKey + QLatin1Char('\\') + id;
}
} // namespace

QString NetworkBook::identity(const QString& gatewayMac, const QString& subnet)
{
    return (gatewayMac.isEmpty() ? QStringLiteral("-") : gatewayMac) + QLatin1Char(' ') + subnet;
}

QString NetworkBook::watchWord(Watch watch)
{
    switch (watch) {
    case Watch::Watched:
        return QStringLiteral("watched");
    case Watch::NotNow:
        return QStringLiteral("not now");
    case Watch::Never:
        return QStringLiteral("never");
    case Watch::Asked:
        break;
    }
    return QStringLiteral("asked");
}

std::optional<NetworkBook::Watch> NetworkBook::parseWatch(const QString& word)
{
    for (const Watch w : {Watch::Asked, Watch::Watched, Watch::NotNow, Watch::Never}) {
        if (word.compare(watchWord(w), Qt::CaseInsensitive) == 0)
            return w;
    }
    return std::nullopt;
}

std::optional<NetworkBook::Policy> NetworkBook::parsePolicy(const QString& word)
{
    if (word.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0)
        return Policy::All;
    if (word.compare(QLatin1String("asked"), Qt::CaseInsensitive) == 0)
        return Policy::Asked;
    return std::nullopt;
}

QString NetworkBook::title(const Network& network)
{
    if (!network.name.isEmpty())
        return network.name + QStringLiteral(" \u2014 ") + network.subnet;
    if (network.gatewayIp.isEmpty())
        return network.subnet;
    return network.subnet + QStringLiteral(" \u00B7 gateway ") + network.gatewayIp;
}

void NetworkBook::load()
{
    m_networks.clear();
    const QStringList ids = KeyStore::listSubkeys(KeyStore::ProductKey, StoreKey);
    for (const QString& id : ids) {
        if (id == KeyStore::EmptyList)
            continue;
        const auto read = [&id](const char* value) {
            return KeyStore::readString(KeyStore::ProductKey, keyOf(id), QLatin1String(value));
        };
        Network n;
        n.id = id;
        n.subnet = read("Subnet");
        n.gatewayMac = read("Gateway_MAC");
        n.gatewayIp = read("Gateway_IP");
        n.watch = parseWatch(read("Watch")).value_or(Watch::Asked);
        // Written by hand or by another program: one line, bounded, as any name.
        const DeviceText::Name name = DeviceText::filterName(read("Name"));
        n.name = name.text;
        if (!name.ok())
            Log(kwStore, QStringLiteral("Networks - the name stored for %1 is not shown: %2").arg(id, name.refusal));
        if (const auto first = TextForms::parseStoredDate(read("First_Seen")))
            n.firstSeen = first->when;
        m_networks.append(n);
    }
}

const NetworkBook::Network* NetworkBook::find(const QString& id) const
{
    for (const Network& n : m_networks) {
        if (n.id == id)
            return &n;
    }
    return nullptr;
}

const NetworkBook::Network* NetworkBook::findByText(const QString& text) const
{
    if (const Network* n = find(text))
        return n;
    const Network* only = nullptr;
    for (const Network& n : m_networks) {
        if (n.subnet != text)
            continue;
        if (only)
            return nullptr;
        only = &n;
    }
    return only;
}

bool NetworkBook::watched(const QString& id) const
{
    const Network* n = find(id);
    return n && n->watch == Watch::Watched;
}

NetworkBook::Resolution NetworkBook::resolve(const QString& subnet, const QString& gatewayMac, const QString& gatewayIp,
    Policy policy, const QDateTime& now, const std::function<bool(const QString& id)>& answering)
{
    Resolution r;
    for (const Network& n : std::as_const(m_networks)) {
        if (n.subnet == subnet && n.gatewayMac == gatewayMac) {
            r.id = n.id;
            return r;
        }
    }
    // A new gateway where most of a known network's devices still answer: its router was replaced.
    for (Network& n : m_networks) {
        if (n.subnet == subnet && !gatewayMac.isEmpty() && answering && answering(n.id)) {
            r.id = n.id;
            r.formerGateway = n.gatewayMac;
            n.gatewayMac = gatewayMac;
            n.gatewayIp = gatewayIp;
            store(n);
            return r;
        }
    }
    Network n;
    n.id = identity(gatewayMac, subnet);
    n.subnet = subnet;
    n.gatewayMac = gatewayMac;
    n.gatewayIp = gatewayIp;
    n.firstSeen = now;
    // The first network of all is where the monitor has watched all along.
    n.watch = m_networks.isEmpty() || policy == Policy::All ? Watch::Watched : Watch::Asked;
    m_networks.append(n);
    store(n);
    r.id = n.id;
    r.created = true;
    return r;
}

bool NetworkBook::setWatch(const QString& id, Watch watch)
{
    for (Network& n : m_networks) {
        if (n.id == id) {
            n.watch = watch;
            KeyStore::writeString(KeyStore::ProductKey, keyOf(id), QStringLiteral("Watch"), watchWord(watch));
            return true;
        }
    }
    return false;
}

std::optional<QString> NetworkBook::setName(const QString& id, const QString& name)
{
    const DeviceText::Name kept = DeviceText::filterName(name.trimmed());
    if (!kept.ok())
        return kept.refusal;
    for (Network& n : m_networks) {
        if (n.id == id) {
            n.name = kept.text;
            KeyStore::writeString(KeyStore::ProductKey, keyOf(id), QStringLiteral("Name"), kept.text);
            return std::nullopt;
        }
    }
    return QStringLiteral("no such network");
}

bool NetworkBook::forget(const QString& id)
{
    for (qsizetype i = 0; i < m_networks.size(); ++i) {
        if (m_networks.at(i).id == id) {
            m_networks.removeAt(i);
            KeyStore::deleteKey(KeyStore::ProductKey, keyOf(id));
            return true;
        }
    }
    return false;
}

void NetworkBook::store(const Network& n) const
{
    KeyStore::writeKeys(KeyStore::ProductKey,
        {{keyOf(n.id),
            {{QStringLiteral("Subnet"), n.subnet}, {QStringLiteral("Gateway_MAC"), n.gatewayMac},
                {QStringLiteral("Gateway_IP"), n.gatewayIp}, {QStringLiteral("Watch"), watchWord(n.watch)},
                {QStringLiteral("First_Seen"), TextForms::storedDate(n.firstSeen)}}}});
}
