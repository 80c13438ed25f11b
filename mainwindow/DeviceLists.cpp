#include "mainwindow/DeviceLists.h"

#include "app/MonitorCore.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/NetworkHeader.h"
#include "mainwindow/Theme.h"
#include "store/DeviceStore.h"

#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>

using namespace Geometry;

namespace {

// The header's place: centred in the band between the top bar and the lists' titles.
constexpr QRect HeaderPlace {277, 66, 352, 20};

bool byRow(const QModelIndex& a, const QModelIndex& b)
{
    return a.row() < b.row();
}

// The watched network the monitor saw last, by its devices' last sightings: where the lists stand while the
// monitor is away, even after a start far from home.
QString lastWatchedOf(const DeviceStore& devices, const NetworkBook& book)
{
    QString last;
    QDateTime latest;
    for (const DeviceRecord& d : devices) {
        const QDateTime seen = d.LastSeen.isValid() ? d.LastSeen : d.LastOnline;
        if (!d.Network.isEmpty() && book.watched(d.Network) && (last.isEmpty() || seen > latest)) {
            last = d.Network;
            latest = seen;
        }
    }
    if (last.isEmpty()) {
        for (const NetworkBook::Network& n : book.all()) {
            if (n.watch == NetworkBook::Watch::Watched)
                return n.id;
        }
    }
    return last;
}

} // namespace

DeviceLists::DeviceLists(MonitorCore& core, const SkinPictures& pictures, QWidget* window)
    : QObject(window)
    , m_core(core)
{
    m_model = new DeviceListModel(
        core.devices(), [&core](const QString& mac) { return core.vendorName(mac); }, this);
    m_header = new NetworkHeader(window);
    for (int i = 0; i < 2; ++i) {
        const bool intruder = i == 0;
        auto* rows = new DeviceListFilter(*m_model, intruder, this);
        m_filters[size_t(i)] = rows;
        auto* box = new QLineEdit(window);
        box->setObjectName(intruder ? QStringLiteral("filterIntrudersEdit") : QStringLiteral("filterSafeEdit"));
        box->setPlaceholderText(QStringLiteral("Filter: name, MAC, address, vendor"));
        box->setToolTip(QStringLiteral("Shows only the devices whose name, MAC address, IP address or vendor "
                                       "contains this text"));
        box->setAccessibleName(intruder ? QStringLiteral("Filter intruders") : QStringLiteral("Filter safe devices"));
        box->setClearButtonEnabled(true);
        box->setFont(Theme::font(10));
        box->setMaxLength(64);
        m_filterBoxes[size_t(i)] = box;
        auto* list = new DeviceListView(pictures, *rows, window);
        list->setObjectName(intruder ? QStringLiteral("intruderList") : QStringLiteral("safeList"));
        list->setAccessibleName(intruder ? QStringLiteral("Intruders") : QStringLiteral("Safe devices"));
        list->setEmptyText(intruder ? QStringLiteral("No intruders") : QStringLiteral("No safe devices"),
            intruder ? QStringLiteral("New devices on the network appear here.")
                     : QStringLiteral("Move the devices you trust here."));
        auto* bar = new QScrollBar(Qt::Vertical, window);
        bar->setObjectName(intruder ? QStringLiteral("scrlI") : QStringLiteral("scrlA"));
        bar->setRange(0, 0);
        list->setScrollBar(bar);
        m_views[size_t(i)] = list;
        m_scroll[size_t(i)] = bar;
        auto* count = new QLabel(window);
        count->setGeometry(s(intruder ? IntruderCount : AllowedCount));
        count->setFont(Theme::font(11));
        count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        count->setTextFormat(Qt::PlainText);
        count->setStyleSheet(QStringLiteral("color: #9DB1C8; background: transparent;"));
        m_counts[size_t(i)] = count;

        for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(rows, signal, this, &DeviceLists::listsChanged);
        connect(rows, &QAbstractItemModel::modelReset, this, &DeviceLists::listsChanged);
        connect(rows, &QAbstractItemModel::layoutChanged, this, &DeviceLists::listsChanged);
        connect(box, &QLineEdit::textChanged, rows, &DeviceListFilter::setText);
        connect(list, &DeviceListView::keyCommand, this, [this, i](int key) { Q_EMIT keyCommand(i, key); });
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, i] { selectionMoved(i); });
        connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this, [this, i] { selectionMoved(i); });
        connect(list, &DeviceListView::rowRightReleased, this,
            [this, i](int row, const QPoint& at) { Q_EMIT rowRightReleased(i, row, at); });
        if (intruder)
            connect(list, &DeviceListView::ackClicked, this, &DeviceLists::ackClicked);
    }
    connect(m_header, &NetworkHeader::shownChanged, this, &DeviceLists::applyNetworks);
}

DeviceLists::~DeviceLists() = default;

int DeviceLists::rowCount(int list) const
{
    return m_filters[size_t(list)]->rowCount();
}

void DeviceLists::layout(int top, int bottom)
{
    // On a small screen at a large scale the box keeps the least height its words need, growing upwards.
    QRect header = s(HeaderPlace);
    header.setTop(header.bottom() + 1 - qMax(header.height(), m_header->choiceBox()->minimumSizeHint().height()));
    m_header->setGeometry(header);
    // Each list has its filter box on top.
    const int boxHeight = qMax(s(24), m_filterBoxes[0]->sizeHint().height());
    const int listTop = top + boxHeight + s(4);
    const int listHeight = qMax(s(2 * ScrollRow), bottom - listTop);
    for (int i = 0; i < 2; ++i) {
        const bool intruder = i == 0;
        const int left = px(intruder ? IntruderLeft : AllowedLeft);
        m_views[size_t(i)]->move(left, listTop);
        m_views[size_t(i)]->setViewportHeight(twips(listHeight));
        const QRect bar = intruder ? IntruderScroll : AllowedScroll;
        m_scroll[size_t(i)]->setGeometry(s(bar.x()), listTop, s(bar.width()), listHeight);
        m_filterBoxes[size_t(i)]->setGeometry(left, top, m_views[size_t(i)]->width(), boxHeight);
    }
}

void DeviceLists::reload()
{
    m_model->reload();
    NetworkBook book;
    book.load();
    if (m_lastWatched.isEmpty() || !book.watched(m_lastWatched))
        m_lastWatched = lastWatchedOf(m_core.devices(), book);
    // Until a sweep says where it is, the monitor is taken to be where it was last: not out of sight at start.
    QStringList where = m_inView.value_or(QStringList());
    if (!m_inView && !m_lastWatched.isEmpty())
        where = {m_lastWatched};
    m_header->update(book.all(), where, m_lastWatched);
    applyNetworks();
}

void DeviceLists::networksSeen(const QStringList& inView)
{
    m_inView = inView;
    NetworkBook book;
    book.load();
    for (const QString& id : inView) {
        if (book.watched(id)) {
            m_lastWatched = id;
            break;
        }
    }
    if (m_lastWatched.isEmpty() || !book.watched(m_lastWatched))
        m_lastWatched = lastWatchedOf(m_core.devices(), book);
    m_header->update(book.all(), inView, m_lastWatched);
}

void DeviceLists::applyNetworks()
{
    for (DeviceListFilter* rows : m_filters)
        rows->setNetworks(m_header->shown().networks);
}

void DeviceLists::updateCounts()
{
    const auto text = [](qint32 shown, const DeviceListFilter& rows) {
        const QString devices = shown == 1 ? QStringLiteral("1 device") : QStringLiteral("%1 devices").arg(shown);
        return rows.text().isEmpty() ? devices : devices + QStringLiteral(" match");
    };
    for (int i = 0; i < 2; ++i)
        m_counts[size_t(i)]->setText(text(rowCount(i), *m_filters[size_t(i)]));
}

void DeviceLists::selectionMoved(int list)
{
    const bool holds = m_views[size_t(list)]->selectionModel()->hasSelection();
    if (holds) {
        // The other list lets go: one list holds the selection.
        m_selectionInAllowed = list == 1;
        m_views[size_t(1 - list)]->clearSelection();
    }
    Q_EMIT selectionChanged(list, holds);
}

QString DeviceLists::selectedMac() const
{
    const QItemSelectionModel* selection = m_views[m_selectionInAllowed ? 1 : 0]->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isSelected(current))
        return current.data(DeviceListModel::MacRole).toString();
    const QModelIndexList rows = selection->selectedRows();
    if (rows.isEmpty())
        return {};
    return std::min_element(rows.cbegin(), rows.cend(), byRow)->data(DeviceListModel::MacRole).toString();
}

QStringList DeviceLists::selectedMacs() const
{
    QModelIndexList rows = m_views[m_selectionInAllowed ? 1 : 0]->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), byRow);
    QStringList macs;
    for (const QModelIndex& at : rows)
        macs << at.data(DeviceListModel::MacRole).toString();
    return macs;
}

const DeviceRecord* DeviceLists::selectedDevice() const
{
    const QString mac = selectedMac();
    return mac.isEmpty() ? nullptr : m_core.devices().find(mac);
}

int DeviceLists::selectedRow() const
{
    const QString mac = selectedMac();
    return mac.isEmpty() ? -1 : m_filters[m_selectionInAllowed ? 1 : 0]->rowOfMac(mac);
}

int DeviceLists::selectMacs(const QStringList& macs)
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
    m_views[size_t(1 - list)]->clearSelection();
    QItemSelectionModel* selection = m_views[size_t(list)]->selectionModel();
    selection->select(chosen, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    return int(chosen.indexes().size());
}

void DeviceLists::selectRow(bool inAllowed, int row)
{
    DeviceListView* list = m_views[inAllowed ? 1 : 0];
    const QModelIndex at = list->rows().index(row, 0);
    if (!at.isValid())
        return;
    m_selectionInAllowed = inAllowed;
    m_views[inAllowed ? 0 : 1]->clearSelection();
    list->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void DeviceLists::clearSelection()
{
    for (DeviceListView* list : m_views)
        list->clearSelection();
}

void DeviceLists::noteShown(const QString& mac)
{
    if (!mac.isEmpty())
        m_chosenMac = mac;
}

bool DeviceLists::passSelectionOn()
{
    // Only a filter that hid the shown device passes the selection on; a device that moved to the other list,
    // or left, is the device event's to follow.
    const DeviceRecord* chosen = m_core.devices().find(m_chosenMac);
    if (!selectedMac().isEmpty() || !chosen)
        return false;
    const int own = chosen->Intruder ? 0 : 1;
    if (m_filters[size_t(own)]->rowOfMac(m_chosenMac) >= 0)
        return false;
    const int list = m_selectionInAllowed ? 1 : 0;
    if (rowCount(list) > 0)
        selectRow(list == 1, 0);
    else if (rowCount(1 - list) > 0)
        selectRow(list == 0, 0);
    else
        return false;
    return true;
}

void DeviceLists::scrollToSelection()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    DeviceListView* list = m_views[m_selectionInAllowed ? 1 : 0];
    list->scrollTo(list->rows().index(row, 0));
}

void DeviceLists::reveal(const QString& mac)
{
    const DeviceRecord* device = m_core.devices().find(mac);
    if (!device)
        return;
    const int list = device->Intruder ? 0 : 1;
    m_filterBoxes[size_t(list)]->clear();
    if (m_filters[size_t(list)]->rowOfMac(mac) >= 0)
        return;
    m_header->choose({});
    if (m_filters[size_t(list)]->rowOfMac(mac) < 0)
        m_header->choose(NetworkHeader::AllNetworks);
}
