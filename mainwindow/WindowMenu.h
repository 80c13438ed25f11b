#pragma once

#include <QList>
#include <QObject>
#include <QPoint>

#include <QString>

class DeviceCommands;
class MonitorCore;
class QAction;
class QMenu;
class MainWindow;

// The window's Export and Import, the files kestrelwatch-ctl writes and reads, through the running monitor's
// own store, actions and presence intervals: its lists follow at once, and every write is the monitor's own,
// in its thread, never beside the engine's.
namespace DeviceFiles {
// Writes every device with its intervals: CSV for a name ending ".csv", else JSON. Why it failed, or empty.
QString exportTo(MonitorCore& core, const QString& fileName);
struct Report
{
    bool ok = false;
    QString text; // what was added, replaced and kept; or why nothing was imported (the refusing line)
};
Report importFrom(MonitorCore& core, const QString& fileName, bool replace);
// The file the export dialog's answer names: an ending the user typed (.json or .csv) decides the format; a
// name without one gets the chosen filter's.
QString exportName(const QString& typed, bool csvFilter);
// A file read and checked whole before anything is asked: why it is refused (empty when it is not), and how
// many of its devices the store knows already (only then is there a question of whose names win).
struct Checked
{
    QString refusal;
    qsizetype known = 0;
};
Checked check(MonitorCore& core, const QString& fileName);
} // namespace DeviceFiles

// The three right-click menus. The form itself is never shown: its menus are popped up by the main window
// (a device row's right click, the tray icon's right button). A device menu's items are the window's shared
// commands (DeviceCommands), enabled where the buttons are; the programs call the main window's operation.
class WindowMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WindowMenu)

public:
    WindowMenu(MainWindow& window, const DeviceCommands& commands);
    ~WindowMenu() override;

    QMenu* intruderMenuAction() const { return m_intruderMenu; }
    QMenu* allowedMenuAction() const { return m_allowedMenu; }
    QMenu* toolTipAction() const { return m_toolTipMenu; }
    QAction* intruderAckAction() const { return m_intruderAck; }
    QAction* removeAction(bool intruder) const { return intruder ? m_removeIntruder : m_removeAllowed; }
    QAction* exitAction() const { return m_exit; }
    // Item 0 is the separator; items 1.. are the loaded programs.
    const QList<QAction*>& programsAction() const { return m_programs; }
    const QList<QAction*>& programs2Action() const { return m_programs2; }

    // Unloads every program item (index above 0) of both menus.
    void clearPrograms();
    // Loads item index (1..) of both menus with the caption.
    void addProgram(int index, const QString& caption);
    void setSeparatorsVisible(bool visible);

    // Pops a menu up; with popups off (tests), only records what would have been shown. A device's menu
    // offers what the window's buttons offer for it (Remove only while it is offline).
    // True while a device's menu is open: what it acts on stays chosen until it closes.
    bool deviceMenuOpen() const;
    void popupIntruderMenu(const QPoint& globalPos, bool acknowledgeVisible);
    void popupAllowedMenu(const QPoint& globalPos);
    void popupToolTip(const QPoint& globalPos);
    void setPopupsEnabled(bool enabled) { m_popups = enabled; }
    // The menu last popped up, for tests.
    QMenu* lastPopup() const { return m_lastPopup; }

private:
    void popup(QMenu* menu, const QPoint& globalPos);

    MainWindow& m_window;
    QMenu* m_intruderMenu = nullptr;
    QMenu* m_allowedMenu = nullptr;
    QMenu* m_toolTipMenu = nullptr;
    QAction* m_intruderAck = nullptr;
    QAction* m_removeIntruder = nullptr;
    QAction* m_removeAllowed = nullptr;
    QAction* m_exit = nullptr;
    QList<QAction*> m_programs;
    QList<QAction*> m_programs2;
    QMenu* m_lastPopup = nullptr;
    bool m_popups = true;
};
