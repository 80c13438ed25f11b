#pragma once

// Heard ARP: the helper's packet socket, which reads the bodies of incoming ARP packets and nothing else, and
// the rate cap on what it reports. Plain C++, so the tests and the fuzzer use the parser as the helper does.

#include "helper/HelperProtocol.h"

#include <cstdint>
#include <deque>

struct sock_filter;

namespace helperarp {

// One ARP body for IPv4 over Ethernet (28 bytes) to a heard report; false for anything else: another hardware or
// protocol type, an operation other than request or reply, a sender MAC that is zero, broadcast or multicast,
// a sender or target address of 0.0.0.0 where it must not be. The interface index is left as it is.
bool parseArpPacket(const std::uint8_t* data, std::size_t size, Heard& out);

// An AF_PACKET datagram socket bound to the ARP protocol on every interface, with a locked classic BPF filter
// that passes incoming ARP for IPv4 over Ethernet, cut to its 28-byte body: no other protocol, no outgoing
// packet and no payload beyond the ARP body ever reaches this process. Needs CAP_NET_RAW to open; the fd, or
// -errno.
int openArpSocket();

// Finishes a packet socket opened with protocol 0 (so nothing is queued before the filter is in place):
// attaches the filter and locks it, sets the receive buffer, and binds to the protocol on every interface.
// The fd, or -errno with the socket closed.
int lockPacketSocket(int fd, ::sock_filter* code, std::size_t count, std::uint16_t protocol, int receiveBuffer);

// One report per interface, MAC and address per second, and at most kArpReportsPerSecond in any one second;
// what goes over that is counted as dropped until takeDropped.
class ArpReports
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
    std::deque<Recent> m_recent; // the reports of the last second, oldest first
    std::uint32_t m_dropped = 0;
};

} // namespace helperarp
