#include "app/ShutdownSignals.h"

#include "platform/DebugSink.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int s_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(s_signalPipe[1], &byte, 1);
}

} // namespace

void watchShutdownSignals(QObject* context, std::function<void()> shutdown)
{
    if (s_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_signalPipe) != 0) {
        Log(kwMonitor, QStringLiteral("watchShutdownSignals - no socket pair; signals end the process directly"));
        return;
    }
    ::fcntl(s_signalPipe[1], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(s_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, shutdown = std::move(shutdown)] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(s_signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        Log(kwMonitor, QStringLiteral("Shutdown requested by signal"));
        shutdown();
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
