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
    Heard s;
    if (!helperdhcp::parseDhcpPacket(data + 6, size - 6, data, s))
        return 0;
    if (!std::equal(s.mac.begin(), s.mac.end(), data) || (s.mac[0] & 1) || s.name.size() > kMaxDhcpName
        || (s.kind != Heard::DhcpDiscover && s.kind != Heard::DhcpRequest && s.kind != Heard::DhcpInform))
        std::abort();
    if (s.options
        && (s.options->requestList.size() > kMaxDhcpOption || s.options->vendorClass.size() > kMaxDhcpOption
            || s.options->clientId.size() > kMaxDhcpOption || s.options->fqdn.size() > kMaxDhcpOption))
        std::abort();
    // What the client says about itself goes in a report of its own, which reads back whole.
    const auto described = parseDhcpOptions(dhcpOptionsPayload(s));
    if (s.options && (!described || !(*described == s)))
        std::abort();
    Heard plain = s;
    plain.options.reset();
    const DhcpHeardBatch back = parseDhcpHeard(dhcpHeardPayload({s}, 1));
    if (!back.ok || back.sightings.size() != 1 || !(back.sightings[0] == plain))
        std::abort();
    return 0;
}
