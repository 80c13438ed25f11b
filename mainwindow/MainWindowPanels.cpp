// The details, log and probe panels: which one is open, the details grid, the log grid and the probe's target.
#include "mainwindow/MainWindow.h"
#include "mainwindow/NoteBox.h"
#include "mainwindow/WatchMenu.h"

#include "mainwindow/DeviceListModel.h"

#include "mainwindow/Theme.h"
#include "mainwindow/TimelineStrip.h"
#include "mainwindow/TypeIcons.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "engine/DiscoveryEngine.h"
#include "logging/DeviceLog.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/PlainText.h"
#include "store/DeviceDescription.h"
#include "store/TextForms.h"
#include "vendor/MacVendors.h"

#include <QFontMetrics>
#include <QHostAddress>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTableWidget>
#include <algorithm>

namespace {

const QColor kShadeDark(0x1A, 0x27, 0x39);
const QColor kShadeLight(0x14, 0x20, 0x30);
constexpr int kLogGridRows = 100; // header included
constexpr int kFriendlyNameRow = 4;
constexpr int kIpv6Shown = 4; // lines of IPv6 addresses; the grid has to leave room for the hint below it

const char* const kDetailTitles[] = {"First Seen on", "Last Online", "Last Offline", "State", "Friendly Name",
    "Host Name", "Classification", "IP Address", "MAC Address", "Manufacturer"};

// The IPv6 addresses' cell: one a line, the overflow counted on the last line.
QString ipv6Lines(const QStringList& addresses)
{
    if (addresses.isEmpty())
        return QStringLiteral("None seen");
    if (addresses.size() <= kIpv6Shown)
        return addresses.join(QLatin1Char('\n'));
    return QStringList(addresses.mid(0, kIpv6Shown - 1)).join(QLatin1Char('\n'))
        + QStringLiteral("\nand %1 more").arg(addresses.size() - (kIpv6Shown - 1));
}

void setCell(QTableWidget* grid, int row, int column, const QString& text, const QColor& shade = QColor())
{
    auto* item = new QTableWidgetItem(text);
    item->setToolTip(PlainText::toolTip(text));
    if (shade.isValid())
        item->setBackground(shade);
    grid->setItem(row, column, item);
}

} // namespace

void MainWindow::detailsButtonClicked()
{
    panelButtonClick(DetailsPanel);
}

void MainWindow::logButtonClicked()
{
    panelButtonClick(LogPanel);
}

void MainWindow::probeButtonClicked()
{
    panelButtonClick(ProbePanelState);
}

void MainWindow::panelButtonClick(int panel)
{
    m_panelStage->toggle(panel);
    wakePanelTimer();
}

QString MainWindow::dateRendering(const QDateTime& when, const QString& neverText)
{
    if (when == TextForms::NeverDate())
        return neverText;
    const QLocale locale;
    return locale.toString(when.date(), QLocale::LongFormat) + QStringLiteral(" at ")
        + locale.toString(when.time(), QLocale::LongFormat);
}

void MainWindow::Display_Details()
{
    const DeviceRecord* device = selectedDevice();
    auto* strip = m_sheets[DetailsPanel]->findChild<TimelineStrip*>();
    strip->setSource(m_core.presence());
    strip->setDevice(device ? device->MacAddress : QString(), device && device->Intruder);
    auto* note = m_fgDetails->viewport()->findChild<NoteBox*>();
    if (!note) {
        note = new NoteBox(m_fgDetails->viewport());
        connect(note, &NoteBox::noteEdited, this, [this](const QString& mac, const QString& text) {
            const OriginScope origin(m_core.actions(), DeviceEvent::Origin::Window);
            m_core.actions().setNote(mac, text);
        });
        // Tab goes from the name to the note, as the rows do.
        setTabOrder(m_friendlyNameEdit, note);
    }
    if (!device) {
        note->clearDevice();
        m_fgDetails->setRowCount(0);
        m_friendlyNameEdit->hide();
        m_friendlyNameEdit->clear();
        m_selectedDetailsLabel->clear();
        m_nameBoxMac.clear();
        return;
    }
    const DeviceRecord& d = *device;
    m_fgDetails->setUpdatesEnabled(false);
    struct Row
    {
        QString title;
        QString value;
        int lines;
    };
    QList<Row> rows;
    const QString values[] = {
        dateRendering(d.FirstSeen),
        dateRendering(d.LastOnline),
        dateRendering(d.LastOffline, QStringLiteral("Never seen offline")),
        d.isOnline() ? QStringLiteral("Online") : QStringLiteral("Offline"),
        d.FriendlyName,
        d.HostName,
        SelectionInAllowed() ? QStringLiteral("Safe List") : QStringLiteral("Intruder"),
        d.IpAddress,
        DeviceListModel::shownMac(d.MacAddress),
        m_core.vendorName(d.MacAddress),
    };
    for (int r = 0; r < 10; ++r) {
        // The three dates take two lines each.
        rows.append({QLatin1String(kDetailTitles[r]), values[r], r < 3 ? 2 : 1});
    }
    // The user's own note, after the recorded facts; NoteBox edits it in place.
    const int noteRow = int(rows.size());
    rows.append({NoteBox::RowTitle, d.Note, 1});
    // What the device is, each value with where it came from.
    const auto fact = [](const QString& value, FactSource source) {
        return value.isEmpty()
            ? QStringLiteral("Not known")
            : value + QStringLiteral(" (") + DeviceDescription::sourceText(source) + QLatin1Char(')');
    };
    const int typeRow = int(rows.size());
    rows.append({QStringLiteral("Type"), fact(DeviceDescription::typeText(d.Type), d.TypeSource), 1});
    rows.append({QStringLiteral("Model"), fact(d.Model, d.ModelSource), 1});
    rows.append({QStringLiteral("OS"), fact(d.Os, d.OsSource), 1});
    if (!d.MdnsName.isEmpty())
        rows.append({QStringLiteral("mDNS Name"), d.MdnsName, 1});
    const QString likely = DeviceDescription::likelyText(m_core.devices(), d);
    if (!likely.isEmpty())
        rows.append({QStringLiteral("Likely"), likely.mid(2, 1).toUpper() + likely.mid(3), 2});
    if (!d.FormerMacs.isEmpty()) {
        QStringList shown;
        for (const QString& mac : d.FormerMacs)
            shown.append(DeviceListModel::shownMac(mac));
        rows.append({QStringLiteral("Former MACs"), ipv6Lines(shown), std::clamp(int(shown.size()), 1, kIpv6Shown)});
    }
    if (MacVendors::isPrivateMac(d.MacAddress))
        rows.append(
            {QStringLiteral("Private MAC"), QStringLiteral("This device may return under another address."), 2});
    const int ipv6Row = int(rows.size());
    rows.append({QStringLiteral("IPv6 Addresses"), ipv6Lines(d.Ipv6Addresses),
        std::clamp(int(d.Ipv6Addresses.size()), 1, kIpv6Shown)});
    rows.append({WatchMenu::RowTitle, WatchMenu::caption(d.Watch), 1});

    m_fgDetails->setRowCount(int(rows.size()));
    const QFontMetrics cellMetrics(m_fgDetails->font());
    for (int r = 0; r < rows.size(); ++r) {
        const QColor shade = r % 2 == 0 ? kShadeDark : kShadeLight;
        setCell(m_fgDetails, r, 0, rows[r].title, shade);
        setCell(m_fgDetails, r, 1, rows[r].value, shade);
        m_fgDetails->item(r, 0)->setForeground(Theme::TextLow);
        // A value wider than its column (a long manufacturer or host name) wraps onto a second or third line.
        const QRect room(0, 0, m_fgDetails->columnWidth(1) - 8, 1000);
        const int wrapped = cellMetrics.boundingRect(room, Qt::TextWordWrap, rows[r].value).height()
            / qMax(1, cellMetrics.lineSpacing());
        // The note is edited on one line, however long it is.
        m_fgDetails->setRowHeight(r, gridRowHeight(r == noteRow ? 1 : std::max(rows[r].lines, std::min(wrapped, 3))));
    }
    m_fgDetails->item(typeRow, 1)
        ->setIcon(QIcon(TypeIcons::pixmap(d.Type, m_fgDetails->devicePixelRatioF(), Theme::SheetTextLow)));
    // Long or many IPv6 addresses do not fit their cell; its tip holds them all.
    if (!d.Ipv6Addresses.isEmpty())
        m_fgDetails->item(ipv6Row, 1)->setToolTip(PlainText::toolTip(d.Ipv6Addresses.join(QLatin1Char('\n'))));
    // The grid is as tall as its rows, and the hint below follows it where there is room.
    layoutSheets();
    // The friendly-name box sits over its value cell; it keeps the caret while the user types.
    m_friendlyNameEdit->setGeometry(
        m_fgDetails->visualItemRect(m_fgDetails->item(kFriendlyNameRow, 1)).adjusted(1, 1, -1, -1));
    // While the user types this device's name the box is theirs: a refresh between two keys (an event, a look
    // at the store) never puts the stored name back over what is being typed.
    const bool typing = m_friendlyNameEdit->hasFocus() && m_nameBoxMac == d.MacAddress;
    if (!typing && m_friendlyNameEdit->text() != d.FriendlyName)
        m_friendlyNameEdit->setText(d.FriendlyName);
    if (!typing)
        m_nameBoxMac = d.MacAddress;
    m_friendlyNameEdit->show();
    note->setGeometry(m_fgDetails->visualItemRect(m_fgDetails->item(noteRow, 1)).adjusted(1, 1, -1, -1));
    note->showDevice(d.MacAddress, d.Note);
    const QString name = d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
    // A long name gives way (elided) so that the address always shows; the whole caption is the tip.
    const QString address = QStringLiteral(" (") + d.IpAddress.trimmed() + QStringLiteral(")");
    const QFontMetrics metrics = m_selectedDetailsLabel->fontMetrics();
    const int room = m_selectedDetailsLabel->contentsRect().width() - metrics.horizontalAdvance(address) - 2;
    m_selectedDetailsLabel->setText(metrics.elidedText(name, Qt::ElideRight, qMax(0, room)) + address);
    m_selectedDetailsLabel->setToolTip(PlainText::toolTip(name + address));
    m_fgDetails->setUpdatesEnabled(true);
}

void MainWindow::addLogRow(const QString& line, const QColor& shade)
{
    const int row = m_fgLog->rowCount();
    m_fgLog->insertRow(row);
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    setCell(m_fgLog, row, 0, tab < 0 ? line : line.left(tab), shade);
    setCell(m_fgLog, row, 1, tab < 0 ? QString() : DeviceLog::readable(line.mid(tab + 1)), shade);
    m_fgLog->setRowHeight(row, gridRowHeight(1));
}

void MainWindow::Display_Log()
{
    m_fgLog->setUpdatesEnabled(false);
    m_fgLog->setRowCount(0);
    if (selectedDevice()) {
        const QStringList lines = m_core.deviceLog().history(selectedMac()).split(QStringLiteral("\r\n"));
        // The text ends with CR LF: the last piece is empty.
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            addLogRow(lines[i], i % 2 == 0 ? kShadeDark : kShadeLight);
        m_fgLog->scrollToBottom();
    }
    m_fgLog->setUpdatesEnabled(true);
}

// The grid step of AddLogEntry: the selected device's new entry becomes the grid's last row.
void MainWindow::logGridAppend(const QString& mac, const QString& text)
{
    if (mac.isEmpty() || mac != selectedMac())
        return;
    const int previous = m_fgLog->rowCount();
    QColor above;
    if (previous > 0 && m_fgLog->item(previous - 1, 0))
        above = m_fgLog->item(previous - 1, 0)->background().color();
    addLogRow(text, above == kShadeDark ? kShadeLight : kShadeDark);
    // A blank first row is what an empty grid carried.
    const auto blank = [this](int r) {
        return (!m_fgLog->item(r, 0) || m_fgLog->item(r, 0)->text().isEmpty())
            && (!m_fgLog->item(r, 1) || m_fgLog->item(r, 1)->text().isEmpty());
    };
    if (m_fgLog->rowCount() > 1 && blank(0))
        m_fgLog->removeRow(0);
    // Never more than 100 rows, the header included.
    while (m_fgLog->rowCount() + 1 > kLogGridRows)
        m_fgLog->removeRow(0);
    m_fgLog->scrollToBottom();
}

bool MainWindow::isLocalAddress(const QString& ip) const
{
    const DiscoveryEngine* engine = m_core.engine();
    bool ok = false;
    const quint32 address = QHostAddress(ip.trimmed()).toIPv4Address(&ok);
    if (!engine || !ok)
        return false;
    const QList<ScanRange>& ranges = engine->ranges();
    return std::any_of(ranges.cbegin(), ranges.cend(), [address](const ScanRange& r) { return r.contains(address); });
}

void MainWindow::refreshProbe()
{
    const DeviceRecord* device = selectedDevice();
    if (!device) {
        m_probe->setTarget(std::nullopt);
        return;
    }
    const DeviceRecord& d = *device;
    ProbePanel::Target t;
    t.name = d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
    t.ip = d.IpAddress.trimmed();
    t.mac = DeviceListModel::shownMac(d.MacAddress);
    t.vendor = m_core.vendorName(d.MacAddress);
    t.firstSeen = dateRendering(d.FirstSeen);
    t.lastSeen = dateRendering(d.LastSeen, QStringLiteral("Never seen online"));
    t.online = d.isOnline();
    t.local = isLocalAddress(t.ip);
    m_probe->setLocalCheck([this](const QString& ip) { return isLocalAddress(ip); });
    m_probe->setTarget(t);
}
