#pragma once

#include <QList>

class DeviceTable;
class NetPlatform;

// At every harvest the kernel's IPv6 neighbour table is read as well, and each known device gets the IPv6
// addresses (link-local and global) its MAC answers to there. They only inform: no IPv6 row is swept or
// deleted, none marks a device present, and none admits a device. Returns the slots whose list changed; an
// unreadable table leaves every list as it was.
QList<qint32> attachIpv6Neighbours(NetPlatform& net, DeviceTable& devices);
