// The alert side of the main window: its wiring to the alarm presenter, the device an alert or a notification
// shows, and the settings dialog the window hosts.
#include "mainwindow/MainWindow.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "mainwindow/AlarmPresenter.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/WindowMenu.h"
#include "notify/AlertPolicy.h"
#include "platform/DebugSink.h"
#include "settings/SettingsDialog.h"

#include <QLineEdit>
#include <QShowEvent>

// --- the settings dialog (start-up step 7) and what it asks of the window

void MainWindow::loadSettingsDialog()
{
    if (m_settingsDialog)
        return;
    SettingsDialog::Parts parts {m_core.settings(), m_core.debugLog(), m_core.base64(),
        [this] { return m_core.mail(); }, m_core.paths().images(), *this, nullptr};
    m_settingsDialog = std::make_unique<SettingsDialog>(parts);
    m_settingsDialog->setObjectName(QStringLiteral("SettingsDialog"));
    m_settingsDialog->hide();
}

void MainWindow::applyAlwaysOnTop(bool onTop)
{
    if (!isVisible())
        return;
    // Changing the flag re-creates the native window, which hides it: show it again where it was.
    const QPoint at = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    move(at);
    show();
}

void MainWindow::showMainWindowAgain()
{
    m_alarm->showWindowAgain();
}

// --- sounds, the pop-up and the looks: the alarm presenter's

void MainWindow::openSoundPlayers()
{
    m_alarm->openSounds();
}

void MainWindow::Sound_MouseClick()
{
    m_alarm->playClick();
}

void MainWindow::setLastIntruderWarning(const QDateTime& when)
{
    m_alarm->setLastIntruderWarning(when);
}

// --- animationTimer only while it has work

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown on a screen of another density than the pictures were loaded for: load them for this one.
    if (m_loaded && !qFuzzyCompare(devicePixelRatioF() * Geometry::unit(), m_picturesScale))
        Load_Pictures();
    wakePanelTimer();
}

void MainWindow::wakePanelTimer()
{
    // Only a timer the window stopped for idleness comes back; one stopped by shutdown (or a test) stays.
    if (m_panelTimerIdle && !m_shuttingDown) {
        m_panelTimerIdle = false;
        m_tmr100ms.start();
    }
}

// --- the alerts

void MainWindow::alertRaised(const Alert& alert)
{
    m_alarm->alertRaised(alert);
}

// The window popped up for an alert shows its device, whose row is there already. An open device menu keeps
// the devices it acts on.
void MainWindow::alertPoppedUp(const QString& mac)
{
    if (!m_menus->deviceMenuOpen() && selectMac(mac))
        Set_Selection();
}

void MainWindow::showDevice(const QString& mac)
{
    // A device the filter or the network shown hides is shown: its list's filter is cleared, its network shown.
    const DeviceRecord* device = m_core.devices().find(mac);
    if (device && !selectMac(mac)) {
        m_deviceLists->reveal(mac);
        selectMac(mac);
    }
    Set_Selection();
    showMainWindowAgain();
}

void MainWindow::acknowledgeDevice(const QString& mac)
{
    const DeviceRecord* device = m_core.devices().find(mac);
    if (device && device->Intruder && device->NewDevice) {
        m_core.actions().Acknowledge(mac);
        // As a click on its button: the acknowledged device is selected (where the filter shows it).
        if (selectMac(mac))
            Set_Selection();
    }
}
