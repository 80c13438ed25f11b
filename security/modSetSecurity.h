#pragma once

#include <QString>

struct AppPaths;

// Makes sure the store's keys exist, lets the group "users" into the data folders when the store lives
// outside the user's own home (a shared installation), and checks that the store really takes a write.
namespace modSetSecurity {

// True when "Dummy" written to the GENERAL key reads back the same; the rights steps never decide it.
bool ConfigureSecurityInfo(const AppPaths& paths);

// Object type 1 is a folder, 4 a registry key. Registry keys live in the per-user store, whose file stays
// private to its owner (it holds the mail login), so for them this is a successful no-op.
bool SetSecurityInfo(const QString& objectName, int objectType);

// Folders inside the user's own home need no grant.
bool insideOwnHome(const QString& folder);

} // namespace modSetSecurity
