#include "mainwindow/DeviceListModel.h"

#include "store/DeviceTable.h"

DeviceListModel::DeviceListModel(const DeviceTable& devices, VendorLookup vendor, QObject* parent)
    : QAbstractListModel(parent)
    , m_devices(devices)
    , m_vendor(std::move(vendor))
{
    reload();
}

int DeviceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

QString DeviceListModel::shownMac(const QString& mac)
{
    return QString(mac).replace(QLatin1Char('-'), QLatin1Char(':'));
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    if (!index.isValid() || row >= m_count || !m_devices.isValid(row))
        return {};
    const DeviceRecord& d = m_devices[row];
    switch (role) {
    case NameRole:
        return d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
    case AddressRole:
        return QString(QStringLiteral("IP - ") + d.IpAddress.trimmed());
    case MacRole:
        return d.MacAddress;
    case SlotRole:
        return row;
    case IntruderRole:
        return d.Intruder;
    case NewRole:
        return d.NewDevice;
    case OnlineRole:
        return d.isOnline();
    case FilterRole: {
        const QChar sep = QLatin1Char('\n');
        return QString(d.FriendlyName + sep + d.HostName + sep + d.MacAddress + sep + shownMac(d.MacAddress) + sep
            + d.IpAddress.trimmed() + sep + (m_vendor ? m_vendor(d.MacAddress) : QString()) + sep
            + (d.Type == DeviceType::Unknown ? QString() : DeviceKind::typeWord(d.Type)) + sep + d.Model + sep + d.Os);
    }
    case TypeRole:
        return int(d.Type);
    default:
        return {};
    }
}

void DeviceListModel::reload()
{
    beginResetModel();
    m_count = m_devices.DeviceCount;
    // Table order on a load: the first slot ranks highest; everything that happens later ranks above it.
    m_rank.resize(m_count);
    for (int s = 0; s < m_count; ++s)
        m_rank[s] = -s;
    endResetModel();
}

void DeviceListModel::changed(int row)
{
    if (row >= 0 && row < m_count)
        Q_EMIT dataChanged(index(row), index(row));
}

void DeviceListModel::deviceEvent(const DeviceEvent& event)
{
    using K = DeviceEvent::Kind;
    // Admission appends its slot; so does a device another process stored (an import), announced as Moved.
    const auto takeAppended = [this] {
        if (m_devices.DeviceCount <= m_count)
            return false;
        beginInsertRows({}, m_count, m_devices.DeviceCount - 1);
        while (m_count < m_devices.DeviceCount) {
            m_rank.append(++m_nextRank);
            ++m_count;
        }
        endInsertRows();
        return true;
    };
    switch (event.kind) {
    case K::Admitted:
        if (!takeAppended())
            changed(event.index);
        break;
    case K::Removed:
        if (event.index >= 0 && event.index < m_count && m_devices.DeviceCount == m_count - 1) {
            beginRemoveRows({}, event.index, event.index);
            m_rank.remove(event.index);
            --m_count;
            endRemoveRows();
        } else {
            reload();
        }
        break;
    case K::Acknowledged:
    case K::Moved:
        if (!takeAppended() && event.index >= 0 && event.index < m_count)
            m_rank[event.index] = ++m_nextRank;
        changed(event.index);
        break;
    default:
        changed(event.index);
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
    if (slot < 0 || slot >= m_devices.rowCount())
        return -1;
    return mapFromSource(m_devices.index(slot)).row();
}

qint32 DeviceListFilter::slotAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    return mapToSource(index(row, 0)).row();
}

QString DeviceListFilter::macAt(int row) const
{
    return row >= 0 && row < rowCount() ? index(row, 0).data(DeviceListModel::MacRole).toString() : QString();
}
