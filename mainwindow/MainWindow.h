#pragma once

#include "app/DeviceActions.h"
#include "mainwindow/DeviceLists.h"
#include "mainwindow/ExternalPrograms.h"
#include "mainwindow/ProbePanel.h"
#include "mainwindow/SkinPictures.h"
#include "settings/SettingsHost.h"
#include "store/DeviceEvent.h"

#include <QDateTime>
#include <QIcon>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QVector>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class AboutDialog;
class AlarmSounds;
struct Alert;
class DesktopNotifier;
class DeviceCommands;
struct DeviceRecord;
class DeviceListFilter;
class DeviceListModel;
class DeviceListView;
class MonitorCore;
class NetPlatform;
class PictureBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QScrollBar;
class QTableWidget;
class SkinButton;
class WavePlayer;
class WindowMenu;
class SettingsDialog;

// The main window: the intruder list and the safe list, the actions on their devices, the details, log and
// probe panels that slide out between them, the skin, start-up and the orderly shutdown. It subscribes to
// the engine's device events (to redraw) and the alert policy's alerts (to play, pop up and notify), and it
// is the settings dialog's host (SettingsHost). It owns the tray icon,
// the right-click menus, the sound players and the hidden settings dialog.
class MainWindow : public QWidget, public SettingsHost
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    // What the window asks of its surroundings. The defaults touch nothing outside the process: no page is
    // opened, no probe runs, no message box blocks, and the CloseTimer's end leaves the event loop.
    struct Services
    {
        std::function<bool(const QUrl&)> openUrl;
        std::function<void(const QString& message)> critical;
        std::function<void()> quit;
        ProbePanel::ProbeFactory makeProbe;
        // Starts an external program; the default is QProcess::startDetached (no shell).
        std::function<bool(const QString& program, const QStringList& arguments)> launch;
        // Whether a notification-area host is there to hold the tray icon; the default asks Qt.
        std::function<bool()> trayAvailable;
        // Asks the user to confirm (a removal, "Trust everything here now", the first start's question); without
        // it the answer is yes.
        std::function<bool(const QString& question)> confirm;
    };
    // The desktop's services: the browser, QMessageBox::critical, QCoreApplication::exit(0), TCP probes.
    static Services desktopServices();

    enum Panel { NoPanel = 0, DetailsPanel = 1, LogPanel = 2, ProbePanelState = 3 };
    enum class Button {
        RemoveIntruder,
        RemoveAllowed,
        MoveToIntruder,
        MoveToAllowed,
        Details,
        Log,
        Probe,
        Settings,
        Help
    };

    explicit MainWindow(MonitorCore& core, Services services = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // --- start-up and shutdown
    // The start-up sequence, once. Returns -1 when the monitor runs, else the process's exit code (0 for a
    // second copy, 1 after a fatal message).
    int Form_Load(std::unique_ptr<NetPlatform> net);
    void Shutdown();
    void exitClicked();
    void StopSystem();
    void StartSystem();
    void CloseTimer_Timer();
    bool isShuttingDown() const { return m_shuttingDown; }
    QString TitleText() const;
    bool firstRun() const { return m_firstRun; }
    // The first start's question (default no), asked once: the answer is kept as GENERAL's
    // StartAtLoginAsked, and the settings dialog's box changes the choice later.
    static const QString StartAtLoginQuestion;
    static inline const QString StartAtLoginAsked = QStringLiteral("StartAtLoginAsked");
    void askStartAtLogin();

    // --- device lists: two filtered views of one model of the device table
    // The lists from the table again (a start): the user's device stays selected.
    void Setup_Display();
    void Set_ListSizes();
    // Shows the selection: its row highlighted and in view, the buttons that act on it, its panels.
    void Set_Selection();
    // A click on a row (of the list as filtered).
    void intruderRowClicked(qint32 row);
    void safeRowClicked(qint32 row);
    // The release of the right button over a row: selects it and asks for the device's menu.
    void RightClickIntruder(qint32 row, const QPoint& globalPos = {});
    void RightClickAllowed(qint32 row, const QPoint& globalPos = {});
    // A key pressed in a list (0 intruders, 1 safe list): arrows, Home and End move the selection, Enter
    // opens the details, F2 the friendly name, Delete removes after asking, Space acknowledges.
    void listKey(int list, int key);
    // The selected device, or null.
    const DeviceRecord* selectedDevice() const;
    // The selected device's MAC (empty when nothing is selected); selectMac makes that device the selection
    // and is false when it has no row in its list (gone, or hidden by the filter).
    QString selectedMac() const;
    bool selectMac(const QString& mac);
    // Every selected device of the list that holds the selection, by row; selectMacs selects those of them
    // that the first one's list shows (and returns how many), the first one current.
    QStringList selectedMacs() const;
    int selectMacs(const QStringList& macs);
    void clearSelection();

    qint32 IntruderRowCount() const;
    qint32 AllowedRowCount() const;
    // The selected row of its list, -1 when nothing is selected.
    qint32 SelectedRow() const;
    bool SelectionInAllowed() const { return m_deviceLists->selectionInAllowed(); }
    DeviceListModel& deviceModel() const { return m_deviceLists->model(); }
    // 0 the intruder list, 1 the safe list: its rows, and the filter box above it.
    DeviceListFilter& listRows(int list) const { return m_deviceLists->rows(list); }
    QLineEdit* filterBox(int list) const { return m_deviceLists->filterBox(list); }
    // The lists' controller: models, views, the network header and the selection.
    DeviceLists& deviceLists() const { return *m_deviceLists; }

    // --- device actions
    void acknowledgeRow(qint32 row); // Acknowledge(row)
    void allowedClicked(); // MoveToSafe
    void intruderClicked(); // MoveToIntruders
    // Remove the selected devices that are offline, after one question naming them.
    void removeClicked(int index); // 0 intruder list, 1 safe list
    void acknowledgeSelected();
    void intruderAckClicked();
    void moveToAllowedClicked();
    void removeIntruderClicked();
    void moveToIntrudersClicked();
    void removeAllowedClicked();
    void friendlyNameEdited();
    // The notice button: the wrapped text for seconds (counted down by alarmTimer).
    void showNotice(const QString& text, int seconds);
    static QString wrapNoticeText(const QString& text);
    QString noticeText() const;
    bool noticeVisible() const;

    // --- settling in (MainWindowTrust.cpp): the first start's words, "Trust everything here now" and its undo
    static const QString WelcomeText;
    static QString trustQuestion(int online);
    // One question, then every intruder online now moves to the safe list; undoTrust puts back what this
    // window's trusts moved.
    void trustEverythingHere();
    void undoTrust();
    bool canUndoTrust() const { return !m_lastTrust.isEmpty(); }
    QWidget* welcome() const { return m_welcome; }
    // The stage shows the words (under any open panel) on the first start until the user trusts.
    bool welcomeShown() const;

    // --- panels
    void detailsButtonClicked();
    void logButtonClicked();
    void probeButtonClicked();
    // A typed control character: 4 (Ctrl+D), 12 (Ctrl+L), 16 (Ctrl+P), 18 (Ctrl+R).
    void Form_KeyPress(int keyAscii);
    void Display_Details();
    void Display_Log();
    // Long date, " at ", long time; neverText for the never date.
    static QString dateRendering(const QDateTime& when, const QString& neverText = QStringLiteral("Unknown"));
    // The left edge of a panel (1 details, 2 log, 3 probe) in twips.
    int panelLeft(int panel) const;

    // --- timers
    void animationTick();
    void alarmTick();

    // --- skin
    void Load_Pictures();
    const SkinPictures& pictures() const { return m_pictures; }

    // --- what the window does with the engine's events and the policy's alerts
    void deviceEvent(const DeviceEvent& event);
    void alertRaised(const Alert& alert);
    // The alert again once its device is named: the desktop notification.
    void alertNamed(const Alert& alert);
    void popUp();
    void playNewIntruderSound(int volume);
    void playIntruderOnlineSound(int volume);
    // A desktop notification of an intruder alert (new, or back online); the alert policy has decided it.
    void notifyDesktop(const QString& mac, bool newIntruder, bool impersonation = false);
    void ShowStatus();
    void Log(const QString& text);

    // --- the settings dialog's calls (SettingsHost)
    void setLastIntruderWarning(const QDateTime& when) override { datLastIntruderWarning = when; }
    bool isMainWindowVisible() const override { return isVisible(); }
    void Load_ExternalProgs() override;
    void applyAlwaysOnTop(bool onTop) override;
    void showMainWindowAgain() override;

    // Centres the window on the desktop work area.
    void Centre();
    // Centres any window on the desktop work area (by its right and bottom edges).
    static void Centre(QWidget& form);

    // --- tray, menus, programs (MainWindowTray.cpp)
    void SysTrayMouseEventHandlerRight(const QPoint& globalPos);
    void ChangeTrayIcon(const QIcon& icon);
    void ChangeTrayTip(const QString& tip);
    // The tip the tray icon takes: at most 63 characters.
    static QString trayTipText(const QString& tip);
    QString trayTip() const { return m_trayTip; }
    // 0 normal, 1 first alarm icon, 2 second alarm icon: what the tray and the window show now.
    int trayLook() const { return m_trayLook; }
    // How often the normal look has been applied (the quiet ticks re-apply it every 5 s).
    int normalLookCount() const { return m_normalLookCount; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    WindowMenu* menus() const { return m_menus; }
    // The commands on the chosen devices that the buttons and the menus share.
    DeviceCommands& commands() const { return *m_commands; }
    SettingsDialog* settingsDialog() const { return m_settingsDialog.get(); }
    DesktopNotifier* notifier() const { return m_notifier; }
    // The notification's actions: the device of this MAC address is shown, or acknowledged.
    void showDevice(const QString& mac);
    void acknowledgeDevice(const QString& mac);
    const QList<ExternalProgram>& externalPrograms() const { return m_programs; }
    void programsClicked(int index);
    void programs2Clicked(int index);
    void settingsClicked();
    // True while a notification-area host holds the tray icon: only then may the window hide away.
    bool trayAvailable() const;
    // Puts the window out of the way: hidden with a tray to bring it back, minimised without one.
    void hideToTray();
    // Looks at the notification area again: a host that went away leaves the window shown.
    void refreshTrayPresence();
    void helpClicked();
    // The About dialog (made on first use, then shown again); also the window menu's About item.
    void showAbout();
    AboutDialog* aboutDialog() const { return m_about; }
    // Config.ini's [GENERAL] DonateUrl: the Donate button is shown only when the installation names one.
    static QString donateUrl();
    void donateClicked();
    void playStillOnlineSound(int volume);
    // The players, for tests: 0 new intruder, 1 intruder online, 2 still online, 3 button click.
    WavePlayer* player(int which) const;
    // How often each player was asked to play.
    int playCount(int which) const;

    // --- state shared with the timers, tray and menus
    QDateTime datLastIntruderWarning;
    bool flashOn = false;
    int panelState = DetailsPanel;
    qint32 buttonTimeout = 0;
    QString menuMacAddress;
    qint16 iconRefreshTick = 0;
    bool quietLastTick = false;

    // --- controls, for the parts built on this window and for tests
    MonitorCore& core() { return m_core; }
    DeviceListView* intruderList() const { return m_deviceLists->view(0); }
    DeviceListView* allowedList() const { return m_deviceLists->view(1); }
    QScrollBar* scrlI() const { return m_deviceLists->scrollBar(0); }
    QScrollBar* scrlA() const { return m_deviceLists->scrollBar(1); }
    SkinButton* button(Button which) const;
    PictureBox* statusPicture() const { return m_status; }
    QPushButton* donateButton() const { return m_donate; }
    QToolButton* windowMenuButton() const { return m_windowMenuButton; }
    QTableWidget* fgLog() const { return m_fgLog; }
    QTableWidget* fgDetails() const { return m_fgDetails; }
    QLineEdit* friendlyNameEdit() const { return m_friendlyNameEdit; }
    QLabel* selectedDetailsLabel() const { return m_selectedDetailsLabel; }
    ProbePanel* probePanel() const { return m_probe; }
    QWidget* panel(int which) const;
    QString statusEdit() const { return m_statusEdit; }
    QTimer& animationTimer() { return m_tmr100ms; }
    QTimer& alarmTimer() { return m_tmr333ms; }
    QTimer& CloseTimer() { return m_closeTimer; }

Q_SIGNALS:
    // The right-click menus (WindowMenu) pop up on these; menuMacAddress already holds the device.
    void intruderMenuRequested(const QString& mac, const QPoint& globalPos, bool acknowledgeVisible);
    void allowedMenuRequested(const QString& mac, const QPoint& globalPos);
    // settingsPicture was clicked (the settings dialog is shown above the window).
    void settingsRequested();
    // Shutdown has begun.
    void shuttingDown();

protected:
    // Hooks of the start-up and shutdown steps that other parts fill in.
    virtual void loadSettingsDialog(); // step 7: the hidden settings dialog
    virtual void placeWindow(); // step 15
    virtual void startTray(); // step 17: hook and tray icon
    virtual void openSoundPlayers(); // step 20
    virtual void stopTray(); // Shutdown steps 3 and 4
    virtual void Sound_MouseClick();

    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildWindow();
    void buildTopBar(); // WindowMenu.cpp
    void buildWelcome();
    void updateTrustActions();
    int onlineIntruderCount() const;
    void buildPanels();
    void setupGrids();
    void wireControls();
    // Places the lists, their scroll bars, the stage and the bottom buttons for the window's height.
    void layoutWindow();
    // The design's size, or less height where the screen's work area is lower.
    void fitToScreen();
    void layoutSheets();
    // Heights from the grids' fonts: the header, and a row of one or more lines.
    int headerHeight() const;
    int gridRowHeight(int lines) const;
    // Keeps the reminder back after a move (whoever made it).
    void actionEvent(const DeviceEvent& event);
    // After the lists changed: the counts, and the panels when the selection lost its device.
    void listsChanged();
    void listSelectionChanged(int list, bool holdsSome);
    void openDeviceMenu(bool intruder, qint32 row, const QPoint& globalPos);
    // Runs the action on each selected device of that list, then selects them again where they now stand.
    void actOnSelection(bool inAllowed, const std::function<bool(const QString& mac)>& action);
    // "Name (address)" of each device, joined; a long list is named in part.
    QString devicesText(const QStringList& macs) const;
    void setListButtons();
    void updateTabPictures();
    void panelButtonClick(int panel);
    void placePanel(int panel);
    void stepPanel(int panel, int direction);
    void logGridAppend(const QString& mac, const QString& text);
    void addLogRow(const QString& line, const QColor& shade);
    void refreshProbe();
    bool isLocalAddress(const QString& ip) const;
    // True when a browser took the page.
    bool openPage(const QString& file);
    void applyAlarmLook(bool phase);
    void applyNormalLook();
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    // The menu actions act on the device the menu was opened for: it becomes the selection again, or the
    // action does nothing when that device has left the list meanwhile.
    bool selectMenuDevice(bool intruder);
    void launchProgram(int index);
    DesktopNotifier& desktopNotifier();
    // animationTimer only runs while it has work: a shown window or a panel still moving.
    void wakePanelTimer();
    bool panelsAtRest() const;

    MonitorCore& m_core;
    Services m_services;
    SkinPictures m_pictures;

    DeviceLists* m_deviceLists = nullptr;
    // What the panels and buttons show (Set_Selection): a selection that differs is shown anew.
    QString m_shownMac;
    QStringList m_shownMacs;
    QStringList m_menuMacs; // the devices a right-click menu was opened for

    std::array<SkinButton*, 9> m_buttons {};
    PictureBox* m_status = nullptr;
    QPushButton* m_donate = nullptr;
    AboutDialog* m_about = nullptr;
    QToolButton* m_windowMenuButton = nullptr;
    PictureBox* m_buttonPicture = nullptr;
    QLabel* m_buttonLabel = nullptr;
    QWidget* m_stage = nullptr;
    std::array<QWidget*, 4> m_sheets {}; // the panels' sheets, 1 details, 2 log, 3 probe
    std::array<QRect, 9> m_buttonPlaces {}; // design places of the skin buttons, by Button
    QLabel* m_nameHint = nullptr;
    class QScrollArea* m_probeScroll = nullptr;
    std::array<QWidget*, 4> m_panels {}; // 1 details, 2 log, 3 probe
    std::array<int, 4> m_panelLeft {};
    QLabel* m_selectedDetailsLabel = nullptr;
    QLabel* m_stageHint = nullptr;
    QWidget* m_welcome = nullptr;
    class QPushButton* m_trustButton = nullptr;
    QAction* m_undoTrustAction = nullptr;
    bool m_welcomeDone = false;
    QList<DeviceActions::Trusted> m_lastTrust; // what "Undo trust" puts back
    QTableWidget* m_fgDetails = nullptr;
    QTableWidget* m_fgLog = nullptr;
    QLineEdit* m_friendlyNameEdit = nullptr;
    ProbePanel* m_probe = nullptr;
    QString m_nameBoxMac; // the device whose name the friendly-name box holds
    int m_panelAwaitingDevice = NoPanel; // a panel closed for want of a selection, open again with the next one
    QString m_statusEdit;

    QTimer m_tmr100ms;
    QTimer m_tmr333ms;
    QTimer m_closeTimer;
    bool m_panelTimerIdle = false;

    std::array<QIcon, 3> m_trayIcons; // iconTrayNormal, iconTrayAlert1, iconTrayAlert2
    QSystemTrayIcon* m_tray = nullptr;
    bool m_trayHostSeen = false;
    QString m_trayTip;
    int m_trayLook = -1;
    int m_normalLookCount = 0;
    WindowMenu* m_menus = nullptr;
    DeviceCommands* m_commands = nullptr;
    DesktopNotifier* m_notifier = nullptr;
    bool m_firstSweepEnded = false; // until then the lamp says "Starting…", not "all clear"
    QList<ExternalProgram> m_programs;
    std::unique_ptr<SettingsDialog> m_settingsDialog;
    std::unique_ptr<AlarmSounds> m_sounds;
    bool m_loaded = false;
    qreal m_picturesScale = 0; // what Load_Pictures loaded for
    bool m_shuttingDown = false;
    bool m_firstRun = false;
};
