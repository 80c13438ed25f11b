// Start-up, the orderly shutdown, and stopping and restarting the monitoring.
#include "mainwindow/MainWindow.h"

#include "app/MonitorCore.h"
#include "engine/DiscoveryEngine.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/NetworkQuestion.h"
#include "notify/AlertNameWait.h"
#include "notify/AlertPolicy.h"
#include "platform/Autostart.h"
#include "platform/Clock.h"
#include "platform/NetPlatform.h"
#include "settings/SettingsDialog.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QToolButton>

#include <exception>

namespace {

// Start-up and shutdown run under one error handler each: a failing step is logged with the operation's tag
// and the sequence goes on with its next step.
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

int MainWindow::Form_Load(std::unique_ptr<NetPlatform> net)
{
    if (m_loaded)
        return -1;
    m_loaded = true;

    // 1: a second copy hands over to the first (which comes to the front) and ends; 5: the system check (both inside
    // claimInstance).
    MonitorCore::Outcome outcome = m_core.claimInstance();
    if (outcome.step == MonitorCore::Step::AlreadyRunning)
        return 0;
    const auto fatal = [this](const QString& message) {
        Log(QStringLiteral("Load - ") + message);
        if (m_services.critical)
            m_services.critical(message);
        return 1;
    };
    if (outcome.step == MonitorCore::Step::Fatal)
        return fatal(outcome.message);
    // A second launch brings this window to the front.
    m_core.setRaiseHandler([this] {
        if (m_shuttingDown)
            return;
        // Shown anew, so that a window the desktop has put away (another workspace, unmapped) comes back too.
        // Whether it is still on screen cannot be told here: Qt hears of an unmap only later, and keeps a
        // window active for a moment after it lost the focus, so a quick second launch found it "active" and
        // left it away.
        if (isVisible() && !isMinimized())
            hide();
        showMainWindowAgain();
    });

    // 2-4: hidden; the engine does not exist yet, so nothing runs; the codec and the folders are the core's.
    hide();
    // 6: the grids and the friendly-name box.
    step(*this, "Load", [this] { setupGrids(); });
    // 7: the settings dialog, loaded hidden.
    step(*this, "Load", [this] { loadSettingsDialog(); });
    // 8: access rights and the store check.
    outcome = m_core.openStore();
    if (outcome.step != MonitorCore::Step::Ok)
        return fatal(outcome.message);
    // 9, 10, 18, 21: Config.ini and Programs.ini, the start time, the vendor database, LogExtra, the mailer.
    step(*this, "Load", [this] { m_core.loadInstallation(); });
    step(*this, "Load", [this] {
        // Without a donation page the menu button takes the Donate button's place beside Settings.
        const bool donate = !donateUrl().isEmpty();
        m_donate->setVisible(donate);
        if (!donate)
            m_windowMenuButton->move(
                m_donate->geometry().right() + 1 - m_windowMenuButton->width(), m_windowMenuButton->y());
    });
    // 11-13: the skin, the settings and devices, the lists.
    step(*this, "Load", [this] { Load_Pictures(); });
    step(*this, "Load", [this] { m_core.loadRegistry(); });
    // The dialog's controls show the settings just loaded.
    step(*this, "Load", [this] {
        if (m_settingsDialog)
            m_settingsDialog->loadFromSettings();
    });
    step(*this, "Load", [this] { Setup_Display(); });
    datLastIntruderWarning = kwclock::now();
    // 14: the engine; its load opens the socket and starts the first sweep.
    step(*this, "Load", [this, &net] {
        m_core.startEngine(std::move(net), [this] {
            m_core.onDeviceEvent(this, [this](const DeviceEvent& event) { deviceEvent(event); });
            connect(m_core.engine(), &DiscoveryEngine::harvested, this, &MainWindow::ShowStatus);
            // A laptop's monitor asks before it watches a network it joins (NetworkQuestion).
            DiscoveryEngine* engine = m_core.engine();
            engine->setNetworkPolicyDefault(NetworkBook::Policy::Asked);
            connect(engine, &DiscoveryEngine::networkJoined, this, [this, engine](const QString& id) {
                if (const NetworkBook::Network* network = engine->networks().find(id)) {
                    auto* question = new NetworkQuestion(*network, this);
                    connect(question, &NetworkQuestion::answered, engine, &DiscoveryEngine::answerNetwork);
                    // A network watched now is the lists' at once, not at the next sweep.
                    connect(question, &NetworkQuestion::answered, this,
                        [this, engine] { m_deviceLists->networksSeen(engine->networksInView()); });
                    question->show();
                }
            });
            // Blind or seeing again: the lamp says so at once rather than at the next quiet refresh.
            connect(m_core.engine(), &DiscoveryEngine::sightChanged, this, [this] {
                if (quietLastTick)
                    applyNormalLook();
            });
            connect(m_core.alertPolicy(), &AlertPolicy::alertRaised, this, &MainWindow::alertRaised);
            connect(m_core.alertNameWait(), &AlertNameWait::ready, this, &MainWindow::alertNamed);
        });
    });
    // Without a working helper the window says so, with the command that fixes it, in place of an empty list
    // that would read as "no intruders".
    step(*this, "Load", [this] {
        const MonitorCore::SweepState sweep = m_core.sweepState();
        if (sweep.problem.isEmpty())
            return;
        if (!sweep.sweeping)
            intruderList()->setEmptyText(QStringLiteral("Not watching the network"), sweep.problem);
        showNotice(sweep.problem, 30);
    });
    // The probe's target is judged against the ranges the engine now sweeps.
    step(*this, "Load", [this] { refreshProbe(); });
    // 15-17: still hidden, placed; the title; the tray icon.
    step(*this, "Load", [this] {
        hide();
        placeWindow();
    });
    setWindowTitle(TitleText());
    step(*this, "Load", [this] { startTray(); });
    // 19 and 22: "Installed"; starting with the session is the user's choice (askStartAtLogin).
    step(*this, "Load", [this] { m_firstRun = m_core.markInstalled(false); });
    // 20: the sound players.
    step(*this, "Load", [this] { openSoundPlayers(); });
    // 23: the external programs menu.
    step(*this, "Load", [this] { Load_ExternalProgs(); });
    // Without a notification area the tray icon cannot bring the window up: it starts on the desktop.
    if (!trayAvailable())
        step(*this, "Load", [this] { showMainWindowAgain(); });
    // 24: nothing opens unasked; the one question of the first start.
    step(*this, "Load", [this] { askStartAtLogin(); });
    return -1;
}

const QString MainWindow::StartAtLoginQuestion =
    QStringLiteral("Start Kestrelwatch each time you log in?\n\nYou can change this later in Settings, General.");

void MainWindow::askStartAtLogin()
{
    // Demonstrations and tests run with KESTRELWATCH_NO_AUTOSTART: a throw-away store never starts at login.
    if (qEnvironmentVariableIsSet("KESTRELWATCH_NO_AUTOSTART"))
        return;
    if (KeyStore::readString(KeyStore::ProductKey, Keys::General, StartAtLoginAsked) == QLatin1String("Yes"))
        return;
    LiveSettings& settings = m_core.settings();
    if (settings.window.startAtLogin != 1) {
        // Run from a build folder with no installed copy, there is nothing a login could start for long: the
        // installed program asks when it first runs.
        const std::optional<QString> program = autostartProgram(QCoreApplication::applicationFilePath());
        if (!program) {
            Log(QStringLiteral("Not asking about starting at login: this copy runs from a build folder and no "
                               "installed Kestrelwatch was found"));
            return;
        }
        if (m_services.confirm && m_services.confirm(StartAtLoginQuestion)) {
            KeyStore::writeString(Keys::RunProduct, Keys::RunKey, Keys::RunValue, *program);
            settings.window.startAtLogin = true;
            if (m_settingsDialog)
                m_settingsDialog->loadFromSettings();
        }
    }
    writeSetting(StartAtLoginAsked, QStringLiteral("Yes"));
}

void MainWindow::exitClicked()
{
    Shutdown();
}

void MainWindow::Shutdown()
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    step(*this, "Shutdown", [this] {
        m_tmr333ms.stop();
        m_tmr100ms.stop();
    });
    step(*this, "Shutdown", [this] { hide(); });
    step(*this, "Shutdown", [this] { stopTray(); });
    step(*this, "Shutdown", [this] { m_probe->setTarget(std::nullopt); });
    // The engine's unload (socket, pending lookup) and the vendor database.
    step(*this, "Shutdown", [this] { m_core.shutdown(); });
    Q_EMIT shuttingDown();
    m_closeTimer.start();
}

void MainWindow::CloseTimer_Timer()
{
    m_closeTimer.stop();
    if (m_services.quit)
        m_services.quit();
}

void MainWindow::StopSystem()
{
    if (DiscoveryEngine* engine = m_core.engine())
        engine->StopSystem();
    m_core.devices().clear();
    m_deviceLists->model().reload();
    Set_Selection();
}

void MainWindow::StartSystem()
{
    m_core.loadRegistry();
    if (m_settingsDialog)
        m_settingsDialog->loadFromSettings();
    Setup_Display();
    if (DiscoveryEngine* engine = m_core.engine())
        engine->StartSystem();
}
