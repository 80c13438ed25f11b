#pragma once

#include "store/DeviceKind.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// One detected device. Fields in the order of the stored record; PresenceCountdown, OnlineState,
// NameLookupPending and NetworkIndex live only in memory. The history is DeviceLog's, in its file.
struct DeviceRecord
{
    QString MacAddress;
    QString IpAddress;
    qint32 NetworkIndex = 0;
    QString HostName;
    QString FriendlyName;
    qint16 PresenceCountdown = 0;
    qint16 OnlineState = 0;
    bool NewDevice = false;
    bool Intruder = false;
    bool NameLookupPending = false;
    QDateTime LastOnline;
    QDateTime LastOffline;
    QDateTime FirstSeen;
    quint8 MacType = 0;
    // In memory only: the IPv6 neighbour table's addresses of this MAC at the last harvest, link-local ones last.
    QStringList Ipv6Addresses;
    // Which presence changes alert (DeviceWatch::Mode, the key's "Watch" value).
    quint8 Watch = 0;
    // What the device is ("Type", "Model", "OS" and their "_Source" values): hand-set values are never
    // overwritten by what the device says about itself.
    DeviceType Type = DeviceType::Unknown;
    FactSource TypeSource = FactSource::None;
    QString Model;
    FactSource ModelSource = FactSource::None;
    QString Os;
    FactSource OsSource = FactSource::None;
    // Earlier MACs of this device, merged into it ("Former_MACs"): matched when one of them comes back.
    QStringList FormerMacs;
    // The user's own note ("Note").
    QString Note;
    // The network the device was admitted on: the gateway's MAC and the subnet ("Network").
    QString Network;
    // The last sighting ("Last_Seen"): exact in memory, written to the store at most once a minute.
    QDateTime LastSeen;
    // What the device calls itself over mDNS ("MDNS_Name"): it outlives a new private MAC.
    QString MdnsName;
    // In memory only: the known device this private-MAC newcomer is likely to be, with a new address (its MAC).
    QString LikelyReturnOf;

    // Online from the harvest that finds the device to the harvest that finds it gone. The countdown already
    // reads 0 while the sweep that decides runs, so the countdown alone would call a device absent for the
    // length of that sweep. Rows, the status lamp, the panels, MQTT and the engine all ask this.
    bool isOnline() const;
    // A record before anything is known: empty texts, zeros, false, date value 0.
    static DeviceRecord empty();
    // The host name a device is admitted with, until a lookup finds its own.
    static QString unknownHostName() { return QStringLiteral("Unknown Device"); }
};
