#pragma once

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

} // namespace MacAddress
