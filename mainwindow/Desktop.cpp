#include "mainwindow/Desktop.h"

#include "app/MonitorCore.h"
#include "mainwindow/frmMain.h"
#include "platform/NetPlatform.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
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

// SIGTERM (the session or a process manager ending the program) and SIGINT run the orderly shutdown through
// the event loop, as the end of a session does.
void watchSignals(frmMain& window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_signalPipe) != 0)
        return;
    ::fcntl(s_signalPipe[1], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(s_signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(s_signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        window.Log(QStringLiteral("Shutdown requested by signal"));
        window.Shutdown();
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

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int runDesktop(int& argc, char** argv, const AppPaths& paths)
{
    if (!haveDisplay()) {
        std::fputs(
            "kestrelwatch: no display to show the window on; run with --headless to monitor without it\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrelwatch"));
    // The window hides instead of closing; the monitor lives on until Shutdown.
    QApplication::setQuitOnLastWindowClosed(false);

    MonitorCore core(paths);
    frmMain window(core, frmMain::desktopServices());
    const int early = window.Form_Load(createLinuxNetPlatform());
    if (early >= 0)
        return early;
    // The end of the session (log-off, shutdown) runs the orderly shutdown.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] { window.Shutdown(); });
    watchSignals(window);
    return QApplication::exec();
}
