#pragma once

#include <QString>

namespace Ctl {

class Store;

// kestrelwatch-ctl follow: every device event from now on, one line each, until SIGINT or SIGTERM (exit 0).
int follow(Store& store, bool json, const QString& share);

} // namespace Ctl
