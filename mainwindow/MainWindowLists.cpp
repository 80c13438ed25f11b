// What the window does with its lists (DeviceLists): the selection shown in the panels and buttons, clicks,
// keys and the right-click menus.
#include "mainwindow/MainWindow.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "mainwindow/DeviceCommands.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/PictureBox.h"

#include <QAction>
#include <QLineEdit>
#include <algorithm>

void MainWindow::Setup_Display()
{
    const QStringList keep = selectedMacs();
    m_deviceLists->reload();
    Set_ListSizes();
    // The lists are rebuilt: the user's devices stay selected; at start nothing is.
    selectMacs(keep);
    Set_Selection();
}

qint32 MainWindow::IntruderRowCount() const
{
    return m_deviceLists->rowCount(0);
}

qint32 MainWindow::AllowedRowCount() const
{
    return m_deviceLists->rowCount(1);
}

void MainWindow::listsChanged()
{
    Set_ListSizes();
    // A filter that hid the shown device passes the selection on; either way a selection that differs is shown.
    if (m_deviceLists->passSelectionOn() || selectedMac() != m_shownMac)
        Set_Selection();
}

void MainWindow::listSelectionChanged(int list, bool holdsSome)
{
    if (!holdsSome) {
        if ((list == 1) == SelectionInAllowed() && selectedMac() != m_shownMac)
            Set_Selection();
        return;
    }
    if (selectedMacs() != m_shownMacs)
        Set_Selection();
}

void MainWindow::Set_ListSizes()
{
    m_deviceLists->updateCounts();
}

void MainWindow::Set_Selection()
{
    m_shownMac = selectedMac();
    m_shownMacs = selectedMacs();
    m_deviceLists->noteShown(m_shownMac);
    const qint32 row = SelectedRow();
    if (m_panelStage->selectionShown(row >= 0))
        wakePanelTimer();
    m_deviceLists->scrollToSelection();
    setListButtons();
    Display_Log();
    Display_Details();
    refreshProbe();
}

void MainWindow::setListButtons()
{
    const bool inAllowed = SelectionInAllowed();
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

QString MainWindow::selectedMac() const
{
    return m_deviceLists->selectedMac();
}

QStringList MainWindow::selectedMacs() const
{
    return m_deviceLists->selectedMacs();
}

bool MainWindow::selectMac(const QString& mac)
{
    return selectMacs({mac}) == 1;
}

int MainWindow::selectMacs(const QStringList& macs)
{
    return m_deviceLists->selectMacs(macs);
}

void MainWindow::clearSelection()
{
    m_deviceLists->clearSelection();
}

const DeviceRecord* MainWindow::selectedDevice() const
{
    return m_deviceLists->selectedDevice();
}

qint32 MainWindow::SelectedRow() const
{
    return m_deviceLists->selectedRow();
}

void MainWindow::intruderRowClicked(qint32 row)
{
    if (row < 0 || row >= IntruderRowCount())
        return;
    m_deviceLists->selectRow(false, row);
    Set_Selection();
}

void MainWindow::safeRowClicked(qint32 row)
{
    if (row < 0 || row >= AllowedRowCount())
        return;
    m_deviceLists->selectRow(true, row);
    Set_Selection();
}

void MainWindow::listKey(int list, int key)
{
    const bool allowed = list == 1;
    if (SelectionInAllowed() != allowed || selectedMacs().isEmpty())
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
    const DeviceListFilter& rows = listRows(intruder ? 0 : 1);
    if (row < 0 || row >= rows.rowCount())
        return;
    // A right click inside the selection acts on all of it; elsewhere it selects that row alone.
    const QModelIndex at = rows.index(row, 0);
    if (SelectionInAllowed() == intruder || !m_deviceLists->view(intruder ? 0 : 1)->selectionModel()->isSelected(at))
        m_deviceLists->selectRow(!intruder, row);
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
