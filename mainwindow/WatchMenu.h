#pragma once

#include <QObject>
#include <QStringList>

class QAction;
class QMenu;
class MainWindow;
class WindowMenu;

// "Watch" in both lists' right-click menus: alert when the device goes offline, comes back, or both (its
// key's "Watch" value, set through the device actions). The menu shows the device's current choice checked.
// The details panel shows the choice in its last row, and a click there opens the same menu.
class WatchMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WatchMenu)

public:
    WatchMenu(MainWindow& window, WindowMenu& menus);

    static const QString RowTitle;
    // "No", "When it goes offline", ...: the details panel's text of a DeviceWatch::Mode.
    static QString caption(quint8 mode);

    // The submenu added to the intruder menu; the safe list's has the same items.
    QMenu* intruderWatchMenu() const { return m_menus[0]; }

private:
    QMenu* build(QMenu* parent, QAction* before);

    MainWindow& m_window;
    QMenu* m_menus[2] {};
    QStringList m_macs; // the devices the menu was opened for
};
