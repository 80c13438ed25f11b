// libFuzzer harness of the helper's request parser (any bytes from the pipe, frame after frame), the
// monitor's reading of the helper's replies and ARP and DHCP reports, and the helper's reading of an ARP body. Whatever
// a decoder takes, its encoder gives back.

#include "helper/ArpListener.h"
#include "helper/HelperProtocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace helperproto;
    std::size_t used = 0;
    while (used < size) {
        const ParseResult r = parseRequest(data + used, size - used);
        if (r.status == Parse::NeedMore)
            break;
        if (r.consumed < kHeaderBytes || r.consumed > size - used)
            std::abort();
        if (r.status == Parse::Ok && r.request.type != Type::ListenArp && r.request.type != Type::ListenDhcp
            && r.request.echoTargets.size() + r.request.neighbours.size() == 0)
            std::abort();
        if (r.status == Parse::Ok) {
            const std::vector<std::uint8_t> again = r.request.type == Type::EchoBatch
                ? echoBatchPayload(r.request.echoTargets)
                : r.request.type == Type::DeleteNeighbours ? deleteNeighboursPayload(r.request.neighbours)
                                                           : std::vector<std::uint8_t> {};
            if (frame(r.request.type, r.request.seq, again)
                != std::vector<std::uint8_t>(data + used, data + used + r.consumed))
                std::abort();
        }
        used += r.consumed;
    }
    const ReplyResult reply = parseReply(data, size);
    if (reply.status != Parse::NeedMore && reply.consumed > size)
        std::abort();
    std::vector<std::uint8_t> payload(data, data + size);
    if (const auto ready = parseReady(payload); ready && parseReady(readyPayload(*ready)) != ready)
        std::abort();
    if (const auto echo = parseEchoResult(payload); echo && parseEchoResult(echoResultPayload(*echo)) != echo)
        std::abort();
    if (const auto del = parseDeleteResult(payload); del && parseDeleteResult(deleteResultPayload(*del)) != del)
        std::abort();
    if (const auto error = parseError(payload); error && parseError(errorPayload(*error)) != error)
        std::abort();
    const ArpHeardBatch batch = parseArpHeard(payload);
    for (std::size_t pad = 4 + kArpRecordBytes - 1; pad < payload.size(); pad += kArpRecordBytes)
        payload[pad] &= 1; // the flags byte: only "sent to this host" is read
    if (batch.ok && arpHeardPayload(batch.sightings, batch.dropped) != payload)
        std::abort();
    // What the decoder never reads (a name's padding) is zero in what the encoder writes.
    std::vector<std::uint8_t> dhcp(data, data + size);
    const DhcpHeardBatch heard = parseDhcpHeard(dhcp);
    for (std::size_t i = 0; heard.ok && i < heard.sightings.size(); ++i) {
        std::uint8_t* record = dhcp.data() + 4 + i * kDhcpRecordBytes;
        std::fill(record + 16 + record[15], record + kDhcpRecordBytes, 0);
    }
    if (heard.ok && dhcpHeardPayload(heard.sightings, heard.dropped) != dhcp)
        std::abort();
    Heard s;
    if (helperarp::parseArpPacket(data, size, s) && (s.mac[0] & 1))
        std::abort();
    return 0;
}
