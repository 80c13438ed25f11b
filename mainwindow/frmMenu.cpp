#include "mainwindow/frmMenu.h"

#include "mainwindow/PictureBox.h"
#include "mainwindow/frmMain.h"

#include <QAction>
#include <QMenu>

frmMenu::frmMenu(frmMain& window)
    : QObject(&window)
    , m_window(window)
{
    setObjectName(QStringLiteral("frmMenu"));
    const auto menu = [&window](const char* name) {
        auto* m = new QMenu(&window);
        m->setObjectName(QLatin1String(name));
        m->setTitle(QLatin1String(name));
        return m;
    };
    const auto item = [](QMenu* m, const char* name, const QString& caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };

    m_intruderMenu = menu("IntruderMenu");
    m_intruderAck = item(m_intruderMenu, "mnuIntruderAck", QStringLiteral("Acknowledge"));
    QAction* moveToAllowed = item(m_intruderMenu, "mnuMoveToAllowed", QStringLiteral("Move >"));
    m_removeIntruder = item(m_intruderMenu, "mnuRemoveIntruder", QStringLiteral("Remove"));
    m_programs.append(m_intruderMenu->addSeparator());

    m_allowedMenu = menu("AllowedMenu");
    QAction* moveToIntruders = item(m_allowedMenu, "mnuMoveToIntruders", QStringLiteral("< Move"));
    m_removeAllowed = item(m_allowedMenu, "mnuRemoveAllowed", QStringLiteral("Remove"));
    m_programs2.append(m_allowedMenu->addSeparator());

    m_toolTipMenu = menu("ToolTip");
    m_exit = item(m_toolTipMenu, "mnuExit", QStringLiteral("Exit"));

    connect(m_intruderAck, &QAction::triggered, &window, &frmMain::mnuIntruderAck_Click);
    connect(moveToAllowed, &QAction::triggered, &window, &frmMain::mnuMoveToAllowed_Click);
    connect(m_removeIntruder, &QAction::triggered, &window, &frmMain::mnuRemoveIntruder_Click);
    connect(moveToIntruders, &QAction::triggered, &window, &frmMain::mnuMoveToIntruders_Click);
    connect(m_removeAllowed, &QAction::triggered, &window, &frmMain::mnuRemoveAllowed_Click);
    connect(m_exit, &QAction::triggered, &window, &frmMain::mnuExit_Click);
    setSeparatorsVisible(false);
}

frmMenu::~frmMenu() = default;

void frmMenu::clearPrograms()
{
    while (m_programs.size() > 1)
        delete m_programs.takeLast();
    while (m_programs2.size() > 1)
        delete m_programs2.takeLast();
}

void frmMenu::addProgram(int index, const QString& caption)
{
    QAction* a = m_intruderMenu->addAction(caption);
    a->setObjectName(QStringLiteral("mnuPrograms%1").arg(index));
    connect(a, &QAction::triggered, &m_window, [this, index] { m_window.mnuPrograms_Click(index); });
    m_programs.append(a);
    QAction* b = m_allowedMenu->addAction(caption);
    b->setObjectName(QStringLiteral("mnuPrograms2_%1").arg(index));
    connect(b, &QAction::triggered, &m_window, [this, index] { m_window.mnuPrograms2_Click(index); });
    m_programs2.append(b);
}

void frmMenu::setSeparatorsVisible(bool visible)
{
    m_programs.first()->setVisible(visible);
    m_programs2.first()->setVisible(visible);
}

void frmMenu::popupIntruderMenu(const QPoint& globalPos, bool acknowledgeVisible)
{
    m_intruderAck->setVisible(acknowledgeVisible);
    m_removeIntruder->setEnabled(m_window.button(frmMain::Button::RemoveIntruder)->isEnabled());
    popup(m_intruderMenu, globalPos);
}

void frmMenu::popupAllowedMenu(const QPoint& globalPos)
{
    m_removeAllowed->setEnabled(m_window.button(frmMain::Button::RemoveAllowed)->isEnabled());
    popup(m_allowedMenu, globalPos);
}

void frmMenu::popupToolTip(const QPoint& globalPos)
{
    popup(m_toolTipMenu, globalPos);
}

void frmMenu::popup(QMenu* menu, const QPoint& globalPos)
{
    m_lastPopup = menu;
    if (m_popups)
        menu->popup(globalPos);
}
