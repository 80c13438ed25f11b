// The rtnetlink side of the Linux network layer (libnl): default routes for the gateway lists and the IPv4 and
// IPv6 neighbour table dumps; deleting rows needs privileges, so the helper does it (IPv4 rows only). Dumps are parsed
// message by message rather than through a libnl cache, so rows keep the kernel's dump order.

#include "platform/DebugSink.h"
#include "platform/LinuxNetPlatform.h"

#include <cstring>
#include <functional>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <netlink/addr.h>
#include <netlink/errno.h>
#include <netlink/msg.h>
#include <netlink/netlink.h>
#include <netlink/route/neighbour.h>
#include <netlink/route/nexthop.h>
#include <netlink/route/route.h>
#include <netlink/route/rtnl.h>
#include <netlink/socket.h>

namespace {

using MessageFn = std::function<void(nlmsghdr*)>;

int onValidMessage(nl_msg* msg, void* arg)
{
    (*static_cast<MessageFn*>(arg))(nlmsg_hdr(msg));
    return NL_OK;
}

// One dump of the given message type and address family; each valid message goes to each. Returns 0 or a
// negative libnl error; -NLE_DUMP_INTR when the table changed during the dump (libnl has drained the rest by then).
int runDump(nl_sock* sock, int type, MessageFn each, int family = AF_INET)
{
    int err = nl_rtgen_request(sock, type, family, NLM_F_DUMP);
    if (err < 0)
        return err;
    // nl_socket_get_cb hands out a reference of its own, released once the clone is made.
    nl_cb* base = nl_socket_get_cb(sock);
    nl_cb* cb = base ? nl_cb_clone(base) : nullptr;
    if (base)
        nl_cb_put(base);
    if (!cb)
        return -NLE_NOMEM;
    nl_cb_set(cb, NL_CB_VALID, NL_CB_CUSTOM, onValidMessage, &each);
    err = nl_recvmsgs(sock, cb);
    nl_cb_put(cb);
    return err < 0 ? err : 0;
}

QString addrText(nl_addr* addr)
{
    if (!addr || nl_addr_get_family(addr) != AF_INET || nl_addr_get_len(addr) != 4)
        return {};
    const auto* b = static_cast<const quint8*>(nl_addr_get_binary_addr(addr));
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

constexpr int kDumpAttempts = 3;

// Fills a row (NeighbourRow or Neighbour6Row) from a neighbour of the row's family; false for any other.
template<typename Row> bool readNeighbour(rtnl_neigh* n, int family, Row& row)
{
    nl_addr* dst = rtnl_neigh_get_dst(n);
    if (rtnl_neigh_get_family(n) != family || !dst || nl_addr_get_len(dst) != row.ip.size())
        return false;
    row.ifindex = rtnl_neigh_get_ifindex(n);
    std::memcpy(row.ip.data(), nl_addr_get_binary_addr(dst), row.ip.size());
    if (nl_addr* ll = rtnl_neigh_get_lladdr(n); ll && nl_addr_get_len(ll) > 0)
        row.mac = QByteArray(static_cast<const char*>(nl_addr_get_binary_addr(ll)), qsizetype(nl_addr_get_len(ll)));
    row.type = neighbourTypeFromState(rtnl_neigh_get_state(n));
    return true;
}

} // namespace

quint8 neighbourTypeFromState(int nudState)
{
    if (nudState & NUD_PERMANENT)
        return 4;
    if (nudState & NUD_NOARP)
        return 1;
    if (nudState & (NUD_INCOMPLETE | NUD_FAILED))
        return 2;
    return 3;
}

nl_sock* LinuxNetPlatform::route()
{
    if (m_route)
        return m_route;
    nl_sock* sock = nl_socket_alloc();
    if (!sock)
        return nullptr;
    if (nl_connect(sock, NETLINK_ROUTE) < 0) {
        nl_socket_free(sock);
        return nullptr;
    }
    m_route = sock;
    return m_route;
}

void LinuxNetPlatform::dropRoute()
{
    if (!m_route)
        return;
    nl_close(m_route);
    nl_socket_free(m_route);
    m_route = nullptr;
}

std::optional<QList<DefaultRouteHop>> LinuxNetPlatform::defaultRoutes()
{
    QList<DefaultRouteHop> hops;
    int err = -NLE_BAD_SOCK;
    for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
        nl_sock* sock = route();
        if (!sock)
            break;
        hops.clear();
        err = runDump(sock, RTM_GETROUTE, [&hops](nlmsghdr* hdr) {
            rtnl_route* r = nullptr;
            if (rtnl_route_parse(hdr, &r) < 0 || !r)
                return;
            nl_addr* dst = rtnl_route_get_dst(r);
            const bool isDefault = rtnl_route_get_family(r) == AF_INET && rtnl_route_get_table(r) == RT_TABLE_MAIN
                && rtnl_route_get_type(r) == RTN_UNICAST && (!dst || nl_addr_get_prefixlen(dst) == 0);
            if (isDefault) {
                // Multipath routes list one hop per interface; a hop without gateway names none.
                for (int n = 0; n < rtnl_route_get_nnexthops(r); ++n) {
                    rtnl_nexthop* hop = rtnl_route_nexthop_n(r, n);
                    const QString gateway = addrText(rtnl_route_nh_get_gateway(hop));
                    if (!gateway.isEmpty())
                        hops.append({rtnl_route_nh_get_ifindex(hop), gateway});
                }
            }
            rtnl_route_put(r);
        });
        if (err == 0)
            return hops;
        if (err != -NLE_DUMP_INTR)
            dropRoute();
    }
    logOnce(m_lastAdapterError,
        QStringLiteral("NetPlatform - default routes: %1").arg(QString::fromLocal8Bit(nl_geterror(err))));
    return std::nullopt;
}

int LinuxNetPlatform::dumpNeighbours(int family, const std::function<void(rtnl_neigh*)>& each)
{
    int err = -NLE_BAD_SOCK;
    for (int attempt = 0; attempt < kDumpAttempts; ++attempt) {
        nl_sock* sock = route();
        if (!sock)
            break;
        each(nullptr);
        err = runDump(
            sock, RTM_GETNEIGH,
            [&each](nlmsghdr* hdr) {
                rtnl_neigh* n = nullptr;
                if (rtnl_neigh_parse(hdr, &n) < 0 || !n)
                    return;
                each(n);
                rtnl_neigh_put(n);
            },
            family);
        if (err == 0)
            return 0;
        if (err != -NLE_DUMP_INTR)
            dropRoute();
    }
    return err;
}

// One table's rows, or nothing (with one log line until the table reads again) when it cannot be read.
template<typename Row>
std::optional<QList<Row>> LinuxNetPlatform::readTable(int family, QString& lastError, const QString& name)
{
    QList<Row> rows;
    const int err = dumpNeighbours(family, [&rows, family](rtnl_neigh* n) {
        Row row;
        if (!n)
            rows.clear();
        else if (readNeighbour(n, family, row))
            rows.append(row);
    });
    if (err == 0) {
        logOnce(lastError, QString());
        return rows;
    }
    logOnce(lastError, QStringLiteral("NetPlatform - %1: %2").arg(name, QString::fromLocal8Bit(nl_geterror(err))));
    return std::nullopt;
}

std::optional<QList<NeighbourRow>> LinuxNetPlatform::neighbours()
{
    return readTable<NeighbourRow>(AF_INET, m_lastNeighbourError, QStringLiteral("neighbour table"));
}

std::optional<QList<Neighbour6Row>> LinuxNetPlatform::neighbours6()
{
    return readTable<Neighbour6Row>(AF_INET6, m_lastNeighbour6Error, QStringLiteral("IPv6 neighbour table"));
}
