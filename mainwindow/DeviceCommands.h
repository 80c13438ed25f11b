#pragma once

#include <QObject>
#include <array>

class QAction;
class SkinButton;

// The window's commands on the chosen devices, one QAction each, shared by the skin's buttons below the lists
// and the lists' right-click menus: a command is enabled (and named) in one place, and the buttons and the
// menu items follow it. Triggering one acts on the devices chosen in the list it belongs to.
class DeviceCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceCommands)

public:
    explicit DeviceCommands(QObject* parent = nullptr);

    QAction* acknowledge() const { return m_acknowledge; }
    QAction* moveToSafe() const { return m_moveToSafe; }
    QAction* moveToIntruders() const { return m_moveToIntruders; }
    // 0 the intruder list's, 1 the safe list's.
    QAction* remove(int list) const { return m_remove[size_t(list == 1 ? 1 : 0)]; }

    // The button shows the command's state and a click on it triggers the command.
    static void bind(SkinButton* button, QAction* command);

private:
    QAction* m_acknowledge = nullptr;
    QAction* m_moveToSafe = nullptr;
    QAction* m_moveToIntruders = nullptr;
    std::array<QAction*, 2> m_remove {};
};
