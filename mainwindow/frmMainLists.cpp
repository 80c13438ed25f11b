// The intruder list and the safe list: two filtered views of the device model, their sizes, scrolling, the
// filter boxes, and the selection, which follows the device the user chose (by its MAC), not a row.
#include "mainwindow/frmMain.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QScrollBar>

using namespace Geometry;

void frmMain::Setup_Display()
{
    const QString keep = selectedMac();
    {
        const QScopedValueRollback settling(m_settling, true);
        m_model->reload();
    }
    Set_ListSizes();
    // The lists are rebuilt: the user's device stays selected.
    if (!selectMac(keep))
        selectRow(IntruderRowCount() == 0, 0);
    Set_Selection();
}

qint32 frmMain::IntruderRowCount() const
{
    return m_filters[0]->rowCount();
}

qint32 frmMain::AllowedRowCount() const
{
    return m_filters[1]->rowCount();
}

void frmMain::listsChanged()
{
    Set_ListSizes();
    if (m_settling)
        return;
    keepSelectionShown();
    Set_Selection();
}

void frmMain::keepSelectionShown()
{
    if (selectMac(m_selectedMac))
        return;
    // Gone or filtered away: the first row of its list, else of the other list, else nothing.
    const bool inAllowed = m_selectionInAllowed;
    if (m_filters[inAllowed ? 1 : 0]->rowCount() > 0)
        selectRow(inAllowed, 0);
    else
        selectRow(!inAllowed, 0);
}

void frmMain::Set_ListSizes()
{
    for (int i = 0; i < 2; ++i) {
        DeviceListView* list = m_lists[size_t(i)];
        QScrollBar* bar = m_scroll[size_t(i)];
        const int bodyHeight = list->bodyHeight();
        if (bodyHeight > list->viewportHeight()) {
            // The last row can be scrolled up to the top of the viewport.
            bar->setRange(0, (bodyHeight - RowHeight) / TwipsPerPixel);
            bar->setSingleStep(ScrollQuarterRow);
            bar->setPageStep(ScrollRow);
            bar->setEnabled(true);
        } else {
            bar->setRange(0, 0);
            bar->setSingleStep(1);
            bar->setPageStep(1);
            bar->setEnabled(false);
            list->setBodyTop(0);
        }
    }
    updateCounts();
}

void frmMain::updateCounts()
{
    const auto text = [](qint32 shown, const DeviceListFilter& rows) {
        const QString devices = shown == 1 ? QStringLiteral("1 device") : QStringLiteral("%1 devices").arg(shown);
        return rows.text().isEmpty() ? devices : devices + QStringLiteral(" match");
    };
    m_counts[0]->setText(text(IntruderRowCount(), *m_filters[0]));
    m_counts[1]->setText(text(AllowedRowCount(), *m_filters[1]));
}

void frmMain::Set_Selection()
{
    const bool inAllowed = m_selectionInAllowed;
    const qint32 row = SelectedRow();
    m_lists[0]->setSelectedMac(inAllowed ? QString() : m_selectedMac);
    m_lists[1]->setSelectedMac(inAllowed ? m_selectedMac : QString());
    if (row >= 0) {
        DeviceListView* list = m_lists[inAllowed ? 1 : 0];
        const int t = row * RowHeight;
        const int v = -list->bodyTop();
        const int h = list->viewportHeight();
        int top = list->bodyTop();
        if (t > v + h - RowHeight)
            top = h - t - RowHeight;
        if (t < v)
            top = -t;
        list->setBodyTop(top);
        m_scroll[inAllowed ? 1 : 0]->setValue(-top / TwipsPerPixel);
    }
    setListButtons();
    Display_Log();
    Display_Details();
    refreshProbe();
}

void frmMain::setListButtons()
{
    const bool inAllowed = m_selectionInAllowed;
    const DeviceRecord* device = selectedDevice();
    const bool selected = device != nullptr;
    // Only an offline device can be removed (the action layer's rule): the button says so before a click.
    const bool removable = selected && DeviceActions::removable(*device);
    button(Button::MoveToIntruder)->setEnabled(inAllowed && selected);
    button(Button::RemoveAllowed)->setEnabled(inAllowed && removable);
    button(Button::MoveToAllowed)->setEnabled(!inAllowed && selected);
    button(Button::RemoveIntruder)->setEnabled(!inAllowed && removable);
    for (Button tab : {Button::Log, Button::Details, Button::Probe})
        button(tab)->setEnabled(selected);
}

void frmMain::selectRow(bool inAllowed, qint32 row)
{
    m_selectionInAllowed = inAllowed;
    m_selectedMac = m_filters[inAllowed ? 1 : 0]->macAt(row);
}

QString frmMain::selectedMac() const
{
    return selectedDevice() ? m_selectedMac : QString();
}

bool frmMain::selectMac(const QString& mac)
{
    if (mac.isEmpty())
        return false;
    const DeviceRecord* device = m_core.devices().find(mac);
    if (!device)
        return false;
    const bool inAllowed = !device->Intruder;
    if (m_filters[inAllowed ? 1 : 0]->rowOfMac(mac) < 0)
        return false;
    m_selectionInAllowed = inAllowed;
    m_selectedMac = mac;
    return true;
}

const DeviceRecord* frmMain::selectedDevice() const
{
    if (m_selectedMac.isEmpty())
        return nullptr;
    const DeviceRecord* device = m_core.devices().find(m_selectedMac);
    if (!device || device->Intruder == m_selectionInAllowed)
        return nullptr;
    return m_filters[m_selectionInAllowed ? 1 : 0]->rowOfMac(m_selectedMac) >= 0 ? device : nullptr;
}

qint32 frmMain::SelectedRow() const
{
    return selectedDevice() ? m_filters[m_selectionInAllowed ? 1 : 0]->rowOfMac(m_selectedMac) : -1;
}

void frmMain::pctID_Click(qint32 row)
{
    if (row < 0 || row >= IntruderRowCount())
        return;
    selectRow(false, row);
    Set_Selection();
}

void frmMain::pctAD_Click(qint32 row)
{
    if (row < 0 || row >= AllowedRowCount())
        return;
    selectRow(true, row);
    Set_Selection();
}

void frmMain::listKey(int list, int key)
{
    const bool allowed = list == 1;
    const qint32 count = allowed ? AllowedRowCount() : IntruderRowCount();
    if (count == 0)
        return;
    const bool here = m_selectionInAllowed == allowed && selectedDevice() != nullptr;
    const qint32 current = here ? SelectedRow() : -1;
    const qint32 page = qMax(1, m_lists[size_t(list)]->viewportHeight() / RowHeight);
    qint32 target = current;
    switch (key) {
    case Qt::Key_Up:
        target = current <= 0 ? 0 : current - 1;
        break;
    case Qt::Key_Down:
        target = qMin(count - 1, current + 1);
        break;
    case Qt::Key_PageUp:
        target = qMax(0, current - page);
        break;
    case Qt::Key_PageDown:
        target = qMin(count - 1, qMax(0, current) + page);
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = count - 1;
        break;
    default:
        break;
    }
    if (target != current || !here) {
        const qint32 row = qMax<qint32>(0, target);
        allowed ? pctAD_Click(row) : pctID_Click(row);
        return;
    }
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
        if (intPanelState != DetailsPanel)
            panelButtonClick(DetailsPanel);
        if (key == Qt::Key_F2 && selectedDevice()) {
            m_txtFriendlyName->show();
            m_txtFriendlyName->setFocus(Qt::ShortcutFocusReason);
            m_txtFriendlyName->selectAll();
        }
        break;
    case Qt::Key_Delete: {
        const DeviceRecord* device = selectedDevice();
        if (!device)
            break;
        const DeviceRecord& d = *device;
        if (!DeviceActions::removable(d)) {
            pctRemove_Click(allowed ? 1 : 0); // says why
            break;
        }
        const QString name = d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
        const QString question = QStringLiteral("Remove %1 (%2) from the list?").arg(name, d.IpAddress.trimmed());
        if (!m_services.confirm || m_services.confirm(question))
            pctRemove_Click(allowed ? 1 : 0);
        break;
    }
    case Qt::Key_Space:
        if (!allowed)
            pctAck_Click(SelectedRow());
        break;
    default:
        break;
    }
}

void frmMain::RightClickIntruder(qint32 row, const QPoint& globalPos)
{
    if (row < 0 || row >= IntruderRowCount())
        return;
    selectRow(false, row);
    Set_Selection();
    const DeviceRecord* device = selectedDevice();
    if (!device)
        return;
    menuMacAddress = m_selectedMac;
    Q_EMIT intruderMenuRequested(menuMacAddress, globalPos, device->NewDevice);
}

void frmMain::RightClickAllowed(qint32 row, const QPoint& globalPos)
{
    if (row < 0 || row >= AllowedRowCount())
        return;
    selectRow(true, row);
    Set_Selection();
    if (!selectedDevice())
        return;
    menuMacAddress = m_selectedMac;
    Q_EMIT allowedMenuRequested(menuMacAddress, globalPos);
}
