#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

class DeviceTable;
class NetPlatform;

// At every harvest the kernel's IPv6 neighbour table is read as well, and each known device gets the IPv6
// addresses (link-local and global) its MAC answers to there. They only inform: no IPv6 row is swept or
// deleted, none marks a device present, and none admits a device. Returns the slots whose list changed; an
// unreadable table leaves every list as it was. A row of a unicast address passes the engine's MAC check
// (isDeviceMac) before it counts.
using MacCheck = std::function<bool(const QByteArray& mac, const QString& ip)>;
QList<qint32> attachIpv6Neighbours(NetPlatform& net, DeviceTable& devices, const MacCheck& isDeviceMac);
