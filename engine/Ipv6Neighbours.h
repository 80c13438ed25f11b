#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class DeviceStore;
class NetPlatform;

// At every harvest the kernel's IPv6 neighbour table is read as well, and each known device gets the IPv6
// addresses (link-local and global) its MAC answers to there. They only inform: no IPv6 row is swept or
// deleted, none marks a device present, and none admits a device. Returns the MACs whose list changed; an
// unreadable table leaves every list as it was. A row of a unicast address passes the engine's MAC check
// (isDeviceMac) before it counts.
using MacCheck = std::function<bool(const QByteArray& mac, const QString& ip)>;
QStringList attachIpv6Neighbours(NetPlatform& net, DeviceStore& devices, const MacCheck& isDeviceMac);
