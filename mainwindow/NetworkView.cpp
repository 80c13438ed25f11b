#include "mainwindow/NetworkView.h"

#include "mainwindow/Geometry.h"
#include "mainwindow/Theme.h"
#include "platform/Clock.h"
#include "store/DeviceStore.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QToolTip>
#include <QVBoxLayout>

NetworkTimeline::NetworkTimeline(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("networkTimeline"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Presence of every device"));
}

int NetworkTimeline::rowHeight() const
{
    return QFontMetrics(Theme::font(11)).height() + Geometry::s(6);
}

int NetworkTimeline::nameWidth() const
{
    return Geometry::s(150);
}

void NetworkTimeline::setRows(QList<Row> rows, const QDateTime& now, TimelineAxis::Span span)
{
    m_rows = std::move(rows);
    m_now = now;
    m_span = span;
    layoutRows();
    m_row = -1;
    m_interval = -1;
    updateGeometry();
    resize(width(), sizeHint().height());
    update();
}

void NetworkTimeline::layoutRows()
{
    m_order.clear();
    for (const bool intruder : {false, true}) {
        m_order.append(intruder ? -2 : -1);
        for (int r = 0; r < m_rows.size(); ++r) {
            if (m_rows[r].intruder == intruder)
                m_order.append(r);
        }
    }
}

QSize NetworkTimeline::sizeHint() const
{
    // The axis's labels take one row at the top.
    return {nameWidth() + Geometry::s(400), rowHeight() * int(m_order.size() + 1)};
}

TimelineAxis NetworkTimeline::axis() const
{
    const qreal left = nameWidth() + Geometry::s(8);
    return TimelineAxis::ending(m_now, m_span, left, width() - left - Geometry::s(8));
}

int NetworkTimeline::rowAt(qreal y) const
{
    const int position = int(y) / rowHeight() - 1;
    return position >= 0 && position < m_order.size() ? m_order[position] : -1;
}

void NetworkTimeline::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.fillRect(event->rect(), Theme::Sheet);
    p.setFont(Theme::font(11));
    const int h = rowHeight();
    const TimelineAxis a = axis();
    const QFontMetrics fm(p.font());
    // Only the rows the update asks for are drawn: a thousand devices scroll as fast as ten.
    const int first = std::max(0, event->rect().top() / h - 1);
    const int last = std::min(int(m_order.size()) - 1, event->rect().bottom() / h);
    int safe = 0;
    for (const Row& row : m_rows)
        safe += row.intruder ? 0 : 1;
    for (int position = first; position <= last; ++position) {
        const QRectF line(0, (position + 1) * h, width(), h);
        const int r = m_order[position];
        if (r < 0) {
            p.fillRect(line, Theme::SheetHeader);
            p.setPen(r == -1 ? Theme::SafeLight : Theme::AlarmLight);
            p.setFont(Theme::font(11, true));
            p.drawText(line.adjusted(Geometry::s(6), 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                r == -1 ? QStringLiteral("Safe (%1)").arg(safe)
                        : QStringLiteral("Intruders (%1)").arg(m_rows.size() - safe));
            p.setFont(Theme::font(11));
            continue;
        }
        if (position == m_row)
            p.fillRect(line, Theme::Top);
        const Row& row = m_rows[r];
        p.setPen(Theme::SheetText);
        p.drawText(QRectF(Geometry::s(6), line.top(), nameWidth() - Geometry::s(6), h),
            Qt::AlignLeft | Qt::AlignVCenter, fm.elidedText(row.name, Qt::ElideRight, nameWidth() - Geometry::s(6)));
        const QRectF band(a.left, line.top() + Geometry::s(3), a.width, h - Geometry::s(6));
        p.fillRect(band, Theme::Deep);
        TimelineStrip::paintAway(p, band, a, m_away);
        TimelineStrip::paintTicks(p, band, a, false);
        TimelineStrip::paintBars(p, band, a, row.intervals, row.intruder ? Theme::Alarm : Theme::Online,
            position == m_row ? m_interval : -1);
    }
    // The axis's labels stay on top.
    p.fillRect(QRectF(0, 0, width(), h), Theme::Sheet);
    TimelineStrip::paintTicks(p, QRectF(a.left, 0, a.width, 0), a, true);
    if (hasFocus()) {
        p.setPen(QPen(Theme::Focus, 1));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void NetworkTimeline::mouseMoveEvent(QMouseEvent* event)
{
    const int r = rowAt(event->position().y());
    const int i = r >= 0 ? axis().hit(m_rows[r].intervals, event->position().x(), Geometry::s(4)) : -1;
    if (i < 0) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(event->globalPosition().toPoint(),
        m_rows[r].name + QStringLiteral("\n") + TimelineStrip::describe(m_rows[r].intervals[i]), this);
}

QString NetworkTimeline::currentText() const
{
    if (m_row < 0 || m_row >= m_order.size() || m_order[m_row] < 0)
        return {};
    const Row& row = m_rows[m_order[m_row]];
    if (m_interval < 0 || m_interval >= row.intervals.size())
        return row.name + (row.intervals.isEmpty() ? QStringLiteral(": not seen in this time") : QString());
    return row.name + QStringLiteral(", ") + TimelineStrip::describe(row.intervals[m_interval]);
}

void NetworkTimeline::pick(int position, int interval)
{
    // Headers are stepped over.
    const int step = position >= m_row ? 1 : -1;
    while (position >= 0 && position < m_order.size() && m_order[position] < 0)
        position += step;
    if (position < 0 || position >= m_order.size())
        return;
    const int count = int(m_rows[m_order[position]].intervals.size());
    m_row = position;
    m_interval = count == 0 ? -1 : std::clamp(interval, 0, count - 1);
    update();
    Q_EMIT currentChanged(currentText());
}

void NetworkTimeline::keyPressEvent(QKeyEvent* event)
{
    const int last = m_row >= 0 ? int(m_rows[m_order[m_row]].intervals.size()) - 1 : -1;
    switch (event->key()) {
    case Qt::Key_Down:
        pick(m_row + 1, INT_MAX);
        return;
    case Qt::Key_Up:
        pick(m_row < 0 ? 0 : m_row - 1, INT_MAX);
        return;
    case Qt::Key_Left:
        pick(m_row < 0 ? 0 : m_row, m_interval < 0 ? last : m_interval - 1);
        return;
    case Qt::Key_Right:
        pick(m_row < 0 ? 0 : m_row, m_interval + 1);
        return;
    case Qt::Key_1:
        Q_EMIT spanRequested(TimelineAxis::Span::Day);
        return;
    case Qt::Key_2:
        Q_EMIT spanRequested(TimelineAxis::Span::Week);
        return;
    case Qt::Key_3:
        Q_EMIT spanRequested(TimelineAxis::Span::Month);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

const QString NetworkView::StatusHelp = QStringLiteral(
    "Up and Down choose a device, Left and Right step through its times online; 1, 2 and 3 change the span");

NetworkView::NetworkView(const DeviceStore& devices, const PresenceStore* store, QWidget* parent)
    : QDialog(parent)
    , m_devices(devices)
    , m_store(store)
{
    setObjectName(QStringLiteral("frmNetwork"));
    setWindowTitle(QStringLiteral("Network - who was online when"));
    auto* layout = new QVBoxLayout(this);
    auto* spans = new QHBoxLayout();
    auto* group = new QButtonGroup(this);
    for (const TimelineAxis::Span span :
        {TimelineAxis::Span::Day, TimelineAxis::Span::Week, TimelineAxis::Span::Month}) {
        auto* button = new QPushButton(QStringLiteral("&%1 ").arg(int(span) + 1) + TimelineAxis::spanName(span), this);
        button->setCheckable(true);
        button->setChecked(span == m_span);
        group->addButton(button, int(span));
        spans->addWidget(button);
    }
    spans->addSpacing(Geometry::s(12));
    m_spanText = new QLabel(this);
    m_spanText->setObjectName(QStringLiteral("spanText"));
    m_spanText->setTextFormat(Qt::PlainText);
    spans->addWidget(m_spanText);
    spans->addStretch();
    layout->addLayout(spans);
    auto* scroll = new QScrollArea(this);
    m_timeline = new NetworkTimeline();
    scroll->setWidget(m_timeline);
    scroll->setWidgetResizable(true);
    layout->addWidget(scroll, 1);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    layout->addWidget(m_status);
    connect(group, &QButtonGroup::idClicked, this, [this](int id) {
        m_span = TimelineAxis::Span(id);
        reload();
    });
    connect(m_timeline, &NetworkTimeline::spanRequested, this, [this, group](TimelineAxis::Span span) {
        group->button(int(span))->setChecked(true);
        m_span = span;
        reload();
    });
    connect(m_timeline, &NetworkTimeline::currentChanged, m_status, &QLabel::setText);
    resize(Geometry::s(720), Geometry::s(480));
    reload();
    m_timeline->setFocus();
}

void NetworkView::reload()
{
    const QDateTime now = kwclock::now();
    const TimelineAxis axis = TimelineAxis::ending(now, m_span, 0, 1);
    QList<NetworkTimeline::Row> rows;
    for (const DeviceRecord& d : m_devices) {
        NetworkTimeline::Row row;
        row.name = !d.FriendlyName.isEmpty()                                         ? d.FriendlyName
            : d.HostName != DeviceRecord::unknownHostName() && !d.HostName.isEmpty() ? d.HostName
                                                                                     : d.MacAddress;
        row.intruder = d.Intruder;
        if (m_store)
            row.intervals = m_store->intervals(d.MacAddress, axis.from, axis.to, now);
        rows.append(row);
    }
    m_timeline->setAway(
        m_store ? m_store->intervals(PresenceStore::MonitorAway, axis.from, axis.to, now) : QList<PresenceInterval>());
    m_timeline->setRows(rows, now, m_span);
    // The span in words beside its buttons: a checked button alone does not show in every style.
    m_spanText->setText(QStringLiteral("Showing the last %1, up to %2")
                            .arg(m_span == TimelineAxis::Span::Day       ? QStringLiteral("24 hours")
                                    : m_span == TimelineAxis::Span::Week ? QStringLiteral("7 days")
                                                                         : QStringLiteral("30 days"),
                                QLocale().toString(now.time(), QLocale::ShortFormat)));
    m_status->setText(m_store ? StatusHelp : QStringLiteral("Presence is not recorded: see the debug log"));
}

QString NetworkView::spanText() const
{
    return m_spanText->text();
}

void showNetworkView(QWidget* window, const DeviceStore& devices, const PresenceStore* store)
{
    auto* view = window->findChild<NetworkView*>();
    if (!view) {
        view = new NetworkView(devices, store, window);
        view->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        view->reload();
    }
    view->show();
    view->raise();
    view->activateWindow();
}
