#pragma once

#include <QString>
#include <QStringList>

// What a device is, as far as anyone can tell: its type, model and operating system, each with where the
// value came from. A value the user set is never overwritten by what the device says about itself; among the
// device's own sources a stronger one replaces a weaker one.
enum class DeviceType : quint8 {
    Unknown,
    Router,
    Computer,
    Phone,
    Tablet,
    Tv,
    Speaker,
    Printer,
    Camera,
    Console,
    Nas,
    SmartHome,
    Wearable,
    Network,
};

// Weakest first: a source replaces a value only from the same or a weaker source.
enum class FactSource : quint8 {
    None,
    Vendor, // the IEEE registry's manufacturer
    HostName, // a host-name pattern (iPhone, DESKTOP-, android-)
    Dhcp, // the DHCP request list, vendor class, client id or FQDN
    Upnp, // a UPnP device description
    Mdns, // DNS-SD services and their TXT records
    User, // set by hand
};

namespace DeviceKind {
// The stored and JSON word of a type ("router", "smart-home", …) and back; an unknown word is Unknown.
QString typeWord(DeviceType type);
DeviceType typeFromWord(const QString& word);
QStringList typeWords();
// The stored word of a source ("user", "dhcp", …) and back.
QString sourceWord(FactSource source);
FactSource sourceFromWord(const QString& word);
// Whether a value from `incoming` may replace one from `current`.
bool mayReplace(FactSource current, FactSource incoming);
} // namespace DeviceKind
