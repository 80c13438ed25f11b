#include "platform/FakeNetPlatform.h"

#include <QtEndian>

namespace {

std::array<quint8, 4> parseIp(const QString& text, bool* ok)
{
    std::array<quint8, 4> ip {};
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    *ok = parts.size() == 4;
    for (int i = 0; *ok && i < 4; ++i) {
        bool byteOk = false;
        const uint v = parts[i].toUInt(&byteOk);
        *ok = byteOk && v <= 255;
        ip[i] = quint8(v);
    }
    return ip;
}

QString ipText(const std::array<quint8, 4>& ip)
{
    return QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]);
}

QString requireIp(const QString& text)
{
    bool ok = false;
    const auto ip = parseIp(text, &ok);
    if (!ok)
        qFatal("FakeNetPlatform: \"%s\" is no IPv4 address", qPrintable(text));
    return ipText(ip);
}

// "255.255.255.0" or a prefix length "24".
QString maskText(const QString& text)
{
    bool ok = false;
    const uint prefix = text.toUInt(&ok);
    if (ok && prefix <= 32) {
        const quint32 mask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
        return ipText({quint8(mask >> 24), quint8(mask >> 16), quint8(mask >> 8), quint8(mask)});
    }
    return requireIp(text);
}

} // namespace

QString FakeNetPlatform::SentPacket::ipText() const
{
    const quint32 host = qFromBigEndian(addrNetworkOrder);
    return ::ipText({quint8(host >> 24), quint8(host >> 16), quint8(host >> 8), quint8(host)});
}

bool FakeNetPlatform::openIcmpSocket()
{
    ++m_openCalls;
    if (m_openFails)
        return false;
    m_socketOpen = true;
    return true;
}

bool FakeNetPlatform::setNonBlocking()
{
    ++m_nonBlockingCalls;
    return m_socketOpen && !m_nonBlockingFails;
}

void FakeNetPlatform::sendEcho(const QByteArray& packet, quint32 addrNetworkOrder)
{
    if (m_socketOpen)
        m_sent.append({packet, addrNetworkOrder});
}

QStringList FakeNetPlatform::sentAddresses() const
{
    QStringList out;
    out.reserve(m_sent.size());
    for (const SentPacket& p : m_sent)
        out << p.ipText();
    return out;
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
        if (word == QLatin1String("gw")) {
            gateways = true;
        } else if (gateways) {
            a.gateways << requireIp(word);
        } else {
            const qsizetype slash = word.indexOf(QLatin1Char('/'));
            if (slash < 0)
                qFatal("FakeNetPlatform: \"%s\" is no address/mask", qPrintable(word));
            a.addresses.append({requireIp(word.left(slash)), maskText(word.mid(slash + 1))});
        }
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

NeighbourRow FakeNetPlatform::row(const QString& mac, const QString& ip, quint8 type, int ifindex)
{
    NeighbourRow r;
    r.ifindex = ifindex;
    r.type = type;
    bool ok = false;
    r.ip = parseIp(ip, &ok);
    if (!ok)
        qFatal("FakeNetPlatform: \"%s\" is no IPv4 address", qPrintable(ip));
    if (!mac.isEmpty()) {
        QString hex = mac;
        hex.remove(QLatin1Char('-')).remove(QLatin1Char(':'));
        r.mac = QByteArray::fromHex(hex.toLatin1());
        if (r.mac.size() * 2 != hex.size() || r.mac.isEmpty())
            qFatal("FakeNetPlatform: \"%s\" is no MAC address", qPrintable(mac));
    }
    return r;
}

NeighbourRow& FakeNetPlatform::addNeighbour(const QString& mac, const QString& ip, quint8 type, int ifindex)
{
    m_rows.append(row(mac, ip, type, ifindex));
    return m_rows.last();
}

std::optional<QList<NeighbourRow>> FakeNetPlatform::neighbours()
{
    if (m_neighboursFail)
        return std::nullopt;
    return m_rows;
}

void FakeNetPlatform::deleteNeighbour(const NeighbourRow& row)
{
    m_deleted.append(row);
    if (m_deleteFails)
        return;
    // The kernel deletes by interface and address.
    m_rows.removeIf([&row](const NeighbourRow& r) { return r.ifindex == row.ifindex && r.ip == row.ip; });
}

QStringList FakeNetPlatform::deletedAddresses() const
{
    QStringList out;
    for (const NeighbourRow& r : m_deleted)
        out << ipText(r.ip);
    return out;
}

int FakeNetPlatform::lookupAddress(const QString& ip, LookupDone done)
{
    m_lookedUp << ip;
    if (m_lookupsFail)
        return 0;
    const int handle = m_nextHandle++;
    m_pending.insert(handle, {ip, std::move(done)});
    return handle;
}

void FakeNetPlatform::cancelLookup(int handle)
{
    if (m_pending.remove(handle))
        m_cancelled << handle;
}

QString FakeNetPlatform::lookupAddressOf(int handle) const
{
    return m_pending.value(handle).ip;
}

int FakeNetPlatform::pendingLookupFor(const QString& ip) const
{
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        if (it->ip == ip)
            return it.key();
    }
    return 0;
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
