#pragma once

#include "platform/AppPaths.h"

// Runs the monitor with its window: creates the application object, the core and the window, and returns
// the process's exit code. main() passes the desktop's; a build without the window passes none and the
// monitor runs headless.
using DesktopRunner = int (*)(int& argc, char** argv, const AppPaths& paths);

// The program: parses the command line and runs the monitor (window or headless) or one of the one-shot
// commands (--vendor, --help, --version).
int kestrelwatchMain(int argc, char** argv, DesktopRunner desktop);
