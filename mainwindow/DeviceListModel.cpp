#include "mainwindow/DeviceListModel.h"

#include "store/DeviceStore.h"

DeviceListModel::DeviceListModel(const DeviceStore& devices, VendorLookup vendor, QObject* parent)
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

QVariant DeviceListModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    const DeviceRecord* found = index.isValid() && row < m_macs.size() ? m_devices.find(m_macs.at(row)) : nullptr;
    if (!found)
        return {};
    const DeviceRecord& d = *found;
    switch (role) {
    case NameRole:
        return d.FriendlyName.isEmpty() ? d.HostName : d.FriendlyName;
    case AddressRole:
        return QString(QStringLiteral("IP - ") + d.IpAddress.trimmed());
    case MacRole:
        return d.MacAddress;
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
    case NetworkRole:
        return d.Network;
    default:
        return {};
    }
}

void DeviceListModel::reload()
{
    beginResetModel();
    m_macs.clear();
    for (const DeviceRecord& d : m_devices)
        m_macs.append(d.MacAddress);
    // The store's order on a load: the first device ranks highest; everything that happens later ranks above it.
    m_rank.resize(m_macs.size());
    for (int s = 0; s < m_macs.size(); ++s)
        m_rank[s] = -s;
    indexRows();
    endResetModel();
}

void DeviceListModel::indexRows()
{
    m_rowOf.clear();
    for (int row = 0; row < m_macs.size(); ++row)
        m_rowOf.insert(m_macs.at(row), row);
}

void DeviceListModel::changed(const QString& mac)
{
    const int row = rowOf(mac);
    if (row >= 0)
        Q_EMIT dataChanged(index(row), index(row));
}

void DeviceListModel::deviceEvent(const DeviceEvent& event)
{
    using K = DeviceEvent::Kind;
    // Admission adds a row; so does a device another process stored (an import), announced as Moved.
    const auto takeAppended = [this](const QString& mac) {
        if (rowOf(mac) >= 0 || !m_devices.contains(mac))
            return false;
        const int row = int(m_macs.size());
        beginInsertRows({}, row, row);
        m_macs.append(mac);
        m_rowOf.insert(mac, row);
        m_rank.append(++m_nextRank);
        endInsertRows();
        return true;
    };
    switch (event.kind) {
    case K::Admitted:
        if (!takeAppended(event.mac))
            changed(event.mac);
        break;
    case K::Removed:
        if (const int row = rowOf(event.mac); row >= 0) {
            beginRemoveRows({}, row, row);
            m_macs.removeAt(row);
            m_rank.remove(row);
            indexRows(); // the later rows moved up
            endRemoveRows();
        }
        break;
    case K::Acknowledged:
    case K::Moved:
        if (!takeAppended(event.mac)) {
            if (const int row = rowOf(event.mac); row >= 0)
                m_rank[row] = ++m_nextRank;
        }
        changed(event.mac);
        break;
    default:
        changed(event.mac);
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

void DeviceListFilter::setNetworks(const std::optional<QSet<QString>>& networks)
{
    if (networks == m_networks)
        return;
    m_networks = networks;
    invalidateFilter();
}

bool DeviceListFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    const QModelIndex at = m_devices.index(sourceRow);
    if (at.data(DeviceListModel::IntruderRole).toBool() != m_intruders)
        return false;
    if (m_networks) {
        const QString network = at.data(DeviceListModel::NetworkRole).toString();
        if (!network.isEmpty() && !m_networks->contains(network))
            return false;
    }
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

int DeviceListFilter::rowOfMac(const QString& mac) const
{
    const int source = m_devices.rowOfMac(mac);
    return source < 0 ? -1 : mapFromSource(m_devices.index(source)).row();
}

QString DeviceListFilter::macAt(int row) const
{
    return row >= 0 && row < rowCount() ? index(row, 0).data(DeviceListModel::MacRole).toString() : QString();
}
