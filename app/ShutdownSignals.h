#pragma once

#include <functional>

class QObject;

// SIGINT and SIGTERM (Ctrl+C, a service manager, the end of a session) run the orderly shutdown through
// the event loop: the handler only writes a byte to a socket pair that a notifier owned by context reads.
// The first signal calls shutdown; later ones are ignored while it runs.
void watchShutdownSignals(QObject* context, std::function<void()> shutdown);
