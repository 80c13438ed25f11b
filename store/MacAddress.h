#pragma once

#include <QString>

namespace MacAddress {

// Whether a MAC text ("02-1A-..", either separator) has the locally-administered bit (the second-lowest bit
// of the first byte): an address the device made up itself, as phones do per network, rather than one from
// its maker's block. An unreadable text is not.
inline bool isLocallyAdministered(const QString& mac)
{
    bool ok = false;
    const uint first = mac.left(2).toUInt(&ok, 16);
    return ok && (first & 0x02U) != 0;
}

} // namespace MacAddress
