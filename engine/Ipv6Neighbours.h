#pragma once

class DeviceTable;
class MainWindowSeam;
class NetPlatform;

// At every harvest the kernel's IPv6 neighbour table is read as well, and each known device gets the IPv6
// addresses (link-local and global) its MAC answers to there. They only inform: no IPv6 row is swept or
// deleted, none marks a device present, and none admits a device. A device whose list changed is redrawn; an
// unreadable table leaves every list as it was.
void attachIpv6Neighbours(NetPlatform& net, DeviceTable& devices, MainWindowSeam& window);
