#include "mainwindow/DeviceRowDelegate.h"

#include "mainwindow/DeviceListModel.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/Theme.h"
#include "mainwindow/TypeIcons.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

using namespace Geometry;

namespace {

// A row's background: online or not, selected or not, and for an online intruder not yet acknowledged the
// flash picture on every other tick.
Pic rowPicture(bool intruder, bool online, bool selected, bool flash)
{
    if (!intruder)
        return online ? (selected ? Pic::AllowedOnlineSelected : Pic::AllowedOnlineNotSelected)
                      : (selected ? Pic::AllowedOfflineSelected : Pic::AllowedOfflineNotSelected);
    if (!online)
        return selected ? Pic::IntruderOfflineSelected : Pic::IntruderOfflineNotSelected;
    if (selected)
        return flash ? Pic::IntruderOnlineSelectedFlash : Pic::IntruderOnlineSelected;
    return flash ? Pic::IntruderOnlineNotSelectedFlash : Pic::IntruderOnlineNotSelected;
}

// The acknowledge button without its skin picture: a key with a bell, pressed in while held.
void paintAckButton(QPainter& p, const QRect& area, bool down)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF key = QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(Theme::Alarm, 1.0));
    p.setBrush(
        down ? Theme::Alarm.darker(160) : QColor(Theme::Alarm.red(), Theme::Alarm.green(), Theme::Alarm.blue(), 60));
    p.drawRoundedRect(key, key.width() / 4, key.width() / 4);
    // The bell: a dome on a flared rim, and its clapper below.
    const QRectF b = key.adjusted(key.width() * 0.22, key.height() * 0.16, -key.width() * 0.22, -key.height() * 0.3);
    QPainterPath bell;
    bell.moveTo(b.left(), b.bottom());
    bell.quadTo(b.left() + b.width() * 0.18, b.bottom() - b.height() * 0.2, b.left() + b.width() * 0.18,
        b.top() + b.height() * 0.45);
    bell.arcTo(QRectF(b.left() + b.width() * 0.18, b.top(), b.width() * 0.64, b.height() * 0.9), 180, -180);
    bell.quadTo(b.right() - b.width() * 0.18, b.bottom() - b.height() * 0.2, b.right(), b.bottom());
    bell.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Theme::Text);
    p.drawPath(bell);
    const qreal r = key.width() * 0.09;
    p.drawEllipse(QPointF(key.center().x(), b.bottom() + r * 1.2), r, r);
    p.restore();
}

} // namespace

DeviceRowDelegate::DeviceRowDelegate(const SkinPictures& pictures, bool intruder, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_pictures(pictures)
    , m_intruder(intruder)
{ }

QSize DeviceRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return {px(RowWidth), px(RowHeight)};
}

RowView DeviceRowDelegate::rowView(const QModelIndex& at, bool selected) const
{
    RowView v;
    if (!at.isValid())
        return v;
    v.line1 = at.data(DeviceListModel::NameRole).toString();
    v.line2 = at.data(DeviceListModel::AddressRole).toString();
    v.online = at.data(DeviceListModel::OnlineRole).toBool();
    v.selected = selected;
    v.ack = m_intruder && at.data(DeviceListModel::NewRole).toBool();
    v.ackDown = v.ack && m_ackPressed.isValid() && QModelIndex(m_ackPressed) == at;
    v.flash = v.ack && v.online && m_flashPhase;
    v.picture = rowPicture(m_intruder, v.online, v.selected, v.flash);
    v.type = DeviceType(at.data(DeviceListModel::TypeRole).toInt());
    return v;
}

QRect DeviceRowDelegate::ackRect(int top)
{
    return {px(AckLeft), top + px(AckTop), px(AckSize), px(AckSize)};
}

QRect DeviceRowDelegate::lineRect(int top, int line, bool ack)
{
    // The lines sit at their places in the row; their text keeps a little air from the status glyph and
    // is as tall as the font needs, centred on its place.
    const int inset = s(4);
    const int right = ack ? px(AckLeft) - s(4) : px(LineLeft + LineWidth);
    const int height = QFontMetrics(lineFont(line, true)).height();
    const int centre = top + px(line == 1 ? Line1Top : Line2Top) + px(LineHeight) / 2;
    return {px(LineLeft) + inset, centre - height / 2, right - px(LineLeft) - inset, height};
}

QFont DeviceRowDelegate::lineFont(int line, bool online)
{
    return line == 1 ? Theme::font(12, online) : Theme::font(11);
}

QFont DeviceRowDelegate::tagFont()
{
    QFont f = Theme::font(9, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    return f;
}

void DeviceRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QPainter& p = *painter;
    p.save();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const RowView row = rowView(index, selected);
    const QRect area(option.rect.topLeft(), QSize(px(RowWidth), px(RowHeight)));
    const int top = area.top();
    // The skin's denser pictures are scaled as they always were, pixel by pixel (the view's painter smooths).
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    if (m_pictures.has(row.picture))
        p.drawPixmap(area, m_pictures[row.picture]);
    else
        Theme::paintRowFallback(p, area, m_intruder, row.online, row.selected, row.flash);
    if (option.state.testFlag(QStyle::State_MouseOver))
        p.fillRect(area.adjusted(3, 2, -3, -2), QColor(255, 255, 255, 10));

    // The state word beside the address: online or offline reads without colour.
    const QFont tagFont = DeviceRowDelegate::tagFont();
    const QString tag = row.online ? QStringLiteral("ONLINE") : QStringLiteral("OFFLINE");
    const int tagWidth = QFontMetrics(tagFont).horizontalAdvance(tag) + 2;
    const QRect line1 = lineRect(top, 1, row.ack);
    const QRect line2 = lineRect(top, 2, row.ack);

    const QFont nameFont = lineFont(1, row.online);
    p.setFont(nameFont);
    p.setPen(row.online || row.selected ? Theme::Text : Theme::TextLow);
    // The type's icon at the end of the first line; the name gives way to it.
    const int icon = line1.height();
    const qreal ratio = option.widget ? option.widget->devicePixelRatioF() : p.device()->devicePixelRatioF();
    p.drawPixmap(line1.right() - icon + 1, line1.top(),
        TypeIcons::pixmap(row.type, ratio, row.online ? Theme::TextLow : Theme::TextDim, icon));
    p.drawText(line1.adjusted(0, 0, -icon - s(4), 0), Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetrics(nameFont).elidedText(row.line1, Qt::ElideRight, line1.width() - icon - s(4)));

    const QFont addressFont = lineFont(2, false);
    const int addressWidth = QFontMetrics(addressFont).horizontalAdvance(row.line2);
    const bool tagFits = addressWidth + 6 + tagWidth <= line2.width();
    p.setFont(addressFont);
    p.setPen(Theme::TextLow);
    p.drawText(line2, Qt::AlignLeft | Qt::AlignVCenter,
        QFontMetrics(addressFont).elidedText(row.line2, Qt::ElideRight, line2.width()));
    if (tagFits) {
        p.setFont(tagFont);
        QColor tagColour = Theme::TextDim;
        if (row.online)
            tagColour = m_intruder ? Theme::Alarm : Theme::Online;
        p.setPen(tagColour);
        p.drawText(line2, Qt::AlignRight | Qt::AlignVCenter, tag);
    }

    // The ring marks where the keyboard is: the current row of the focused list, when it is selected.
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (row.selected && view && view->hasFocus() && view->currentIndex() == index) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::Focus, 2.0));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(area).adjusted(2, 2, -2, -2), 5, 5);
    }

    if (row.ack) {
        const Pic pic = row.ackDown ? Pic::AckDown : Pic::AckNormal;
        if (m_pictures.has(pic))
            p.drawPixmap(ackRect(top), m_pictures[pic]);
        else
            paintAckButton(p, ackRect(top), row.ackDown);
    }
    p.restore();
}
