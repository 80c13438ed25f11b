// kestrelwatch-helper: the only part of Kestrelwatch that holds privileges. The monitor starts it as a child
// and speaks HelperProtocol.h over its stdin and stdout (for the headless service, the service manager starts it
// per connection to its socket, and only the socket's owner may speak). It sends echo requests (CAP_NET_RAW, used once
// to open the raw socket) and deletes neighbour rows (CAP_NET_ADMIN, raised only while a deletion is made), and only
// inside the directly connected IPv4 ranges of interfaces that are up and do ARP, never to a range's network
// or broadcast address, never a static or no-ARP row, never faster than the engine's own rate (Policy.h). Once
// asked (ListenArp) it reports the ARP it hears on those interfaces: a packet socket
// (CAP_NET_RAW, used once to open it) whose locked filter passes only the 28-byte bodies of incoming ARP, so
// nothing else any host sends is ever read; each sender's MAC and address (a probe's target address) is reported
// when the address lies in a connected range of the interface it was heard on, at most once a second per
// sender and address and kArpReportsPerSecond in all. Once asked (ListenDhcp) it reports the DHCP client
// messages it hears there the same way: a second packet socket whose locked filter passes only incoming UDP
// from port 68 to port 67, each DISCOVER, REQUEST or INFORM reported with its client MAC (the frame's own
// source), the address it asks for or holds when that lies in a connected range of the interface, and its host
// name, at most kDhcpReportsPerSecond in all. It reads no environment, closes every inherited
// descriptor, keeps no other capability, and exits when the pipe closes.

#include "helper/ArpListener.h"
#include "helper/DhcpMessage.h"
#include "helper/HelperProtocol.h"
#include "helper/Neighbours.h"
#include "helper/Policy.h"

// Before linux/icmp.h, which would otherwise bring the kernel's conflicting if.h.
#include <net/if.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/icmp.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

using namespace helperproto;

namespace {

constexpr int kSendBuffer = 327680; // lets a whole batch queue behind addresses the kernel is still resolving
constexpr std::size_t kQueueMax = 64; // echoes held back by the rate cap; beyond this they are refused
using helperpolicy::kSecondNs;
// The one echo request there is: type 8, code 0, its checksum, identifier 0x5555, sequence 0, eight bytes 0x40.
// No reply is ever read; it only makes the kernel resolve the target by ARP.
constexpr std::uint8_t kEchoRequest[16] = {
    8, 0, 0xA1, 0xA9, 0x55, 0x55, 0, 0, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40};

std::int64_t nowNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * kSecondNs + ts.tv_nsec;
}

bool writeAll(const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

// The directly connected IPv4 ranges, re-read at most every second (and on a miss, at most every 100 ms), and
// what the policy allows within them.
struct Connected
{
    helperpolicy::Policy policy;
    std::int64_t readAt = -kSecondNs * 10;

    void refresh()
    {
        readAt = nowNs();
        std::vector<helperpolicy::Range> ranges;
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) == 0) {
            for (const ifaddrs* a = list; a; a = a->ifa_next) {
                if (!a->ifa_addr || !a->ifa_netmask || a->ifa_addr->sa_family != AF_INET
                    || !helperpolicy::rangeInterface(a->ifa_flags))
                    continue;
                // Address labels ("eth0:1") name their interface before the colon.
                char name[IF_NAMESIZE] {};
                std::strncpy(name, a->ifa_name, IF_NAMESIZE - 1);
                if (char* colon = std::strchr(name, ':'))
                    *colon = '\0';
                if (const auto r =
                        helperpolicy::rangeOf(ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr),
                            ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr),
                            if_nametoindex(name)))
                    ranges.push_back(*r);
            }
            freeifaddrs(list);
        }
        policy.setRanges(std::move(ranges));
    }

    // Asks check with ranges at most a second old; when they refuse the address as outside, once more with
    // ranges read now (an address just added), unless they were read in the last 100 ms.
    template<typename Check> helperpolicy::Verdict judge(Check check)
    {
        if (nowNs() - readAt > kSecondNs)
            refresh();
        helperpolicy::Verdict v = check();
        if (v == helperpolicy::Verdict::OutsideRanges && nowNs() - readAt >= kSecondNs / 10) {
            refresh();
            v = check();
        }
        return v;
    }
};

struct Helper
{
    int icmp = -1;
    int icmpErrno = 0;
    int sendBuffer = 0;
    bool admin = false;
    int netlink = -1;
    int arp = -1;
    int arpErrno = 0;
    bool listening = false;
    helperarp::ArpReports arpReports;
    std::int64_t droppedReportedAt = -kSecondNs * 10;
    int dhcp = -1;
    int dhcpErrno = 0;
    bool listeningDhcp = false;
    helperdhcp::DhcpReports dhcpReports;
    std::int64_t dhcpDroppedReportedAt = -kSecondNs * 10;
    Connected connected;
    std::vector<std::uint32_t> queue; // host order, held back by the rate cap
    // Outcome of queued sends, reported with the next batch's reply.
    std::uint16_t lateSent = 0;
    std::uint16_t lateFailed = 0;
    int lateErrno = 0;

    // Sends what the rate cap allows from the queue; returns ns until the next may go, -1 when empty.
    std::int64_t drain(std::uint16_t& sent, std::uint16_t& failed, int& err)
    {
        std::size_t i = 0;
        for (; i < queue.size(); ++i) {
            const std::int64_t now = nowNs();
            if (connected.policy.echoWaitNs(now) > 0)
                break;
            connected.policy.echoSent(now);
            sockaddr_in to {};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(queue[i]);
            if (::sendto(
                    icmp, kEchoRequest, sizeof kEchoRequest, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to), sizeof to)
                >= 0) {
                ++sent;
            } else {
                ++failed;
                if (!err)
                    err = errno;
            }
        }
        queue.erase(queue.begin(), queue.begin() + std::ptrdiff_t(i));
        return queue.empty() ? -1 : std::max<std::int64_t>(connected.policy.echoWaitNs(nowNs()), 0);
    }

    std::vector<std::uint8_t> echo(const Request& req)
    {
        EchoOutcome o;
        o.sent = lateSent;
        o.failed = lateFailed;
        int err = lateErrno;
        lateSent = lateFailed = 0;
        lateErrno = 0;
        for (const auto& t : req.echoTargets) {
            const std::uint32_t addr = get32(t.data());
            const helperpolicy::Verdict v = connected.judge([&] { return connected.policy.echoTarget(addr); });
            if (v != helperpolicy::Verdict::Allowed) {
                ++(v == helperpolicy::Verdict::Hostless ? o.refusedHostless : o.refusedRange);
                o.refusedAddress = o.refusedAddress ? o.refusedAddress : addr;
            } else if (queue.size() >= kQueueMax) {
                ++o.refusedRate;
            } else {
                queue.push_back(addr);
            }
        }
        drain(o.sent, o.failed, err);
        o.queued = std::uint16_t(queue.size());
        o.error = std::uint32_t(err);
        return frame(Type::EchoResult, req.seq, echoResultPayload(o));
    }

    std::vector<std::uint8_t> remove(const Request& req)
    {
        using helperpolicy::Verdict;
        DeleteOutcome o;
        int err = 0;
        const auto refuse = [&o](std::uint16_t& count, std::uint32_t addr) {
            ++count;
            o.refusedAddress = o.refusedAddress ? o.refusedAddress : addr;
        };
        std::vector<NeighbourEntry> table;
        const int dumpErr = dumpNeighbours(netlink, table);
        for (const NeighbourTarget& t : req.neighbours) {
            const std::uint32_t addr = get32(t.ip.data());
            if (connected.judge([&] { return connected.policy.deletion(t.ifindex, addr, std::nullopt, nowNs()); })
                != Verdict::Allowed) {
                refuse(o.refusedRange, addr);
                continue;
            }
            if (dumpErr != 0) {
                ++o.failed; // without the table the row's state is unknown: nothing is deleted blind
                err = err ? err : dumpErr;
                continue;
            }
            const NeighbourEntry* row = nullptr;
            for (const NeighbourEntry& e : table) {
                if (e.ifindex == t.ifindex && e.ip == t.ip)
                    row = &e;
            }
            if (!row) {
                ++o.absent;
                continue;
            }
            const Verdict v = connected.policy.deletion(t.ifindex, addr, row->state, nowNs());
            if (v != Verdict::Allowed) {
                refuse(v == Verdict::KeptState   ? o.refusedState
                        : v == Verdict::OverRate ? o.refusedRate
                                                 : o.refusedRange,
                    addr);
                continue;
            }
            const int e = withAdmin([&] { return deleteNeighbour(netlink, t.ifindex, t.ip); });
            if (e == 0)
                ++o.deleted;
            else if (e == ENOENT)
                ++o.absent;
            else {
                ++o.failed;
                err = err ? err : e;
            }
        }
        o.error = std::uint32_t(err);
        return frame(Type::DeleteResult, req.seq, deleteResultPayload(o));
    }

    // Reads what the ARP socket holds (a bounded number per call, so the pipe is never starved) and reports
    // the senders inside the connected ranges of the interface each was heard on; false when the pipe is gone.
    bool readArp()
    {
        std::vector<Heard> heard;
        for (int i = 0; i < 256; ++i) {
            std::uint8_t body[64];
            sockaddr_ll from {};
            socklen_t fromLen = sizeof from;
            const ssize_t n =
                ::recvfrom(arp, body, sizeof body, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                break;
            Heard s;
            s.ifindex = std::uint32_t(from.sll_ifindex);
            if (from.sll_pkttype == PACKET_OUTGOING || !helperarp::parseArpPacket(body, std::size_t(n), s))
                continue;
            s.toHost = from.sll_pkttype == PACKET_HOST;
            // Heard on the interface whose connected range holds the address: what a deletion there may touch.
            const std::uint32_t addr = get32(s.ip.data());
            const auto onInterface = [&] {
                return connected.policy.onInterface(s.ifindex, addr) ? helperpolicy::Verdict::Allowed
                                                                     : helperpolicy::Verdict::OutsideRanges;
            };
            if (connected.judge(onInterface) != helperpolicy::Verdict::Allowed)
                continue;
            if (arpReports.admit(s, nowNs()))
                heard.push_back(s);
        }
        // Drops alone are told at most once a second; with reports they ride along.
        const bool tellDropped = arpReports.anyDropped() && nowNs() - droppedReportedAt >= kSecondNs;
        for (std::size_t first = 0; first < heard.size() || (first == 0 && tellDropped); first += kMaxArpRecords) {
            const std::size_t end = std::min(heard.size(), first + kMaxArpRecords);
            const std::vector<Heard> part(heard.begin() + std::ptrdiff_t(first), heard.begin() + std::ptrdiff_t(end));
            std::uint16_t dropped = 0;
            if (first == 0 && arpReports.anyDropped()) {
                dropped = arpReports.takeDropped();
                droppedReportedAt = nowNs();
            }
            if (!writeAll(frame(Type::ArpHeard, 0, arpHeardPayload(part, dropped))))
                return false;
        }
        return true;
    }

    // As readArp, for DHCP client messages: heard on an interface with a connected range; an address outside
    // that interface's ranges (a lease from another network, which the server will refuse) is sent as 0.0.0.0.
    bool readDhcp()
    {
        std::vector<Heard> heard;
        for (int i = 0; i < 64; ++i) {
            std::uint8_t packet[1500];
            sockaddr_ll from {};
            socklen_t fromLen = sizeof from;
            const ssize_t n =
                ::recvfrom(dhcp, packet, sizeof packet, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &fromLen);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                break;
            Heard s;
            s.ifindex = std::uint32_t(from.sll_ifindex);
            if (from.sll_pkttype == PACKET_OUTGOING || from.sll_halen != 6
                || !helperdhcp::parseDhcpPacket(packet, std::size_t(n), from.sll_addr, s))
                continue;
            const auto onInterface = [&] {
                for (const helperpolicy::Range& r : connected.policy.ranges()) {
                    if (r.ifindex == s.ifindex)
                        return helperpolicy::Verdict::Allowed;
                }
                return helperpolicy::Verdict::OutsideRanges;
            };
            if (connected.judge(onInterface) != helperpolicy::Verdict::Allowed)
                continue;
            if (!connected.policy.onInterface(s.ifindex, get32(s.ip.data())))
                s.ip = {};
            if (dhcpReports.admit(s, nowNs()))
                heard.push_back(s);
        }
        const bool tellDropped = dhcpReports.anyDropped() && nowNs() - dhcpDroppedReportedAt >= kSecondNs;
        for (std::size_t first = 0; first < heard.size() || (first == 0 && tellDropped); first += kMaxDhcpRecords) {
            const std::size_t end = std::min(heard.size(), first + kMaxDhcpRecords);
            const std::vector<Heard> part(heard.begin() + std::ptrdiff_t(first), heard.begin() + std::ptrdiff_t(end));
            std::uint16_t dropped = 0;
            if (first == 0 && dhcpReports.anyDropped()) {
                dropped = dhcpReports.takeDropped();
                dhcpDroppedReportedAt = nowNs();
            }
            if (!writeAll(frame(Type::DhcpHeard, 0, dhcpHeardPayload(part, dropped))))
                return false;
        }
        // What each client says about itself follows the frame that reports it, already within the rate cap.
        for (const Heard& s : heard) {
            if (s.options && !writeAll(frame(Type::DhcpOptions, 0, dhcpOptionsPayload(s))))
                return false;
        }
        return true;
    }

    // CAP_NET_ADMIN is permitted but not effective; it is raised for one deletion and lowered again.
    template<typename Fn> int withAdmin(Fn fn)
    {
        if (!admin)
            return EPERM;
        cap_t caps = cap_get_proc();
        const cap_value_t netAdmin[] = {CAP_NET_ADMIN};
        cap_set_flag(caps, CAP_EFFECTIVE, 1, netAdmin, CAP_SET);
        cap_set_proc(caps);
        const int result = fn();
        cap_set_flag(caps, CAP_EFFECTIVE, 1, netAdmin, CAP_CLEAR);
        cap_set_proc(caps);
        cap_free(caps);
        return result;
    }
};

std::vector<std::uint8_t> errorFrame(std::uint32_t seq, ErrorCode code)
{
    return frame(Type::Error, seq, errorPayload(code));
}

// Keeps CAP_NET_ADMIN permitted (not effective) when the process has it; drops everything else for good.
bool dropCapabilities()
{
    cap_t caps = cap_get_proc();
    cap_flag_value_t had = CAP_CLEAR;
    cap_get_flag(caps, CAP_NET_ADMIN, CAP_PERMITTED, &had);
    cap_clear(caps);
    const cap_value_t keep[] = {CAP_NET_ADMIN};
    if (had == CAP_SET)
        cap_set_flag(caps, CAP_PERMITTED, 1, keep, CAP_SET);
    const bool ok = cap_set_proc(caps) == 0;
    cap_free(caps);
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    return ok && had == CAP_SET;
}

// Started by the service manager for one connection (stdin and stdout are then that socket), the helper answers
// only the user that owns the listening socket (its unit's SocketUser, the monitor's user); started by the
// monitor over a pipe, the helper's file mode has already said who may run it.
bool callerAllowed()
{
    struct stat in
    {
    };
    if (fstat(STDIN_FILENO, &in) != 0)
        return false;
    if (!S_ISSOCK(in.st_mode))
        return true;
    ucred peer {};
    socklen_t peerLen = sizeof peer;
    sockaddr_un self {};
    socklen_t selfLen = sizeof self;
    struct stat owner
    {
    };
    const bool known = getsockopt(STDIN_FILENO, SOL_SOCKET, SO_PEERCRED, &peer, &peerLen) == 0
        && getsockname(STDIN_FILENO, reinterpret_cast<sockaddr*>(&self), &selfLen) == 0 && self.sun_family == AF_UNIX
        && self.sun_path[0] != '\0' && ::stat(self.sun_path, &owner) == 0;
    if (known && peer.uid == owner.st_uid)
        return true;
    std::fprintf(stderr, "kestrelwatch-helper: a connection from uid %u refused: only the socket's owner may use it\n",
        unsigned(peer.uid));
    return false;
}

} // namespace

int main(int argc, char**)
{
    if (argc != 1)
        return 2; // no options: everything arrives over the pipe
    // Only stdin, stdout and stderr may come in; anything else the parent left open is closed.
    for (int fd = 0; fd <= 2; ++fd) {
        struct stat st
        {
        };
        if (fstat(fd, &st) != 0)
            return 2;
    }
    syscall(SYS_close_range, 3U, ~0U, 0U);
    if (!callerAllowed())
        return 3;
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    std::signal(SIGPIPE, SIG_IGN);

    Helper h;
    h.icmp = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_ICMP);
    if (h.icmp < 0) {
        h.icmpErrno = errno;
    } else {
        // Replies are never read; without the filter they would only fill the receive buffer.
        icmp_filter dropAll {};
        dropAll.data = ~0U;
        setsockopt(h.icmp, SOL_RAW, ICMP_FILTER, &dropAll, sizeof dropAll);
        setsockopt(h.icmp, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer);
        socklen_t len = sizeof h.sendBuffer;
        getsockopt(h.icmp, SOL_SOCKET, SO_SNDBUF, &h.sendBuffer, &len);
    }
    const int arpSocket = helperarp::openArpSocket();
    h.arp = std::max(arpSocket, -1);
    h.arpErrno = arpSocket < 0 ? -arpSocket : 0;
    const int dhcpSocket = helperdhcp::openDhcpSocket();
    h.dhcp = std::max(dhcpSocket, -1);
    h.dhcpErrno = dhcpSocket < 0 ? -dhcpSocket : 0;
    h.netlink = openNetlink();
    h.admin = dropCapabilities() && h.netlink >= 0;

    ReadyInfo ready;
    ready.flags = std::uint8_t((h.icmp >= 0 ? EchoSocket : 0) | (h.admin ? NeighbourAdmin : 0)
        | (h.arp >= 0 ? ArpListen : 0) | (h.dhcp >= 0 ? DhcpListen : 0));
    ready.echoErrno = std::uint32_t(h.icmpErrno);
    ready.sendBuffer = std::uint32_t(h.sendBuffer);
    ready.arpErrno = std::uint32_t(h.arpErrno);
    ready.dhcpErrno = std::uint32_t(h.dhcpErrno);
    if (!writeAll(frame(Type::Ready, 0, readyPayload(ready))))
        return 1;

    std::vector<std::uint8_t> buffer;
    std::uint8_t chunk[4096];
    for (;;) {
        std::uint16_t sent = 0;
        std::uint16_t failed = 0;
        int err = 0;
        const std::int64_t wait = h.drain(sent, failed, err);
        h.lateSent = std::uint16_t(h.lateSent + sent);
        h.lateFailed = std::uint16_t(h.lateFailed + failed);
        h.lateErrno = h.lateErrno ? h.lateErrno : err;
        // A negative descriptor is one poll leaves alone.
        pollfd fds[3] = {{STDIN_FILENO, POLLIN, 0}, {h.listening ? h.arp : -1, POLLIN, 0},
            {h.listeningDhcp ? h.dhcp : -1, POLLIN, 0}};
        const int timeout = wait < 0 ? -1 : int(wait / 1000000 + 1);
        if (poll(fds, 3, timeout) < 0 && errno != EINTR)
            return 1;
        if (h.listening && (fds[1].revents & POLLIN) && !h.readArp())
            return 1;
        if (h.listeningDhcp && (fds[2].revents & POLLIN) && !h.readDhcp())
            return 1;
        const pollfd& in = fds[0];
        if (!(in.revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0; // the monitor has gone
        buffer.insert(buffer.end(), chunk, chunk + n);
        std::size_t used = 0;
        for (;;) {
            const ParseResult r = parseRequest(buffer.data() + used, buffer.size() - used);
            if (r.status == Parse::NeedMore)
                break;
            used += r.consumed;
            std::vector<std::uint8_t> reply;
            if (r.status == Parse::Bad)
                reply = errorFrame(r.request.seq, r.error);
            else if (r.request.type == Type::EchoBatch)
                reply = h.icmp < 0 ? errorFrame(r.request.seq, ErrorCode::NotCapable) : h.echo(r.request);
            else if (r.request.type == Type::ListenArp) {
                // What queued before the request is old news: dropped unread, ARP body or not.
                for (std::uint8_t stale[64]; !h.listening && h.arp >= 0
                     && ::recv(h.arp, stale, sizeof stale, MSG_DONTWAIT | MSG_TRUNC) >= 0;) { }
                h.listening = h.arp >= 0;
                reply = h.listening ? frame(Type::ArpHeard, r.request.seq, arpHeardPayload({}, 0))
                                    : errorFrame(r.request.seq, ErrorCode::NotCapable);
            } else if (r.request.type == Type::ListenDhcp) {
                for (std::uint8_t stale[64]; !h.listeningDhcp && h.dhcp >= 0
                     && ::recv(h.dhcp, stale, sizeof stale, MSG_DONTWAIT | MSG_TRUNC) >= 0;) { }
                h.listeningDhcp = h.dhcp >= 0;
                reply = h.listeningDhcp ? frame(Type::DhcpHeard, r.request.seq, dhcpHeardPayload({}, 0))
                                        : errorFrame(r.request.seq, ErrorCode::NotCapable);
            } else
                reply = h.remove(r.request);
            if (!writeAll(reply))
                return 1;
        }
        buffer.erase(buffer.begin(), buffer.begin() + std::ptrdiff_t(used));
    }
}
