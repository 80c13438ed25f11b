#pragma once

#include "mainwindow/SkinPictures.h"
#include "store/DeviceKind.h"

#include <QFont>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

// What one row of a device list shows, read from the list's model, its selection and the flash phase: its
// background picture, its two text lines, whether its acknowledge button is shown (and held down), and the
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

// Paints one row of a device list with the skin's pictures (or the theme's drawing where a picture is
// missing): the background by state, the name, the address with its state word, the acknowledge button of a
// new intruder, the device's type icon at the end of the name and, on the focused list, a ring round the
// current row. Rows are 825 × 3180 twips.
class DeviceRowDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceRowDelegate)

public:
    DeviceRowDelegate(const SkinPictures& pictures, bool intruder, QObject* parent = nullptr);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // What a row shows, given whether it is selected.
    RowView rowView(const QModelIndex& index, bool selected) const;
    void setFlashPhase(bool phase) { m_flashPhase = phase; }
    bool flashPhase() const { return m_flashPhase; }
    // The row whose acknowledge button is held down (none when invalid).
    void setAckPressed(const QModelIndex& index) { m_ackPressed = index; }
    QModelIndex ackPressed() const { return m_ackPressed; }

    // Places inside a row whose top is at y (pixels): a text line (narrower beside an acknowledge button)
    // and the acknowledge button.
    static QRect lineRect(int top, int line, bool ack);
    static QRect ackRect(int top);
    static QFont lineFont(int line, bool online);
    static QFont tagFont();

private:
    const SkinPictures& m_pictures;
    const bool m_intruder;
    bool m_flashPhase = false;
    QPersistentModelIndex m_ackPressed;
};
