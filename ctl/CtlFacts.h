#pragma once

#include <QStringList>

namespace Ctl {

class Store;

// set-type MAC TYPE and set-model MAC TEXT: what the device is, set by hand (never overwritten by what the
// device says about itself); "unknown" and "" give the value back to the device. The exit status.
int factCommand(Store& store, const QString& command, const QStringList& args);
// The usage error of a type word that names no type, or empty.
QString typeRefusal(const QString& word);

} // namespace Ctl
