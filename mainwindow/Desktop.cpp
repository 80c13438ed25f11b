#include "mainwindow/Desktop.h"

#include "app/MonitorCore.h"
#include "app/ShutdownSignals.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/Theme.h"
#include "platform/NetPlatform.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>

namespace {

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
    // Without a session bus to name, libdbus would start one of its own for the display (autolaunch), and
    // with it a notification daemon: the monitor only uses a bus the session already has.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
        && (runtime.isEmpty() || !QFileInfo(runtime + QStringLiteral("/bus")).exists()))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kestrelwatch-no-session-bus");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kestrelwatch"));
    // The window hides instead of closing; the monitor lives on until Shutdown.
    QApplication::setQuitOnLastWindowClosed(false);
    Theme::applyToApplication();

    MonitorCore core(paths);
    MainWindow window(core, MainWindow::desktopServices());
    const int early = window.Form_Load(createLinuxNetPlatform());
    if (early >= 0)
        return early;
    // The end of the session (log-off, shutdown) runs the orderly shutdown.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] { window.Shutdown(); });
    // SIGTERM (the session or a process manager ending the program) and SIGINT run the orderly shutdown.
    watchShutdownSignals(&window, [&window] { window.Shutdown(); });
    return QApplication::exec();
}
