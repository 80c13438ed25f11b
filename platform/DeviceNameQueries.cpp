#include "platform/DeviceNameQueries.h"

#include "platform/DnsMessage.h"
#include "platform/NbstatMessage.h"

#include <QHostAddress>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <limits>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr quint16 kMdnsPort = 5353;
constexpr quint16 kNetbiosPort = 137;
constexpr int kMdnsTtl = 255; // a responder may drop mDNS packets with any other TTL
constexpr quint32 kFirstDynamicPort = 49152;
constexpr int kPortTries = 8; // all taken: the kernel's own (also random) choice
constexpr qsizetype kMaxDatagram = 9000;
constexpr int kDatagramsPerWake = 16; // a flooding host cannot hold the event loop; the rest waits for the next wake

sockaddr_in endpoint(quint32 ipv4, quint16 port)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ipv4);
    a.sin_port = htons(port);
    return a;
}

quint16 portAsked(NetPlatform::NameQuery kind)
{
    return kind == NetPlatform::NameQuery::Mdns ? kMdnsPort : kNetbiosPort;
}

// A question's socket: a source port of its own drawn from the system's random source, connected to the
// device's port. -1 with errno set when there is none.
int questionSocket(quint32 device, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    for (int i = 0; i < kPortTries; ++i) {
        const sockaddr_in local =
            endpoint(INADDR_ANY, quint16(QRandomGenerator::system()->bounded(kFirstDynamicPort, 0x10000U)));
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0)
            break;
    }
    const int ttl = kMdnsTtl;
    const sockaddr_in to = endpoint(device, port);
    if (setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl) != 0
        || ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

QString label(NetPlatform::NameQuery kind)
{
    return kind == NetPlatform::NameQuery::Mdns ? QStringLiteral("mDNS") : QStringLiteral("NetBIOS");
}
} // namespace

int linkOfAddress(quint32 ipv4)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return 0;
    int found = 0;
    for (const ifaddrs* i = list; i && !found; i = i->ifa_next) {
        if (!i->ifa_addr || !i->ifa_netmask || i->ifa_addr->sa_family != AF_INET)
            continue;
        const unsigned flags = i->ifa_flags;
        if (!(flags & IFF_UP) || (flags & (IFF_LOOPBACK | IFF_POINTOPOINT)))
            continue;
        const quint32 own = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
        const quint32 mask = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr);
        if (mask == 0 || (own & mask) != (ipv4 & mask) || ipv4 == own)
            continue;
        // The subnet's own and broadcast addresses name no single device (a /31 has neither).
        const quint32 host = ipv4 & ~mask;
        if (~mask > 1 && (host == 0 || host == ~mask))
            continue;
        found = int(if_nametoindex(i->ifa_name));
    }
    freeifaddrs(list);
    return found;
}

DeviceNameQueries::~DeviceNameQueries()
{
    while (!m_queries.empty())
        cancel(m_queries.begin()->first);
}

int DeviceNameQueries::ask(
    NetPlatform::NameQuery kind, const QString& ip, NetPlatform::NameQueryDone done, const Report& report)
{
    bool ok = false;
    const quint32 device = QHostAddress(ip).toIPv4Address(&ok);
    const auto id = quint16(QRandomGenerator::system()->bounded(1U, 0x10000U));
    const int handle = start(kind, ip,
        kind == NetPlatform::NameQuery::Mdns ? dnsmsg::buildPtrQuery(id, device) : nbstat::buildNodeStatusQuery(id),
        report);
    if (handle != 0) {
        m_queries[handle].id = id;
        m_queries[handle].done = std::move(done);
    }
    return handle;
}

int DeviceNameQueries::askMdns(
    const QString& ip, const QByteArray& query, NetPlatform::DatagramDone done, const Report& report)
{
    const int handle = start(NetPlatform::NameQuery::Mdns, ip, query, report);
    if (handle != 0)
        m_queries[handle].raw = std::move(done);
    return handle;
}

int DeviceNameQueries::start(
    NetPlatform::NameQuery kind, const QString& ip, const QByteArray& packet, const Report& report)
{
    bool ok = false;
    const quint32 device = QHostAddress(ip).toIPv4Address(&ok);
    if (!ok || linkOfAddress(device) == 0)
        return 0;
    const int fd = questionSocket(device, portAsked(kind));
    if (fd < 0) {
        report(QStringLiteral("askDeviceName socket"),
            QStringLiteral("no UDP socket to ask %1: %2").arg(ip, QString::fromLocal8Bit(strerror(errno))));
        return 0;
    }
    if (::send(fd, packet.constData(), size_t(packet.size()), 0) != packet.size()) {
        report(QStringLiteral("askDeviceName ") + label(kind),
            QStringLiteral("%1 query to %2 not sent: %3")
                .arg(label(kind), ip, QString::fromLocal8Bit(strerror(errno))));
        ::close(fd);
        return 0;
    }
    const int handle = m_nextHandle;
    m_nextHandle = m_nextHandle == std::numeric_limits<int>::max() ? 1 : m_nextHandle + 1;
    Query& q = m_queries[handle];
    q.kind = kind;
    q.fd = fd;
    q.device = device;
    q.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(
        q.notifier.get(), &QSocketNotifier::activated, q.notifier.get(), [this, handle] { readable(handle); });
    return handle;
}

void DeviceNameQueries::cancel(int handle)
{
    const auto it = m_queries.find(handle);
    if (it == m_queries.end())
        return;
    // The notifier may be the one whose signal is being delivered right now.
    it->second.notifier->setEnabled(false);
    it->second.notifier.release()->deleteLater();
    ::close(it->second.fd);
    m_queries.erase(it);
}

void DeviceNameQueries::readable(int handle)
{
    QByteArray buffer(kMaxDatagram, Qt::Uninitialized);
    for (int i = 0; i < kDatagramsPerWake; ++i) {
        const auto it = m_queries.find(handle);
        if (it == m_queries.end())
            return; // cancelled by the previous answer's receiver
        const Query& q = it->second;
        sockaddr_in from {};
        socklen_t fromLength = sizeof from;
        const ssize_t n =
            ::recvfrom(q.fd, buffer.data(), size_t(buffer.size()), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0)
            return; // EAGAIN: read out; an ICMP error of the unicast send says nothing worth a line
        if (q.raw) {
            // The socket is connected to the device's port: the kernel has dropped anyone else's datagrams.
            const NetPlatform::DatagramDone raw = q.raw;
            if (ntohl(from.sin_addr.s_addr) == q.device && ntohs(from.sin_port) == kMdnsPort)
                raw(handle, buffer.left(n));
            continue;
        }
        const dnsmsg::NameReply reply =
            judgeNameReply(q.kind, buffer.left(n), ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), q.device, q.id);
        const NetPlatform::NameQueryDone done = q.done;
        if (done)
            done(handle, reply.name, reply.error);
    }
}

dnsmsg::NameReply judgeNameReply(
    NetPlatform::NameQuery kind, const QByteArray& datagram, quint32 sender, quint16 port, quint32 device, quint16 id)
{
    if (sender != device || port != portAsked(kind))
        return {{}, QStringLiteral("reply from %1:%2").arg(QHostAddress(sender).toString()).arg(port)};
    return kind == NetPlatform::NameQuery::Mdns ? dnsmsg::parsePtrReply(datagram, id, device)
                                                : nbstat::parseNodeStatusReply(datagram, id);
}
