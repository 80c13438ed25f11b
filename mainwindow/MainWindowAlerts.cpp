// The alert side of the main window: the sound players, the pop-up, the normal and alarm looks, and the
// settings dialog it hosts.
#include "mainwindow/MainWindow.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "engine/DiscoveryEngine.h"
#include "mainwindow/AlarmSounds.h"
#include "mainwindow/DesktopNotifier.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/WindowMenu.h"
#include "notify/AlertPolicy.h"
#include "settings/SettingsDialog.h"
#include "store/DeviceDescription.h"

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
    if (m_core.settings().window.reCentre)
        Centre();
    // A setting changed while the window was away (hidden in the tray) applies now.
    const bool onTop = m_core.settings().window.alwaysOnTop;
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop)
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

// --- sounds

void MainWindow::openSoundPlayers()
{
    // The three alert players now; the button click's player on its first use.
    m_sounds->open();
}

WavePlayer* MainWindow::player(int which) const
{
    return m_sounds->player(which);
}

int MainWindow::playCount(int which) const
{
    return m_sounds->playCount(which);
}

void MainWindow::playNewIntruderSound(int volume)
{
    m_sounds->play(AlarmSounds::NewIntruder, volume);
}

void MainWindow::playIntruderOnlineSound(int volume)
{
    m_sounds->play(AlarmSounds::IntruderOnline, volume);
}

void MainWindow::playStillOnlineSound(int volume)
{
    m_sounds->play(AlarmSounds::StillOnline, volume);
}

void MainWindow::Sound_MouseClick()
{
    m_sounds->play(AlarmSounds::ButtonClick, 100);
}

// --- the pop-up

void MainWindow::popUp()
{
    // A minimised window counts as away: the click brings it back.
    if (isVisible() && !isMinimized()) {
        hide();
    } else {
        const LiveSettings& s = m_core.settings();
        if (s.window.reCentre)
            Centre();
        // Topmost for good, or only long enough to lift the window above the others.
        setWindowFlag(Qt::WindowStaysOnTopHint, (s.window.alwaysOnTop));
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
        activateWindow();
    }
    Sound_MouseClick();
}

// --- the two looks

void MainWindow::applyAlarmLook(bool phase)
{
    int online = 0;
    for (const DeviceRecord& d : m_core.devices())
        online += d.Intruder && d.isOnline() ? 1 : 0;
    // One intruder: the picture's own words; several: their count.
    const QString count = online > 1 ? QStringLiteral("%1 INTRUDERS ONLINE").arg(online) : QString();
    const QString caption = TitleText() + QStringLiteral(" ! ")
        + (count.isEmpty() ? QStringLiteral("INTRUDER ONLINE") : count) + QStringLiteral(" !");
    const int look = phase ? 1 : 2;
    if (windowTitle() != caption)
        setWindowTitle(caption);
    m_status->setPicture(phase ? Pic::StatusAlarm1 : Pic::StatusAlarm2);
    m_status->setCaption(count);
    ChangeTrayIcon(m_trayIcons[size_t(look)]);
    ChangeTrayTip(caption);
    setWindowIcon(m_trayIcons[size_t(look)]);
    m_trayLook = look;
}

void MainWindow::applyNormalLook()
{
    // Nothing is "all clear" while no sweep runs: the lamp is hidden and the tip says why and how to fix it;
    // nor before the first sweep has ended: the lamp says "Starting…".
    // Nor while the monitor cannot see: "Not connected to a network", "Waking up…".
    const MonitorCore::SweepState sweep = m_core.sweepState();
    const QString blind = m_core.engine() ? Sight::stateText(m_core.engine()->sightState()) : QString();
    m_status->setPicture(Pic::StatusNormal);
    m_status->setCaption(m_firstSweepEnded ? blind : QStringLiteral("Starting\u2026"));
    m_status->setVisible(sweep.sweeping);
    ChangeTrayIcon(m_trayIcons[0]);
    ChangeTrayTip(blind.isEmpty() ? TitleText() : TitleText() + QStringLiteral(" - ") + blind);
    if (!sweep.problem.isEmpty() && m_tray && m_tray->toolTip() != sweep.problem)
        m_tray->setToolTip(sweep.problem); // the whole sentence: the command in it must not be cut
    if (windowTitle() != TitleText())
        setWindowTitle(TitleText());
    if (m_trayLook != 0)
        setWindowIcon(m_trayIcons[0]);
    m_trayLook = 0;
    ++m_normalLookCount;
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

bool MainWindow::panelsAtRest() const
{
    for (int p = DetailsPanel; p <= ProbePanelState; ++p) {
        const int left = m_panelLeft[size_t(p)];
        const bool wanted = p == panelState;
        if (left != (wanted ? Geometry::PanelOpenLeft : Geometry::PanelClosedLeft))
            return false;
    }
    return true;
}

// --- desktop notifications

void MainWindow::alertRaised(const Alert& alert)
{
    const bool online = alert.kind == Alert::Kind::IntruderOnline;
    if (alert.sound)
        online ? playIntruderOnlineSound(alert.volume) : playNewIntruderSound(alert.volume);
    if (alert.popup && !isVisible()) {
        popUp();
        // The window shows the device it popped up for: its row is there already (the window hears every
        // device event before the alert policy does). An open device menu keeps the devices it acts on.
        if (!alert.mac.isEmpty() && !m_menus->deviceMenuOpen() && selectMac(alert.mac))
            Set_Selection();
    }
    datLastIntruderWarning = alert.time;
}

void MainWindow::alertNamed(const Alert& alert)
{
    if (alert.notify && alert.kind == Alert::Kind::Storm)
        desktopNotifier().notify(DesktopNotifier::Topic::Storm, QString(), alert.stormText());
    else if (alert.notify)
        notifyDesktop(alert.mac, alert.kind != Alert::Kind::IntruderOnline, alert.impersonation);
}

DesktopNotifier& MainWindow::desktopNotifier()
{
    if (!m_notifier) {
        m_notifier = new DesktopNotifier([this](const QString& line) { Log(line); }, this);
        connect(m_notifier, &DesktopNotifier::showRequested, this, &MainWindow::showDevice);
        connect(m_notifier, &DesktopNotifier::acknowledgeRequested, this, &MainWindow::acknowledgeDevice);
    }
    return *m_notifier;
}

void MainWindow::notifyDesktop(const QString& mac, bool newIntruder, bool impersonation)
{
    const DeviceRecord* found = m_core.devices().find(mac);
    if (!found)
        return;
    const DeviceRecord& d = *found;
    const QString name = DeviceDescription::alertName(m_core.devices(), d);
    const QString vendor = m_core.vendorName(d.MacAddress);
    using Topic = DesktopNotifier::Topic;
    const Topic topic = !newIntruder  ? Topic::IntruderOnline
        : impersonation               ? Topic::Impersonation
        : !d.LikelyReturnOf.isEmpty() ? Topic::LikelyReturn
                                      : Topic::NewIntruder;
    QString body = QStringLiteral("%1 \u2013 %2 (%3)").arg(name, d.IpAddress.trimmed(), d.MacAddress);
    if (!vendor.isEmpty())
        body += QStringLiteral("\n") + vendor;
    desktopNotifier().notify(topic, d.MacAddress, body);
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
