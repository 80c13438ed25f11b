#include "mainwindow/DeviceListView.h"

#include "mainwindow/DeviceListModel.h"
#include "mainwindow/Theme.h"
#include "mainwindow/TypeIcons.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QToolTip>

using namespace Geometry;

namespace {

int rowPx()
{
    return px(RowHeight);
}

int rowWidthPx()
{
    return px(RowWidth);
}

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

class DeviceListView::Body final : public QWidget
{
public:
    explicit Body(DeviceListView& list)
        : QWidget(&list)
        , m_list(list)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(this);
        m_list.paintRows(p, event->rect());
    }
    void mousePressEvent(QMouseEvent* event) override { m_list.bodyMousePress(event); }
    void mouseReleaseEvent(QMouseEvent* event) override { m_list.bodyMouseRelease(event); }
    void mouseMoveEvent(QMouseEvent* event) override { m_list.bodyMouseMove(event); }
    void leaveEvent(QEvent*) override { m_list.setHover(-1); }
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(event);
            const int r = help->pos().y() / rowPx();
            if (m_list.hasAck(r) && ackRect(r).contains(help->pos()))
                QToolTip::showText(help->globalPos(), DeviceListView::AckToolTip, this, ackRect(r));
            else
                QToolTip::hideText();
            return true;
        }
        return QWidget::event(event);
    }

private:
    DeviceListView& m_list;
};

const QString DeviceListView::AckToolTip = QStringLiteral("Acknowledge this new intruder (Space)");

DeviceListView::DeviceListView(const SkinPictures& pictures, DeviceListFilter& rows, QWidget* parent)
    : QWidget(parent)
    , m_pictures(pictures)
    , m_model(rows)
    , m_intruder(rows.intruders())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The list takes the keyboard: a click or Tab gives it the focus, the arrows move the selection.
    setFocusPolicy(Qt::StrongFocus);
    m_body = new Body(*this);
    m_body->setGeometry(0, 0, rowWidthPx(), 0);
    resize(px(ViewportWidth), px(m_viewportHeight));
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&m_model, signal, this, &DeviceListView::rowsChanged);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &DeviceListView::rowsChanged);
    connect(&m_model, &QAbstractItemModel::layoutChanged, this, &DeviceListView::rowsChanged);
    connect(&m_model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from, const QModelIndex& to) {
        m_body->update(rowRect(from.row()).united(rowRect(to.row())));
    });
    rowsChanged();
}

void DeviceListView::rowsChanged()
{
    m_count = m_model.rowCount();
    m_ackPressed = -1;
    m_body->resize(rowWidthPx(), m_count * rowPx());
    m_body->update();
    update();
}

RowView DeviceListView::row(int r) const
{
    RowView v;
    if (r < 0 || r >= m_count)
        return v;
    const QModelIndex at = m_model.index(r, 0);
    v.line1 = at.data(DeviceListModel::NameRole).toString();
    v.line2 = at.data(DeviceListModel::AddressRole).toString();
    v.online = at.data(DeviceListModel::OnlineRole).toBool();
    v.selected = !m_selectedMac.isEmpty() && at.data(DeviceListModel::MacRole).toString() == m_selectedMac;
    v.ack = m_intruder && at.data(DeviceListModel::NewRole).toBool();
    v.ackDown = v.ack && r == m_ackPressed;
    v.flash = v.ack && v.online && m_flashPhase;
    v.picture = rowPicture(m_intruder, v.online, v.selected, v.flash);
    v.type = DeviceType(at.data(DeviceListModel::TypeRole).toInt());
    return v;
}

bool DeviceListView::hasAck(int r) const
{
    return m_intruder && r >= 0 && r < m_count && m_model.index(r, 0).data(DeviceListModel::NewRole).toBool();
}

void DeviceListView::setSelectedMac(const QString& mac)
{
    if (mac == m_selectedMac)
        return;
    m_selectedMac = mac;
    m_body->update();
}

void DeviceListView::setFlashPhase(bool phase)
{
    if (phase == m_flashPhase)
        return;
    m_flashPhase = phase;
    // Only the rows in view are painted, and only the new intruders' change.
    if (m_intruder)
        m_body->update();
}

int DeviceListView::bodyHeight() const
{
    return m_count * RowHeight;
}

void DeviceListView::setBodyTop(int twips)
{
    if (twips == m_bodyTop)
        return;
    m_bodyTop = twips;
    m_body->move(0, px(twips));
    update();
}

void DeviceListView::setViewportHeight(int twips)
{
    m_viewportHeight = twips;
    resize(px(ViewportWidth), px(twips));
}

QRect DeviceListView::rowRect(int r)
{
    return {0, r * rowPx(), rowWidthPx(), rowPx()};
}

QRect DeviceListView::ackRect(int r)
{
    return {px(AckLeft), r * rowPx() + px(AckTop), px(AckSize), px(AckSize)};
}

QRect DeviceListView::lineRect(int r, int line, bool ack)
{
    // The lines sit at their places in the row; their text keeps a little air from the status glyph and
    // is as tall as the font needs, centred on its place.
    const int inset = s(4);
    const int right = ack ? px(AckLeft) - s(4) : px(LineLeft + LineWidth);
    const int height = QFontMetrics(lineFont(line, true)).height();
    const int centre = r * rowPx() + px(line == 1 ? Line1Top : Line2Top) + px(LineHeight) / 2;
    return {px(LineLeft) + inset, centre - height / 2, right - px(LineLeft) - inset, height};
}

QFont DeviceListView::lineFont(int line, bool online)
{
    return line == 1 ? Theme::font(12, online) : Theme::font(11);
}

QFont DeviceListView::tagFont()
{
    QFont f = Theme::font(9, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    return f;
}

void DeviceListView::setEmptyText(const QString& title, const QString& hint)
{
    m_emptyTitle = title;
    m_emptyHint = hint;
    update();
}

void DeviceListView::paintEvent(QPaintEvent* event)
{
    // The viewport shows below the body: the empty places of the list, aligned with the rows above them.
    QPainter p(this);
    const QRect exposed = event->rect();
    p.fillRect(exposed, m_intruder ? Theme::IntruderListBack : Theme::SafeListBack);
    const Pic back = m_intruder ? Pic::IntruderBackground : Pic::AllowedBackground;
    const int bodyBottom = px(m_bodyTop) + m_count * rowPx();
    for (int y = bodyBottom; y < height(); y += rowPx()) {
        const QRect slot(0, y, rowWidthPx(), rowPx());
        if (!slot.intersects(exposed))
            continue;
        if (m_pictures.has(back))
            p.drawPixmap(slot, m_pictures[back]);
        else
            Theme::paintFallback(p, slot, back);
    }
    if (m_count == 0 && !m_emptyTitle.isEmpty()) {
        const QFont title = Theme::font(13, true);
        const QFont hint = Theme::font(11);
        const int titleHeight = QFontMetrics(title).height();
        const QRect box(s(16), height() / 2 - titleHeight, width() - s(32), height() / 2 + titleHeight);
        p.setPen(Theme::TextLow);
        p.setFont(title);
        p.drawText(
            QRect(box.topLeft(), QSize(box.width(), titleHeight)), Qt::AlignHCenter | Qt::AlignBottom, m_emptyTitle);
        p.setPen(Theme::TextDim);
        p.setFont(hint);
        p.drawText(
            box.adjusted(0, titleHeight + s(4), 0, 0), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_emptyHint);
    }
}

void DeviceListView::paintRows(QPainter& p, const QRect& exposed)
{
    const int first = qMax(0, exposed.top() / rowPx());
    const int last = qMin(m_count - 1, exposed.bottom() / rowPx());
    for (int r = first; r <= last; ++r)
        paintRow(p, r);
}

void DeviceListView::paintRow(QPainter& p, int r)
{
    const RowView row = this->row(r);
    const QRect area = rowRect(r);
    if (m_pictures.has(row.picture)) {
        p.drawPixmap(area, m_pictures[row.picture]);
    } else {
        const bool online = row.online;
        Theme::paintRowFallback(p, area, m_intruder, online, row.selected, row.flash);
    }
    if (r == m_hover) {
        p.fillRect(area.adjusted(3, 2, -3, -2), QColor(255, 255, 255, 10));
    }

    // The state word beside the address: online or offline reads without colour.
    const QFont tagFont = DeviceListView::tagFont();
    const QString tag = row.online ? QStringLiteral("ONLINE") : QStringLiteral("OFFLINE");
    const int tagWidth = QFontMetrics(tagFont).horizontalAdvance(tag) + 2;
    const QRect line1 = lineRect(r, 1, row.ack);
    const QRect line2 = lineRect(r, 2, row.ack);

    const QFont nameFont = lineFont(1, row.online);
    p.setFont(nameFont);
    p.setPen(row.online || row.selected ? Theme::Text : Theme::TextLow);
    // The type's icon at the end of the first line; the name gives way to it.
    const int icon = line1.height();
    p.drawPixmap(line1.right() - icon + 1, line1.top(),
        TypeIcons::pixmap(row.type, devicePixelRatioF(), row.online ? Theme::TextLow : Theme::TextDim, icon));
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

    if (row.selected && hasFocus()) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::Focus, 2.0));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(area).adjusted(2, 2, -2, -2), 5, 5);
    }

    if (row.ack) {
        const Pic pic = row.ackDown ? Pic::AckDown : Pic::AckNormal;
        if (m_pictures.has(pic))
            p.drawPixmap(ackRect(r), m_pictures[pic]);
        else
            paintAckButton(p, ackRect(r), row.ackDown);
    }
}

void DeviceListView::bodyMousePress(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const int r = pos.y() / rowPx();
    if (r < 0 || r >= m_count)
        return;
    if (event->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    if (hasAck(r) && ackRect(r).contains(pos)) {
        m_ackPressed = r;
        m_body->update(ackRect(r));
        return;
    }
    Q_EMIT rowPressed(r);
}

void DeviceListView::bodyMouseRelease(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const int r = pos.y() / rowPx();
    if (event->button() == Qt::LeftButton && m_ackPressed >= 0) {
        const int pressed = m_ackPressed;
        m_ackPressed = -1;
        m_body->update(ackRect(pressed));
        if (r == pressed && ackRect(pressed).contains(pos))
            Q_EMIT ackClicked(pressed);
        return;
    }
    if (event->button() == Qt::RightButton && r >= 0 && r < m_count)
        Q_EMIT rowRightReleased(r, event->globalPosition().toPoint());
}

void DeviceListView::bodyMouseMove(QMouseEvent* event)
{
    const int r = int(event->position().y()) / rowPx();
    setHover(r >= 0 && r < m_count ? r : -1);
}

void DeviceListView::setHover(int r)
{
    if (r == m_hover)
        return;
    if (m_hover >= 0)
        m_body->update(rowRect(m_hover));
    m_hover = r;
    if (m_hover >= 0)
        m_body->update(rowRect(m_hover));
}

void DeviceListView::wheelEvent(QWheelEvent* event)
{
    if (m_scrollBar)
        QApplication::sendEvent(m_scrollBar, event);
}

void DeviceListView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
    case Qt::Key_Delete:
    case Qt::Key_Space:
        if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            break;
        Q_EMIT keyCommand(event->key());
        return;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void DeviceListView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    m_body->update();
}

void DeviceListView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    m_body->update();
}
