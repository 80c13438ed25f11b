#pragma once

#include <QString>

struct AppPaths;

// Makes sure the store's keys exist, makes the user's folder private, and checks that the store really takes a
// write. Nothing is ever granted to a group or anyone else: on Linux a grant to "Users" would open one user's
// files to every other user. Installation data is never touched.
namespace HomePrivacy {

// True when "Dummy" written to the GENERAL key reads back the same; the rights steps never decide it.
bool makeHomePrivate(const AppPaths& paths);

// Object type 1 is a folder: it is created when missing, and it and every folder under it become 0700, every
// file 0600, whatever the umask, with any ACL removed (symbolic links are left alone, never followed). Type 4 is
// a registry key: the keys live in the per-user store, whose file is private already, so for them this is a
// successful no-op. A failure is logged with the step and its errno.
bool makePathPrivate(const QString& objectName, int objectType);

} // namespace HomePrivacy
