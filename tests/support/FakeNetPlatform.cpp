#include "FakeNetPlatform.h"

#include <QtEndian>

namespace {

QString ipText(const std::array<quint8, 4>& ip)
{
    return QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]);
}

std::array<quint8, 4> requireIp(const QString& text)
{
    std::array<quint8, 4> ip {};
    const QStringList parts = text.split(QLatin1Char('.'));
    bool ok = parts.size() == 4;
    for (int i = 0; ok && i < 4; ++i) {
        const uint v = parts[i].toUInt(&ok);
        ok = ok && v <= 255;
        ip[size_t(i)] = quint8(v);
    }
    if (!ok)
        qFatal("FakeNetPlatform: \"%s\" is no IPv4 address", qPrintable(text));
    return ip;
}

QString maskText(const QString& text)
{
    bool ok = false;
    const uint prefix = text.toUInt(&ok);
    if (!ok || prefix > 32)
        return ipText(requireIp(text));
    const quint32 m = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
    return ipText({quint8(m >> 24), quint8(m >> 16), quint8(m >> 8), quint8(m)});
}

} // namespace

bool FakeNetPlatform::openIcmpSocket()
{
    m_socketOpen = !m_openFails;
    return m_socketOpen;
}

void FakeNetPlatform::sendEcho(const QByteArray& packet, quint32 addrNetworkOrder)
{
    if (!m_socketOpen)
        return;
    if (!m_sendFailure.isEmpty()) {
        reportProblem(m_sendFailure, QStringLiteral("echo request refused: ") + m_sendFailure);
        return;
    }
    const quint32 a = qFromBigEndian(addrNetworkOrder);
    m_sent << ipText({quint8(a >> 24), quint8(a >> 16), quint8(a >> 8), quint8(a)});
    m_packets << packet;
}

void FakeNetPlatform::clearSent()
{
    m_sent.clear();
    m_packets.clear();
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
    m_pending.insert(m_nextHandle, {ip, std::move(done)});
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
    const Pending p = std::move(*it);
    m_pending.erase(it);
    if (p.done)
        p.done(handle, error, name);
    return true;
}
