#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The start-with-login entry: an XDG autostart desktop file whose Exec= line starts the program. The hive
// shows it as the Run value (Software\Microsoft\Windows\CurrentVersion\Run, "Brackmoor\Kestrelwatch").

// $XDG_CONFIG_HOME/autostart/kestrelwatch.desktop (~/.config when the variable is unset).
QString autostartFile();
// The program the entry starts, without its arguments; nullopt when there is no entry.
std::optional<QString> readAutostart();
// Writes the entry (atomically) to start program with arguments, each quoted as the Exec= format asks.
bool writeAutostart(const QString& program, const QStringList& arguments);
bool removeAutostart();

// The program a login entry may start. An installed program is itself; one run from a build tree (a folder
// holding CMakeCache.txt, at or above the program's own) would tie the login to a build that may go away, so
// the installed kestrelwatch found on PATH (outside that tree) stands in; nullopt when there is none.
std::optional<QString> autostartProgram(const QString& running);
