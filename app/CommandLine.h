#pragma once

// The program: parses the command line and runs the monitor (window or headless) or one of the one-shot
// commands (--vendor, --help, --version).
int kestrelwatchMain(int argc, char** argv);
