#pragma once

// Heard DHCP: what a client's DISCOVER, REQUEST or INFORM tells about it (its MAC, the address it asks for or
// holds, its host name), read from the IPv4 packet as the helper's DHCP socket passes it, and the rate cap on
// what is reported. Pure C++, so the tests and the fuzzer call the parser as the helper does.

#include "helper/HelperProtocol.h"

#include <deque>

namespace helperdhcp {

// The IPv4 packet of a DHCP client message (UDP 68 to 67, unfragmented) to a heard report; etherSource is the
// frame's source MAC, which the client hardware address (chaddr) must equal: a relay or a forger naming
// another MAC is not that MAC speaking. False for anything else: a bad IPv4 or UDP header, a reply, a hardware
// type other than Ethernet, a group or zero MAC, no magic cookie, an option that runs past the end, a message
// type other than DISCOVER, REQUEST or INFORM. The address is option 50 (requested) when present, else ciaddr;
// a host name longer than kMaxDhcpName bytes is left out (a name cut short would be another name). The
// options a client describes itself with (55, 57, 60, 61, 81) are read too, the first of each, each left out
// when longer than kMaxDhcpOption or malformed; options stays unset when none is left. The interface index is left as
// it is.
bool parseDhcpPacket(const std::uint8_t* data, std::size_t size, const std::uint8_t* etherSource, Heard& out);

// An AF_PACKET datagram socket bound to IPv4 on every interface, with a locked classic BPF filter that passes
// only incoming, unfragmented UDP from port 68 to port 67 sent to this host or broadcast: no other packet ever
// reaches this process. Needs CAP_NET_RAW to open; the fd, or -errno.
int openDhcpSocket();

// One report per interface, MAC, address and message type per second (clients send each message again and
// again), and at most kDhcpReportsPerSecond in any one second; what goes over that is counted as dropped.
class DhcpReports
{
public:
    bool admit(const Heard& s, std::int64_t nowNs);
    std::uint16_t takeDropped();
    bool anyDropped() const { return m_dropped > 0; }

private:
    struct Recent
    {
        Heard sighting;
        std::int64_t at;
    };
    std::deque<Recent> m_recent;
    std::uint32_t m_dropped = 0;
};

} // namespace helperdhcp
