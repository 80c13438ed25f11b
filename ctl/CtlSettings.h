#pragma once

#include <QStringList>

// kestrelwatch-ctl's get and set: every setting of SettingsTable by its key on disk or its name in code, with
// the table's limits; secrets print masked unless revealed.
namespace Ctl {

class Store;

bool knownSetting(const QString& keyOrName);
// get (every setting), get NAME (one argument) or set NAME VALUE; returns the exit status.
int settingCommand(Store& store, const QStringList& args, bool reveal);

} // namespace Ctl
