#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace MacAddress {

// Whether a MAC text ("02-1A-..", either separator) is a device's own made-up address, as phones make one per
// network: the locally-administered bit (the second-lowest of the first byte) set and the group bit clear,
// rather than an address from its maker's block. An unreadable text is not.
inline bool isLocallyAdministered(QStringView mac)
{
    bool ok = false;
    const uint first = mac.left(2).toUInt(&ok, 16);
    return ok && (first & 0x03U) == 0x02U;
}

// Why a MAC address is nobody's own, for the one check every path that finds a device makes before it admits,
// sights or names one: all zero, broadcast, a group (multicast) address such as 01-00-5E-.. or 33-33-.., or
// not six bytes at all. Device: a unicast address, globally or locally administered.
enum class Refusal { Device, Malformed, Zero, Broadcast, Group };

// Six bytes as the kernel and the helper give them.
Refusal refusal(QByteArrayView bytes);
// Six bytes as two hexadecimal digits each, joined by "-" or ":" ("00-0C-41-A2-3B-7F").
Refusal refusal(QStringView text);
inline bool isDeviceMac(QByteArrayView bytes)
{
    return refusal(bytes) == Refusal::Device;
}
inline bool isDeviceMac(QStringView text)
{
    return refusal(text) == Refusal::Device;
}
// "00-0C-41-A2-3B-7F" from any usual form of six bytes (either case, ":" or "-" or nothing between bytes);
// empty when the text is no MAC address. The one form the store keys and compares devices by.
QString canonical(QStringView text);
// "all zero", "broadcast", ... for a log line; empty for Device.
QString refusalText(Refusal why);

} // namespace MacAddress
