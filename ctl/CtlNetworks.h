#pragma once

#include <QString>
#include <QStringList>

namespace Ctl {
class Store;

// networks, watch-network NETWORK, forget-network NETWORK (an id as networks prints it, or a subnet that names one).
bool isNetworkCommand(const QString& command);
int networkCommand(Store& store, const QString& command, const QStringList& args);
} // namespace Ctl
