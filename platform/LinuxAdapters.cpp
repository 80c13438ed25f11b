// The adapter list of the Linux network layer: getifaddrs for interfaces and their IPv4 addresses, the
// main table's default routes for the gateways, and the neighbour table's limit.

#include "platform/LinuxAdapters.h"

#include <QDir>
#include <QFile>
#include <QMap>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>

namespace {

struct Link
{
    int index = 0;
    QString name;
    unsigned flags = 0;
    int arphrd = -1;
    QByteArray mac;
    QList<AdapterAddress> addresses;
};

QString ipv4Text(const sockaddr* sa)
{
    if (!sa || sa->sa_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
    return QString::fromLatin1(inet_ntop(AF_INET, &in->sin_addr, text, sizeof text));
}

// Address entries carry their label ("eth0:1" for an aliased address); the interface name stops at the
// colon, which no interface name may contain.
QString linkName(const char* ifaName)
{
    const QString name = QString::fromLocal8Bit(ifaName);
    const qsizetype colon = name.indexOf(QLatin1Char(':'));
    return colon < 0 ? name : name.left(colon);
}

constexpr int kKernelDefaultNeighbourLimit = 1024;
const char* const kNeighbourLimitFile = "/proc/sys/net/ipv4/neigh/default/gc_thresh3";

// Why an interface with an address is not swept; empty when it is. Echo requests only resolve neighbours
// on a link that does ARP, and only while it has carrier: a tunnel (WireGuard, OpenVPN's tun), a
// point-to-point link, a NOARP interface or a bridge without ports would take a whole range of requests for
// nothing.
QString leftOutReason(const Link& link)
{
    if (!(link.flags & IFF_UP))
        return QStringLiteral("is down");
    // Carrier is the driver's own flag (IFF_LOWER_UP, from linux/if.h, which clashes with net/if.h); the
    // operational state (IFF_RUNNING) follows it only up to a second later and also drops for a dormant link.
    constexpr unsigned kLowerUp = 1u << 16;
    if (!(link.flags & kLowerUp) || !(link.flags & IFF_RUNNING))
        return QStringLiteral("has no carrier");
    if (link.flags & IFF_POINTOPOINT)
        return QStringLiteral("is a point-to-point link");
    if (link.flags & IFF_NOARP)
        return QStringLiteral("does not do ARP");
    return {};
}

} // namespace

bool isBridgeWithoutPorts(const QString& sysClassNet, const QString& name)
{
    const QDir link(sysClassNet + QLatin1Char('/') + name);
    return link.exists(QStringLiteral("bridge"))
        && QDir(link.filePath(QStringLiteral("brif"))).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot);
}

int neighbourTableLimitFrom(const QString& sysctlFile)
{
    QFile f(sysctlFile);
    if (!f.open(QIODevice::ReadOnly))
        return kKernelDefaultNeighbourLimit;
    bool ok = false;
    const int rows = f.readAll().trimmed().toInt(&ok);
    return ok && rows > 0 ? rows : kKernelDefaultNeighbourLimit;
}

int adapterTypeFromArphrd(int arphrd)
{
    switch (arphrd) {
    case ARPHRD_ETHER:
        return 6;
    case ARPHRD_IEEE802_TR:
        return 9;
    case ARPHRD_FDDI:
        return 15;
    case ARPHRD_PPP:
        return 23;
    case ARPHRD_LOOPBACK:
        return 24;
    case ARPHRD_SLIP:
        return 28;
    default:
        return 1;
    }
}

QList<AdapterInfo> adaptersFromIfaddrs(const ifaddrs* list, const QList<DefaultRouteHop>& routes)
{
    return adaptersFromIfaddrs(list, routes, nullptr);
}

QList<AdapterInfo> adaptersFromIfaddrs(
    const ifaddrs* list, const QList<DefaultRouteHop>& routes, QList<LeftOutLink>* leftOut)
{
    QHash<QString, Link> links;
    // The link entries (AF_PACKET) give index, hardware type and address.
    for (const ifaddrs* e = list; e; e = e->ifa_next) {
        if (!e->ifa_name || !e->ifa_addr || e->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto* ll = reinterpret_cast<const sockaddr_ll*>(e->ifa_addr);
        Link& link = links[linkName(e->ifa_name)];
        link.index = ll->sll_ifindex;
        link.name = linkName(e->ifa_name);
        link.flags = e->ifa_flags;
        link.arphrd = ll->sll_hatype;
        const int len = qBound(0, int(ll->sll_halen), int(sizeof ll->sll_addr));
        link.mac = QByteArray(reinterpret_cast<const char*>(ll->sll_addr), len);
    }
    // IPv4 address entries, in the kernel's order.
    for (const ifaddrs* e = list; e; e = e->ifa_next) {
        if (!e->ifa_name || !e->ifa_addr || e->ifa_addr->sa_family != AF_INET)
            continue;
        const QString name = linkName(e->ifa_name);
        auto it = links.find(name);
        if (it == links.end()) {
            // No link entry (some sandboxes list none): the address entry's flags are the link's.
            Link link;
            link.index = int(if_nametoindex(name.toLocal8Bit().constData()));
            link.name = name;
            link.flags = e->ifa_flags;
            it = links.insert(name, link);
        }
        QString mask = ipv4Text(e->ifa_netmask);
        if (mask.isEmpty())
            mask = QStringLiteral("255.255.255.255");
        it->addresses.append({ipv4Text(e->ifa_addr), mask});
    }

    QMap<int, AdapterInfo> byIndex;
    for (const Link& link : std::as_const(links)) {
        if ((link.flags & IFF_LOOPBACK) || link.arphrd == ARPHRD_LOOPBACK)
            continue;
        // An interface without an IPv4 address (an unconfigured or IPv6-only one, a bridge member) is left
        // out: its stand-in range 0.0.0.0-0.0.0.255 would send echoes that reach nothing the user owns, and
        // it has no IPv4 gateway to contribute.
        if (link.addresses.isEmpty())
            continue;
        const QString reason = leftOutReason(link);
        if (!reason.isEmpty()) {
            if (leftOut)
                leftOut->append({link.name, reason});
            continue;
        }
        AdapterInfo a;
        a.index = link.index;
        a.name = link.name;
        a.type = adapterTypeFromArphrd(link.arphrd);
        a.mac = link.mac;
        a.addresses = link.addresses;
        for (const DefaultRouteHop& hop : routes) {
            if (hop.ifindex == link.index)
                a.gateways.append(hop.gateway);
        }
        if (a.gateways.isEmpty())
            a.gateways.append(QString());
        byIndex.insert(link.index, a);
    }
    return byIndex.values();
}

std::optional<QList<AdapterInfo>> LinuxNetPlatform::adapters()
{
    const std::optional<QList<DefaultRouteHop>> routes = defaultRoutes();
    if (!routes)
        return std::nullopt;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        logOnce(m_lastAdapterError,
            QStringLiteral("NetPlatform - interface list: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return std::nullopt;
    }
    QList<LeftOutLink> leftOut;
    QList<AdapterInfo> result = adaptersFromIfaddrs(list, *routes, &leftOut);
    ::freeifaddrs(list);
    logOnce(m_lastAdapterError, QString());
    result.removeIf([&leftOut](const AdapterInfo& a) {
        if (!isBridgeWithoutPorts(QStringLiteral("/sys/class/net"), a.name))
            return false;
        leftOut.append({a.name, QStringLiteral("is a bridge without ports")});
        return true;
    });
    for (const LeftOutLink& link : std::as_const(leftOut))
        reportProblem(QStringLiteral("adapter %1 %2").arg(link.name, link.reason),
            QStringLiteral("%1 %2: it is not swept").arg(link.name, link.reason));
    setNeighbourTableLimit(neighbourTableLimitFrom(QString::fromLatin1(kNeighbourLimitFile)));
    return result;
}
