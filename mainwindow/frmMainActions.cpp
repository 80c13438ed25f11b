// The user's actions on a device: acknowledge, move to the safe list and back, remove, rename; and the notice
// that refuses a removal.
#include "mainwindow/frmMain.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"
#include "platform/Clock.h"

#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>

namespace {

const QString kNoticeOnline = QStringLiteral("You cannot delete devices that are currently online");

} // namespace

void frmMain::actionEvent(const DeviceEvent& event)
{
    const DeviceTable& devices = m_core.devices();
    if (event.kind == DeviceEvent::Kind::Moved && event.intruder) {
        // Holds the still-online reminder back for a while when no other intruder exists or one is online.
        bool anyIntruder = false;
        bool anyOnline = false;
        for (qint32 s = 0; s < devices.DeviceCount; ++s) {
            if (s != event.index && devices[s].Intruder) {
                anyIntruder = true;
                anyOnline = anyOnline || isOnline(devices[s]);
            }
        }
        if (!anyIntruder || anyOnline)
            datLastIntruderWarning = kwclock::now();
    }
    if (event.kind == DeviceEvent::Kind::Renamed)
        MacUpdateOccured(event.index);
    else if (!m_ownAction)
        Setup_Display();
}

void frmMain::pctAck_Click(qint32 row)
{
    DeviceTable& devices = m_core.devices();
    if (row >= 0 && row < Geometry::MaxRows) {
        RowView v = m_lists[0]->row(row);
        v.ack = false;
        v.ackDown = false;
        m_lists[0]->setRow(row, v);
    }
    if (m_intruderRowCount == 0 || row < 0 || row >= m_intruderRowCount)
        return;
    Clear_Selection();
    const qint32 slot = m_intruderRows[row];
    const QScopedValueRollback own(m_ownAction, true);
    if (!m_core.actions().Acknowledge(slot)) {
        selectRow(false, row);
        Set_Selection();
        return;
    }

    // The acknowledged device goes below the last unacknowledged one.
    qint32 target = row;
    for (qint32 r = row + 1; r < m_intruderRowCount; ++r) {
        if (devices[m_intruderRows[r]].NewDevice)
            target = r;
    }
    if (target == row) {
        UpdateIntruderEntry(row, false);
    } else {
        for (qint32 r = row + 1; r <= target; ++r) {
            putIntruderRow(r - 1, m_intruderRows[r]);
            UpdateIntruderEntry(r - 1, false);
        }
        putIntruderRow(target, slot);
        UpdateIntruderEntry(target, false);
    }
    selectRow(false, target);
    Set_Selection();
}

void frmMain::pctAllowed_Click()
{
    if (m_selectionInAllowed || m_intruderRowCount == 0 || m_selectedRow >= m_intruderRowCount)
        return;
    Clear_Selection();
    const qint32 slot = m_intruderRows[m_selectedRow];
    const QScopedValueRollback own(m_ownAction, true);
    m_core.actions().MoveToSafe(slot);

    // Safe list: everything moves down one row, the device takes row 0.
    for (qint32 r = m_allowedRowCount - 1; r >= 0; --r) {
        putAllowedRow(r + 1, m_allowedRows[r]);
        UpdateAllowedEntry(r + 1, false);
    }
    putAllowedRow(0, slot);
    UpdateAllowedEntry(0, false);
    ++m_allowedRowCount;

    // Intruder list: the rows below close the gap.
    for (qint32 r = m_selectedRow + 1; r < m_intruderRowCount; ++r) {
        putIntruderRow(r - 1, m_intruderRows[r]);
        UpdateIntruderEntry(r - 1, false);
    }
    --m_intruderRowCount;

    Set_ListSizes();
    selectRow(true, 0);
    Set_Selection();
}

void frmMain::pctIntruder_Click()
{
    if (!m_selectionInAllowed || m_allowedRowCount == 0 || m_selectedRow >= m_allowedRowCount)
        return;
    const DeviceTable& devices = m_core.devices();
    Clear_Selection();
    const qint32 slot = m_allowedRows[m_selectedRow];
    const QScopedValueRollback own(m_ownAction, true);
    m_core.actions().MoveToIntruders(slot);

    // It arrives acknowledged: directly below the unacknowledged intruders.
    qint32 p = 0;
    while (p < m_intruderRowCount && devices[m_intruderRows[p]].NewDevice)
        ++p;
    for (qint32 r = m_intruderRowCount - 1; r >= p; --r) {
        putIntruderRow(r + 1, m_intruderRows[r]);
        UpdateIntruderEntry(r + 1, false);
    }
    putIntruderRow(p, slot);
    UpdateIntruderEntry(p, false);
    ++m_intruderRowCount;

    for (qint32 r = m_selectedRow + 1; r < m_allowedRowCount; ++r) {
        putAllowedRow(r - 1, m_allowedRows[r]);
        UpdateAllowedEntry(r - 1, false);
    }
    --m_allowedRowCount;

    Set_ListSizes();
    selectRow(false, p);
    Set_Selection();
}

void frmMain::pctRemove_Click(int index)
{
    const bool fromAllowed = index == 1;
    if (m_selectionInAllowed != fromAllowed)
        return;
    qint32& count = fromAllowed ? m_allowedRowCount : m_intruderRowCount;
    if (count == 0 || m_selectedRow >= count)
        return;
    const DeviceTable& devices = m_core.devices();
    Clear_Selection();
    QVector<qint32>& rows = fromAllowed ? m_allowedRows : m_intruderRows;
    const qint32 slot = rows[m_selectedRow];
    if (!DeviceActions::removable(devices[slot])) {
        showNotice(kNoticeOnline, 3);
        Set_Selection();
        return;
    }

    for (qint32 r = m_selectedRow + 1; r < count; ++r) {
        if (fromAllowed) {
            putAllowedRow(r - 1, rows[r]);
            UpdateAllowedEntry(r - 1, false);
        } else {
            putIntruderRow(r - 1, rows[r]);
            UpdateIntruderEntry(r - 1, false);
        }
    }
    --count;

    if (m_selectedRow >= count) {
        if (m_selectedRow > 0) {
            --m_selectedRow;
        } else {
            const qint32 other = fromAllowed ? m_intruderRowCount : m_allowedRowCount;
            if (other > 0)
                selectRow(!fromAllowed, 0);
        }
    }

    // The table closes its gap; each moved record's row points at its new slot.
    const QScopedValueRollback own(m_ownAction, true);
    m_core.actions().Remove(slot);
    for (qint32 s = slot; s < devices.DeviceCount; ++s) {
        const DeviceRecord& moved = devices[s];
        QVector<qint32>& map = moved.Intruder ? m_intruderRows : m_allowedRows;
        if (moved.ListRow >= 0 && moved.ListRow < map.size())
            map[moved.ListRow] = s;
    }
    Set_ListSizes();
    Set_Selection();
}

bool frmMain::selectMenuDevice(bool intruder)
{
    // A device admitted or removed while the menu was open moves rows and slots: the address finds it again.
    const DeviceTable& devices = m_core.devices();
    qint32 slot = -1;
    for (qint32 s = 0; s < devices.DeviceCount && slot < 0; ++s) {
        if (devices[s].MacAddress == menuMacAddress)
            slot = s;
    }
    if (slot < 0 || devices[slot].Intruder != intruder)
        return false;
    const qint32 row = devices[slot].ListRow;
    if (row < 0 || row >= (intruder ? m_intruderRowCount : m_allowedRowCount))
        return false;
    lngMenuMac = slot;
    Clear_Selection();
    selectRow(!intruder, row);
    Set_Selection();
    return true;
}

void frmMain::mnuIntruderAck_Click()
{
    if (selectMenuDevice(true))
        pctAck_Click(m_selectedRow);
}

void frmMain::mnuMoveToAllowed_Click()
{
    if (selectMenuDevice(true))
        pctAllowed_Click();
}

void frmMain::mnuRemoveIntruder_Click()
{
    if (selectMenuDevice(true))
        pctRemove_Click(0);
}

void frmMain::mnuMoveToIntruders_Click()
{
    if (selectMenuDevice(false))
        pctIntruder_Click();
}

void frmMain::mnuRemoveAllowed_Click()
{
    if (selectMenuDevice(false))
        pctRemove_Click(1);
}

void frmMain::txtFriendlyName_Change()
{
    if (m_fillingDetails)
        return;
    const qint32 slot = selectedSlot();
    if (slot < 0)
        return;
    m_core.actions().Rename(slot, m_txtFriendlyName->text());
}

QString frmMain::wrapNoticeText(const QString& text)
{
    // Lines break at the first blank at or after the 31st character.
    QString rest = text;
    QString wrapped;
    while (rest.size() >= 31) {
        const qsizetype blank = rest.indexOf(QLatin1Char(' '), 30);
        if (blank < 0)
            break;
        wrapped += rest.left(blank) + QStringLiteral("\r\n");
        rest = rest.mid(blank + 1);
    }
    return wrapped + rest;
}

void frmMain::showNotice(const QString& text, int seconds)
{
    m_lblButton->setText(wrapNoticeText(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    m_lblButton->adjustSize();
    // The box grows round a text that needs more room than the skin's notice picture gives.
    const QSize box =
        m_lblButton->size()
            .grownBy(QMargins(Geometry::s(16), Geometry::s(10), Geometry::s(16), Geometry::s(10)))
            .expandedTo(QSize(Geometry::s(Geometry::Notice.width()), Geometry::s(Geometry::Notice.height())));
    m_pctButton->resize(box);
    m_lblButton->move((box.width() - m_lblButton->width()) / 2, (box.height() - m_lblButton->height()) / 2);
    m_pctButton->move((width() - box.width()) / 2, (height() - box.height()) / 2);
    m_pctButton->raise();
    m_pctButton->show();
    lngButtonTimeout = 3 * seconds;
}

QString frmMain::noticeText() const
{
    return m_lblButton->text();
}

bool frmMain::noticeVisible() const
{
    return !m_pctButton->isHidden();
}
