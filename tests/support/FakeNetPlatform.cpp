#include "FakeNetPlatform.h"

#include <QHostAddress>
#include <QtEndian>

namespace {

QString ipText(const std::array<quint8, 4>& ip)
{
    return QHostAddress(qFromBigEndian<quint32>(ip.data())).toString();
}

std::array<quint8, 4> requireIp(const QString& text)
{
    bool ok = false;
    const quint32 v = QHostAddress(text).toIPv4Address(&ok);
    if (!ok || text.count(QLatin1Char('.')) != 3)
        qFatal("FakeNetPlatform: \"%s\" is no IPv4 address", qPrintable(text));
    std::array<quint8, 4> ip {};
    qToBigEndian(v, ip.data());
    return ip;
}

// "255.255.255.0" or a prefix length "24".
QString maskText(const QString& text)
{
    bool ok = false;
    const uint prefix = text.toUInt(&ok);
    return ok ? QHostAddress(prefix == 0 ? 0u : ~0u << (32 - prefix)).toString() : ipText(requireIp(text));
}

} // namespace

bool FakeNetPlatform::openIcmpSocket()
{
    m_socketOpen = !m_openFails;
    return m_socketOpen;
}

void FakeNetPlatform::sendEchoBatch(const QList<quint32>& addresses)
{
    if (!m_socketOpen || addresses.isEmpty())
        return;
    if (!m_sendFailure.isEmpty()) {
        reportProblem(m_sendFailure, QStringLiteral("echo request refused: ") + m_sendFailure);
        return;
    }
    for (const quint32 a : addresses)
        m_sent << QHostAddress(a).toString();
}

AdapterInfo& FakeNetPlatform::addAdapter(const QString& script)
{
    AdapterInfo a;
    a.index = 2;
    for (const AdapterInfo& existing : std::as_const(m_adapters))
        a.index = qMax(a.index, existing.index + 1);
    a.name = QStringLiteral("eth%1").arg(m_adapters.size());
    a.type = 6;
    a.mac = QByteArray::fromHex("0200000000") + QByteArray(1, char(a.index));
    bool gateways = false;
    for (const QString& word : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (word == QLatin1String("gw"))
            gateways = true;
        else if (gateways)
            a.gateways << ipText(requireIp(word));
        else
            a.addresses.append(
                {ipText(requireIp(word.section(QLatin1Char('/'), 0, 0))), maskText(word.section(QLatin1Char('/'), 1))});
    }
    if (a.gateways.isEmpty())
        a.gateways << QString();
    m_adapters.append(a);
    return m_adapters.last();
}

std::optional<QList<AdapterInfo>> FakeNetPlatform::adapters()
{
    ++m_adapterCalls;
    if (m_adaptersFail)
        return std::nullopt;
    return m_adapters;
}

NeighbourRow& FakeNetPlatform::addNeighbour(const QString& mac, const QString& ip, quint8 type, int ifindex)
{
    NeighbourRow& r = m_rows.emplace_back();
    r.ifindex = ifindex;
    r.type = type;
    r.ip = requireIp(ip);
    const QString hex = QString(mac).remove(QLatin1Char('-')).remove(QLatin1Char(':'));
    r.mac = QByteArray::fromHex(hex.toLatin1());
    if (r.mac.size() * 2 != hex.size())
        qFatal("FakeNetPlatform: \"%s\" is no MAC address", qPrintable(mac));
    return r;
}

namespace {
Heard heardOf(const NeighbourRow& row, Heard::Kind kind)
{
    Heard heard;
    heard.ifindex = std::uint32_t(row.ifindex);
    std::copy_n(row.mac.constData(), std::min<qsizetype>(row.mac.size(), 6), heard.mac.begin());
    heard.ip = row.ip;
    heard.kind = kind;
    return heard;
}
} // namespace

void FakeNetPlatform::hearArp(const QString& mac, const QString& ip, Heard::Kind kind, int ifindex, bool toHost)
{
    const NeighbourRow row = addNeighbour(mac, ip, 3, ifindex);
    m_rows.removeLast();
    Heard heard = heardOf(row, kind);
    heard.toHost = toHost;
    deliverHeard(heard);
}

void FakeNetPlatform::hearDhcp(
    const QString& mac, const QString& ip, Heard::Kind kind, const QByteArray& name, int ifindex)
{
    const NeighbourRow row = addNeighbour(mac, ip.isEmpty() ? QStringLiteral("0.0.0.0") : ip, 3, ifindex);
    m_rows.removeLast();
    Heard heard = heardOf(row, kind);
    heard.name = name.toStdString();
    deliverHeard(heard);
}

std::optional<QList<NeighbourRow>> FakeNetPlatform::neighbours()
{
    if (m_neighboursFail)
        return std::nullopt;
    return m_rows;
}

void FakeNetPlatform::deleteNeighbour(const NeighbourRow& row)
{
    m_deleted << ipText(row.ip);
    if (m_deleteFails) {
        reportProblem(QStringLiteral("deleteNeighbour EPERM"),
            QStringLiteral("neighbour %1 not deleted: Operation not permitted").arg(ipText(row.ip)));
        return;
    }
    // The kernel deletes by interface and address.
    m_rows.removeIf([&row](const NeighbourRow& r) { return r.ifindex == row.ifindex && r.ip == row.ip; });
}

int FakeNetPlatform::lookupAddress(const QString& ip, LookupDone done)
{
    m_lookedUp << ip;
    if (m_lookupsFail)
        return 0;
    m_pending.insert(m_nextHandle, std::move(done));
    return m_nextHandle++;
}

void FakeNetPlatform::cancelLookup(int handle)
{
    if (m_pending.remove(handle))
        m_cancelled << handle;
}

bool FakeNetPlatform::completeLookup(int handle, int error, const QString& name)
{
    const auto it = m_pending.find(handle);
    if (it == m_pending.end())
        return false;
    // Out of the pending list before the callback, which may well start the next lookup.
    const LookupDone done = std::move(*it);
    m_pending.erase(it);
    if (done)
        done(handle, error, name);
    return true;
}

Neighbour6Row& FakeNetPlatform::addNeighbour6(const QString& mac, const QString& ip, quint8 type, int ifindex)
{
    const QByteArray macBytes = addNeighbour(mac, QStringLiteral("0.0.0.0")).mac; // checks the MAC text
    m_rows.removeLast();
    const Q_IPV6ADDR bytes = QHostAddress(ip).toIPv6Address();
    Neighbour6Row& r = m_rows6.emplace_back(Neighbour6Row {ifindex, macBytes, {}, type});
    std::copy(std::begin(bytes.c), std::end(bytes.c), r.ip.begin());
    return r;
}

std::optional<QList<Neighbour6Row>> FakeNetPlatform::neighbours6()
{
    if (m_neighboursFail)
        return std::nullopt;
    return m_rows6;
}

bool FakeNetPlatform::listenDiscovery(const QList<int>& ifindexes)
{
    m_listened = ifindexes;
    return m_discoveryOn;
}

int FakeNetPlatform::askMdns(const QString& ip, const QByteArray& query, const DatagramDone& done)
{
    if (!m_discoveryOn)
        return 0;
    m_mdns.insert(m_nextHandle, {ip, query, done});
    return m_nextHandle++;
}

int FakeNetPlatform::fetchDescription(const QString& url, qsizetype, int, const FetchDone& done)
{
    if (!m_discoveryOn)
        return 0;
    m_fetches.insert(m_nextHandle, {url, done});
    return m_nextHandle++;
}

int FakeNetPlatform::askDeviceName(NameQuery query, const QString& ip, NameQueryDone done)
{
    if (!m_nameQueriesOn)
        return 0;
    m_askedNames << (query == NameQuery::Mdns ? QStringLiteral("mdns ") : QStringLiteral("netbios ")) + ip;
    m_nameQueries.insert(m_nextHandle, {query, std::move(done)});
    return m_nextHandle++;
}

bool FakeNetPlatform::answerName(NameQuery query, const QString& name, const QString& ignored)
{
    const auto it =
        std::find_if(m_nameQueries.cbegin(), m_nameQueries.cend(), [query](const auto& q) { return q.first == query; });
    if (it == m_nameQueries.cend())
        return false;
    const auto [handle, done] = std::pair {it.key(), it->second}; // copies: the reply may cancel the question
    done(handle, name, ignored);
    return true;
}
