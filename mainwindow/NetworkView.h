#pragma once

#include "mainwindow/TimelineStrip.h"

#include <QDialog>
#include <QWidget>

class DeviceStore;
class QLabel;

// Every device's presence on one time axis, the safe list and the intruders apart: "who was here last night" in
// one look. Hover a bar for its times; from the keyboard Up and Down choose a device, Left and Right step
// through its times online, 1, 2 and 3 change the span. Names are drawn as plain text.
class NetworkTimeline final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkTimeline)

public:
    struct Row
    {
        QString name;
        bool intruder = false;
        QList<PresenceInterval> intervals;
    };

    explicit NetworkTimeline(QWidget* parent = nullptr);

    // Rows in any order: they are drawn safe first, then intruders, each group in the given order.
    void setRows(QList<Row> rows, const QDateTime& now, TimelineAxis::Span span);
    // The monitor's own blind and away times, hatched behind every row.
    void setAway(QList<PresenceInterval> away) { m_away = std::move(away); }
    TimelineAxis axis() const;
    // The row (index into rows()) at y, -1 for a header or the axis.
    int rowAt(qreal y) const;
    const QList<Row>& rows() const { return m_rows; }
    // What the keyboard has picked, and its description ("" while nothing is).
    QString currentText() const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void spanRequested(TimelineAxis::Span span);
    void currentChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QList<PresenceInterval> m_away;
    int rowHeight() const;
    int nameWidth() const;
    void layoutRows();
    void pick(int row, int interval);

    QList<Row> m_rows;
    QList<int> m_order; // display position -> row; -1 (safe) and -2 (intruders) are the headers
    QDateTime m_now;
    TimelineAxis::Span m_span = TimelineAxis::Span::Day;
    int m_row = -1; // display position of the picked row
    int m_interval = -1;
};

// The "Network" window of the main window's menu.
class NetworkView final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkView)

public:
    NetworkView(const DeviceStore& devices, const PresenceStore* store, QWidget* parent = nullptr);
    // The devices and their times again: the window calls it when a device arrives, moves, is renamed or goes.
    void reload();
    static const QString StatusHelp;
    QString spanText() const;
    NetworkTimeline* timeline() const { return m_timeline; }

private:
    const DeviceStore& m_devices;
    const PresenceStore* m_store;
    TimelineAxis::Span m_span = TimelineAxis::Span::Day;
    NetworkTimeline* m_timeline = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_spanText = nullptr;
};

// Opens the network view beside window, or brings the one already open to the front with fresh data.
void showNetworkView(QWidget* window, const DeviceStore& devices, const PresenceStore* store);
