#include "mainwindow/DeviceKindMenu.h"

#include "app/MonitorCore.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/PlainText.h"
#include "mainwindow/Theme.h"
#include "mainwindow/TypeIcons.h"
#include "mainwindow/WindowMenu.h"
#include "store/DeviceDescription.h"
#include "store/DeviceStore.h"

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QIcon>
#include <QInputDialog>
#include <QMenu>
#include <QTableWidget>

DeviceKindMenu::DeviceKindMenu(MainWindow& window, WindowMenu& menus)
    : QObject(&menus)
    , m_window(window)
{
    build(menus.intruderMenuAction(), true);
    build(menus.allowedMenuAction(), false);
    connect(&window, &MainWindow::intruderMenuRequested, this, [this](const QString& mac) { m_mac = mac; });
    connect(&window, &MainWindow::allowedMenuRequested, this, [this](const QString& mac) { m_mac = mac; });
    // The details' Type and Model rows set them by hand too.
    connect(window.fgDetails(), &QTableWidget::cellClicked, this, [this](int row) {
        const QTableWidgetItem* title = m_window.fgDetails()->item(row, 0);
        if (!title || (title->text() != QLatin1String("Type") && title->text() != QLatin1String("Model")))
            return;
        m_mac = m_window.selectedMac();
        if (title->text() == QLatin1String("Model"))
            askModel();
        else if (auto* types = m_window.findChild<QMenu*>(QStringLiteral("IntruderMenuType")))
            types->popup(QCursor::pos());
    });
}

void DeviceKindMenu::build(QMenu* menu, bool intruders)
{
    // Before the programs' separator, with the device's other items.
    QAction* before = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            before = a;
            break;
        }
    }
    QAction* same = nullptr;
    QAction* notMine = nullptr;
    if (intruders) {
        same = new QAction(QStringLiteral("Same device \u2014 merge"), menu);
        same->setObjectName(QStringLiteral("sameDeviceAction"));
        notMine = new QAction(QStringLiteral("Not mine"), menu);
        notMine->setObjectName(QStringLiteral("notMineAction"));
        menu->insertAction(before, same);
        menu->insertAction(before, notMine);
        connect(same, &QAction::triggered, this, [this] { mergeLikely(m_mac); });
        connect(notMine, &QAction::triggered, this, [this] {
            if (m_window.core().actions().NotLikelyReturn(m_mac))
                m_window.Display_Details();
        });
    }
    auto* types = new QMenu(QStringLiteral("Type"), menu);
    types->setObjectName(menu->objectName() + QStringLiteral("Type"));
    menu->insertMenu(before, types)->setObjectName(QStringLiteral("typeAction"));
    auto* group = new QActionGroup(types);
    for (const QString& word : DeviceKind::typeWords()) {
        const DeviceType type = DeviceKind::typeFromWord(word);
        const QString caption =
            type == DeviceType::Unknown ? QStringLiteral("As the device says") : TypeIcons::tip(type);
        QAction* a = types->addAction(QIcon(TypeIcons::pixmap(type, menu->devicePixelRatioF(), Theme::Text)), caption);
        a->setCheckable(true);
        a->setData(int(type));
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, type] {
            if (m_window.core().actions().SetType(m_mac, type))
                m_window.Display_Details();
        });
    }
    auto* model = new QAction(QStringLiteral("Model\u2026"), menu);
    model->setObjectName(QStringLiteral("modelAction"));
    menu->insertAction(before, model);
    connect(model, &QAction::triggered, this, &DeviceKindMenu::askModel);
    auto* merge = new QAction(QStringLiteral("Merge with\u2026"), menu);
    merge->setObjectName(QStringLiteral("mergeWithAction"));
    menu->insertAction(before, merge);
    connect(merge, &QAction::triggered, this, &DeviceKindMenu::askMerge);

    connect(types, &QMenu::aboutToShow, this, [this, types] {
        const DeviceRecord* d = m_window.core().devices().find(m_mac);
        const bool hand = d && d->TypeSource == FactSource::User;
        for (QAction* a : types->actions())
            a->setChecked(d && (hand ? a->data().toInt() == int(d->Type) : a->data().toInt() == 0));
    });
    connect(menu, &QMenu::aboutToShow, this, [this, same, notMine] {
        const DeviceRecord* d = m_window.core().devices().find(m_mac);
        const bool likely = d && !d->LikelyReturnOf.isEmpty();
        if (same)
            same->setVisible(likely);
        if (notMine)
            notMine->setVisible(likely);
    });
}

void DeviceKindMenu::askModel()
{
    const DeviceRecord* d = m_window.core().devices().find(m_mac);
    if (!d)
        return;
    const QString mac = m_mac;
    bool ok = false;
    const QString text = QInputDialog::getText(&m_window, QStringLiteral("Model"),
        QStringLiteral("The model of this device (empty: as the device says):"), QLineEdit::Normal,
        d->ModelSource == FactSource::User ? d->Model : QString(), &ok);
    // The dialog ran the event loop: the device may be gone; the action looks it up again.
    if (ok && m_window.core().actions().SetModel(mac, text))
        m_window.Display_Details();
}

void DeviceKindMenu::askMerge()
{
    const DeviceStore& devices = m_window.core().devices();
    if (!devices.find(m_mac))
        return;
    const QString mac = m_mac;
    QStringList items;
    QStringList macs;
    for (const DeviceRecord& d : devices) {
        if (d.MacAddress == mac)
            continue;
        items.append(QStringLiteral("%1 \u2014 %2").arg(DeviceDescription::alertName(devices, d), d.MacAddress));
        macs.append(d.MacAddress);
    }
    if (items.isEmpty())
        return;
    bool ok = false;
    const QString chosen = QInputDialog::getItem(&m_window, QStringLiteral("Merge with"),
        QStringLiteral("The same device under another MAC address. The one seen last keeps its address; the other "
                       "one's name, list, watch, history and presence go to it, and its MAC is kept as a former "
                       "address."),
        items, 0, false, &ok);
    const qsizetype at = items.indexOf(chosen);
    if (ok && at >= 0)
        mergePair(mac, macs[at]);
}

bool DeviceKindMenu::mergeLikely(const QString& mac)
{
    const DeviceRecord* d = m_window.core().devices().find(mac);
    if (!d || d->LikelyReturnOf.isEmpty())
        return false;
    QString refusal;
    if (!m_window.core().actions().merge(d->LikelyReturnOf, mac, &refusal)) {
        PlainText::critical(QStringLiteral("The devices were not merged: %1.").arg(refusal));
        return false;
    }
    return true;
}

bool DeviceKindMenu::mergePair(const QString& a, const QString& b)
{
    const DeviceStore& devices = m_window.core().devices();
    const DeviceRecord* first = devices.find(a);
    const DeviceRecord* second = devices.find(b);
    if (!first || !second)
        return false;
    const bool firstNewer = first->LastOnline >= second->LastOnline;
    const QString older = firstNewer ? b : a;
    const QString newer = firstNewer ? a : b;
    QString refusal;
    if (!m_window.core().actions().merge(older, newer, &refusal)) {
        PlainText::critical(QStringLiteral("The devices were not merged: %1.").arg(refusal));
        return false;
    }
    return true;
}
