#pragma once

#include <QString>
#include <QtGlobal>

// One address range of the sweep: the whole block of an adapter address and its mask, from its network
// address to its broadcast address (host order). A mask wider than /16 gives the /16 around the address.
struct ScanRange
{
    quint32 first = 0;
    quint32 last = 0;
    int prefix = 32; // the mask's length as swept

    // Inside the block, its network and broadcast addresses included (what the sweep walks).
    bool contains(quint32 address) const { return address >= first && address <= last; }
    // An address a device may hold here: inside, but neither the network nor the broadcast address (a /31 or
    // /32 has neither). Every door of a device's address (harvest, heard ARP and DHCP) asks this.
    bool holdsHost(quint32 address) const
    {
        return contains(address) && (size() <= 2 || (address != first && address != last));
    }
    quint32 size() const { return last - first + 1; }

    friend bool operator==(const ScanRange&, const ScanRange&) = default;
};

// What a sweep set-up learnt about one adapter besides its ranges and gateways; the sweep itself does not use
// it, the adapter listing shows it.
struct LocalAdapter
{
    QString name;
    QString typeName; // "Ethernet", "TokenRing", "FDDI", "PPP", "Loopback", "Slip" or "Other"
    QString macText; // bytes as two hexadecimal digits joined by "-"; empty when the adapter has none
};
