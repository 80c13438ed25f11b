// The intruder list and the safe list: two filtered views of the device model, their sizes, the filter boxes,
// and the selection, which lives in each list's QItemSelectionModel and follows the devices the user chose
// (persistent indexes), not rows. One list holds the selection at a time.
#include "mainwindow/MainWindow.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "mainwindow/DeviceCommands.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>

using namespace Geometry;

void MainWindow::Setup_Display()
{
    const QStringList keep = selectedMacs();
    m_model->reload();
    Set_ListSizes();
    // The lists are rebuilt: the user's devices stay selected; at start nothing is.
    selectMacs(keep);
    Set_Selection();
}

qint32 MainWindow::IntruderRowCount() const
{
    return m_filters[0]->rowCount();
}

qint32 MainWindow::AllowedRowCount() const
{
    return m_filters[1]->rowCount();
}

void MainWindow::listsChanged()
{
    Set_ListSizes();
    if (!selectHiddenAway() && selectedMac() != m_shownMac)
        Set_Selection();
}

bool MainWindow::selectHiddenAway()
{
    // A filter that hid the selected device: the selection goes to the first row left, or to the other list.
    // (A device that moved to the other list, or left, is the device event's to follow.)
    const DeviceRecord* chosen = m_core.devices().find(m_chosenMac);
    if (!selectedMac().isEmpty() || !chosen)
        return false;
    const int own = chosen->Intruder ? 0 : 1;
    if (m_filters[size_t(own)]->rowOfMac(m_chosenMac) >= 0)
        return false;
    const int list = m_selectionInAllowed ? 1 : 0;
    if (m_filters[size_t(list)]->rowCount() > 0)
        selectRow(list == 1, 0);
    else if (m_filters[size_t(1 - list)]->rowCount() > 0)
        selectRow(list == 0, 0);
    else
        return false;
    Set_Selection();
    return true;
}

void MainWindow::listSelectionChanged(int list)
{
    DeviceListView* view = m_lists[size_t(list)];
    if (!view->selectionModel()->hasSelection()) {
        if ((list == 1) == m_selectionInAllowed && selectedMac() != m_shownMac)
            Set_Selection();
        return;
    }
    // The other list lets go: one list holds the selection.
    m_selectionInAllowed = list == 1;
    m_lists[size_t(1 - list)]->clearSelection();
    if (selectedMacs() != m_shownMacs)
        Set_Selection();
}

void MainWindow::Set_ListSizes()
{
    updateCounts();
}

void MainWindow::updateCounts()
{
    const auto text = [](qint32 shown, const DeviceListFilter& rows) {
        const QString devices = shown == 1 ? QStringLiteral("1 device") : QStringLiteral("%1 devices").arg(shown);
        return rows.text().isEmpty() ? devices : devices + QStringLiteral(" match");
    };
    m_counts[0]->setText(text(IntruderRowCount(), *m_filters[0]));
    m_counts[1]->setText(text(AllowedRowCount(), *m_filters[1]));
}

void MainWindow::Set_Selection()
{
    m_shownMac = selectedMac();
    m_shownMacs = selectedMacs();
    if (!m_shownMac.isEmpty())
        m_chosenMac = m_shownMac;
    const qint32 row = SelectedRow();
    if (m_panelStage->selectionShown(row >= 0))
        wakePanelTimer();
    if (row >= 0) {
        DeviceListView* list = m_lists[m_selectionInAllowed ? 1 : 0];
        list->scrollTo(list->rows().index(row, 0));
    }
    setListButtons();
    Display_Log();
    Display_Details();
    refreshProbe();
}

void MainWindow::setListButtons()
{
    const bool inAllowed = m_selectionInAllowed;
    const QStringList macs = selectedMacs();
    const bool selected = !macs.isEmpty();
    // Only an offline device can be removed (the action layer's rule): the button says so before a click.
    const DeviceStore& devices = m_core.devices();
    const bool removable = std::any_of(macs.cbegin(), macs.cend(), [&devices](const QString& mac) {
        const DeviceRecord* device = devices.find(mac);
        return device && DeviceActions::removable(*device);
    });
    const bool anyNew = std::any_of(macs.cbegin(), macs.cend(), [&devices](const QString& mac) {
        const DeviceRecord* device = devices.find(mac);
        return device && device->Intruder && device->NewDevice;
    });
    // The buttons and the menus follow their commands.
    m_commands->moveToIntruders()->setEnabled(inAllowed && selected);
    m_commands->remove(1)->setEnabled(inAllowed && removable);
    m_commands->moveToSafe()->setEnabled(!inAllowed && selected);
    m_commands->remove(0)->setEnabled(!inAllowed && removable);
    m_commands->acknowledge()->setEnabled(!inAllowed && anyNew);
    for (Button tab : {Button::Log, Button::Details, Button::Probe})
        button(tab)->setEnabled(selectedDevice() != nullptr);
}

void MainWindow::selectRow(bool inAllowed, qint32 row)
{
    DeviceListView* list = m_lists[inAllowed ? 1 : 0];
    const QModelIndex at = list->rows().index(row, 0);
    if (!at.isValid())
        return;
    m_selectionInAllowed = inAllowed;
    m_lists[inAllowed ? 0 : 1]->clearSelection();
    list->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QString MainWindow::selectedMac() const
{
    // The current row when it is selected, else the first selected one.
    const DeviceListView* list = m_lists[m_selectionInAllowed ? 1 : 0];
    const QItemSelectionModel* selection = list->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isSelected(current))
        return current.data(DeviceListModel::MacRole).toString();
    const QModelIndexList rows = selection->selectedRows();
    if (rows.isEmpty())
        return {};
    return std::min_element(
        rows.cbegin(), rows.cend(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); })
        ->data(DeviceListModel::MacRole)
        .toString();
}

QStringList MainWindow::selectedMacs() const
{
    QModelIndexList rows = m_lists[m_selectionInAllowed ? 1 : 0]->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList macs;
    for (const QModelIndex& at : rows)
        macs << at.data(DeviceListModel::MacRole).toString();
    return macs;
}

bool MainWindow::selectMac(const QString& mac)
{
    return selectMacs({mac}) == 1;
}

int MainWindow::selectMacs(const QStringList& macs)
{
    // The first device's list takes the selection; the others join it where that list shows them.
    const DeviceStore& devices = m_core.devices();
    int list = -1;
    QItemSelection chosen;
    QModelIndex first;
    for (const QString& mac : macs) {
        const DeviceRecord* device = mac.isEmpty() ? nullptr : devices.find(mac);
        if (!device)
            continue;
        const int here = device->Intruder ? 0 : 1;
        if (list >= 0 && here != list)
            continue;
        const int row = m_filters[size_t(here)]->rowOfMac(mac);
        if (row < 0)
            continue;
        list = here;
        const QModelIndex at = m_filters[size_t(here)]->index(row, 0);
        chosen.select(at, at);
        if (!first.isValid())
            first = at;
    }
    if (list < 0)
        return 0;
    m_selectionInAllowed = list == 1;
    m_lists[size_t(1 - list)]->clearSelection();
    QItemSelectionModel* selection = m_lists[size_t(list)]->selectionModel();
    selection->select(chosen, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    return int(chosen.indexes().size());
}

void MainWindow::clearSelection()
{
    for (DeviceListView* list : m_lists)
        list->clearSelection();
}

const DeviceRecord* MainWindow::selectedDevice() const
{
    const QString mac = selectedMac();
    return mac.isEmpty() ? nullptr : m_core.devices().find(mac);
}

qint32 MainWindow::SelectedRow() const
{
    const QString mac = selectedMac();
    return mac.isEmpty() ? -1 : m_filters[m_selectionInAllowed ? 1 : 0]->rowOfMac(mac);
}

void MainWindow::intruderRowClicked(qint32 row)
{
    if (row < 0 || row >= IntruderRowCount())
        return;
    selectRow(false, row);
    Set_Selection();
}

void MainWindow::safeRowClicked(qint32 row)
{
    if (row < 0 || row >= AllowedRowCount())
        return;
    selectRow(true, row);
    Set_Selection();
}

void MainWindow::listKey(int list, int key)
{
    const bool allowed = list == 1;
    if (m_selectionInAllowed != allowed || selectedMacs().isEmpty())
        return;
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
        if (m_panelStage->open() != DetailsPanel)
            panelButtonClick(DetailsPanel);
        if (key == Qt::Key_F2 && selectedDevice()) {
            m_friendlyNameEdit->show();
            m_friendlyNameEdit->setFocus(Qt::ShortcutFocusReason);
            m_friendlyNameEdit->selectAll();
        }
        break;
    case Qt::Key_Delete:
        removeClicked(allowed ? 1 : 0);
        break;
    case Qt::Key_Space:
        if (!allowed)
            acknowledgeSelected();
        break;
    default:
        break;
    }
}

void MainWindow::openDeviceMenu(bool intruder, qint32 row, const QPoint& globalPos)
{
    const DeviceListFilter& rows = *m_filters[intruder ? 0 : 1];
    if (row < 0 || row >= rows.rowCount())
        return;
    // A right click inside the selection acts on all of it; elsewhere it selects that row alone.
    const QModelIndex at = rows.index(row, 0);
    if (m_selectionInAllowed == intruder || !m_lists[intruder ? 0 : 1]->selectionModel()->isSelected(at))
        selectRow(!intruder, row);
    Set_Selection();
    m_menuMac = rows.macAt(row);
    m_menuMacs = selectedMacs();
    if (intruder) {
        const DeviceStore& devices = m_core.devices();
        const bool anyNew = std::any_of(m_menuMacs.cbegin(), m_menuMacs.cend(), [&devices](const QString& mac) {
            const DeviceRecord* device = devices.find(mac);
            return device && device->NewDevice;
        });
        Q_EMIT intruderMenuRequested(m_menuMac, globalPos, anyNew);
    } else {
        Q_EMIT allowedMenuRequested(m_menuMac, globalPos);
    }
}

void MainWindow::RightClickIntruder(qint32 row, const QPoint& globalPos)
{
    openDeviceMenu(true, row, globalPos);
}

void MainWindow::RightClickAllowed(qint32 row, const QPoint& globalPos)
{
    openDeviceMenu(false, row, globalPos);
}
