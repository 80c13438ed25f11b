#include "mainwindow/DeviceCommands.h"

#include "mainwindow/PictureBox.h"

#include <QAction>

DeviceCommands::DeviceCommands(QObject* parent)
    : QObject(parent)
{
    // The menus' captions; the skin's buttons draw their own words.
    const auto make = [this](const char* name, const QString& caption) {
        auto* a = new QAction(caption, this);
        a->setObjectName(QLatin1String(name));
        a->setEnabled(false);
        return a;
    };
    m_acknowledge = make("intruderAckAction", QStringLiteral("Acknowledge"));
    m_moveToSafe = make("moveToAllowedAction", QStringLiteral("Move >"));
    m_moveToIntruders = make("moveToIntrudersAction", QStringLiteral("< Move"));
    m_remove[0] = make("removeIntruderAction", QStringLiteral("Remove"));
    m_remove[1] = make("removeAllowedAction", QStringLiteral("Remove"));
}

void DeviceCommands::bind(SkinButton* button, QAction* command)
{
    button->setEnabled(command->isEnabled());
    QObject::connect(
        command, &QAction::changed, button, [button, command] { button->setEnabled(command->isEnabled()); });
    QObject::connect(button, &SkinButton::clicked, command, &QAction::trigger);
}
