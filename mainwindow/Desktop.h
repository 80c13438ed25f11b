#pragma once

#include "platform/AppPaths.h"

// Runs the monitor with its window: the application object, the core, MainWindow and its start-up, then the
// event loop until the orderly shutdown ends it. Returns the process's exit code.
int runDesktop(int& argc, char** argv, const AppPaths& paths);
