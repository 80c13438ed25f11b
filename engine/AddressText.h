#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

// Text forms of hardware and IPv4 addresses as the engine writes and compares them.
namespace AddressText {

// Each byte as two upper-case hexadecimal digits joined by "-" ("00-0C-41-A2-3B-7F"); empty for no bytes.
QString macText(const QByteArray& bytes);
// A heard report's MAC as the bytes the rest of the engine checks and writes.
QByteArray macBytes(const std::array<quint8, 6>& mac);
// Dotted decimal without leading zeros.
QString ipText(const std::array<quint8, 4>& bytes);
// The same for an address in host order (first byte in the high bits).
QString ipText(quint32 address);
// Four decimal bytes joined by dots; nullopt for anything else.
std::optional<std::array<quint8, 4>> parseIPv4(const QString& text);
// Bytes, first byte first, as one number with the first byte in the high bits, and back.
quint32 toNumber(const std::array<quint8, 4>& bytes);
std::array<quint8, 4> toBytes(quint32 address);
// 6 "Ethernet", 9 "TokenRing", 15 "FDDI", 23 "PPP", 24 "Loopback", 28 "Slip", any other "Other".
QString adapterTypeName(int type);

} // namespace AddressText
