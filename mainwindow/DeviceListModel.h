#pragma once

#include "store/DeviceEvent.h"

#include <QAbstractListModel>
#include <QHash>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

class DeviceStore;

// The devices of the store as a list model, one row per device in the store's order (rows are the model's
// own; a device is known by its MAC). The two lists (intruders, safe) are filtered,
// ordered views of it (DeviceListFilter). The model follows the engine's and the actions' device events: a new
// device adds a row, a removal closes one, every other event redraws its row, and an acknowledgement or a move
// puts the device at the top of its group.
class DeviceListModel final : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceListModel)

public:
    enum Role {
        NameRole = Qt::DisplayRole, // the friendly name, else the host name
        AddressRole = Qt::UserRole + 1, // the row's second line
        MacRole, // as stored (dashes)
        IntruderRole,
        NewRole, // not yet acknowledged
        OnlineRole, // DeviceRecord::isOnline
        FilterRole, // what the filter box searches: names, MAC (either form), address, vendor, type, model, os
        TypeRole, // DeviceType as an int
        NetworkRole, // the network it was admitted on; empty in a store older than networks
    };

    using VendorLookup = std::function<QString(const QString& mac)>;
    DeviceListModel(const DeviceStore& devices, VendorLookup vendor, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The whole store again, in its order (a start or a stop).
    void reload();
    void deviceEvent(const DeviceEvent& event);
    // Later arrivals (admitted, acknowledged, moved) rank higher and stand higher in their list.
    qint64 rank(int row) const { return row >= 0 && row < m_rank.size() ? m_rank[row] : 0; }

    // A MAC as the window shows it: colons, as on the command line.
    static QString shownMac(const QString& mac);

private:
    void changed(const QString& mac);
    int rowOf(const QString& mac) const { return m_rowOf.value(mac, -1); }
    void indexRows();

public:
    // The model's row of a device, or -1.
    int rowOfMac(const QString& mac) const { return rowOf(mac); }

private:
    const DeviceStore& m_devices;
    VendorLookup m_vendor;
    QStringList m_macs; // row -> device
    QHash<QString, int> m_rowOf; // device -> row
    QVector<qint64> m_rank;
    qint64 m_nextRank = 0;
};

// One list: the intruders (unacknowledged first) or the safe devices, newest on top, narrowed to the networks
// chosen and by the filter box's text.
class DeviceListFilter final : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceListFilter)

public:
    DeviceListFilter(DeviceListModel& devices, bool intruders, QObject* parent = nullptr);

    bool intruders() const { return m_intruders; }
    // Rows whose name, MAC, address or vendor contain text (any case); empty shows all.
    void setText(const QString& text);
    QString text() const { return m_text; }
    // Rows of these networks only, and of devices with no network recorded; nullopt shows every network.
    void setNetworks(const std::optional<QSet<QString>>& networks);
    const std::optional<QSet<QString>>& networks() const { return m_networks; }
    // The list's row of a device (-1 when not shown), and the device of a row (empty when none).
    int rowOfMac(const QString& mac) const;
    QString macAt(int row) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    DeviceListModel& m_devices;
    const bool m_intruders;
    QString m_text;
    std::optional<QSet<QString>> m_networks;
};
