#pragma once

#include "mainwindow/DeviceRowDelegate.h"
#include "mainwindow/Geometry.h"

#include <QListView>
#include <QPointer>
#include <QString>

class DeviceListFilter;
class QScrollBar;

// One device list: a stock QListView over a DeviceListFilter, its rows painted by DeviceRowDelegate (825 ×
// 3180 twips each), the selection in its QItemSelectionModel (Shift and Ctrl with the mouse and the arrows,
// Ctrl+A), scrolled by the pixel. Below the last row the empty places of the list show, aligned with the rows;
// an empty list says why. The scroll bar beside the list (the skin's place for it) mirrors the view's own.
class DeviceListView final : public QListView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceListView)

public:
    // The tip of a row's acknowledge button.
    static const QString AckToolTip;

    DeviceListView(const SkinPictures& pictures, DeviceListFilter& rows, QWidget* parent = nullptr);

    DeviceListFilter& rows() const { return m_rows; }
    DeviceRowDelegate& rowDelegate() const { return *m_delegate; }
    // What row r (of the list as filtered) shows now.
    RowView row(int r) const;
    void setFlashPhase(bool phase);

    int rowCount() const;
    // The rows' height in twips, and the viewport's; tests shorten the viewport to see scrolling with few rows.
    int bodyHeight() const;
    int viewportHeight() const { return m_viewportHeight; }
    void setViewportHeight(int twips);

    // Row r's rectangle and its acknowledge button's in the viewport when nothing is scrolled away.
    static QRect rowRect(int r);
    static QRect ackRect(int r);
    static QRect lineRect(int r, int line, bool ack);
    QWidget* body() const { return viewport(); }

    void setScrollBar(QScrollBar* bar);
    void setEmptyText(const QString& title, const QString& hint);
    bool isIntruderList() const { return m_intruder; }

Q_SIGNALS:
    void rowRightReleased(int row, const QPoint& globalPos);
    void ackClicked(int row);
    // A key the list does not handle itself, pressed while it has the keyboard focus (Enter, F2, Delete,
    // Space): the window decides what it does to the selection.
    void keyCommand(int key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    bool onAck(const QModelIndex& index, const QPoint& pos) const;

    const SkinPictures& m_pictures;
    DeviceListFilter& m_rows;
    DeviceRowDelegate* m_delegate = nullptr;
    const bool m_intruder;
    QPointer<QScrollBar> m_scrollBar;
    int m_viewportHeight = Geometry::ViewportHeight;
    QString m_emptyTitle;
    QString m_emptyHint;
};
