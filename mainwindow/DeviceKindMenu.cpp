#include "mainwindow/DeviceKindMenu.h"

#include "app/MonitorCore.h"
#include "mainwindow/PlainText.h"
#include "mainwindow/Theme.h"
#include "mainwindow/TypeIcons.h"
#include "mainwindow/frmMain.h"
#include "mainwindow/frmMenu.h"
#include "store/DeviceDescription.h"

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QIcon>
#include <QInputDialog>
#include <QMenu>
#include <QTableWidget>

DeviceKindMenu::DeviceKindMenu(frmMain& window, frmMenu& menus)
    : QObject(&menus)
    , m_window(window)
{
    build(menus.mnuIntruderMenu(), true);
    build(menus.mnuAllowedMenu(), false);
    connect(&window, &frmMain::intruderMenuRequested, this, [this](qint32 slot) { m_slot = slot; });
    connect(&window, &frmMain::allowedMenuRequested, this, [this](qint32 slot) { m_slot = slot; });
    // The details' Type and Model rows set them by hand too.
    connect(window.fgDetails(), &QTableWidget::cellClicked, this, [this](int row) {
        const QTableWidgetItem* title = m_window.fgDetails()->item(row, 0);
        if (!title || (title->text() != QLatin1String("Type") && title->text() != QLatin1String("Model")))
            return;
        m_slot = m_window.selectedSlot();
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
        same->setObjectName(QStringLiteral("mnuSameDevice"));
        notMine = new QAction(QStringLiteral("Not mine"), menu);
        notMine->setObjectName(QStringLiteral("mnuNotMine"));
        menu->insertAction(before, same);
        menu->insertAction(before, notMine);
        connect(same, &QAction::triggered, this, [this] { mergeLikely(m_slot); });
        connect(notMine, &QAction::triggered, this, [this] {
            if (m_window.core().actions().NotLikelyReturn(m_slot))
                m_window.Display_Details();
        });
    }
    auto* types = new QMenu(QStringLiteral("Type"), menu);
    types->setObjectName(menu->objectName() + QStringLiteral("Type"));
    menu->insertMenu(before, types)->setObjectName(QStringLiteral("mnuType"));
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
            if (m_window.core().actions().SetType(m_slot, type))
                m_window.Display_Details();
        });
    }
    auto* model = new QAction(QStringLiteral("Model\u2026"), menu);
    model->setObjectName(QStringLiteral("mnuModel"));
    menu->insertAction(before, model);
    connect(model, &QAction::triggered, this, &DeviceKindMenu::askModel);
    auto* merge = new QAction(QStringLiteral("Merge with\u2026"), menu);
    merge->setObjectName(QStringLiteral("mnuMergeWith"));
    menu->insertAction(before, merge);
    connect(merge, &QAction::triggered, this, &DeviceKindMenu::askMerge);

    connect(types, &QMenu::aboutToShow, this, [this, types] {
        const DeviceTable& devices = m_window.core().devices();
        const bool valid = devices.isValid(m_slot);
        const bool hand = valid && devices[m_slot].TypeSource == FactSource::User;
        for (QAction* a : types->actions())
            a->setChecked(valid && (hand ? a->data().toInt() == int(devices[m_slot].Type) : a->data().toInt() == 0));
    });
    connect(menu, &QMenu::aboutToShow, this, [this, same, notMine] {
        const DeviceTable& devices = m_window.core().devices();
        const bool likely = devices.isValid(m_slot) && !devices[m_slot].LikelyReturnOf.isEmpty();
        if (same)
            same->setVisible(likely);
        if (notMine)
            notMine->setVisible(likely);
    });
}

void DeviceKindMenu::askModel()
{
    DeviceTable& devices = m_window.core().devices();
    if (!devices.isValid(m_slot))
        return;
    const QString mac = devices[m_slot].MacAddress;
    bool ok = false;
    const QString text = QInputDialog::getText(&m_window, QStringLiteral("Model"),
        QStringLiteral("The model of this device (empty: as the device says):"), QLineEdit::Normal,
        devices[m_slot].ModelSource == FactSource::User ? devices[m_slot].Model : QString(), &ok);
    // The dialog ran the event loop: the device may have moved to another slot, or gone.
    const qint32 slot = devices.indexOfMac(mac);
    if (ok && slot >= 0 && m_window.core().actions().SetModel(slot, text))
        m_window.Display_Details();
}

void DeviceKindMenu::askMerge()
{
    const DeviceTable& devices = m_window.core().devices();
    if (!devices.isValid(m_slot))
        return;
    const QString mac = devices[m_slot].MacAddress;
    QStringList items;
    QStringList macs;
    for (qint32 i = 0; i < devices.DeviceCount; ++i) {
        if (i == m_slot)
            continue;
        const DeviceRecord& d = devices[i];
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
        mergePair(devices.indexOfMac(mac), devices.indexOfMac(macs[at]));
}

bool DeviceKindMenu::mergeLikely(qint32 slot)
{
    const DeviceTable& devices = m_window.core().devices();
    if (!devices.isValid(slot) || devices[slot].LikelyReturnOf.isEmpty())
        return false;
    QString refusal;
    if (!m_window.core().actions().merge(devices[slot].LikelyReturnOf, devices[slot].MacAddress, &refusal)) {
        PlainText::critical(QStringLiteral("The devices were not merged: %1.").arg(refusal));
        return false;
    }
    return true;
}

bool DeviceKindMenu::mergePair(qint32 a, qint32 b)
{
    const DeviceTable& devices = m_window.core().devices();
    if (!devices.isValid(a) || !devices.isValid(b))
        return false;
    const bool aNewer = devices[a].LastOnline >= devices[b].LastOnline;
    const QString older = devices[aNewer ? b : a].MacAddress;
    const QString newer = devices[aNewer ? a : b].MacAddress;
    QString refusal;
    if (!m_window.core().actions().merge(older, newer, &refusal)) {
        PlainText::critical(QStringLiteral("The devices were not merged: %1.").arg(refusal));
        return false;
    }
    return true;
}
