#pragma once

#include <QObject>
#include <QString>

class QMenu;
class MainWindow;
class WindowMenu;

// What a device is and which device it is, in both lists' right-click menus: "Type" (set by hand, or given
// back to the device), "Model…", "Merge with…" any other device, and on a likely return of a known device
// "Same device — merge" and "Not mine".
class DeviceKindMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceKindMenu)

public:
    DeviceKindMenu(MainWindow& window, WindowMenu& menus);

    // Merges the device with the one it is likely to be; false when it is no likely return.
    bool mergeLikely(const QString& mac);
    // Merges two devices: the one seen last keeps its MAC (the one the device uses now).
    bool mergePair(const QString& a, const QString& b);

private:
    void build(QMenu* menu, bool intruders);
    void askModel();
    void askMerge();

    MainWindow& m_window;
    QString m_mac; // the device whose menu was opened last
};
