#include "mainwindow/WatchMenu.h"

#include "app/MonitorCore.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/WindowMenu.h"
#include "store/DeviceWatch.h"

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QMenu>
#include <QTableWidget>

WatchMenu::WatchMenu(MainWindow& window, WindowMenu& menus)
    : QObject(&menus)
    , m_window(window)
{
    // Before the programs' separator: the device's own items stay together.
    m_menus[0] = build(menus.intruderMenuAction(), menus.programsAction().first());
    m_menus[1] = build(menus.allowedMenuAction(), menus.programs2Action().first());
    // A list's menu acts on every selected device; the details' row on the one shown.
    connect(&window, &MainWindow::intruderMenuRequested, this, [this] { m_macs = m_window.selectedMacs(); });
    connect(&window, &MainWindow::allowedMenuRequested, this, [this] { m_macs = m_window.selectedMacs(); });
    connect(window.fgDetails(), &QTableWidget::cellClicked, this, [this](int row) {
        const QTableWidgetItem* title = m_window.fgDetails()->item(row, 0);
        if (!title || title->text() != RowTitle)
            return;
        m_macs = QStringList {m_window.selectedMac()};
        m_menus[0]->popup(QCursor::pos());
    });
}

const QString WatchMenu::RowTitle = QStringLiteral("Watch");

QString WatchMenu::caption(quint8 mode)
{
    switch (mode) {
    case DeviceWatch::Offline:
        return QStringLiteral("When it goes offline");
    case DeviceWatch::Online:
        return QStringLiteral("When it comes back");
    case DeviceWatch::Both:
        return QStringLiteral("Offline and back");
    default:
        break;
    }
    return QStringLiteral("No (click to watch)");
}

QMenu* WatchMenu::build(QMenu* parent, QAction* before)
{
    auto* menu = new QMenu(QStringLiteral("Watch"), parent);
    menu->setObjectName(parent->objectName() + QStringLiteral("Watch"));
    parent->insertMenu(before, menu)->setObjectName(QStringLiteral("watchAction"));
    auto* group = new QActionGroup(menu);
    const struct
    {
        quint8 mode;
        const char* caption;
    } items[] = {{DeviceWatch::None, "Not watched"}, {DeviceWatch::Offline, "Alert when it goes offline"},
        {DeviceWatch::Online, "Alert when it comes back"}, {DeviceWatch::Both, "Alert on both"}};
    for (const auto& item : items) {
        QAction* a = menu->addAction(QLatin1String(item.caption));
        a->setCheckable(true);
        a->setData(item.mode);
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, mode = item.mode] {
            bool changed = false;
            for (const QString& mac : std::as_const(m_macs))
                changed = m_window.core().actions().SetWatch(mac, mode) || changed;
            if (changed)
                m_window.Display_Details();
        });
    }
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        const DeviceStore& devices = m_window.core().devices();
        const DeviceRecord* device = m_macs.isEmpty() ? nullptr : devices.find(m_macs.first());
        const quint8 mode = device ? device->Watch : quint8(DeviceWatch::None);
        for (QAction* a : menu->actions())
            a->setChecked(a->data().toUInt() == mode);
    });
    return menu;
}
