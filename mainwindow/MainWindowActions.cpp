// The user's actions on a device: acknowledge, move to the safe list and back, remove, rename; and the notice
// that refuses a removal.
#include "mainwindow/MainWindow.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"

#include <QLabel>
#include <QLineEdit>

namespace {

const QString kNoticeOnline = QStringLiteral("Online devices cannot be removed: remove it once it is offline");

} // namespace

// Each action changes the table through DeviceActions, once per selected device; its events reorder the lists
// (the model), and the selection stays on the devices acted on, wherever they now stand.

QString MainWindow::devicesText(const QStringList& macs) const
{
    QStringList names;
    for (const QString& mac : macs) {
        const DeviceRecord* found = m_core.devices().find(mac);
        if (!found)
            continue;
        const DeviceRecord& d = *found;
        names << QStringLiteral("%1 (%2)").arg(
            d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName, d.IpAddress.trimmed());
    }
    // A long selection is named in part: the question stays readable.
    constexpr int kNamed = 5;
    if (names.size() > kNamed)
        return QStringList(names.mid(0, kNamed - 1)).join(QStringLiteral(", "))
            + QStringLiteral(" and %1 more").arg(names.size() - (kNamed - 1));
    return names.join(QStringLiteral(", "));
}

void MainWindow::actOnSelection(bool inAllowed, const std::function<bool(const QString& mac)>& action)
{
    if (SelectionInAllowed() != inAllowed)
        return;
    const QStringList macs = selectedMacs();
    if (macs.isEmpty())
        return;
    // From the bottom up: each device acted on goes to the top of its group, so they keep their order.
    for (auto mac = macs.crbegin(); mac != macs.crend(); ++mac)
        action(*mac);
    selectMacs(macs);
    Set_Selection();
}

void MainWindow::acknowledgeRow(qint32 row)
{
    if (row < 0 || row >= IntruderRowCount())
        return;
    const QString mac = listRows(0).macAt(row);
    m_deviceLists->selectRow(false, row);
    m_core.actions().Acknowledge(mac);
    selectMac(mac);
    Set_Selection();
}

void MainWindow::acknowledgeSelected()
{
    actOnSelection(false, [this](const QString& mac) { return m_core.actions().Acknowledge(mac); });
}

void MainWindow::allowedClicked()
{
    actOnSelection(false, [this](const QString& mac) { return m_core.actions().MoveToSafe(mac); });
}

void MainWindow::intruderClicked()
{
    actOnSelection(true, [this](const QString& mac) { return m_core.actions().MoveToIntruders(mac); });
}

void MainWindow::removeClicked(int index)
{
    const bool fromAllowed = index == 1;
    if (SelectionInAllowed() != fromAllowed)
        return;
    QStringList removable;
    for (const QString& mac : selectedMacs()) {
        const DeviceRecord* device = m_core.devices().find(mac);
        if (device && DeviceActions::removable(*device))
            removable << mac;
    }
    if (removable.isEmpty()) {
        if (!selectedMacs().isEmpty())
            showNotice(kNoticeOnline, 3);
        return;
    }
    // The button and the Delete key both ask, once, naming what goes; online devices stay (they would be
    // admitted again at the next sweep).
    const int online = int(selectedMacs().size() - removable.size());
    QString question = removable.size() == 1 ? QStringLiteral("Remove %1 from the list?").arg(devicesText(removable))
                                             : QStringLiteral("Remove these %1 devices from the list: %2?")
                                                   .arg(removable.size())
                                                   .arg(devicesText(removable));
    if (online > 0)
        question +=
            online == 1 ? QStringLiteral(" The one online stays.") : QStringLiteral(" The %1 online stay.").arg(online);
    if (m_services.confirm && !m_services.confirm(question))
        return;
    for (const QString& mac : removable)
        m_core.actions().Remove(mac);
    Set_Selection();
}

bool MainWindow::selectMenuDevice(bool intruder)
{
    // Devices admitted or removed while the menu was open move rows and slots: their addresses find them again.
    QStringList still;
    for (const QString& mac : m_menuMacs) {
        const DeviceRecord* device = m_core.devices().find(mac);
        if (device && device->Intruder == intruder)
            still << mac;
    }
    if (selectMacs(still) == 0)
        return false;
    Set_Selection();
    return true;
}

void MainWindow::intruderAckClicked()
{
    if (selectMenuDevice(true))
        acknowledgeSelected();
}

void MainWindow::moveToAllowedClicked()
{
    if (selectMenuDevice(true))
        allowedClicked();
}

void MainWindow::removeIntruderClicked()
{
    if (selectMenuDevice(true))
        removeClicked(0);
}

void MainWindow::moveToIntrudersClicked()
{
    if (selectMenuDevice(false))
        intruderClicked();
}

void MainWindow::removeAllowedClicked()
{
    if (selectMenuDevice(false))
        removeClicked(1);
}

void MainWindow::friendlyNameEdited()
{
    const QString mac = selectedMac();
    if (mac.isEmpty())
        return;
    m_nameBoxMac = mac;
    m_core.actions().Rename(mac, m_friendlyNameEdit->text());
}

QString MainWindow::wrapNoticeText(const QString& text)
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

void MainWindow::showNotice(const QString& text, int seconds)
{
    m_buttonLabel->setText(wrapNoticeText(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    m_buttonLabel->adjustSize();
    // The box grows round a text that needs more room than the skin's notice picture gives.
    const QSize box =
        m_buttonLabel->size()
            .grownBy(QMargins(Geometry::s(16), Geometry::s(10), Geometry::s(16), Geometry::s(10)))
            .expandedTo(QSize(Geometry::s(Geometry::Notice.width()), Geometry::s(Geometry::Notice.height())));
    m_buttonPicture->resize(box);
    m_buttonLabel->move((box.width() - m_buttonLabel->width()) / 2, (box.height() - m_buttonLabel->height()) / 2);
    m_buttonPicture->move((width() - box.width()) / 2, (height() - box.height()) / 2);
    m_buttonPicture->raise();
    m_buttonPicture->show();
    m_noticeTicks = 3 * seconds;
}

QString MainWindow::noticeText() const
{
    return m_buttonLabel->text();
}

bool MainWindow::noticeVisible() const
{
    return !m_buttonPicture->isHidden();
}
