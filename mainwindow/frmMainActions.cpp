// The user's actions on a device: acknowledge, move to the safe list and back, remove, rename; and the notice
// that refuses a removal.
#include "mainwindow/frmMain.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"
#include "platform/Clock.h"

#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>

namespace {

const QString kNoticeOnline = QStringLiteral("Online devices cannot be removed: remove it once it is offline");

} // namespace

void frmMain::actionEvent(const DeviceEvent& event)
{
    const DeviceStore& devices = m_core.devices();
    if (event.kind == DeviceEvent::Kind::Moved && event.intruder) {
        // Holds the still-online reminder back for a while when no other intruder exists or one is online.
        bool anyIntruder = false;
        bool anyOnline = false;
        for (const DeviceRecord& d : devices) {
            if (d.MacAddress != event.mac && d.Intruder) {
                anyIntruder = true;
                anyOnline = anyOnline || d.isOnline();
            }
        }
        if (!anyIntruder || anyOnline)
            datLastIntruderWarning = kwclock::now();
    }
}

// Each action changes the table through DeviceActions; its event reorders the lists (the model), and the
// selection stays on the device acted on, wherever it now stands.

void frmMain::pctAck_Click(qint32 row)
{
    if (row < 0 || row >= IntruderRowCount())
        return;
    selectRow(false, row);
    {
        const QScopedValueRollback settling(m_settling, true);
        m_core.actions().Acknowledge(m_filters[0]->macAt(row));
    }
    keepSelectionShown();
    Set_Selection();
}

void frmMain::pctAllowed_Click()
{
    if (m_selectionInAllowed || !selectedDevice())
        return;
    {
        const QScopedValueRollback settling(m_settling, true);
        m_core.actions().MoveToSafe(m_selectedMac);
    }
    keepSelectionShown();
    Set_Selection();
}

void frmMain::pctIntruder_Click()
{
    if (!m_selectionInAllowed || !selectedDevice())
        return;
    {
        const QScopedValueRollback settling(m_settling, true);
        m_core.actions().MoveToIntruders(m_selectedMac);
    }
    keepSelectionShown();
    Set_Selection();
}

void frmMain::pctRemove_Click(int index)
{
    const bool fromAllowed = index == 1;
    const DeviceRecord* device = selectedDevice();
    if (m_selectionInAllowed != fromAllowed || !device)
        return;
    const QString mac = m_selectedMac;
    if (!DeviceActions::removable(*device)) {
        showNotice(kNoticeOnline, 3);
        return;
    }
    // The selection stays on the row: the next device, else the one above, else the other list's first.
    const DeviceListFilter& rows = *m_filters[fromAllowed ? 1 : 0];
    const qint32 row = SelectedRow();
    if (row + 1 < rows.rowCount())
        m_selectedMac = rows.macAt(row + 1);
    else if (row > 0)
        m_selectedMac = rows.macAt(row - 1);
    else
        selectRow(!fromAllowed, 0);
    {
        const QScopedValueRollback settling(m_settling, true);
        m_core.actions().Remove(mac);
    }
    keepSelectionShown();
    Set_Selection();
}

bool frmMain::selectMenuDevice(bool intruder)
{
    // A device admitted or removed while the menu was open moves rows: the address finds it again.
    const DeviceRecord* device = m_core.devices().find(menuMacAddress);
    if (!device || device->Intruder != intruder)
        return false;
    if (!selectMac(menuMacAddress))
        return false;
    Set_Selection();
    return true;
}

void frmMain::mnuIntruderAck_Click()
{
    if (selectMenuDevice(true))
        pctAck_Click(SelectedRow());
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
    if (!selectedDevice())
        return;
    m_core.actions().Rename(m_selectedMac, m_txtFriendlyName->text());
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
