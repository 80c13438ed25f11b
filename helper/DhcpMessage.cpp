#include "helper/DhcpMessage.h"

#include "helper/ArpListener.h"

#include <cerrno>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

using namespace helperproto;

namespace helperdhcp {

namespace {
constexpr std::size_t kBootpFixed = 236; // op through file, before the magic cookie
constexpr std::uint8_t kCookie[4] = {99, 130, 83, 99};
constexpr std::int64_t kSecondNs = 1000000000;
constexpr int kReceiveBuffer = 65536;
constexpr std::uint32_t kSnap = 1500; // an Ethernet frame's IPv4 packet; DHCP messages are never longer
// Option 81's name: flags, two obsolete result codes, then the name, in DNS wire form when the E flag (4) is
// set, else as ASCII text. Dotted text, empty when it is malformed or longer than kMaxDhcpOption.
std::string fqdnText(const std::uint8_t* value, std::uint8_t bytes)
{
    if (bytes < 3)
        return {};
    const std::uint8_t* name = value + 3;
    const std::size_t length = bytes - 3U;
    std::string text;
    if (!(value[0] & 4)) {
        text.assign(name, name + length);
    } else {
        for (std::size_t i = 0; i < length && name[i] != 0;) {
            const std::size_t label = name[i];
            if (label > 63 || i + 1 + label > length)
                return {}; // no compression in option 81, and no label past the option
            if (!text.empty())
                text += '.';
            text.append(name + i + 1, name + i + 1 + label);
            i += 1 + label;
        }
    }
    while (!text.empty() && (text.back() == '.' || text.back() == 0))
        text.pop_back();
    return text.size() <= kMaxDhcpOption ? text : std::string();
}
} // namespace

bool parseDhcpPacket(const std::uint8_t* data, std::size_t size, const std::uint8_t* etherSource, Heard& out)
{
    // IPv4 header: version 4, a whole header, UDP, no fragment; the total length bounds everything after it.
    if (size < 20 || (data[0] >> 4) != 4 || data[9] != IPPROTO_UDP || (get16(data + 6) & 0x3FFF) != 0)
        return false;
    const std::size_t headerBytes = std::size_t(data[0] & 0x0F) * 4;
    const std::size_t total = get16(data + 2);
    if (headerBytes < 20 || total > size || total < headerBytes + 8)
        return false;
    const std::uint8_t* udp = data + headerBytes;
    const std::size_t udpBytes = get16(udp + 4);
    if (get16(udp) != 68 || get16(udp + 2) != 67 || udpBytes < 8 || udpBytes > total - headerBytes)
        return false;
    const std::uint8_t* m = udp + 8;
    const std::size_t length = udpBytes - 8;
    // BOOTREQUEST over Ethernet, with the cookie that starts the options.
    if (length < kBootpFixed + 4 || m[0] != 1 || m[1] != 1 || m[2] != 6
        || !std::equal(kCookie, kCookie + 4, m + kBootpFixed))
        return false;
    const std::uint8_t* chaddr = m + 28;
    if ((chaddr[0] & 1) || (chaddr[0] | chaddr[1] | chaddr[2] | chaddr[3] | chaddr[4] | chaddr[5]) == 0
        || !std::equal(chaddr, chaddr + 6, etherSource))
        return false;
    std::uint8_t type = 0;
    const std::uint8_t* requested = nullptr;
    const std::uint8_t* name = nullptr;
    std::size_t nameBytes = 0;
    Heard::DhcpOptions described;
    bool seen55 = false;
    bool seen57 = false;
    bool seen60 = false;
    bool seen61 = false;
    bool seen81 = false;
    // Options: code, length, data; pad and end have no length. The first of each code counts.
    for (std::size_t i = kBootpFixed + 4; i < length;) {
        const std::uint8_t code = m[i];
        if (code == 0) {
            ++i;
            continue;
        }
        if (code == 255)
            break;
        if (i + 1 >= length || i + 2 + m[i + 1] > length)
            return false; // an option that runs past the message
        const std::uint8_t bytes = m[i + 1];
        const std::uint8_t* value = m + i + 2;
        if (code == 53 && type == 0) {
            if (bytes != 1)
                return false;
            type = value[0];
        } else if (code == 50 && !requested) {
            if (bytes != 4)
                return false;
            requested = value;
        } else if (code == 12 && !name) {
            name = value;
            nameBytes = bytes;
        } else if (code == 55 && !std::exchange(seen55, true)) {
            if (bytes <= kMaxDhcpOption)
                described.requestList.assign(value, value + bytes);
        } else if (code == 57 && !std::exchange(seen57, true)) {
            if (bytes == 2)
                described.maxMessageSize = get16(value);
        } else if (code == 60 && !std::exchange(seen60, true)) {
            if (bytes <= kMaxDhcpOption)
                described.vendorClass.assign(value, value + bytes);
        } else if (code == 61 && !std::exchange(seen61, true)) {
            if (bytes <= kMaxDhcpOption)
                described.clientId.assign(value, value + bytes);
        } else if (code == 81 && !std::exchange(seen81, true)) {
            described.fqdn = fqdnText(value, bytes);
        }
        i += 2 + std::size_t(bytes);
    }
    const auto kind = Heard::dhcpKind(type);
    if (!kind)
        return false;
    // Some clients end the name with a NUL, as a C string.
    while (nameBytes > 0 && name[nameBytes - 1] == 0)
        --nameBytes;
    std::copy(chaddr, chaddr + 6, out.mac.begin());
    const std::uint8_t* address = requested ? requested : m + 12;
    std::copy(address, address + 4, out.ip.begin());
    out.kind = *kind;
    out.name.assign(name, name + (nameBytes <= kMaxDhcpName ? nameBytes : 0));
    if (described == Heard::DhcpOptions {})
        out.options.reset();
    else
        out.options = std::move(described);
    return true;
}

int openDhcpSocket()
{
    // Protocol 0 until bound: nothing is queued before the filter is in place.
    const int fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -errno;
    // Every failed test jumps to the last instruction, which keeps nothing. A frame for another host (a tag of
    // a VLAN without an interface here arrives so) or one of our own is never read.
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, std::uint32_t(SKF_AD_OFF + SKF_AD_PKTTYPE)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PACKET_OUTGOING, 13, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PACKET_OTHERHOST, 12, 0),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, std::uint32_t(SKF_AD_OFF + SKF_AD_PROTOCOL)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ETH_P_IP, 0, 10),
        BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 9), // protocol
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, IPPROTO_UDP, 0, 8),
        BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 6), // flags and fragment offset
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, 0x3FFF, 6, 0),
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0), // X = header length
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 0), // source port
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 68, 0, 3),
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 2), // destination port
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 67, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, kSnap),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    return helperarp::lockPacketSocket(fd, code, sizeof code / sizeof code[0], ETH_P_IP, kReceiveBuffer);
}

bool DhcpReports::admit(const Heard& s, std::int64_t nowNs)
{
    while (!m_recent.empty() && nowNs - m_recent.front().at >= kSecondNs)
        m_recent.pop_front();
    for (const Recent& r : m_recent) {
        const Heard& o = r.sighting;
        if (o.ifindex == s.ifindex && o.mac == s.mac && o.ip == s.ip && o.kind == s.kind)
            return false; // the client's retransmission of what was reported less than a second ago
    }
    if (m_recent.size() >= std::size_t(kDhcpReportsPerSecond)) {
        ++m_dropped;
        return false;
    }
    m_recent.push_back({s, nowNs});
    return true;
}

std::uint16_t DhcpReports::takeDropped()
{
    const std::uint32_t d = m_dropped;
    m_dropped = 0;
    return std::uint16_t(std::min<std::uint32_t>(d, 0xFFFF));
}

} // namespace helperdhcp
