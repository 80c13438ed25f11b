#pragma once

#include <QString>
#include <QtGlobal>

// One address range of the sweep: the block of at most 256 addresses that shares its first three bytes with
// an adapter address, cut down by the last byte of that address's mask.
struct ScanRange
{
    quint8 byte1 = 0;
    quint8 byte2 = 0;
    quint8 byte3 = 0;
    quint8 maskByte = 0;
    quint8 firstHost = 0;
    quint8 lastHost = 0;

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
