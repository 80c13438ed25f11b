// libFuzzer harness of the helper's DHCP parser: the first six bytes are the frame's source MAC, the rest the
// IPv4 packet any host on the link may send. No input faults; a sighting is always that MAC's own, of a client
// message type, with a name and options its reports can carry, and goes through the pipe's reports unchanged.

#include "helper/DhcpMessage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace helperproto;
    if (size < 6)
        return 0;
    DhcpSighting s;
    if (!helperdhcp::parseDhcpPacket(data + 6, size - 6, data, s))
        return 0;
    if (!std::equal(s.mac.begin(), s.mac.end(), data) || (s.mac[0] & 1) || s.name.size() > kMaxDhcpName
        || (s.kind != DhcpKind::Discover && s.kind != DhcpKind::Request && s.kind != DhcpKind::Inform))
        std::abort();
    if (s.requestList.size() > kMaxDhcpOption || s.vendorClass.size() > kMaxDhcpOption
        || s.clientId.size() > kMaxDhcpOption || s.fqdn.size() > kMaxDhcpOption)
        std::abort();
    // What the client says about itself goes in a report of its own, which reads back whole.
    const auto described = parseDhcpOptions(dhcpOptionsPayload(s));
    if (!described || !(*described == s))
        std::abort();
    DhcpSighting plain;
    plain.ifindex = s.ifindex;
    plain.mac = s.mac;
    plain.ip = s.ip;
    plain.kind = s.kind;
    plain.name = s.name;
    const DhcpHeardBatch back = parseDhcpHeard(dhcpHeardPayload({s}, 1));
    if (!back.ok || back.sightings.size() != 1 || !(back.sightings[0] == plain))
        std::abort();
    return 0;
}
