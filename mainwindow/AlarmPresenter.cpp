#include "mainwindow/AlarmPresenter.h"

#include "app/MonitorCore.h"
#include "engine/DiscoveryEngine.h"
#include "mainwindow/AlarmSounds.h"
#include "mainwindow/DesktopNotifier.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"
#include "notify/AlertPolicy.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceDescription.h"
#include "store/DeviceEvent.h"

#include <QFileInfo>
#include <QMenu>
#include <QWidget>

AlarmPresenter::AlarmPresenter(Parts parts, QObject* parent)
    : QObject(parent)
    , m_parts(std::move(parts))
    , m_sounds(std::make_unique<AlarmSounds>(m_parts.core.paths().sounds()))
{ }

AlarmPresenter::~AlarmPresenter() = default;

// --- alerts

void AlarmPresenter::alertRaised(const Alert& alert)
{
    const bool online = alert.kind == Alert::Kind::IntruderOnline;
    if (alert.sound)
        m_sounds->play(online ? AlarmSounds::IntruderOnline : AlarmSounds::NewIntruder, alert.volume);
    if (alert.popup && !m_parts.window.isVisible()) {
        popUp();
        // The window shows the device it popped up for: its row is there already (the window hears every
        // device event before the alert policy does).
        if (!alert.mac.isEmpty())
            Q_EMIT poppedUpFor(alert.mac);
    }
    m_lastWarning = alert.time;
}

void AlarmPresenter::alertNamed(const Alert& alert)
{
    if (alert.notify && alert.kind == Alert::Kind::Storm)
        desktopNotifier().notify(DesktopNotifier::Topic::Storm, QString(), alert.stormText());
    else if (alert.notify)
        notifyDesktop(alert.mac, alert.kind != Alert::Kind::IntruderOnline, alert.impersonation);
}

DesktopNotifier& AlarmPresenter::desktopNotifier()
{
    if (!m_notifier) {
        m_notifier = new DesktopNotifier([](const QString& line) { ::Log(kwAlerts, line); }, this);
        connect(m_notifier, &DesktopNotifier::showRequested, this, &AlarmPresenter::showRequested);
        connect(m_notifier, &DesktopNotifier::acknowledgeRequested, this, &AlarmPresenter::acknowledgeRequested);
    }
    return *m_notifier;
}

void AlarmPresenter::notifyDesktop(const QString& mac, bool newIntruder, bool impersonation)
{
    const DeviceStore& devices = m_parts.core.devices();
    const DeviceRecord* found = devices.find(mac);
    if (!found)
        return;
    const DeviceRecord& d = *found;
    const QString name = DeviceDescription::alertName(devices, d);
    const QString vendor = m_parts.core.vendorName(d.MacAddress);
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

void AlarmPresenter::deviceEvent(const DeviceEvent& event)
{
    if (event.kind != DeviceEvent::Kind::Moved || !event.intruder)
        return;
    // Holds the still-online reminder back for a while when no other intruder exists or one is online.
    bool anyIntruder = false;
    bool anyOnline = false;
    for (const DeviceRecord& d : m_parts.core.devices()) {
        if (d.MacAddress != event.mac && d.Intruder) {
            anyIntruder = true;
            anyOnline = anyOnline || d.isOnline();
        }
    }
    if (!anyIntruder || anyOnline)
        m_lastWarning = kwclock::now();
}

// --- alarmTimer

void AlarmPresenter::tick()
{
    m_flashOn = !m_flashOn;
    // The unacknowledged intruders' rows pick the flash picture by the phase.
    m_parts.intruders.setFlashPhase(m_flashOn);
    bool intruderOnline = false;
    for (const DeviceRecord& d : m_parts.core.devices())
        intruderOnline = intruderOnline || (d.Intruder && d.isOnline());
    if (++m_refreshTick >= 15)
        m_refreshTick = 0;

    if (intruderOnline) {
        applyAlarmLook(m_flashOn);
        // The reminder's clock moves on even when the reminder is off, so switching it on is not at once
        // followed by a sound.
        if (m_lastWarning.secsTo(kwclock::now()) > 300) {
            m_lastWarning = kwclock::now();
            const LiveSettings& settings = m_parts.core.settings();
            if (settings.alerts.reminder)
                m_sounds->play(AlarmSounds::StillOnline, settings.alerts.volume);
        }
    } else if (!m_quietLastTick || m_refreshTick == 0) {
        // The first quiet tick, then every 5 s: this also brings the tray icon back after the tray restarted.
        applyNormalLook();
    }
    m_quietLastTick = !intruderOnline;
}

void AlarmPresenter::sweepEnded()
{
    if (m_firstSweepEnded)
        return;
    m_firstSweepEnded = true;
    if (m_quietLastTick)
        applyNormalLook();
}

void AlarmPresenter::sightChanged()
{
    if (m_quietLastTick)
        applyNormalLook();
}

// --- the two looks

void AlarmPresenter::applyAlarmLook(bool phase)
{
    QWidget& window = m_parts.window;
    int online = 0;
    for (const DeviceRecord& d : m_parts.core.devices())
        online += d.Intruder && d.isOnline() ? 1 : 0;
    // One intruder: the picture's own words; several: their count.
    const QString count = online > 1 ? QStringLiteral("%1 INTRUDERS ONLINE").arg(online) : QString();
    const QString caption = m_parts.title + QStringLiteral(" ! ")
        + (count.isEmpty() ? QStringLiteral("INTRUDER ONLINE") : count) + QStringLiteral(" !");
    const int look = phase ? 1 : 2;
    if (window.windowTitle() != caption)
        window.setWindowTitle(caption);
    m_parts.lamp.setPicture(phase ? Pic::StatusAlarm1 : Pic::StatusAlarm2);
    m_parts.lamp.setCaption(count);
    setTrayIcon(m_trayIcons[size_t(look)]);
    setTrayTip(caption);
    window.setWindowIcon(m_trayIcons[size_t(look)]);
    m_trayLook = look;
}

void AlarmPresenter::applyNormalLook()
{
    // Nothing is "all clear" while no sweep runs: the lamp is hidden and the tip says why and how to fix it;
    // nor before the first sweep has ended: the lamp says "Starting…".
    // Nor while the monitor cannot see: "Not connected to a network", "Waking up…".
    QWidget& window = m_parts.window;
    const QString& title = m_parts.title;
    const MonitorCore::SweepState sweep = m_parts.core.sweepState();
    const DiscoveryEngine* engine = m_parts.core.engine();
    const QString blind = engine ? Sight::stateText(engine->sightState()) : QString();
    m_parts.lamp.setPicture(Pic::StatusNormal);
    m_parts.lamp.setCaption(m_firstSweepEnded ? blind : QStringLiteral("Starting\u2026"));
    m_parts.lamp.setVisible(sweep.sweeping);
    setTrayIcon(m_trayIcons[0]);
    setTrayTip(blind.isEmpty() ? title : title + QStringLiteral(" - ") + blind);
    if (!sweep.problem.isEmpty() && m_tray && m_tray->toolTip() != sweep.problem)
        m_tray->setToolTip(sweep.problem); // the whole sentence: the command in it must not be cut
    if (window.windowTitle() != title)
        window.setWindowTitle(title);
    if (m_trayLook != 0)
        window.setWindowIcon(m_trayIcons[0]);
    m_trayLook = 0;
    ++m_normalLookCount;
}

// --- the window shown or away

void AlarmPresenter::popUp()
{
    QWidget& window = m_parts.window;
    // A minimised window counts as away: the click brings it back.
    if (window.isVisible() && !window.isMinimized()) {
        window.hide();
    } else {
        const LiveSettings& s = m_parts.core.settings();
        if (s.window.reCentre)
            Geometry::centre(window);
        // Topmost for good, or only long enough to lift the window above the others.
        window.setWindowFlag(Qt::WindowStaysOnTopHint, (s.window.alwaysOnTop));
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
    }
    playClick();
}

void AlarmPresenter::showWindowAgain()
{
    QWidget& window = m_parts.window;
    const LiveSettings& s = m_parts.core.settings();
    if (s.window.reCentre)
        Geometry::centre(window);
    // A setting changed while the window was away (hidden in the tray) applies now.
    const bool onTop = s.window.alwaysOnTop;
    if (window.windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop)
        window.setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

void AlarmPresenter::hideToTray()
{
    if (m_parts.trayAvailable())
        m_parts.window.hide();
    else
        m_parts.window.showMinimized();
}

// --- sounds

void AlarmPresenter::openSounds()
{
    // The three alert players now; the button click's player on its first use.
    m_sounds->open();
}

void AlarmPresenter::playClick()
{
    m_sounds->play(AlarmSounds::ButtonClick, 100);
}

WavePlayer* AlarmPresenter::player(int which) const
{
    return m_sounds->player(which);
}

int AlarmPresenter::playCount(int which) const
{
    return m_sounds->playCount(which);
}

// --- the tray icon

void AlarmPresenter::startTray(QMenu* menu)
{
    const QString folder = m_parts.core.paths().share + QStringLiteral("icons/");
    constexpr std::array<const char*, 3> files {
        "kestrelwatch.png", "kestrelwatch-alarm.png", "kestrelwatch-alarm2.png"};
    static_assert(files.size() == std::tuple_size_v<decltype(m_trayIcons)>);
    for (size_t i = 0; i < files.size(); ++i) {
        const QString path = folder + QLatin1String(files[i]);
        if (!QFileInfo::exists(path))
            ::Log(kwWindow, QStringLiteral("AddTrayIcon - %1 is missing; the icon stays blank").arg(path));
        m_trayIcons[i] = QIcon(path);
    }
    m_parts.window.setWindowIcon(m_trayIcons[0]);
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(&m_parts.window);
        m_tray->setObjectName(QStringLiteral("trayIcon"));
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                popUp();
        });
        // The host opens the menu itself: a StatusNotifierItem host may never report a context click.
        m_tray->setContextMenu(menu);
    }
    m_tray->setIcon(m_trayIcons[0]);
    m_trayLook = 0;
    setTrayTip(m_parts.title + QStringLiteral(" Running"));
    m_trayHostSeen = m_parts.trayAvailable();
    m_tray->show();
}

void AlarmPresenter::stopTray()
{
    if (m_tray)
        m_tray->hide();
}

QString AlarmPresenter::trayTipText(const QString& tip)
{
    // The tray's tip holds 63 characters and its terminator.
    return tip.left(63);
}

void AlarmPresenter::setTrayIcon(const QIcon& icon)
{
    if (!m_tray)
        return;
    // Setting the same icon again would only repaint the tray: skip it, the quiet ticks call this often.
    if (m_tray->icon().cacheKey() != icon.cacheKey())
        m_tray->setIcon(icon);
    refreshTrayPresence();
}

void AlarmPresenter::setTrayTip(const QString& tip)
{
    const QString cut = trayTipText(tip);
    if (cut == m_trayTip)
        return;
    m_trayTip = cut;
    if (m_tray)
        m_tray->setToolTip(cut);
}

// The icon is added anew when the tray host has come (back) since the last look: a restarted panel has no
// record of the icon. A host that has gone leaves no way to the hidden window, so the window comes up.
void AlarmPresenter::refreshTrayPresence()
{
    const bool host = m_parts.trayAvailable();
    const bool settled = m_parts.settled();
    if (host && !m_trayHostSeen && m_tray && settled) {
        ::Log(kwWindow, QStringLiteral("ChangeTrayIcon - the notification area is back; adding the icon again"));
        m_tray->hide();
        m_tray->show();
    }
    if (!host && m_trayHostSeen && settled) {
        ::Log(kwWindow, QStringLiteral("ChangeTrayIcon - no notification area; the window stays on the desktop"));
        if (m_parts.window.isHidden())
            showWindowAgain();
    }
    m_trayHostSeen = host;
}
