#include "mainwindow/DeviceListModel.h"

#include "store/DeviceTable.h"

#include <utility>

DeviceListModel::DeviceListModel(const DeviceTable& devices, VendorLookup vendor, QObject* parent)
    : QAbstractListModel(parent)
    , m_devices(devices)
    , m_vendor(std::move(vendor))
{
    reload();
}

int DeviceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_macs.size());
}

QString DeviceListModel::shownMac(const QString& mac)
{
    return QString(mac).replace(QLatin1Char('-'), QLatin1Char(':'));
}

qint32 DeviceListModel::slotOf(int row) const
{
    return row >= 0 && row < m_macs.size() ? m_devices.indexOfMac(m_macs[row]) : -1;
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const
{
    const qint32 slot = index.isValid() ? slotOf(index.row()) : -1;
    if (slot < 0)
        return role == MacRole && index.isValid() && index.row() < m_macs.size() ? QVariant(m_macs[index.row()])
                                                                                 : QVariant();
    const DeviceRecord& d = m_devices[slot];
    switch (role) {
    case NameRole:
        return d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
    case AddressRole:
        return QString(QStringLiteral("IP - ") + d.IpAddress.trimmed());
    case MacRole:
        return d.MacAddress;
    case SlotRole:
        return slot;
    case IntruderRole:
        return d.Intruder;
    case NewRole:
        return d.NewDevice;
    case OnlineRole:
        return d.isOnline();
    case FilterRole: {
        const QChar sep = QLatin1Char('\n');
        return QString(d.FriendlyName + sep + d.HostName + sep + d.MacAddress + sep + shownMac(d.MacAddress) + sep
            + d.IpAddress.trimmed() + sep + (m_vendor ? m_vendor(d.MacAddress) : QString()));
    }
    default:
        return {};
    }
}

void DeviceListModel::reload()
{
    beginResetModel();
    m_macs.clear();
    m_rank.clear();
    // Table order on a load: the first slot ranks highest; everything that happens later ranks above it.
    for (qint32 s = 0; s < m_devices.DeviceCount; ++s) {
        m_macs.append(m_devices[s].MacAddress);
        m_rank.append(-s);
    }
    endResetModel();
}

void DeviceListModel::changed(int row)
{
    if (row >= 0 && row < m_macs.size())
        Q_EMIT dataChanged(index(row), index(row));
}

void DeviceListModel::deviceEvent(const DeviceEvent& event)
{
    using K = DeviceEvent::Kind;
    // The table's devices the model lacks join at the end: an admission, or a device another process stored
    // (an import), announced as Moved.
    const auto takeAppended = [this] {
        // Admission appends to the table, so the newcomers are its last slots.
        QStringList fresh;
        for (qint32 s = qMax(0, int(m_macs.size()) - 1); s < m_devices.DeviceCount; ++s) {
            const QString& mac = m_devices[s].MacAddress;
            if (rowOfMac(mac) < 0 && !fresh.contains(mac))
                fresh.append(mac);
        }
        if (fresh.isEmpty())
            return false;
        beginInsertRows({}, int(m_macs.size()), int(m_macs.size() + fresh.size() - 1));
        for (const QString& mac : std::as_const(fresh)) {
            m_macs.append(mac);
            m_rank.append(++m_nextRank);
        }
        endInsertRows();
        return true;
    };
    const int row = rowOfMac(event.mac);
    switch (event.kind) {
    case K::Admitted:
        if (!takeAppended())
            changed(row);
        break;
    case K::Removed:
        if (row >= 0 && m_devices.indexOfMac(event.mac) < 0) {
            beginRemoveRows({}, row, row);
            m_macs.removeAt(row);
            m_rank.remove(row);
            endRemoveRows();
        }
        if (m_macs.size() != m_devices.DeviceCount)
            reload();
        break;
    case K::Acknowledged:
    case K::Moved:
        if (!takeAppended() && row >= 0)
            m_rank[row] = ++m_nextRank;
        changed(row);
        break;
    default:
        changed(row);
        break;
    }
}

DeviceListFilter::DeviceListFilter(DeviceListModel& devices, bool intruders, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_devices(devices)
    , m_intruders(intruders)
{
    setSourceModel(&devices);
    setDynamicSortFilter(true);
    sort(0);
}

void DeviceListFilter::setText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == m_text)
        return;
    m_text = trimmed;
    invalidateFilter();
}

bool DeviceListFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    const QModelIndex at = m_devices.index(sourceRow);
    if (at.data(DeviceListModel::IntruderRole).toBool() != m_intruders)
        return false;
    return m_text.isEmpty() || at.data(DeviceListModel::FilterRole).toString().contains(m_text, Qt::CaseInsensitive);
}

bool DeviceListFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    // "Less" stands higher: new intruders above acknowledged ones, then the higher rank.
    if (m_intruders) {
        const bool newLeft = left.data(DeviceListModel::NewRole).toBool();
        const bool newRight = right.data(DeviceListModel::NewRole).toBool();
        if (newLeft != newRight)
            return newLeft;
    }
    return m_devices.rank(left.row()) > m_devices.rank(right.row());
}

int DeviceListFilter::rowOfSlot(qint32 slot) const
{
    const DeviceTable& table = m_devices.table();
    if (!table.isValid(slot))
        return -1;
    const int source = m_devices.rowOfMac(table[slot].MacAddress);
    return source < 0 ? -1 : mapFromSource(m_devices.index(source)).row();
}

qint32 DeviceListFilter::slotAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    const QVariant slot = index(row, 0).data(DeviceListModel::SlotRole);
    return slot.isValid() ? slot.toInt() : -1;
}

QString DeviceListFilter::macAt(int row) const
{
    return row >= 0 && row < rowCount() ? index(row, 0).data(DeviceListModel::MacRole).toString() : QString();
}
