#pragma once

// The pipe protocol between the monitor and its privileged helper, kestrelwatch-helper. This header is all
// the two programs share: plain C++ with no library beyond the standard one, so the helper stays free of Qt.
//
// Every message is one frame: an 8-byte header and a payload of at most kMaxPayload bytes, all numbers
// big-endian.
//   byte 0     protocol version (kVersion)
//   byte 1     message type
//   bytes 2-3  payload length
//   bytes 4-7  sequence number, chosen by the monitor and echoed in the reply
// The monitor writes requests on the helper's stdin; the helper writes replies on its stdout, starting with
// one unsolicited Ready frame. A frame with a bad version, type or length is answered with an Error frame and
// skipped whole (its declared length is always within 16 bits), so one bad request never desynchronises the
// stream and never changes anything.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace helperproto {

constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kMaxPayload = 1024;
constexpr std::size_t kMaxEchoTargets = 64; // one batch of the engine is 32
constexpr std::size_t kMaxNeighbourRows = 64;
constexpr int kEchoesPerSecond = 320; // the engine's own rate: 32 requests every 100 ms

enum class Type : std::uint8_t {
    // Requests (monitor to helper).
    EchoBatch = 1, // u16 count, count x 4-byte IPv4 address
    DeleteNeighbours = 2, // u16 count, count x (u32 interface index, 4-byte IPv4 address)
    ListenArp = 3, // reserved for reporting heard ARP; answered with Error Unsupported until then
    // Replies (helper to monitor).
    Ready = 0x80, // u8 flags (ReadyFlag), u8 0, u16 0, u32 errno of the echo socket, u32 its send buffer
    EchoResult = 0x81, // u16 sent, queued, refusedRange, refusedRate, failed, 0; u32 errno; u32 refused address
    DeleteResult = 0x82, // u16 deleted, refusedRange, refusedState, absent, failed, 0; u32 errno; u32 address
    ArpHeard = 0x83, // reserved
    Error = 0xFF, // u16 ErrorCode, u16 0
};

enum ReadyFlag : std::uint8_t {
    EchoSocket = 1, // the raw ICMP socket is open
    NeighbourAdmin = 2, // CAP_NET_ADMIN is kept for deleting neighbour rows
    ArpListen = 4, // reserved
};

enum class ErrorCode : std::uint16_t {
    None = 0,
    BadVersion = 1,
    UnknownType = 2,
    BadLength = 3, // payload length does not match its count, or exceeds kMaxPayload
    BadCount = 4, // count 0 or above the per-request maximum
    Unsupported = 5,
    NotCapable = 6, // the helper lacks the privilege this request needs
};

struct NeighbourTarget
{
    std::uint32_t ifindex = 0;
    std::array<std::uint8_t, 4> ip {};
};

// One parsed request. addresses holds IPv4 addresses as 4 bytes, first byte first.
struct Request
{
    Type type = Type::EchoBatch;
    std::uint32_t seq = 0;
    std::vector<std::array<std::uint8_t, 4>> echoTargets;
    std::vector<NeighbourTarget> neighbours;
};

enum class Parse {
    NeedMore, // not a whole frame yet: read more and call again
    Ok, // request holds a valid request
    Bad, // a whole frame that is no valid request: answer error, skip consumed bytes
};

struct ParseResult
{
    Parse status = Parse::NeedMore;
    std::size_t consumed = 0; // bytes of the frame (header and payload) to drop from the buffer
    ErrorCode error = ErrorCode::None;
    Request request;
};

inline std::uint16_t get16(const std::uint8_t* p)
{
    return std::uint16_t((p[0] << 8) | p[1]);
}

inline std::uint32_t get32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

inline void put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

inline void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, std::uint16_t(v >> 16));
    put16(out, std::uint16_t(v));
}

// One frame: header with the payload's length, then the payload.
inline std::vector<std::uint8_t> frame(Type type, std::uint32_t seq, const std::vector<std::uint8_t>& payload)
{
    std::vector<std::uint8_t> out {kVersion, std::uint8_t(type)};
    put16(out, std::uint16_t(payload.size()));
    put32(out, seq);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// Splits the next frame off the front of data, checking it as a request. Pure: the helper, the tests and the
// fuzzer call it alike.
inline ParseResult parseRequest(const std::uint8_t* data, std::size_t size)
{
    ParseResult r;
    if (size < kHeaderBytes)
        return r;
    const std::size_t length = get16(data + 2);
    if (size < kHeaderBytes + length)
        return r;
    r.consumed = kHeaderBytes + length;
    r.request.seq = get32(data + 4);
    r.status = Parse::Bad;
    if (data[0] != kVersion) {
        r.error = ErrorCode::BadVersion;
        return r;
    }
    if (length > kMaxPayload) {
        r.error = ErrorCode::BadLength;
        return r;
    }
    const std::uint8_t* p = data + kHeaderBytes;
    const auto type = Type(data[1]);
    r.request.type = type;
    if (type == Type::ListenArp) {
        r.error = length == 0 ? ErrorCode::Unsupported : ErrorCode::BadLength;
        return r;
    }
    if (type != Type::EchoBatch && type != Type::DeleteNeighbours) {
        r.error = ErrorCode::UnknownType;
        return r;
    }
    if (length < 2) {
        r.error = ErrorCode::BadLength;
        return r;
    }
    const std::size_t count = get16(p);
    const bool echo = type == Type::EchoBatch;
    const std::size_t entry = echo ? 4 : 8;
    if (count == 0 || count > (echo ? kMaxEchoTargets : kMaxNeighbourRows)) {
        r.error = ErrorCode::BadCount;
        return r;
    }
    if (length != 2 + count * entry) {
        r.error = ErrorCode::BadLength;
        return r;
    }
    p += 2;
    for (std::size_t i = 0; i < count; ++i, p += entry) {
        if (echo) {
            r.request.echoTargets.push_back({p[0], p[1], p[2], p[3]});
        } else {
            NeighbourTarget t;
            t.ifindex = get32(p);
            t.ip = {p[4], p[5], p[6], p[7]};
            r.request.neighbours.push_back(t);
        }
    }
    r.status = Parse::Ok;
    r.error = ErrorCode::None;
    return r;
}

// A reply frame as the monitor reads it: type, sequence, payload. Replies are checked only for framing; the
// monitor reads each field it knows by offset and ignores what it does not know.
struct Reply
{
    Type type = Type::Error;
    std::uint32_t seq = 0;
    std::vector<std::uint8_t> payload;
};

struct ReplyResult
{
    Parse status = Parse::NeedMore;
    std::size_t consumed = 0;
    Reply reply;
};

inline ReplyResult parseReply(const std::uint8_t* data, std::size_t size)
{
    ReplyResult r;
    if (size < kHeaderBytes)
        return r;
    const std::size_t length = get16(data + 2);
    if (size < kHeaderBytes + length)
        return r;
    r.consumed = kHeaderBytes + length;
    r.status = data[0] == kVersion && length <= kMaxPayload ? Parse::Ok : Parse::Bad;
    r.reply.type = Type(data[1]);
    r.reply.seq = get32(data + 4);
    r.reply.payload.assign(data + kHeaderBytes, data + kHeaderBytes + length);
    return r;
}

// Field n (0-based) of a reply's leading u16 fields, or of the u32 fields that follow them; 0 when the payload
// is too short (an older helper that sends fewer fields).
inline std::uint16_t replyField16(const Reply& reply, std::size_t n)
{
    return reply.payload.size() >= 2 * n + 2 ? get16(reply.payload.data() + 2 * n) : 0;
}

inline std::uint32_t replyField32(const Reply& reply, std::size_t byteOffset)
{
    return reply.payload.size() >= byteOffset + 4 ? get32(reply.payload.data() + byteOffset) : 0;
}

// The six u16 counters of EchoResult and DeleteResult take 12 bytes; errno and address follow.
constexpr std::size_t kResultErrnoOffset = 12;
constexpr std::size_t kResultAddressOffset = 16;

} // namespace helperproto
