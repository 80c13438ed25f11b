#include "platform/DiscoverySockets.h"

#include <QElapsedTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr quint16 kMdnsListenPort = 5353;
constexpr quint16 kSsdpPort = 1900;
const char* const kMdnsGroup = "224.0.0.251";
const char* const kSsdpGroup = "239.255.255.250";
constexpr int kSsdpTtl = 2; // as UPnP asks of a search
constexpr qsizetype kMaxDiscoveryDatagram = 9000;
constexpr int kDiscoveryPerWake = 32; // the event loop is never held by one flood

qint64 monotonicSecond()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed() / 1000;
}

QString socketError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

const QByteArray kSearch = QByteArrayLiteral("M-SEARCH * HTTP/1.1\r\n"
                                             "HOST: 239.255.255.250:1900\r\n"
                                             "MAN: \"ssdp:discover\"\r\n"
                                             "MX: 2\r\n"
                                             "ST: ssdp:all\r\n"
                                             "\r\n");
} // namespace

DiscoverySockets::DiscoverySockets(Heard heard, Report report)
    : m_heard(std::move(heard))
    , m_report(std::move(report))
{ }

DiscoverySockets::~DiscoverySockets()
{
    for (Socket* s : {&m_mdns, &m_ssdp, &m_search}) {
        if (s->fd >= 0) {
            s->notifier.reset();
            ::close(s->fd);
        }
    }
}

bool DiscoverySockets::open(Socket& socket, HeardDatagram::Kind kind, const char* group, quint16 port)
{
    if (socket.fd >= 0)
        return true;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    const int off = 0;
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    // Bound to the group, not to every address: datagrams sent to this port by unicast (a responder's answer
    // to avahi's own question) still reach avahi alone.
    if (group)
        ::inet_pton(AF_INET, group, &local.sin_addr);
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0
        || setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &off, sizeof off) != 0
        || ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        m_report(QStringLiteral("discovery socket %1").arg(port),
            QStringLiteral("cannot listen on UDP port %1: %2; devices are not asked what they are by %3")
                .arg(port)
                .arg(socketError(), port == kMdnsListenPort ? QStringLiteral("mDNS") : QStringLiteral("SSDP")));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    socket.fd = fd;
    socket.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    const Socket* s = &socket;
    QObject::connect(socket.notifier.get(), &QSocketNotifier::activated, socket.notifier.get(),
        [this, s, kind] { readable(*s, kind); });
    return true;
}

void DiscoverySockets::membership(int ifindex, bool join)
{
    for (const auto& [socket, group] : {std::pair {&m_mdns, kMdnsGroup}, std::pair {&m_ssdp, kSsdpGroup}}) {
        ip_mreqn request {};
        ::inet_pton(AF_INET, group, &request.imr_multiaddr);
        request.imr_ifindex = ifindex;
        if (socket->fd >= 0
            && setsockopt(
                   socket->fd, IPPROTO_IP, join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, &request, sizeof request)
                != 0
            && join)
            m_report(QStringLiteral("discovery group %1").arg(QLatin1String(group)),
                QStringLiteral("cannot join %1 on interface %2: %3")
                    .arg(QLatin1String(group))
                    .arg(ifindex)
                    .arg(socketError()));
    }
}

bool DiscoverySockets::listen(const QList<int>& ifindexes)
{
    const bool mdns = open(m_mdns, HeardDatagram::Kind::Mdns, kMdnsGroup, kMdnsListenPort);
    const bool ssdp = open(m_ssdp, HeardDatagram::Kind::Ssdp, kSsdpGroup, kSsdpPort);
    open(m_search, HeardDatagram::Kind::Ssdp, nullptr, 0);
    const QSet<int> wanted(ifindexes.begin(), ifindexes.end());
    for (const int gone : m_joined - wanted)
        membership(gone, false);
    for (const int added : wanted - m_joined)
        membership(added, true);
    m_joined = wanted;
    return mdns || ssdp;
}

void DiscoverySockets::search()
{
    if (m_search.fd < 0)
        return;
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(kSsdpPort);
    ::inet_pton(AF_INET, kSsdpGroup, &to.sin_addr);
    for (const int ifindex : std::as_const(m_joined)) {
        ip_mreqn via {};
        via.imr_ifindex = ifindex;
        const int ttl = kSsdpTtl;
        if (setsockopt(m_search.fd, IPPROTO_IP, IP_MULTICAST_IF, &via, sizeof via) != 0
            || setsockopt(m_search.fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) != 0
            || ::sendto(m_search.fd, kSearch.constData(), size_t(kSearch.size()), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to)
                < 0)
            m_report(QStringLiteral("SSDP search"),
                QStringLiteral("SSDP search on interface %1 not sent: %2").arg(ifindex).arg(socketError()));
    }
}

void DiscoverySockets::readable(const Socket& socket, HeardDatagram::Kind kind)
{
    QByteArray buffer(kMaxDiscoveryDatagram, Qt::Uninitialized);
    for (int i = 0; i < kDiscoveryPerWake && socket.fd >= 0; ++i) {
        sockaddr_in from {};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(
            socket.fd, buffer.data(), size_t(buffer.size()), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0)
            return;
        const qint64 second = monotonicSecond();
        if (second != m_second) {
            if (m_dropped > 0 && second / 60 != m_second / 60)
                m_report(QStringLiteral("discovery dropped"),
                    QStringLiteral("mDNS and SSDP come faster than %1 datagrams a second; %2 were dropped")
                        .arg(kDatagramsPerSecond)
                        .arg(std::exchange(m_dropped, 0)));
            m_second = second;
            m_count = 0;
        }
        if (++m_count > kDatagramsPerSecond) {
            ++m_dropped;
            continue;
        }
        m_heard(HeardDatagram {kind, ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), buffer.left(n)});
    }
}
