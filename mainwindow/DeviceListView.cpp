#include "mainwindow/DeviceListView.h"

#include "mainwindow/DeviceListModel.h"
#include "mainwindow/Theme.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

using namespace Geometry;

const QString DeviceListView::AckToolTip = QStringLiteral("Acknowledge this new intruder (Space)");

DeviceListView::DeviceListView(const SkinPictures& pictures, DeviceListFilter& rows, QWidget* parent)
    : QListView(parent)
    , m_pictures(pictures)
    , m_rows(rows)
    , m_intruder(rows.intruders())
{
    m_delegate = new DeviceRowDelegate(pictures, m_intruder, this);
    setItemDelegate(m_delegate);
    setModel(&rows);
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    setSpacing(0);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The skin has its own place for the scroll bar, beside the list (setScrollBar).
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_Hover);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    resize(px(ViewportWidth), px(m_viewportHeight));
}

int DeviceListView::rowCount() const
{
    return m_rows.rowCount();
}

RowView DeviceListView::row(int r) const
{
    const QModelIndex at = m_rows.index(r, 0);
    return m_delegate->rowView(at, at.isValid() && selectionModel()->isSelected(at));
}

void DeviceListView::setFlashPhase(bool phase)
{
    if (phase == m_delegate->flashPhase())
        return;
    m_delegate->setFlashPhase(phase);
    // Only the rows in view are painted, and only the new intruders' change.
    if (m_intruder)
        viewport()->update();
}

int DeviceListView::bodyHeight() const
{
    return rowCount() * RowHeight;
}

void DeviceListView::setViewportHeight(int twips)
{
    m_viewportHeight = twips;
    resize(px(ViewportWidth), px(twips));
}

QRect DeviceListView::rowRect(int r)
{
    return {0, r * px(RowHeight), px(RowWidth), px(RowHeight)};
}

QRect DeviceListView::ackRect(int r)
{
    return DeviceRowDelegate::ackRect(r * px(RowHeight));
}

QRect DeviceListView::lineRect(int r, int line, bool ack)
{
    return DeviceRowDelegate::lineRect(r * px(RowHeight), line, ack);
}

void DeviceListView::setScrollBar(QScrollBar* bar)
{
    m_scrollBar = bar;
    QScrollBar* own = verticalScrollBar();
    // The two bars move together: the skin's is the one the user sees and drags.
    const auto follow = [bar, own] {
        bar->setRange(own->minimum(), own->maximum());
        bar->setSingleStep(own->singleStep());
        bar->setPageStep(own->pageStep());
        bar->setEnabled(own->maximum() > own->minimum());
        bar->setValue(own->value());
    };
    connect(own, &QScrollBar::rangeChanged, bar, follow);
    connect(own, &QScrollBar::valueChanged, bar, &QScrollBar::setValue);
    connect(bar, &QScrollBar::valueChanged, own, &QScrollBar::setValue);
    follow();
}

void DeviceListView::setEmptyText(const QString& title, const QString& hint)
{
    m_emptyTitle = title;
    m_emptyHint = hint;
    viewport()->update();
}

void DeviceListView::paintEvent(QPaintEvent* event)
{
    // The viewport shows below the rows: the empty places of the list, aligned with the rows above them.
    {
        QPainter p(viewport());
        const QRect exposed = event->rect();
        p.fillRect(exposed, m_intruder ? Theme::IntruderListBack : Theme::SafeListBack);
        const Pic back = m_intruder ? Pic::IntruderBackground : Pic::AllowedBackground;
        const int count = rowCount();
        const int bodyBottom = count * px(RowHeight) - verticalOffset();
        for (int y = bodyBottom; y < viewport()->height(); y += px(RowHeight)) {
            const QRect slot(0, y, px(RowWidth), px(RowHeight));
            if (!slot.intersects(exposed))
                continue;
            if (m_pictures.has(back))
                p.drawPixmap(slot, m_pictures[back]);
            else
                Theme::paintFallback(p, slot, back);
        }
        if (count == 0 && !m_emptyTitle.isEmpty()) {
            const QFont title = Theme::font(13, true);
            const QFont hint = Theme::font(11);
            const int titleHeight = QFontMetrics(title).height();
            const int h = viewport()->height();
            const QRect box(s(16), h / 2 - titleHeight, viewport()->width() - s(32), h / 2 + titleHeight);
            p.setPen(Theme::TextLow);
            p.setFont(title);
            p.drawText(QRect(box.topLeft(), QSize(box.width(), titleHeight)), Qt::AlignHCenter | Qt::AlignBottom,
                m_emptyTitle);
            p.setPen(Theme::TextDim);
            p.setFont(hint);
            p.drawText(box.adjusted(0, titleHeight + s(4), 0, 0), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
                m_emptyHint);
        }
    }
    QListView::paintEvent(event);
}

bool DeviceListView::onAck(const QModelIndex& index, const QPoint& pos) const
{
    return m_intruder && index.isValid() && index.data(DeviceListModel::NewRole).toBool()
        && DeviceRowDelegate::ackRect(visualRect(index).top()).contains(pos);
}

void DeviceListView::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const QModelIndex at = indexAt(pos);
    if (event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier && onAck(at, pos)) {
        // The button takes the press; its release over it acknowledges.
        setFocus(Qt::MouseFocusReason);
        m_delegate->setAckPressed(at);
        viewport()->update(visualRect(at));
        return;
    }
    QListView::mousePressEvent(event);
}

void DeviceListView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const QModelIndex at = indexAt(pos);
    const QModelIndex pressed = m_delegate->ackPressed();
    if (event->button() == Qt::LeftButton && pressed.isValid()) {
        m_delegate->setAckPressed({});
        viewport()->update(visualRect(pressed));
        if (at == pressed && onAck(at, pos))
            Q_EMIT ackClicked(at.row());
        return;
    }
    QListView::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton && at.isValid())
        Q_EMIT rowRightReleased(at.row(), event->globalPosition().toPoint());
}

bool DeviceListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex at = indexAt(help->pos());
        if (onAck(at, help->pos()))
            QToolTip::showText(
                help->globalPos(), AckToolTip, viewport(), DeviceRowDelegate::ackRect(visualRect(at).top()));
        else
            QToolTip::hideText();
        return true;
    }
    return QListView::viewportEvent(event);
}

void DeviceListView::keyPressEvent(QKeyEvent* event)
{
    // The keyboard starts on the top row (Qt's view would take any first key there).
    if (!currentIndex().isValid() && rowCount() > 0)
        selectionModel()->setCurrentIndex(m_rows.index(0, 0), QItemSelectionModel::NoUpdate);
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
    case Qt::Key_Delete:
    case Qt::Key_Space:
        if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))
            break;
        Q_EMIT keyCommand(event->key());
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        // Nothing chosen yet: the first arrow chooses the row the keyboard is on, the top one at first.
        if (!selectionModel()->hasSelection() && event->modifiers() == Qt::NoModifier && rowCount() > 0) {
            selectionModel()->setCurrentIndex(
                currentIndex(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            return;
        }
        break;
    default:
        break;
    }
    QListView::keyPressEvent(event);
}

void DeviceListView::focusInEvent(QFocusEvent* event)
{
    QListView::focusInEvent(event);
    viewport()->update();
}
