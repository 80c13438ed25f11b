#pragma once

// The helper's rtnetlink work on the IPv4 neighbour table, with the C library alone.

#include <array>
#include <cstdint>
#include <linux/neighbour.h>
#include <vector>

struct NeighbourEntry
{
    std::uint32_t ifindex = 0;
    std::array<std::uint8_t, 4> ip {};
    std::uint16_t state = 0; // NUD_* bits
};

// A bound NETLINK_ROUTE socket, or -1.
int openNetlink();
// The IPv4 neighbour table; 0 or an errno value.
int dumpNeighbours(int fd, std::vector<NeighbourEntry>& out);
// Deletes one row (needs CAP_NET_ADMIN in effect); 0 or an errno value (ENOENT when it is gone).
int deleteNeighbour(int fd, std::uint32_t ifindex, const std::array<std::uint8_t, 4>& ip);
