#pragma once

#include "store/DeviceKind.h"

#include <QString>

class DeviceStore;
struct DeviceRecord;

// What a device is, in the words the lists, the details, the mails and every alert use: "Android phone",
// "Unknown Android phone (private address)", "Anna's phone, probably, with a new private address".
namespace DeviceDescription {

// A type in running text ("phone", "TV", "smart-home device"); empty for Unknown.
QString typeText(DeviceType type);
// The device's kind: its os and type ("Android phone", "phone", "Windows computer"), or its os alone; empty
// when nothing is known.
QString kindText(const DeviceRecord& d);
// "type: phone (from DHCP)": a value with where it came from, for the details and the mail.
QString sourceText(FactSource source);
// The name an alert gives the device: its friendly or host name, else "Unknown Android phone" or "Unknown
// Device", with " (private address)" for a made-up MAC; a likely return adds ", probably Anna's phone, with a
// new private address" (the earlier device as the store has it).
QString alertName(const DeviceStore& devices, const DeviceRecord& d);
// The name a likely return gives the earlier device: the user's, else its host name, else what it calls itself
// over mDNS.
QString earlierName(const DeviceRecord& earlier);
// ", probably Anna's phone, with a new private address", or empty when the device is no likely return.
QString likelyText(const DeviceStore& devices, const DeviceRecord& d);

} // namespace DeviceDescription
