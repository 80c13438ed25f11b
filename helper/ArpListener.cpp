#include "helper/ArpListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace helperproto;

namespace helperarp {

namespace {
constexpr std::size_t kArpBodyBytes = 28;
constexpr std::int64_t kSecondNs = 1000000000;
constexpr int kReceiveBuffer = 65536; // a flood overflows the kernel's queue, never this process

bool zero(const std::uint8_t* p)
{
    return (p[0] | p[1] | p[2] | p[3]) == 0;
}
} // namespace

bool parseArpPacket(const std::uint8_t* data, std::size_t size, Heard& out)
{
    if (size < kArpBodyBytes || get16(data) != 1 || get16(data + 2) != ETH_P_IP || data[4] != 6 || data[5] != 4)
        return false;
    const std::uint16_t op = get16(data + 6);
    const std::uint8_t* mac = data + 8;
    const std::uint8_t* sender = data + 14;
    const std::uint8_t* target = data + 24;
    if (op != 1 && op != 2)
        return false;
    // Multicast (and broadcast) MACs have the group bit set; nobody holds an address with one.
    if ((mac[0] & 1) || (mac[0] | mac[1] | mac[2] | mac[3] | mac[4] | mac[5]) == 0)
        return false;
    const bool probe = zero(sender);
    if (probe && (op != 1 || zero(target)))
        return false;
    std::copy(mac, mac + 6, out.mac.begin());
    const std::uint8_t* address = probe ? target : sender;
    std::copy(address, address + 4, out.ip.begin());
    if (probe)
        out.kind = Heard::ArpProbe;
    else if (std::equal(sender, sender + 4, target))
        out.kind = Heard::ArpAnnouncement;
    else
        out.kind = op == 2 ? Heard::ArpReply : Heard::ArpRequest;
    return true;
}

int lockPacketSocket(int fd, ::sock_filter* code, std::size_t count, std::uint16_t protocol, int receiveBuffer)
{
    const sock_fprog program {static_cast<unsigned short>(count), code};
    const int one = 1;
    sockaddr_ll bound {};
    bound.sll_family = AF_PACKET;
    bound.sll_protocol = htons(protocol);
    if (setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0
        || setsockopt(fd, SOL_SOCKET, SO_LOCK_FILTER, &one, sizeof one) != 0
        || setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer) != 0
        || bind(fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) {
        const int err = errno;
        ::close(fd);
        return -err;
    }
    return fd;
}

int openArpSocket()
{
    // Protocol 0 until bound: nothing is queued before the filter is in place.
    const int fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -errno;
    // Every failed test jumps to the last instruction, which keeps nothing.
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, std::uint32_t(SKF_AD_OFF + SKF_AD_PKTTYPE)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PACKET_OUTGOING, 7, 0),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, std::uint32_t(SKF_AD_OFF + SKF_AD_PROTOCOL)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ETH_P_ARP, 0, 5),
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 0), // hardware type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 1, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, 2), // protocol type, hardware and protocol address lengths
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, (std::uint32_t(ETH_P_IP) << 16) | 0x0604, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, std::uint32_t(kArpBodyBytes)),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    return lockPacketSocket(fd, code, sizeof code / sizeof code[0], ETH_P_ARP, kReceiveBuffer);
}

bool ArpReports::admit(const Heard& s, std::int64_t nowNs)
{
    while (!m_recent.empty() && nowNs - m_recent.front().at >= kSecondNs)
        m_recent.pop_front();
    for (const Recent& r : m_recent) {
        if (r.sighting.ifindex == s.ifindex && r.sighting.mac == s.mac && r.sighting.ip == s.ip)
            return false; // reported less than a second ago: this one adds nothing
    }
    if (m_recent.size() >= std::size_t(kArpReportsPerSecond)) {
        ++m_dropped;
        return false;
    }
    m_recent.push_back({s, nowNs});
    return true;
}

std::uint16_t ArpReports::takeDropped()
{
    const std::uint32_t d = m_dropped;
    m_dropped = 0;
    return std::uint16_t(std::min<std::uint32_t>(d, 0xFFFF));
}

} // namespace helperarp
