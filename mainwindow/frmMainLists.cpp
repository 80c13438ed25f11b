// The intruder list and the safe list: rows, their pictures and texts, sizes, scrolling and the selection.
#include "mainwindow/frmMain.h"

#include "app/MonitorCore.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

using namespace Geometry;

namespace {

// A row's background: online or not, selected or not, and for an online intruder not yet acknowledged the
// flash picture on every other tick.
Pic rowPicture(bool intruder, bool online, bool selected, bool flash)
{
    if (!intruder)
        return online ? (selected ? Pic::AllowedOnlineSelected : Pic::AllowedOnlineNotSelected)
                      : (selected ? Pic::AllowedOfflineSelected : Pic::AllowedOfflineNotSelected);
    if (!online)
        return selected ? Pic::IntruderOfflineSelected : Pic::IntruderOfflineNotSelected;
    if (selected)
        return flash ? Pic::IntruderOnlineSelectedFlash : Pic::IntruderOnlineSelected;
    return flash ? Pic::IntruderOnlineNotSelectedFlash : Pic::IntruderOnlineNotSelected;
}

RowView rowText(const DeviceRecord& d)
{
    RowView v;
    v.line1 = d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
    v.line2 = QStringLiteral("IP - ") + d.IpAddress.trimmed();
    v.online = d.isOnline();
    return v;
}

} // namespace

bool frmMain::isOnline(const DeviceRecord& d)
{
    return d.isOnline();
}

void frmMain::ensureRows(QVector<qint32>& rows, qint32 count)
{
    // The maps hold rows 0..256 and grow past that, so that every device keeps a consistent row even where
    // the list cannot draw it.
    if (rows.size() < count + 1)
        rows.resize(count + 1);
}

bool frmMain::logOverflowOnce(bool intruder, qint32 row)
{
    bool& logged = m_overflowLogged[intruder ? 0 : 1];
    if (!logged)
        Log(QStringLiteral("%1 - row %2 lies beyond the list's %3 rows; the device is not drawn")
                .arg(intruder ? QStringLiteral("UpdateIntruderEntry") : QStringLiteral("UpdateAllowedEntry"))
                .arg(row)
                .arg(MaxRows));
    logged = true;
    return false;
}

void frmMain::UpdateIntruderEntry(qint32 row, bool highlight)
{
    if (row < 0 || row >= m_intruderRows.size()) {
        Log(QStringLiteral("UpdateIntruderEntry - row %1 does not exist").arg(row));
        return;
    }
    if (row >= MaxRows) {
        logOverflowOnce(true, row);
        return;
    }
    const qint32 slot = m_intruderRows[row];
    const DeviceTable& devices = m_core.devices();
    if (!devices.isValid(slot)) {
        Log(QStringLiteral("UpdateIntruderEntry - row %1 holds no device (slot %2)").arg(row).arg(slot));
        return;
    }
    const DeviceRecord& d = devices[slot];
    RowView v = rowText(d);
    v.selected = row == m_selectedRow && !m_selectionInAllowed && highlight;
    v.flash = d.NewDevice && blnFlashPhase && v.online;
    v.picture = rowPicture(true, v.online, v.selected, v.flash);
    v.ack = d.NewDevice;
    v.ackDown = v.ack && m_lists[0]->row(row).ackDown;
    m_lists[0]->setRow(row, v);
}

void frmMain::UpdateAllowedEntry(qint32 row, bool highlight)
{
    if (row < 0 || row >= m_allowedRows.size()) {
        Log(QStringLiteral("UpdateAllowedEntry - row %1 does not exist").arg(row));
        return;
    }
    if (row >= MaxRows) {
        logOverflowOnce(false, row);
        return;
    }
    const qint32 slot = m_allowedRows[row];
    const DeviceTable& devices = m_core.devices();
    if (!devices.isValid(slot)) {
        Log(QStringLiteral("UpdateAllowedEntry - row %1 holds no device (slot %2)").arg(row).arg(slot));
        return;
    }
    const DeviceRecord& d = devices[slot];
    RowView v = rowText(d);
    v.selected = row == m_selectedRow && m_selectionInAllowed && highlight;
    v.picture = rowPicture(false, v.online, v.selected, false);
    m_lists[1]->setRow(row, v);
}

void frmMain::putIntruderRow(qint32 row, qint32 slot)
{
    ensureRows(m_intruderRows, row + 1);
    m_intruderRows[row] = slot;
    m_core.devices()[slot].ListRow = row;
}

void frmMain::putAllowedRow(qint32 row, qint32 slot)
{
    ensureRows(m_allowedRows, row + 1);
    m_allowedRows[row] = slot;
    m_core.devices()[slot].ListRow = row;
}

void frmMain::Setup_Display()
{
    const QString keep = selectedMac();
    m_intruderRows.fill(0, MaxRows + 1);
    m_allowedRows.fill(0, MaxRows + 1);
    m_overflowLogged = {};
    m_intruderRowCount = 0;
    m_allowedRowCount = 0;
    const DeviceTable& devices = m_core.devices();
    // Unacknowledged intruders first, then the acknowledged ones; the safe list in table order.
    for (int pass = 0; pass < 3; ++pass) {
        for (qint32 slot = 0; slot < devices.DeviceCount; ++slot) {
            const DeviceRecord& d = devices[slot];
            const bool wanted = pass == 0 ? d.Intruder && d.NewDevice
                : pass == 1               ? d.Intruder && !d.NewDevice
                                          : !d.Intruder;
            if (!wanted)
                continue;
            if (pass < 2) {
                putIntruderRow(m_intruderRowCount, slot);
                UpdateIntruderEntry(m_intruderRowCount, false);
                ++m_intruderRowCount;
            } else {
                putAllowedRow(m_allowedRowCount, slot);
                UpdateAllowedEntry(m_allowedRowCount, false);
                ++m_allowedRowCount;
            }
        }
    }
    m_scroll[0]->setMinimum(0);
    m_scroll[1]->setMinimum(0);
    Set_ListSizes();
    Clear_Selection();
    // The lists are rebuilt (a start, or a change made outside the window): the user's device stays selected.
    if (!selectMac(keep))
        selectRow(m_intruderRowCount == 0, 0);
    Set_Selection();
}

void frmMain::Set_ListSizes()
{
    const qint32 counts[2] = {m_intruderRowCount, m_allowedRowCount};
    for (int i = 0; i < 2; ++i) {
        DeviceListView* list = m_lists[size_t(i)];
        QScrollBar* bar = m_scroll[size_t(i)];
        list->setRowCount(counts[i]);
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
    const auto text = [](qint32 n) {
        return n == 1 ? QStringLiteral("1 device") : QStringLiteral("%1 devices").arg(n);
    };
    m_counts[0]->setText(text(m_intruderRowCount));
    m_counts[1]->setText(text(m_allowedRowCount));
}

void frmMain::Set_Selection()
{
    const bool inAllowed = m_selectionInAllowed;
    const qint32 count = inAllowed ? m_allowedRowCount : m_intruderRowCount;
    if (count > 0) {
        if (inAllowed)
            UpdateAllowedEntry(m_selectedRow, true);
        else
            UpdateIntruderEntry(m_selectedRow, true);
        DeviceListView* list = m_lists[inAllowed ? 1 : 0];
        const int t = qMin(m_selectedRow, MaxRows - 1) * RowHeight;
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
    const bool rows = (inAllowed ? m_allowedRowCount : m_intruderRowCount) > 0;
    button(Button::MoveToIntruder)->setEnabled(inAllowed && rows);
    button(Button::RemoveAllowed)->setEnabled(inAllowed && rows);
    button(Button::MoveToAllowed)->setEnabled(!inAllowed && rows);
    button(Button::RemoveIntruder)->setEnabled(!inAllowed && rows);
    for (Button tab : {Button::Log, Button::Details, Button::Probe})
        button(tab)->setEnabled(rows);
}

void frmMain::Clear_Selection()
{
    if (m_selectionInAllowed && m_allowedRowCount > 0)
        UpdateAllowedEntry(m_selectedRow, false);
    else if (!m_selectionInAllowed && m_intruderRowCount > 0)
        UpdateIntruderEntry(m_selectedRow, false);
}

void frmMain::selectRow(bool inAllowed, qint32 row)
{
    m_selectionInAllowed = inAllowed;
    m_selectedRow = row;
}

QString frmMain::selectedMac() const
{
    const qint32 slot = selectedSlot();
    return slot >= 0 ? m_core.devices()[slot].MacAddress : QString();
}

bool frmMain::selectMac(const QString& mac)
{
    if (mac.isEmpty())
        return false;
    const DeviceTable& devices = m_core.devices();
    const qint32 slot = devices.indexOfMac(mac);
    if (slot < 0)
        return false;
    const DeviceRecord& d = devices[slot];
    const QVector<qint32>& rows = d.Intruder ? m_intruderRows : m_allowedRows;
    const qint32 count = d.Intruder ? m_intruderRowCount : m_allowedRowCount;
    if (d.ListRow < 0 || d.ListRow >= count || rows[d.ListRow] != slot)
        return false;
    selectRow(!d.Intruder, d.ListRow);
    return true;
}

qint32 frmMain::selectedSlot() const
{
    if (m_selectionInAllowed)
        return m_selectedRow >= 0 && m_selectedRow < m_allowedRowCount ? m_allowedRows[m_selectedRow] : -1;
    return m_selectedRow >= 0 && m_selectedRow < m_intruderRowCount ? m_intruderRows[m_selectedRow] : -1;
}

void frmMain::pctID_Click(qint32 row)
{
    if (m_intruderRowCount == 0 || row < 0 || row >= m_intruderRowCount)
        return;
    Clear_Selection();
    selectRow(false, row);
    Set_Selection();
}

void frmMain::pctAD_Click(qint32 row)
{
    if (row < 0 || row >= m_allowedRowCount)
        return;
    Clear_Selection();
    selectRow(true, row);
    Set_Selection();
}

void frmMain::listKey(int list, int key)
{
    const bool allowed = list == 1;
    const qint32 count = allowed ? m_allowedRowCount : m_intruderRowCount;
    if (count == 0)
        return;
    const bool here = m_selectionInAllowed == allowed;
    const qint32 current = here ? m_selectedRow : -1;
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
        if (key == Qt::Key_F2 && selectedSlot() >= 0) {
            m_txtFriendlyName->show();
            m_txtFriendlyName->setFocus(Qt::ShortcutFocusReason);
            m_txtFriendlyName->selectAll();
        }
        break;
    case Qt::Key_Delete: {
        const qint32 slot = selectedSlot();
        if (slot < 0)
            break;
        const DeviceRecord& d = m_core.devices()[slot];
        const QString name = d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
        const QString question = QStringLiteral("Remove %1 (%2) from the list?").arg(name, d.IpAddress.trimmed());
        if (!m_services.confirm || m_services.confirm(question))
            pctRemove_Click(allowed ? 1 : 0);
        break;
    }
    case Qt::Key_Space:
        if (!allowed)
            pctAck_Click(m_selectedRow);
        break;
    default:
        break;
    }
}

void frmMain::RightClickIntruder(qint32 row, const QPoint& globalPos)
{
    if (row < 0 || row >= m_intruderRowCount)
        return;
    Clear_Selection();
    selectRow(false, row);
    Set_Selection();
    lngMenuMac = m_intruderRows[row];
    menuMacAddress = m_core.devices()[lngMenuMac].MacAddress;
    Q_EMIT intruderMenuRequested(lngMenuMac, globalPos, m_core.devices()[lngMenuMac].NewDevice);
}

void frmMain::RightClickAllowed(qint32 row, const QPoint& globalPos)
{
    if (row < 0 || row >= m_allowedRowCount)
        return;
    Clear_Selection();
    selectRow(true, row);
    Set_Selection();
    lngMenuMac = m_allowedRows[row];
    menuMacAddress = m_core.devices()[lngMenuMac].MacAddress;
    Q_EMIT allowedMenuRequested(lngMenuMac, globalPos);
}

void frmMain::AddNewDevice(qint32 index)
{
    DeviceTable& devices = m_core.devices();
    if (!devices.isValid(index)) {
        Log(QStringLiteral("AddNewDevice - slot %1 does not exist").arg(index));
        return;
    }
    const bool intruder = devices[index].Intruder;
    // The selection follows the device the user chose, not its row; a newcomer takes it only when the window
    // popped up for it or nothing was selected, so that Move and Remove never act on a device unseen.
    const QString keep = selectedMac();
    Clear_Selection();
    qint32& count = intruder ? m_intruderRowCount : m_allowedRowCount;
    for (qint32 r = count - 1; r >= 0; --r) {
        if (intruder) {
            putIntruderRow(r + 1, m_intruderRows[r]);
            UpdateIntruderEntry(r + 1, false);
        } else {
            putAllowedRow(r + 1, m_allowedRows[r]);
            UpdateAllowedEntry(r + 1, false);
        }
    }
    if (intruder) {
        putIntruderRow(0, index);
        UpdateIntruderEntry(0, false);
    } else {
        putAllowedRow(0, index);
        UpdateAllowedEntry(0, false);
    }
    ++count;
    Set_ListSizes();
    const bool poppedUpFor = m_selectOnArrival == devices[index].MacAddress;
    m_selectOnArrival.clear();
    if (poppedUpFor || !selectMac(keep))
        selectRow(!intruder, 0);
    Set_Selection();
}

void frmMain::MacUpdateOccured(qint32 index)
{
    const DeviceTable& devices = m_core.devices();
    if (!devices.isValid(index))
        return;
    const DeviceRecord& d = devices[index];
    const QVector<qint32>& rows = d.Intruder ? m_intruderRows : m_allowedRows;
    const qint32 count = d.Intruder ? m_intruderRowCount : m_allowedRowCount;
    if (d.ListRow < 0 || d.ListRow >= count || rows[d.ListRow] != index) {
        Log(QStringLiteral("MacUpdateOccured - %1 has no row in its list").arg(d.MacAddress));
        return;
    }
    if (d.Intruder)
        UpdateIntruderEntry(d.ListRow, true);
    else
        UpdateAllowedEntry(d.ListRow, true);
    // Only the selected device's details are on show.
    if (index == selectedSlot()) {
        Display_Details();
        refreshProbe();
    }
}
