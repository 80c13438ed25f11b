#pragma once

#include <QString>

// Files and folders of the user's store are the user's alone from the moment they exist: created with mode
// 0600 (folders 0700) by the call that creates them, whatever the umask, never created open and tightened
// after. Each returns an error text, empty on success.
namespace PrivateFiles {

// Creates an empty file that must not exist yet.
QString createFile(const QString& file);
// A copy of from (a default shipped read-only to everyone) as a new private file.
QString copyFile(const QString& from, const QString& to);
// The folder and any missing parents; the folder itself 0700 when it is made here (parents as the umask says).
QString makeDir(const QString& dir);

} // namespace PrivateFiles
