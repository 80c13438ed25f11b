#pragma once

#include "app/DeviceActions.h"
#include "mainwindow/DeviceLists.h"
#include "mainwindow/ExternalPrograms.h"
#include "mainwindow/PanelStage.h"
#include "mainwindow/ProbePanel.h"
#include "mainwindow/SkinPictures.h"
#include "settings/SettingsHost.h"
#include "store/DeviceEvent.h"

#include <QDateTime>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVector>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class AboutDialog;
class AlarmPresenter;
struct Alert;
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
class WindowMenu;
class SettingsDialog;

// The main window: the intruder list and the safe list, the actions on their devices, the details, log and
// probe panels between them, and the skin. Its parts do the rest: the panels slide on a PanelStage, the alert
// state (caption, lamp, tray icon, sounds, pop-up, notifications) is the AlarmPresenter's, and start-up and the
// orderly shutdown run as a StartupSequence. The window wires them: it subscribes to the engine's device
// events (to redraw) and hands the alert policy's alerts to the presenter; it is the settings dialog's host
// (SettingsHost) and owns the right-click menus and the hidden settings dialog.
class MainWindow : public QWidget, public SettingsHost
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)
    // The start-up and shutdown steps reach into the window's parts in their order.
    friend class StartupSequence;

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

    using enum PanelStage::Panel;
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
    // Which panel is open and where each one is in its slide.
    const PanelStage& panelStage() const { return *m_panelStage; }

    // --- timers
    void animationTick();
    void alarmTick();

    // --- skin
    void Load_Pictures();
    const SkinPictures& pictures() const { return m_pictures; }

    // --- what the window does with the engine's events and the policy's alerts (played, popped up and
    // notified by the alarm presenter)
    void deviceEvent(const DeviceEvent& event);
    void alertRaised(const Alert& alert);
    AlarmPresenter& alarm() const { return *m_alarm; }
    void ShowStatus();
    void Log(const QString& text);

    // --- the settings dialog's calls (SettingsHost)
    void setLastIntruderWarning(const QDateTime& when) override;
    bool isMainWindowVisible() const override { return isVisible(); }
    void Load_ExternalProgs() override;
    void applyAlwaysOnTop(bool onTop) override;
    void showMainWindowAgain() override;

    // Centres the window on the desktop work area.
    void Centre();
    // Centres any window on the desktop work area (by its right and bottom edges).
    static void Centre(QWidget& form);

    // --- menus, programs, pages (MainWindowTray.cpp)
    void SysTrayMouseEventHandlerRight(const QPoint& globalPos);
    WindowMenu* menus() const { return m_menus; }
    // The commands on the chosen devices that the buttons and the menus share.
    DeviceCommands& commands() const { return *m_commands; }
    SettingsDialog* settingsDialog() const { return m_settingsDialog.get(); }
    // The notification's actions: the device of this MAC address is shown, or acknowledged.
    void showDevice(const QString& mac);
    void acknowledgeDevice(const QString& mac);
    const QList<ExternalProgram>& externalPrograms() const { return m_programs; }
    void programsClicked(int index);
    void programs2Clicked(int index);
    void settingsClicked();
    // True while a notification-area host holds the tray icon: only then may the window hide away.
    bool trayAvailable() const;
    void helpClicked();
    // The About dialog (made on first use, then shown again); also the window menu's About item.
    void showAbout();
    AboutDialog* aboutDialog() const { return m_about; }
    // Config.ini's [GENERAL] DonateUrl: the Donate button is shown only when the installation names one.
    static QString donateUrl();
    void donateClicked();
    // The device the last right-click menu was opened for.
    QString menuMac() const { return m_menuMac; }

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
    QString statusEdit() const { return m_statusEdit; }
    QTimer& animationTimer() { return m_tmr100ms; }
    QTimer& alarmTimer() { return m_tmr333ms; }
    QTimer& CloseTimer() { return m_closeTimer; }

Q_SIGNALS:
    // The right-click menus (WindowMenu) pop up on these; menuMac() already gives the device.
    void intruderMenuRequested(const QString& mac, const QPoint& globalPos, bool acknowledgeVisible);
    void allowedMenuRequested(const QString& mac, const QPoint& globalPos);
    // settingsPicture was clicked (the settings dialog is shown above the window).
    void settingsRequested();
    // Shutdown has begun.
    void shuttingDown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Steps of the start-up and shutdown (StartupSequence).
    void loadSettingsDialog(); // the hidden settings dialog
    void placeWindow();
    void startTray(); // the tray icon with the window's menu
    void openSoundPlayers();
    void stopTray(); // the settings dialog may close, the tray icon goes
    void wireEngine(); // the engine's events and the alerts come to the window
    void Sound_MouseClick();
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
    // After the lists changed: the counts, and the panels when the selection lost its device.
    void listsChanged();
    void listSelectionChanged(int list, bool holdsSome);
    void openDeviceMenu(bool intruder, qint32 row, const QPoint& globalPos);
    // Runs the action on each selected device of that list, then selects them again where they now stand.
    void actOnSelection(bool inAllowed, const std::function<bool(const QString& mac)>& action);
    // "Name (address)" of each device, joined; a long list is named in part.
    QString devicesText(const QStringList& macs) const;
    void setListButtons();
    void panelButtonClick(int panel);
    void logGridAppend(const QString& mac, const QString& text);
    void addLogRow(const QString& line, const QColor& shade);
    void refreshProbe();
    bool isLocalAddress(const QString& ip) const;
    // True when a browser took the page.
    bool openPage(const QString& file);
    // The menu actions act on the device the menu was opened for: it becomes the selection again, or the
    // action does nothing when that device has left the list meanwhile.
    bool selectMenuDevice(bool intruder);
    void launchProgram(int index);
    void alertPoppedUp(const QString& mac);
    // animationTimer only runs while it has work: a shown window or a panel still moving.
    void wakePanelTimer();

    MonitorCore& m_core;
    Services m_services;
    SkinPictures m_pictures;

    DeviceLists* m_deviceLists = nullptr;
    // What the panels and buttons show (Set_Selection): a selection that differs is shown anew.
    QString m_shownMac;
    QStringList m_shownMacs;
    QString m_menuMac; // the device a right-click menu was opened for, on whose row it was
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
    std::unique_ptr<PanelStage> m_panelStage;
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
    QString m_statusEdit;
    int m_noticeTicks = 0; // alarmTimer's ticks until the notice goes

    QTimer m_tmr100ms;
    QTimer m_tmr333ms;
    QTimer m_closeTimer;
    bool m_panelTimerIdle = false;

    AlarmPresenter* m_alarm = nullptr;
    WindowMenu* m_menus = nullptr;
    DeviceCommands* m_commands = nullptr;
    QList<ExternalProgram> m_programs;
    std::unique_ptr<SettingsDialog> m_settingsDialog;
    bool m_loaded = false;
    qreal m_picturesScale = 0; // what Load_Pictures loaded for
    bool m_shuttingDown = false;
    bool m_firstRun = false;
};
