#pragma once

// What a device was heard saying on a swept interface: one report from the helper's packet parsers, through the
// pipe's reports and the platform's callback, to the engine. Plain C++, so the helper stays free of Qt.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a DHCP client says about itself, each empty when absent or too long to carry (a request list or
// vendor class cut short would match another device's signature).
struct HeardDhcpOptions
{
    std::vector<std::uint8_t> requestList; // 55, option codes in order
    std::string vendorClass; // 60
    std::vector<std::uint8_t> clientId; // 61: type byte, then the identifier
    std::string fqdn; // 81's name as dotted text
    std::uint16_t maxMessageSize = 0; // 57
    bool operator==(const HeardDhcpOptions&) const = default;
};

struct Heard
{
    // What was heard. The low four bits are the byte its report carries over the pipe: the ARP kind, or the
    // DHCP message type (option 53).
    enum Kind : std::uint8_t {
        ArpRequest = 0x01,
        ArpReply = 0x02,
        // A probe's address is the one its sender is about to take (its target: a probe's own sender address
        // is 0.0.0.0); an announcement (gratuitous ARP) names the sender's address as its target too.
        ArpProbe = 0x03,
        ArpAnnouncement = 0x04,
        DhcpDiscover = 0x11,
        DhcpRequest = 0x13,
        DhcpInform = 0x18,
    };

    // Declared outside, so that it is complete here: a nested class with member initialisers is not yet
    // default-constructible inside its enclosing class, and optional<DhcpOptions>::emplace() fails with clang.
    using DhcpOptions = HeardDhcpOptions;

    std::uint32_t ifindex = 0;
    // The sender's MAC: the ARP sender's, or the DHCP client hardware address, equal to the frame's source.
    std::array<std::uint8_t, 6> mac {};
    // The address it holds or is about to take (a DHCP client's requested address or ciaddr); 0.0.0.0 for a
    // DHCP client that names neither, or one outside the interface's ranges.
    std::array<std::uint8_t, 4> ip {};
    Kind kind = ArpRequest;
    bool toHost = false; // ARP sent to this machine's own MAC (a reply to its own request)
    std::string name; // a DHCP client's host name (option 12) as sent, unfiltered; empty when none
    // A DHCP client's own description. The monitor hears it in a report of its own, after the report of the
    // message: set there alone.
    std::optional<DhcpOptions> options;

    bool isDhcp() const { return (kind & 0x10) != 0; }
    // The kind of a DHCP client message of this type (option 53); nullopt for any other type.
    static std::optional<Kind> dhcpKind(std::uint8_t type)
    {
        if (type == 1 || type == 3 || type == 8)
            return Kind(0x10 | type);
        return std::nullopt;
    }
    bool operator==(const Heard&) const = default;
};
