#pragma once

#include "platform/LinuxNetPlatform.h"

// An interface with an IPv4 address that the adapter list leaves out, and why ("has no carrier", ...).
struct LeftOutLink
{
    QString name;
    QString reason;
};

// The adapter list out of a getifaddrs list and the default routes, with the interfaces it leaves out; pure,
// so tests feed it a built list. Interfaces without an IPv4 address are left out without a word.
QList<AdapterInfo> adaptersFromIfaddrs(
    const ifaddrs* list, const QList<DefaultRouteHop>& routes, QList<LeftOutLink>* leftOut);

// Whether the interface is a bridge without a single port, from sysfs (sysClassNet is /sys/class/net). Such a
// bridge reaches nothing; a new one reports carrier until a port comes and goes.
bool isBridgeWithoutPorts(const QString& sysClassNet, const QString& name);

// The kernel's neighbour-table limit (gc_thresh3) from its sysctl file. Only the host's own namespace shows
// the file, while the table and its limit are shared by every namespace; without it the kernel's default,
// 1,024, is assumed.
int neighbourTableLimitFrom(const QString& sysctlFile);
