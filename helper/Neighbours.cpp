#include "helper/Neighbours.h"

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::uint32_t g_seq = 1;

struct DeleteMessage
{
    nlmsghdr header;
    ndmsg neighbour;
    rtattr dstAttr;
    std::uint8_t dst[4];
};

struct DumpMessage
{
    nlmsghdr header;
    ndmsg neighbour;
};

// Reads the answers to seq until the dump ends or the ack arrives; each row of a dump goes to rows.
int receive(int fd, std::uint32_t seq, std::vector<NeighbourEntry>* rows)
{
    alignas(nlmsghdr) char buffer[32768];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        int left = int(n);
        // NLMSG_OK spelled out: the macro compares the unsigned message length with the signed count left.
        for (auto* h = reinterpret_cast<nlmsghdr*>(buffer);
             left >= int(sizeof(nlmsghdr)) && h->nlmsg_len >= sizeof(nlmsghdr) && h->nlmsg_len <= unsigned(left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_seq != seq)
                continue; // an answer to an earlier request that was given up
            if (h->nlmsg_type == NLMSG_DONE)
                return 0;
            if (h->nlmsg_type == NLMSG_ERROR) {
                if (h->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr)))
                    return EPROTO;
                return -static_cast<const nlmsgerr*>(NLMSG_DATA(h))->error;
            }
            if (h->nlmsg_type != RTM_NEWNEIGH || !rows || h->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
                continue;
            const auto* nd = static_cast<const ndmsg*>(NLMSG_DATA(h));
            if (nd->ndm_family != AF_INET)
                continue;
            NeighbourEntry e;
            e.ifindex = std::uint32_t(nd->ndm_ifindex);
            e.state = nd->ndm_state;
            bool haveDst = false;
            int attrLeft = int(h->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
            for (auto* a =
                     reinterpret_cast<rtattr*>(reinterpret_cast<char*>(NLMSG_DATA(h)) + NLMSG_ALIGN(sizeof(ndmsg)));
                 RTA_OK(a, attrLeft); a = RTA_NEXT(a, attrLeft)) {
                if (a->rta_type == NDA_DST && RTA_PAYLOAD(a) == 4) {
                    std::memcpy(e.ip.data(), RTA_DATA(a), 4);
                    haveDst = true;
                }
            }
            if (haveDst)
                rows->push_back(e);
        }
    }
}

} // namespace

int openNetlink()
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return -1;
    sockaddr_nl local {};
    local.nl_family = AF_NETLINK;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int dumpNeighbours(int fd, std::vector<NeighbourEntry>& out)
{
    out.clear();
    if (fd < 0)
        return EBADF;
    DumpMessage m {};
    m.header.nlmsg_len = sizeof m;
    m.header.nlmsg_type = RTM_GETNEIGH;
    m.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    m.header.nlmsg_seq = ++g_seq;
    m.neighbour.ndm_family = AF_INET;
    if (::send(fd, &m, sizeof m, 0) < 0)
        return errno;
    const int err = receive(fd, m.header.nlmsg_seq, &out);
    if (err != 0)
        out.clear();
    return err;
}

int deleteNeighbour(int fd, std::uint32_t ifindex, const std::array<std::uint8_t, 4>& ip)
{
    if (fd < 0)
        return EBADF;
    DeleteMessage m {};
    m.header.nlmsg_len = sizeof m;
    m.header.nlmsg_type = RTM_DELNEIGH;
    m.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
    m.header.nlmsg_seq = ++g_seq;
    m.neighbour.ndm_family = AF_INET;
    m.neighbour.ndm_ifindex = int(ifindex);
    m.dstAttr.rta_type = NDA_DST;
    m.dstAttr.rta_len = RTA_LENGTH(4);
    std::memcpy(m.dst, ip.data(), 4);
    if (::send(fd, &m, sizeof m, 0) < 0)
        return errno;
    return receive(fd, m.header.nlmsg_seq, nullptr);
}
