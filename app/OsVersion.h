#pragma once

// The kernel's version as major.minor (uname); 1.0 when it cannot be read.
namespace OsVersion {
double kernelVersion();
// Every kernel with rtnetlink neighbour tables and raw ICMP sockets in their present form (2.6 onwards).
bool supported();
} // namespace OsVersion
