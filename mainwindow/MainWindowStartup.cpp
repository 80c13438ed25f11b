// Start-up and the orderly shutdown (their steps in StartupSequence), the window's wiring to the engine, the
// first start's question, and stopping and restarting the monitoring.
#include "mainwindow/MainWindow.h"

#include "app/MonitorCore.h"
#include "engine/DiscoveryEngine.h"
#include "mainwindow/AlarmPresenter.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/NetworkQuestion.h"
#include "mainwindow/StartupSequence.h"
#include "notify/AlertNameWait.h"
#include "notify/AlertPolicy.h"
#include "platform/Autostart.h"
#include "platform/DebugSink.h"
#include "platform/NetPlatform.h"
#include "settings/SettingsDialog.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"

#include <QCoreApplication>

int MainWindow::Form_Load(std::unique_ptr<NetPlatform> net)
{
    return StartupSequence(*this).start(std::move(net));
}

// Start-up step 14's wiring, made before the engine's first sweep: the engine's events and the alerts come here.
void MainWindow::wireEngine()
{
    m_core.onDeviceEvent(this, [this](const DeviceEvent& event) { deviceEvent(event); });
    DiscoveryEngine* engine = m_core.engine();
    connect(engine, &DiscoveryEngine::harvested, this, &MainWindow::ShowStatus);
    // A laptop's monitor asks before it watches a network it joins (NetworkQuestion).
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
    connect(engine, &DiscoveryEngine::sightChanged, m_alarm, &AlarmPresenter::sightChanged);
    connect(m_core.alertPolicy(), &AlertPolicy::alertRaised, this, &MainWindow::alertRaised);
    // The alert again once its device is named: the desktop notification.
    connect(m_core.alertNameWait(), &AlertNameWait::ready, m_alarm, &AlarmPresenter::alertNamed);
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
            ::Log(kwWindow,
                QStringLiteral("Not asking about starting at login: this copy runs from a build folder and no "
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
    StartupSequence(*this).shutdown();
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
