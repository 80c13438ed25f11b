#pragma once

#include <QString>
#include <QStringList>

// kestrelwatch-ctl: the everyday tool for servers and scripts. It reads and changes the store the monitor
// keeps; a monitor running on the same home takes the changes in within two seconds (app/StoreFollower).
namespace Ctl {

// Runs one command line (without the program's name); share is the installation data folder (the vendor
// names). Returns the exit status: 0 done, 1 a device or store that is missing or refuses, 2 a usage error.
int run(const QStringList& arguments, const QString& share);

} // namespace Ctl
