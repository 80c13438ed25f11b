#pragma once

// What the helper allows, apart from the system calls that carry it out: which echo targets and which
// neighbour rows are inside the machine's directly connected ranges, which rows are never deleted, and how
// fast either may happen. Time comes in as an argument, so the tests call it without privileges or clocks.

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace helperpolicy {

constexpr std::int64_t kSecondNs = 1000000000;

// One directly connected IPv4 range of an interface that is up and does ARP; host order.
struct Range
{
    std::uint32_t first = 0; // the network address
    std::uint32_t last = 0; // the broadcast address
    std::uint32_t ifindex = 0;
};

// The range of an interface address and its mask; nullopt for a zero mask (that would be the whole Internet).
std::optional<Range> rangeOf(std::uint32_t address, std::uint32_t mask, std::uint32_t ifindex);

// Interfaces whose ranges count: up, doing ARP, neither loopback nor point-to-point (IFF_* flags).
bool rangeInterface(unsigned flags);

enum class Verdict {
    Allowed,
    OutsideRanges, // in no connected range (of the row's own interface, for a deletion)
    Hostless, // the network or broadcast address of a range of four or more addresses: no host holds it
    KeptState, // a PERMANENT or NOARP row: put there on purpose
    OverRate,
};

class Policy
{
public:
    void setRanges(std::vector<Range> ranges) { m_ranges = std::move(ranges); }
    const std::vector<Range>& ranges() const { return m_ranges; }

    Verdict echoTarget(std::uint32_t address) const;
    // Whether address lies in a connected range of that interface: what a deletion or heard ARP there may name.
    bool onInterface(std::uint32_t ifindex, std::uint32_t address) const;
    // Nanoseconds until another echo may leave (0 or less: now); never more than kEchoesPerSecond in any second.
    std::int64_t echoWaitNs(std::int64_t nowNs) const;
    void echoSent(std::int64_t nowNs);

    // A deletion of the row of address on ifindex whose NUD_* state is nudState (nullopt: not known yet, the
    // range alone is checked). An allowed deletion counts against the rate: never more than
    // kDeletionsPerSecond in any second, and the same row at most once a second.
    Verdict deletion(
        std::uint32_t ifindex, std::uint32_t address, std::optional<std::uint16_t> nudState, std::int64_t nowNs);

private:
    struct Deleted
    {
        std::uint32_t ifindex;
        std::uint32_t address;
        std::int64_t at;
    };
    std::vector<Range> m_ranges;
    std::deque<std::int64_t> m_echoes; // send times within the last second, oldest first
    std::deque<Deleted> m_deleted; // deletions within the last second, oldest first
};

} // namespace helperpolicy
