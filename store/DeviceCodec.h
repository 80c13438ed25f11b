#pragma once

#include "store/DeviceRecord.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

// The stored form of a device, read and written in one place: the values under DetectedDevices\<MAC>. Every
// reader (the load at start, the follower of another process's changes, kestrelwatch-ctl, an import) and every
// writer (admission, the user's actions, an import) goes through here, so they agree on names, forms and the
// rule for a missing value.
//
// A value that is missing or does not read takes what is safe for the user: the device is an intruder and
// new (nobody vouched for it), its dates are NeverDate, its host name "Unknown Device", its texts empty, its
// type unknown and its watch none. Each such value is named in `problems` for the caller's log line; a value
// that is simply absent because the device never had it (a note, a model, former MACs, a watch) is no problem.
namespace DeviceCodec {

using Values = QList<std::pair<QString, QString>>; // (value name, text), as KeyStore::ValueTexts

// Value names of the stored record.
namespace Name {
inline const QString IpAddress = QStringLiteral("IP_Address");
inline const QString HostName = QStringLiteral("Host_Name");
inline const QString FriendlyName = QStringLiteral("Friendly_Name");
inline const QString NewDevice = QStringLiteral("New_Device");
inline const QString Intruder = QStringLiteral("Intruder");
inline const QString FirstSeen = QStringLiteral("First_Seen");
inline const QString LastOnline = QStringLiteral("Last_Online");
inline const QString LastOffline = QStringLiteral("Last_Offline");
inline const QString MacType = QStringLiteral("Mac_Type");
inline const QString Watch = QStringLiteral("Watch");
inline const QString Type = QStringLiteral("Type");
inline const QString TypeSource = QStringLiteral("Type_Source");
inline const QString Model = QStringLiteral("Model");
inline const QString ModelSource = QStringLiteral("Model_Source");
inline const QString Os = QStringLiteral("OS");
inline const QString OsSource = QStringLiteral("OS_Source");
inline const QString FormerMacs = QStringLiteral("Former_MACs");
inline const QString Note = QStringLiteral("Note");
inline const QString Network = QStringLiteral("Network");
inline const QString LastSeen = QStringLiteral("Last_Seen");
inline const QString MdnsName = QStringLiteral("MDNS_Name");
} // namespace Name

// Every value of the record in the stored order: the nine of the first release first, then "Watch", what the
// device is, its former MACs, note, network, last sighting and mDNS name. Optional values that are empty are left out.
Values encode(const DeviceRecord& d);

// The text of one stored value of d (a date as ISO 8601 with its offset); empty for a name that is none.
QString valueText(const DeviceRecord& d, const QString& name);

struct Decoded
{
    DeviceRecord record;
    QStringList problems; // "Intruder \"maybe\"", one per value that was missing or did not read
    bool oldDates = false; // a date was in the locale text of an earlier release
};
// The device stored under mac from its values (names compare case-insensitively). Run-time fields start as a
// load leaves them: not online, its name still to be looked up.
Decoded decode(const QString& mac, const Values& values);

} // namespace DeviceCodec
