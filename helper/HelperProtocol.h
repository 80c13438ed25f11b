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
//
// Compatibility: the frame layout is that of version 1 throughout; later messages only add types and append
// fields, so a monitor reads what it knows of a newer helper and an older helper refuses what it does not know
// (ListenArp, ListenDhcp: Error Unsupported), which the monitor takes as "not capable".

#include "helper/Heard.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace helperproto {

constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kMaxPayload = 1024;
constexpr std::size_t kMaxEchoTargets = 64; // one batch of the engine is 32
constexpr std::size_t kMaxNeighbourRows = 64;
constexpr int kEchoesPerSecond = 320; // the engine's own rate: 32 requests every 100 ms
// A whole neighbour table of the kernel's default size (gc_thresh3) a second: more than one harvest deletes.
constexpr int kDeletionsPerSecond = 1024;
constexpr std::size_t kArpRecordBytes = 16;
constexpr std::size_t kMaxArpRecords = 60; // one ArpHeard frame: 4 + 60 x 16 bytes
constexpr int kArpReportsPerSecond = 64; // beyond this in any one second, heard ARP is dropped and counted
constexpr std::size_t kMaxDhcpName = 64; // host-name bytes a DhcpHeard record carries; longer names are left out
constexpr std::size_t kDhcpRecordBytes = 16 + kMaxDhcpName;
constexpr std::size_t kMaxDhcpRecords = 12; // one DhcpHeard frame: 4 + 12 x 80 bytes
constexpr int kDhcpReportsPerSecond = 32; // beyond this in any one second, heard DHCP is dropped and counted
// Bytes of each option a DhcpOptions record carries; a longer value is left out (a request list or vendor class
// cut short would match another device's signature).
constexpr std::size_t kMaxDhcpOption = 128;

enum class Type : std::uint8_t {
    // Requests (monitor to helper).
    EchoBatch = 1, // u16 count, count x 4-byte IPv4 address
    DeleteNeighbours = 2, // u16 count, count x (u32 interface index, 4-byte IPv4 address)
    // No payload: report heard ARP from now on; answered with an empty ArpHeard of its sequence, or with Error
    // NotCapable when the helper could not open its ARP socket.
    ListenArp = 3,
    // No payload: report heard DHCP client messages from now on; answered with an empty DhcpHeard of its
    // sequence, or with Error NotCapable when the helper could not open its DHCP socket.
    ListenDhcp = 4,
    // Replies (helper to monitor).
    // u8 flags, u8 0, u16 0, u32 errno of the echo socket, u32 its send buffer, u32 errno of ARP's, u32 errno of
    // DHCP's (absent from helpers before ListenDhcp: read as 0)
    Ready = 0x80,
    // u16 sent, queued, refusedRange, refusedRate, failed, refusedHostless; u32 errno; u32 refused address
    EchoResult = 0x81,
    // u16 deleted, refusedRange, refusedState, absent, failed, refusedRate; u32 errno; u32 refused address
    DeleteResult = 0x82,
    // u16 count, u16 reports dropped over the rate since the last frame, count x (u32 interface index, 6-byte
    // sender MAC, 4-byte IPv4 address, u8 ARP kind (1 to 4, as Heard::Kind), u8 1 when sent to this host, else 0);
    // sequence 0 unless it answers ListenArp.
    ArpHeard = 0x83,
    // u16 count, u16 reports dropped over the rate since the last frame, count x (u32 interface index, 6-byte
    // client MAC, 4-byte IPv4 address or 0, u8 DHCP message type (1, 3 or 8), u8 host-name length, kMaxDhcpName
    // bytes of host name padded with 0); sequence 0 unless it answers ListenDhcp.
    DhcpHeard = 0x84,
    // What a heard client says about itself, sent after the DhcpHeard frame that reports it, for a client that
    // sent any of these options: one DhcpHeard record, u16 option 57 (maximum message size, 0 when absent),
    // then u8 length and bytes of option 55 (the parameter request list, in order), 60 (vendor class), 61
    // (client identifier) and 81's name (as dotted text); sequence 0. A monitor that does not know it skips it.
    DhcpOptions = 0x85,
    Error = 0xFF, // u16 ErrorCode, u16 0
};

enum ReadyFlag : std::uint8_t {
    EchoSocket = 1, // the raw ICMP socket is open
    NeighbourAdmin = 2, // CAP_NET_ADMIN is kept for deleting neighbour rows
    ArpListen = 4, // the ARP socket is open: ListenArp will be served
    DhcpListen = 8, // the DHCP socket is open: ListenDhcp will be served
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
    if (type == Type::ListenArp || type == Type::ListenDhcp) {
        if (length != 0) {
            r.error = ErrorCode::BadLength;
            return r;
        }
        r.status = Parse::Ok;
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

// A reply frame as the monitor reads it: type, sequence, payload. Replies are checked only for framing here;
// each type's decoder below reads its payload.
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

// One encoder and one decoder per message. A request's payload is decoded by parseRequest with its frame; a
// reply's decoder takes the fields it knows and ignores any a later revision appends, and says nullopt when
// the payload is shorter than they are.

inline std::vector<std::uint8_t> echoBatchPayload(const std::vector<std::array<std::uint8_t, 4>>& targets)
{
    std::vector<std::uint8_t> p;
    put16(p, std::uint16_t(targets.size()));
    for (const auto& t : targets)
        p.insert(p.end(), t.begin(), t.end());
    return p;
}

inline std::vector<std::uint8_t> deleteNeighboursPayload(const std::vector<NeighbourTarget>& rows)
{
    std::vector<std::uint8_t> p;
    put16(p, std::uint16_t(rows.size()));
    for (const NeighbourTarget& t : rows) {
        put32(p, t.ifindex);
        p.insert(p.end(), t.ip.begin(), t.ip.end());
    }
    return p;
}

// ListenArp carries no payload.

struct ReadyInfo
{
    std::uint8_t flags = 0; // ReadyFlag bits
    std::uint32_t echoErrno = 0;
    std::uint32_t sendBuffer = 0;
    std::uint32_t arpErrno = 0;
    std::uint32_t dhcpErrno = 0;
    bool operator==(const ReadyInfo&) const = default;
};

inline std::vector<std::uint8_t> readyPayload(const ReadyInfo& r)
{
    std::vector<std::uint8_t> p {r.flags, 0};
    put16(p, 0);
    put32(p, r.echoErrno);
    put32(p, r.sendBuffer);
    put32(p, r.arpErrno);
    put32(p, r.dhcpErrno);
    return p;
}

inline std::optional<ReadyInfo> parseReady(const std::vector<std::uint8_t>& p)
{
    if (p.size() < 16)
        return std::nullopt;
    return ReadyInfo {p[0], get32(p.data() + 4), get32(p.data() + 8), get32(p.data() + 12),
        p.size() >= 20 ? get32(p.data() + 16) : 0};
}

// EchoResult and DeleteResult share one shape: six counters, the first errno met, the first refused address.
struct EchoOutcome
{
    std::uint16_t sent = 0; // including echoes queued earlier that left meanwhile
    std::uint16_t queued = 0; // held back by the rate cap, to leave as it allows
    std::uint16_t refusedRange = 0; // outside every connected range
    std::uint16_t refusedRate = 0; // over the rate cap with the queue full
    std::uint16_t failed = 0;
    std::uint16_t refusedHostless = 0; // the network or broadcast address of its range
    std::uint32_t error = 0;
    std::uint32_t refusedAddress = 0; // host order
    bool operator==(const EchoOutcome&) const = default;
};

struct DeleteOutcome
{
    std::uint16_t deleted = 0;
    std::uint16_t refusedRange = 0; // outside the connected ranges of the row's interface
    std::uint16_t refusedState = 0; // static (PERMANENT) or NOARP rows
    std::uint16_t absent = 0;
    std::uint16_t failed = 0;
    std::uint16_t refusedRate = 0; // over kDeletionsPerSecond, or the same row again within a second
    std::uint32_t error = 0;
    std::uint32_t refusedAddress = 0; // host order
    bool operator==(const DeleteOutcome&) const = default;
};

inline std::vector<std::uint8_t> resultPayload(
    const std::array<std::uint16_t, 6>& counts, std::uint32_t error, std::uint32_t address)
{
    std::vector<std::uint8_t> p;
    for (const std::uint16_t v : counts)
        put16(p, v);
    put32(p, error);
    put32(p, address);
    return p;
}

inline std::vector<std::uint8_t> echoResultPayload(const EchoOutcome& o)
{
    return resultPayload(
        {o.sent, o.queued, o.refusedRange, o.refusedRate, o.failed, o.refusedHostless}, o.error, o.refusedAddress);
}

inline std::vector<std::uint8_t> deleteResultPayload(const DeleteOutcome& o)
{
    return resultPayload(
        {o.deleted, o.refusedRange, o.refusedState, o.absent, o.failed, o.refusedRate}, o.error, o.refusedAddress);
}

inline std::optional<EchoOutcome> parseEchoResult(const std::vector<std::uint8_t>& p)
{
    if (p.size() < 20)
        return std::nullopt;
    const std::uint8_t* d = p.data();
    return EchoOutcome {
        get16(d), get16(d + 2), get16(d + 4), get16(d + 6), get16(d + 8), get16(d + 10), get32(d + 12), get32(d + 16)};
}

inline std::optional<DeleteOutcome> parseDeleteResult(const std::vector<std::uint8_t>& p)
{
    if (p.size() < 20)
        return std::nullopt;
    const std::uint8_t* d = p.data();
    return DeleteOutcome {
        get16(d), get16(d + 2), get16(d + 4), get16(d + 6), get16(d + 8), get16(d + 10), get32(d + 12), get32(d + 16)};
}

inline std::vector<std::uint8_t> errorPayload(ErrorCode code)
{
    std::vector<std::uint8_t> p;
    put16(p, std::uint16_t(code));
    put16(p, 0);
    return p;
}

// The error code as sent; a code this revision does not know is kept as its number.
inline std::optional<ErrorCode> parseError(const std::vector<std::uint8_t>& p)
{
    if (p.size() < 4)
        return std::nullopt;
    return ErrorCode(get16(p.data()));
}

// An ArpHeard payload; dropped says how many reports the rate cap held back since the previous frame.
inline std::vector<std::uint8_t> arpHeardPayload(const std::vector<Heard>& sightings, std::uint16_t dropped)
{
    std::vector<std::uint8_t> p;
    put16(p, std::uint16_t(sightings.size()));
    put16(p, dropped);
    for (const Heard& s : sightings) {
        put32(p, s.ifindex);
        p.insert(p.end(), s.mac.begin(), s.mac.end());
        p.insert(p.end(), s.ip.begin(), s.ip.end());
        p.push_back(std::uint8_t(s.kind & 0x0F));
        p.push_back(s.toHost ? 1 : 0);
    }
    return p;
}

struct ArpHeardBatch
{
    bool ok = false; // false: count and length disagree, too many records, or a kind this revision lacks
    std::uint16_t dropped = 0;
    std::vector<Heard> sightings;
};

// The monitor's reading of an ArpHeard payload: all of it or nothing.
inline ArpHeardBatch parseArpHeard(const std::vector<std::uint8_t>& payload)
{
    ArpHeardBatch b;
    if (payload.size() < 4)
        return b;
    const std::size_t count = get16(payload.data());
    if (count > kMaxArpRecords || payload.size() != 4 + count * kArpRecordBytes)
        return b;
    b.dropped = get16(payload.data() + 2);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = payload.data() + 4 + i * kArpRecordBytes;
        if (p[14] < Heard::ArpRequest || p[14] > Heard::ArpAnnouncement) {
            b.sightings.clear();
            return b;
        }
        Heard s;
        s.ifindex = get32(p);
        std::copy(p + 4, p + 10, s.mac.begin());
        std::copy(p + 10, p + 14, s.ip.begin());
        s.kind = Heard::Kind(p[14]);
        s.toHost = (p[15] & 1) != 0;
        b.sightings.push_back(s);
    }
    b.ok = true;
    return b;
}

namespace detail {
inline void putDhcpRecord(std::vector<std::uint8_t>& p, const Heard& s)
{
    put32(p, s.ifindex);
    p.insert(p.end(), s.mac.begin(), s.mac.end());
    p.insert(p.end(), s.ip.begin(), s.ip.end());
    p.push_back(std::uint8_t(s.kind & 0x0F));
    const std::size_t n = s.name.size() <= kMaxDhcpName ? s.name.size() : 0;
    p.push_back(std::uint8_t(n));
    p.insert(p.end(), s.name.begin(), s.name.begin() + std::ptrdiff_t(n));
    p.insert(p.end(), kMaxDhcpName - n, 0);
}

// One DhcpHeard record at p (kDhcpRecordBytes), or false for a kind or name length out of bounds.
inline bool getDhcpRecord(const std::uint8_t* p, Heard& s)
{
    const auto kind = Heard::dhcpKind(p[14]);
    if (!kind || p[15] > kMaxDhcpName)
        return false;
    s.ifindex = get32(p);
    std::copy(p + 4, p + 10, s.mac.begin());
    std::copy(p + 10, p + 14, s.ip.begin());
    s.kind = *kind;
    s.name.assign(p + 16, p + 16 + p[15]);
    return true;
}

template<typename Bytes> void putOption(std::vector<std::uint8_t>& p, const Bytes& value)
{
    const std::size_t n = value.size() <= kMaxDhcpOption ? value.size() : 0;
    p.push_back(std::uint8_t(n));
    p.insert(p.end(), value.begin(), value.begin() + std::ptrdiff_t(n));
}

template<typename Bytes> bool getOption(const std::vector<std::uint8_t>& payload, std::size_t& at, Bytes& value)
{
    if (at >= payload.size() || payload[at] > kMaxDhcpOption || at + 1 + payload[at] > payload.size())
        return false;
    value.assign(payload.begin() + std::ptrdiff_t(at + 1), payload.begin() + std::ptrdiff_t(at + 1 + payload[at]));
    at += 1 + payload[at];
    return true;
}
} // namespace detail

// A DhcpHeard payload; dropped says how many reports the rate cap held back since the previous frame. Names
// longer than kMaxDhcpName are sent empty.
inline std::vector<std::uint8_t> dhcpHeardPayload(const std::vector<Heard>& sightings, std::uint16_t dropped)
{
    std::vector<std::uint8_t> p;
    put16(p, std::uint16_t(sightings.size()));
    put16(p, dropped);
    for (const Heard& s : sightings)
        detail::putDhcpRecord(p, s);
    return p;
}

struct DhcpHeardBatch
{
    bool ok = false; // false: count and length disagree, too many records, a kind or name length out of bounds
    std::uint16_t dropped = 0;
    std::vector<Heard> sightings;
};

// The monitor's reading of a DhcpHeard payload: all of it or nothing.
inline DhcpHeardBatch parseDhcpHeard(const std::vector<std::uint8_t>& payload)
{
    DhcpHeardBatch b;
    if (payload.size() < 4)
        return b;
    const std::size_t count = get16(payload.data());
    if (count > kMaxDhcpRecords || payload.size() != 4 + count * kDhcpRecordBytes)
        return b;
    b.dropped = get16(payload.data() + 2);
    for (std::size_t i = 0; i < count; ++i) {
        Heard s;
        if (!detail::getDhcpRecord(payload.data() + 4 + i * kDhcpRecordBytes, s)) {
            b.sightings.clear();
            return b;
        }
        b.sightings.push_back(s);
    }
    b.ok = true;
    return b;
}

// A DhcpOptions payload of one heard client: its DhcpHeard record, then its options (none when it gave none).
inline std::vector<std::uint8_t> dhcpOptionsPayload(const Heard& s)
{
    const Heard::DhcpOptions o = s.options.value_or(Heard::DhcpOptions {});
    std::vector<std::uint8_t> p;
    detail::putDhcpRecord(p, s);
    put16(p, o.maxMessageSize);
    detail::putOption(p, o.requestList);
    detail::putOption(p, o.vendorClass);
    detail::putOption(p, o.clientId);
    detail::putOption(p, o.fqdn);
    return p;
}

// The monitor's reading of a DhcpOptions payload, with its options set: all of it or nothing; fields a later
// revision appends are ignored.
inline std::optional<Heard> parseDhcpOptions(const std::vector<std::uint8_t>& payload)
{
    Heard s;
    Heard::DhcpOptions o;
    if (payload.size() < kDhcpRecordBytes + 2 || !detail::getDhcpRecord(payload.data(), s))
        return std::nullopt;
    o.maxMessageSize = get16(payload.data() + kDhcpRecordBytes);
    std::size_t at = kDhcpRecordBytes + 2;
    if (!detail::getOption(payload, at, o.requestList) || !detail::getOption(payload, at, o.vendorClass)
        || !detail::getOption(payload, at, o.clientId) || !detail::getOption(payload, at, o.fqdn))
        return std::nullopt;
    s.options = std::move(o);
    return s;
}

} // namespace helperproto
