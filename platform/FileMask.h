#pragma once

#include <functional>

// The process's file-creation mask. The monitor makes every file it creates its user's alone (umask 077), but a
// program the user starts from the window (a browser, a terminal, ping) is the user's own and gets the mask the
// monitor was started with, so files it saves are not private by surprise.
namespace FileMask {

// Sets umask 077 and remembers the mask it replaces.
void makePrivate();

// Runs fn (which starts another program) under the mask the process was started with, then goes back.
bool withUserMask(const std::function<bool()>& fn);

} // namespace FileMask
