#pragma once

#include "mainwindow/Geometry.h"
#include "mainwindow/SkinPictures.h"
#include "store/DeviceKind.h"

#include <QFont>
#include <QString>
#include <QWidget>

class DeviceListFilter;
class QScrollBar;

// What one row of a device list shows, read from the list's model and the view's selection and flash phase:
// its background picture, its two text lines, whether its acknowledge button is shown (and held down), and the
// state word drawn beside the address, so that a row's state reads from its text as well as from its picture.
struct RowView
{
    Pic picture = Pic::Count;
    QString line1;
    QString line2;
    bool ack = false;
    bool ackDown = false;
    bool online = false;
    bool selected = false;
    bool flash = false;
    DeviceType type = DeviceType::Unknown;

    friend bool operator==(const RowView&, const RowView&) = default;
};

// One device list: the fixed viewport (pctIF / pctAF) and, inside it, the tall body (pctIB / pctAB) that
// moves up and down, row r at top offset r × 825 twips. The rows come from a DeviceListFilter; only the rows in
// view are painted, so a changed row costs a rectangle's invalidation and nothing more.
class DeviceListView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceListView)

public:
    // The tip of a row's acknowledge button.
    static const QString AckToolTip;

    DeviceListView(const SkinPictures& pictures, DeviceListFilter& rows, QWidget* parent = nullptr);

    RowView row(int r) const;
    // The device drawn selected (none when empty), and the phase of the new intruders' flashing.
    void setSelectedMac(const QString& mac);
    void setFlashPhase(bool phase);

    // Rows in use: the body is that many rows tall.
    int rowCount() const { return m_count; }

    // Body top and viewport height in twips.
    int bodyTop() const { return m_bodyTop; }
    void setBodyTop(int twips);
    int viewportHeight() const { return m_viewportHeight; }
    // Tests shorten the viewport to see scrolling with few rows.
    void setViewportHeight(int twips);
    int bodyHeight() const;

    QWidget* body() const { return m_body; }
    // Row r's rectangle in body pixels, and its acknowledge button's.
    static QRect rowRect(int r);
    static QRect ackRect(int r);
    // Text line 1 or 2 of row r in body pixels (narrower beside an acknowledge button), and the fonts of the
    // lines and of the state word drawn at the right of line 2.
    static QRect lineRect(int r, int line, bool ack);
    static QFont lineFont(int line, bool online);
    static QFont tagFont();

    void setScrollBar(QScrollBar* bar) { m_scrollBar = bar; }
    void setEmptyText(const QString& title, const QString& hint);
    bool isIntruderList() const { return m_intruder; }

Q_SIGNALS:
    void rowPressed(int row);
    void rowRightReleased(int row, const QPoint& globalPos);
    void ackClicked(int row);
    // A key the list does not handle itself, pressed while it has the keyboard focus (arrows, Home, End,
    // Enter, F2, Delete, Space): the window decides what it does to the selection.
    void keyCommand(int key);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    class Body;
    friend class Body;

    void paintRows(QPainter& p, const QRect& exposed);
    void paintRow(QPainter& p, int r);
    void bodyMousePress(QMouseEvent* event);
    void bodyMouseRelease(QMouseEvent* event);
    void bodyMouseMove(QMouseEvent* event);
    void setHover(int r);
    void rowsChanged();
    bool hasAck(int r) const;

    const SkinPictures& m_pictures;
    DeviceListFilter& m_model;
    const bool m_intruder;
    QString m_selectedMac;
    bool m_flashPhase = false;
    QWidget* m_body = nullptr;
    QScrollBar* m_scrollBar = nullptr;
    int m_count = 0;
    int m_bodyTop = 0;
    int m_viewportHeight = Geometry::ViewportHeight;
    int m_hover = -1;
    int m_ackPressed = -1;
    QString m_emptyTitle;
    QString m_emptyHint;
};
