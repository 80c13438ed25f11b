#pragma once

#include <QObject>
#include <QPoint>
#include <QStringList>
#include <array>
#include <optional>

class DeviceListFilter;
class DeviceListModel;
class DeviceListView;
class MonitorCore;
class NetworkHeader;
class QLabel;
class QLineEdit;
class QScrollBar;
class QWidget;
class SkinPictures;
struct DeviceRecord;

// The two device lists of the window: one model of the device store, two filtered views of it (0 the
// intruders, 1 the safe list), their filter boxes, scroll bars and counts, and the network header above them
// that chooses whose devices they show. The selection lives in each view's QItemSelectionModel and follows
// the devices (persistent indexes), not rows; one list holds it at a time. What the selection opens (the
// panels, the buttons, the menus) is the window's: it hears selectionChanged and listsChanged.
class DeviceLists final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceLists)

public:
    // The controls are made as children of window, which places them (layout).
    DeviceLists(MonitorCore& core, const SkinPictures& pictures, QWidget* window);
    ~DeviceLists() override;

    DeviceListModel& model() const { return *m_model; }
    DeviceListFilter& rows(int list) const { return *m_filters[size_t(list)]; }
    DeviceListView* view(int list) const { return m_views[size_t(list)]; }
    QScrollBar* scrollBar(int list) const { return m_scroll[size_t(list)]; }
    QLineEdit* filterBox(int list) const { return m_filterBoxes[size_t(list)]; }
    NetworkHeader& header() const { return *m_header; }
    int rowCount(int list) const;

    // Places the filter boxes, lists and scroll bars from top down to bottom, the header in the band above.
    void layout(int top, int bottom);
    // The whole store again (a start or a stop), the networks with it.
    void reload();
    void updateCounts();
    // After each sweep: the networks on the adapters now (the engine's), which the lists follow.
    void networksSeen(const QStringList& inView);

    // --- the selection
    bool selectionInAllowed() const { return m_selectionInAllowed; }
    // The current row's device when it is selected, else the first selected one; empty when none.
    QString selectedMac() const;
    QStringList selectedMacs() const;
    const DeviceRecord* selectedDevice() const;
    // The selected row of its list, -1 when nothing is selected.
    int selectedRow() const;
    // Selects those of the devices that the first one's list shows (the first current); how many.
    int selectMacs(const QStringList& macs);
    void selectRow(bool inAllowed, int row);
    void clearSelection();
    // The device the window shows now: a filter that hides it passes the selection on (passSelectionOn).
    void noteShown(const QString& mac);
    // When the shown device is no longer in its list, the selection goes to the first row left, or to the other
    // list; true when it moved.
    bool passSelectionOn();
    void scrollToSelection();
    // Makes a device's row show: its list's filter box is cleared and, when the network shown hides it, the
    // lists follow the monitor again, or show every network.
    void reveal(const QString& mac);

Q_SIGNALS:
    // Rows came, went or were ordered anew, in either list.
    void listsChanged();
    // The selection of a list changed (it holds some, or it let go).
    void selectionChanged(int list, bool holdsSome);
    void keyCommand(int list, int key);
    void rowRightReleased(int list, int row, const QPoint& globalPos);
    void ackClicked(int row);

private:
    void selectionMoved(int list);
    void applyNetworks();

    MonitorCore& m_core;
    DeviceListModel* m_model = nullptr;
    std::array<DeviceListFilter*, 2> m_filters {};
    std::array<QLineEdit*, 2> m_filterBoxes {};
    std::array<DeviceListView*, 2> m_views {};
    std::array<QScrollBar*, 2> m_scroll {};
    std::array<QLabel*, 2> m_counts {};
    NetworkHeader* m_header = nullptr;
    bool m_selectionInAllowed = false;
    QString m_chosenMac; // the last device shown
    QString m_lastWatched; // the watched network the monitor was on last
    std::optional<QStringList> m_inView; // the networks in view at the last sweep; none before the first
};
