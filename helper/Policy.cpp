#include "helper/Policy.h"

#include "helper/HelperProtocol.h"

#include <algorithm>

#include <linux/neighbour.h>
#include <net/if.h>

namespace helperpolicy {

std::optional<Range> rangeOf(std::uint32_t address, std::uint32_t mask, std::uint32_t ifindex)
{
    if (mask == 0)
        return std::nullopt;
    return Range {address & mask, (address & mask) | ~mask, ifindex};
}

bool rangeInterface(unsigned flags)
{
    return (flags & IFF_UP) && !(flags & (IFF_NOARP | IFF_LOOPBACK | IFF_POINTOPOINT));
}

Verdict Policy::echoTarget(std::uint32_t address) const
{
    bool inside = false;
    for (const Range& r : m_ranges) {
        if (address < r.first || address > r.last)
            continue;
        // A /31 or /32 has no network or broadcast address: every address in it is a host.
        if (r.last - r.first >= 3 && (address == r.first || address == r.last))
            return Verdict::Hostless;
        inside = true;
    }
    return inside ? Verdict::Allowed : Verdict::OutsideRanges;
}

bool Policy::onInterface(std::uint32_t ifindex, std::uint32_t address) const
{
    return std::ranges::any_of(
        m_ranges, [&](const Range& r) { return r.ifindex == ifindex && address >= r.first && address <= r.last; });
}

std::int64_t Policy::echoWaitNs(std::int64_t nowNs) const
{
    if (m_echoes.size() < std::size_t(helperproto::kEchoesPerSecond))
        return 0;
    return m_echoes.front() + kSecondNs - nowNs;
}

void Policy::echoSent(std::int64_t nowNs)
{
    while (!m_echoes.empty() && nowNs - m_echoes.front() >= kSecondNs)
        m_echoes.pop_front();
    m_echoes.push_back(nowNs);
}

Verdict Policy::deletion(
    std::uint32_t ifindex, std::uint32_t address, std::optional<std::uint16_t> nudState, std::int64_t nowNs)
{
    if (!onInterface(ifindex, address))
        return Verdict::OutsideRanges;
    if (!nudState)
        return Verdict::Allowed;
    if (*nudState & (NUD_PERMANENT | NUD_NOARP))
        return Verdict::KeptState;
    while (!m_deleted.empty() && nowNs - m_deleted.front().at >= kSecondNs)
        m_deleted.pop_front();
    if (m_deleted.size() >= std::size_t(helperproto::kDeletionsPerSecond))
        return Verdict::OverRate;
    for (const Deleted& d : m_deleted) {
        if (d.ifindex == ifindex && d.address == address)
            return Verdict::OverRate;
    }
    m_deleted.push_back({ifindex, address, nowNs});
    return Verdict::Allowed;
}

} // namespace helperpolicy
