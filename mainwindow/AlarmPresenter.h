#pragma once

#include <QDateTime>
#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <array>
#include <functional>
#include <memory>

struct Alert;
struct DeviceEvent;
class AlarmSounds;
class DesktopNotifier;
class DeviceListView;
class MonitorCore;
class PictureBox;
class QMenu;
class QWidget;
class WavePlayer;

// What the window shows and plays of the alert state: its caption, the status lamp, the tray icon and its tip,
// the flashing rows, the four sounds, the pop-up and the desktop notifications. The window wires it: the
// policy's alerts, alarmTimer's ticks and the end of each sweep come in; the device an alert popped the window
// up for, and the notifications' buttons, go out as signals.
class AlarmPresenter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlarmPresenter)

public:
    struct Parts
    {
        MonitorCore& core;
        QWidget& window;
        PictureBox& lamp;
        DeviceListView& intruders; // its unacknowledged rows flash
        QString title; // the window's caption at rest
        // Whether a notification-area host is there to hold the tray icon.
        std::function<bool()> trayAvailable;
        // False before start-up and from the shutdown on: a tray host that comes or goes then changes nothing.
        std::function<bool()> settled;
    };

    explicit AlarmPresenter(Parts parts, QObject* parent = nullptr);
    ~AlarmPresenter() override;

    // --- the alert policy's alerts: played and popped up at once, notified once the device is named
    void alertRaised(const Alert& alert);
    void alertNamed(const Alert& alert);
    // A desktop notification of an intruder alert (new, or back online); the alert policy has decided it.
    void notifyDesktop(const QString& mac, bool newIntruder, bool impersonation = false);
    DesktopNotifier* notifier() const { return m_notifier; }

    // Keeps the reminder back after a move to the intruders (whoever made it).
    void deviceEvent(const DeviceEvent& event);

    // --- alarmTimer's tick: the rows' flash, the alarm or normal look, the reminder
    void tick();
    // The end of a sweep's harvest: from the first on, the lamp may say "all clear".
    void sweepEnded();
    // Blind or seeing again: the lamp says so at once rather than at the next quiet refresh.
    void sightChanged();
    // The last alert or reminder; the reminder sounds five minutes after it while an intruder is online.
    QDateTime lastIntruderWarning() const { return m_lastWarning; }
    void setLastIntruderWarning(const QDateTime& when) { m_lastWarning = when; }

    // --- the window: shown or put away
    // The tray icon's click: a window on view goes away, one away comes up.
    void popUp();
    // Brought back, centred when the settings ask, above the others when they ask.
    void showWindowAgain();
    // Out of the way: hidden with a tray to bring it back, minimised without one.
    void hideToTray();

    // --- sounds
    void openSounds();
    void playClick();
    // 0 new intruder, 1 intruder online, 2 still online, 3 button click.
    WavePlayer* player(int which) const;
    int playCount(int which) const;

    // --- the tray icon
    // The icons from the share folder, and the icon with the menu the tray host opens on it.
    void startTray(QMenu* menu);
    void stopTray();
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // The tip the tray icon takes: at most 63 characters.
    static QString trayTipText(const QString& tip);
    QString trayTip() const { return m_trayTip; }
    // 0 normal, 1 first alarm icon, 2 second alarm icon: what the tray and the window show now.
    int trayLook() const { return m_trayLook; }
    // How often the normal look has been applied (the quiet ticks re-apply it every 5 s).
    int normalLookCount() const { return m_normalLookCount; }
    // Looks at the notification area again: a host that went away leaves the window shown.
    void refreshTrayPresence();

Q_SIGNALS:
    // The window popped up for this device's alert: its row is there already.
    void poppedUpFor(const QString& mac);
    // A notification's buttons.
    void showRequested(const QString& mac);
    void acknowledgeRequested(const QString& mac);

private:
    void applyAlarmLook(bool phase);
    void applyNormalLook();
    void setTrayIcon(const QIcon& icon);
    void setTrayTip(const QString& tip);
    DesktopNotifier& desktopNotifier();

    Parts m_parts;
    std::unique_ptr<AlarmSounds> m_sounds;
    DesktopNotifier* m_notifier = nullptr;
    QDateTime m_lastWarning;
    bool m_flashOn = false;
    int m_refreshTick = 0; // the quiet look is applied again every 15 ticks
    bool m_quietLastTick = false;
    bool m_firstSweepEnded = false; // until then the lamp says "Starting…", not "all clear"
    std::array<QIcon, 3> m_trayIcons; // normal, first alarm, second alarm
    QSystemTrayIcon* m_tray = nullptr;
    bool m_trayHostSeen = false;
    QString m_trayTip;
    int m_trayLook = -1;
    int m_normalLookCount = 0;
};
