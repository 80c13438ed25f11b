#pragma once

#include "engine/Describer.h"

struct DeviceRecord;

// Whether a newcomer says it is the known device: the same identity in what both said about themselves.
// Host names and mDNS names alone are weak (any stranger can copy one), so a match only links the two; merging is
// the user's call unless MergeReturningDevices is on. Names every device of a kind has out of the box match
// nothing.
// What each DHCP client said (null when it said nothing) sharpens it: a client id of the client's own making is
// the machine itself, and a name with another request list or vendor class is another client.
bool identityMatches(const DeviceRecord& newcomer, const DeviceRecord& known,
    const Describer::DhcpIdentity* newcomerDhcp = nullptr, const Describer::DhcpIdentity* knownDhcp = nullptr);
