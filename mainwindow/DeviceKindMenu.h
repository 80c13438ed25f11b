#pragma once

#include <QObject>

class QMenu;
class frmMain;
class frmMenu;

// What a device is and which device it is, in both lists' right-click menus: "Type" (set by hand, or given
// back to the device), "Model…", "Merge with…" any other device, and on a likely return of a known device
// "Same device — merge" and "Not mine".
class DeviceKindMenu final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceKindMenu)

public:
    DeviceKindMenu(frmMain& window, frmMenu& menus);

    // Merges the device in slot with the one it is likely to be; false when it is no likely return.
    bool mergeLikely(qint32 slot);
    // Merges two devices: the one seen last keeps its MAC (the one the device uses now).
    bool mergePair(qint32 a, qint32 b);

private:
    void build(QMenu* menu, bool intruders);
    void askModel();
    void askMerge();

    frmMain& m_window;
    qint32 m_slot = -1;
};
