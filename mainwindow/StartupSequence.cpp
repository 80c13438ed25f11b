#include "mainwindow/StartupSequence.h"

#include "app/MonitorCore.h"
#include "mainwindow/AlarmPresenter.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/MainWindow.h"
#include "platform/Clock.h"
#include "platform/NetPlatform.h"
#include "settings/SettingsDialog.h"

#include <QPushButton>
#include <QToolButton>

#include <exception>

namespace {

template<typename Body> void step(MainWindow& window, const char* tag, Body&& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        window.Log(QLatin1String(tag) + QStringLiteral(" - ") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        window.Log(QLatin1String(tag) + QStringLiteral(" - unexpected error"));
    }
}

} // namespace

int StartupSequence::fatal(const QString& message)
{
    m_window.Log(QStringLiteral("Load - ") + message);
    if (m_window.m_services.critical)
        m_window.m_services.critical(message);
    return 1;
}

int StartupSequence::start(std::unique_ptr<NetPlatform> net)
{
    MainWindow& w = m_window;
    MonitorCore& core = w.m_core;
    if (w.m_loaded)
        return -1;
    w.m_loaded = true;

    // 1: a second copy hands over to the first (which comes to the front) and ends; 5: the system check (both
    // inside claimInstance).
    MonitorCore::Outcome outcome = core.claimInstance();
    if (outcome.step == MonitorCore::Step::AlreadyRunning)
        return 0;
    if (outcome.step == MonitorCore::Step::Fatal)
        return fatal(outcome.message);
    // A second launch brings this window to the front.
    core.setRaiseHandler([window = &w] {
        MainWindow& w = *window;
        if (w.m_shuttingDown)
            return;
        // Shown anew, so that a window the desktop has put away (another workspace, unmapped) comes back too.
        // Whether it is still on screen cannot be told here: Qt hears of an unmap only later, and keeps a
        // window active for a moment after it lost the focus, so a quick second launch found it "active" and
        // left it away.
        if (w.isVisible() && !w.isMinimized())
            w.hide();
        w.showMainWindowAgain();
    });

    // 2-4: hidden; the engine does not exist yet, so nothing runs; the codec and the folders are the core's.
    w.hide();
    // 6: the grids and the friendly-name box.
    step(w, "Load", [&w] { w.setupGrids(); });
    // 7: the settings dialog, loaded hidden.
    step(w, "Load", [&w] { w.loadSettingsDialog(); });
    // 8: access rights and the store check.
    outcome = core.openStore();
    if (outcome.step != MonitorCore::Step::Ok)
        return fatal(outcome.message);
    // 9, 10, 18, 21: Config.ini and Programs.ini, the start time, the vendor database, LogExtra, the mailer.
    step(w, "Load", [&core] { core.loadInstallation(); });
    step(w, "Load", [&w] {
        // Without a donation page the menu button takes the Donate button's place beside Settings.
        const bool donate = !MainWindow::donateUrl().isEmpty();
        w.m_donate->setVisible(donate);
        if (!donate)
            w.m_windowMenuButton->move(
                w.m_donate->geometry().right() + 1 - w.m_windowMenuButton->width(), w.m_windowMenuButton->y());
    });
    // 11-13: the skin, the settings and devices, the lists.
    step(w, "Load", [&w] { w.Load_Pictures(); });
    step(w, "Load", [&core] { core.loadRegistry(); });
    // The dialog's controls show the settings just loaded.
    step(w, "Load", [&w] {
        if (w.m_settingsDialog)
            w.m_settingsDialog->loadFromSettings();
    });
    step(w, "Load", [&w] { w.Setup_Display(); });
    w.m_alarm->setLastIntruderWarning(kwclock::now());
    // 14: the engine; its load opens the socket and starts the first sweep.
    step(w, "Load", [&w, &core, &net] { core.startEngine(std::move(net), [window = &w] { window->wireEngine(); }); });
    // Without a working helper the window says so, with the command that fixes it, in place of an empty list
    // that would read as "no intruders".
    step(w, "Load", [&w, &core] {
        const MonitorCore::SweepState sweep = core.sweepState();
        if (sweep.problem.isEmpty())
            return;
        if (!sweep.sweeping)
            w.intruderList()->setEmptyText(QStringLiteral("Not watching the network"), sweep.problem);
        w.showNotice(sweep.problem, 30);
    });
    // The probe's target is judged against the ranges the engine now sweeps.
    step(w, "Load", [&w] { w.refreshProbe(); });
    // 15-17: still hidden, placed; the title; the tray icon.
    step(w, "Load", [&w] {
        w.hide();
        w.placeWindow();
    });
    w.setWindowTitle(w.TitleText());
    step(w, "Load", [&w] { w.startTray(); });
    // 19 and 22: "Installed"; starting with the session is the user's choice (askStartAtLogin).
    step(w, "Load", [&w, &core] { w.m_firstRun = core.markInstalled(false); });
    // 20: the sound players.
    step(w, "Load", [&w] { w.openSoundPlayers(); });
    // 23: the external programs menu.
    step(w, "Load", [&w] { w.Load_ExternalProgs(); });
    // Without a notification area the tray icon cannot bring the window up: it starts on the desktop.
    if (!w.trayAvailable())
        step(w, "Load", [&w] { w.showMainWindowAgain(); });
    // 24: nothing opens unasked; the one question of the first start.
    step(w, "Load", [&w] { w.askStartAtLogin(); });
    return -1;
}

void StartupSequence::shutdown()
{
    MainWindow& w = m_window;
    if (w.m_shuttingDown)
        return;
    w.m_shuttingDown = true;
    step(w, "Shutdown", [&w] {
        w.m_tmr333ms.stop();
        w.m_tmr100ms.stop();
    });
    step(w, "Shutdown", [&w] { w.hide(); });
    step(w, "Shutdown", [&w] { w.stopTray(); });
    step(w, "Shutdown", [&w] { w.m_probe->setTarget(std::nullopt); });
    // The engine's unload (socket, pending lookup) and the vendor database.
    step(w, "Shutdown", [&w] { w.m_core.shutdown(); });
    Q_EMIT w.shuttingDown();
    w.m_closeTimer.start();
}
