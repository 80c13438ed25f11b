#pragma once

struct DeviceRecord;

// Whether a newcomer says it is the known device: the same identity in what both said about themselves.
// Host names alone are weak (any stranger can copy one), so a match only links the two; merging is the user's
// call unless MergeReturningDevices is on.
bool identityMatches(const DeviceRecord& newcomer, const DeviceRecord& known);
