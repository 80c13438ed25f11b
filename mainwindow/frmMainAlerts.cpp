// The alert side of the main window: the sound players, the pop-up, the normal and alarm looks, and the
// settings dialog it hosts.
#include "mainwindow/frmMain.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "engine/frmClient.h"
#include "mainwindow/AlarmSounds.h"
#include "mainwindow/DesktopNotifier.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/frmMenu.h"
#include "notify/AlertPolicy.h"
#include "settings/frmSettings.h"
#include "store/DeviceDescription.h"

#include <QLineEdit>
#include <QShowEvent>

// --- the settings dialog (start-up step 7) and what it asks of the window

void frmMain::loadSettingsDialog()
{
    if (m_settingsDialog)
        return;
    frmSettings::Parts parts {m_core.settings(), m_core.debugLog(), m_core.base64(), [this] { return m_core.mail(); },
        m_core.paths().images(), *this, nullptr};
    m_settingsDialog = std::make_unique<frmSettings>(parts);
    m_settingsDialog->setObjectName(QStringLiteral("frmSettings"));
    m_settingsDialog->hide();
}

void frmMain::applyAlwaysOnTop(bool onTop)
{
    if (!isVisible())
        return;
    // Changing the flag re-creates the native window, which hides it: show it again where it was.
    const QPoint at = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    move(at);
    show();
}

void frmMain::showMainWindowAgain()
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

void frmMain::openSoundPlayers()
{
    // The three alert players now; the button click's player on its first use.
    m_sounds->open();
}

clsMedia* frmMain::player(int which) const
{
    return m_sounds->player(which);
}

int frmMain::playCount(int which) const
{
    return m_sounds->playCount(which);
}

void frmMain::playNewIntruderSound(int volume)
{
    m_sounds->play(AlarmSounds::NewIntruder, volume);
}

void frmMain::playIntruderOnlineSound(int volume)
{
    m_sounds->play(AlarmSounds::IntruderOnline, volume);
}

void frmMain::playStillOnlineSound(int volume)
{
    m_sounds->play(AlarmSounds::StillOnline, volume);
}

void frmMain::Sound_MouseClick()
{
    m_sounds->play(AlarmSounds::ButtonClick, 100);
}

// --- the pop-up

void frmMain::SysTrayMouseEventHandlerleft()
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

void frmMain::applyAlarmLook(bool phase)
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

void frmMain::applyNormalLook()
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

// --- tmr100ms only while it has work

void frmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Shown on a screen of another density than the pictures were loaded for: load them for this one.
    if (m_loaded && !qFuzzyCompare(devicePixelRatioF() * Geometry::unit(), m_picturesScale))
        Load_Pictures();
    wakePanelTimer();
}

void frmMain::wakePanelTimer()
{
    // Only a timer the window stopped for idleness comes back; one stopped by shutdown (or a test) stays.
    if (m_panelTimerIdle && !m_shuttingDown) {
        m_panelTimerIdle = false;
        m_tmr100ms.start();
    }
}

bool frmMain::panelsAtRest() const
{
    for (int p = DetailsPanel; p <= ProbePanelState; ++p) {
        const int left = m_panelLeft[size_t(p)];
        const bool wanted = p == intPanelState;
        if (left != (wanted ? Geometry::PanelOpenLeft : Geometry::PanelClosedLeft))
            return false;
    }
    return true;
}

// --- desktop notifications

void frmMain::alertRaised(const Alert& alert)
{
    const bool online = alert.kind == Alert::Kind::IntruderOnline;
    if (alert.sound)
        online ? playIntruderOnlineSound(alert.volume) : playNewIntruderSound(alert.volume);
    if (alert.popup && !isVisible()) {
        SysTrayMouseEventHandlerleft();
        // The window shows the device it popped up for: its row is there already (the window hears every
        // device event before the alert policy does). An open device menu keeps the devices it acts on.
        if (!alert.mac.isEmpty() && !m_menus->deviceMenuOpen() && selectMac(alert.mac))
            Set_Selection();
    }
    datLastIntruderWarning = alert.time;
}

void frmMain::alertNamed(const Alert& alert)
{
    if (alert.notify && alert.kind == Alert::Kind::Storm)
        desktopNotifier().notify(DesktopNotifier::Topic::Storm, QString(), alert.stormText());
    else if (alert.notify)
        notifyDesktop(alert.mac, alert.kind != Alert::Kind::IntruderOnline, alert.impersonation);
}

DesktopNotifier& frmMain::desktopNotifier()
{
    if (!m_notifier) {
        m_notifier = new DesktopNotifier([this](const QString& line) { Log(line); }, this);
        connect(m_notifier, &DesktopNotifier::showRequested, this, &frmMain::showDevice);
        connect(m_notifier, &DesktopNotifier::acknowledgeRequested, this, &frmMain::acknowledgeDevice);
    }
    return *m_notifier;
}

void frmMain::notifyDesktop(const QString& mac, bool newIntruder, bool impersonation)
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

void frmMain::showDevice(const QString& mac)
{
    // A device the filter hides is shown: its list's filter is cleared.
    const DeviceRecord* device = m_core.devices().find(mac);
    if (device && !selectMac(mac)) {
        m_filterBoxes[device->Intruder ? 0 : 1]->clear();
        selectMac(mac);
    }
    Set_Selection();
    showMainWindowAgain();
}

void frmMain::acknowledgeDevice(const QString& mac)
{
    const DeviceRecord* device = m_core.devices().find(mac);
    if (device && device->Intruder && device->NewDevice) {
        m_core.actions().Acknowledge(mac);
        // As a click on its button: the acknowledged device is selected (where the filter shows it).
        if (selectMac(mac))
            Set_Selection();
    }
}
