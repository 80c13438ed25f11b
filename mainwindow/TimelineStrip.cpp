#include "mainwindow/TimelineStrip.h"

#include "mainwindow/Geometry.h"
#include "mainwindow/Theme.h"
#include "platform/Clock.h"

#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QToolTip>

namespace {
constexpr qint64 kHour = 3600;
constexpr qint64 kDay = 24 * kHour;
} // namespace

qint64 TimelineAxis::seconds(Span span)
{
    return span == Span::Day ? kDay : span == Span::Week ? 7 * kDay : 30 * kDay;
}

QString TimelineAxis::spanName(Span span)
{
    return span == Span::Day ? QStringLiteral("24 h")
        : span == Span::Week ? QStringLiteral("7 days")
                             : QStringLiteral("30 days");
}

TimelineAxis TimelineAxis::ending(const QDateTime& now, Span span, qreal left, qreal width)
{
    return {now.addSecs(-seconds(span)), now, left, std::max<qreal>(width, 1)};
}

qreal TimelineAxis::xOf(const QDateTime& time) const
{
    const qreal total = qreal(from.secsTo(to));
    const qreal at = std::clamp(qreal(from.secsTo(time)), 0.0, total);
    return left + (total > 0 ? at / total * width : 0);
}

QDateTime TimelineAxis::timeAt(qreal x) const
{
    const qreal f = std::clamp((x - left) / width, 0.0, 1.0);
    return from.addSecs(qRound64(f * qreal(from.secsTo(to))));
}

QList<TimelineAxis::Tick> TimelineAxis::ticks() const
{
    QList<Tick> ticks;
    const qint64 span = from.secsTo(to);
    const QLocale locale;
    const QDateTime local = from.toLocalTime();
    QDateTime t;
    if (span <= kDay) {
        t = QDateTime(local.date(), QTime(local.time().hour() / 3 * 3, 0));
        while (t < from)
            t = t.addSecs(3 * kHour);
    } else {
        t = QDateTime(local.date(), QTime(0, 0));
        while (t < from || (span > 7 * kDay && t.date().dayOfWeek() != 1))
            t = t.addDays(1);
    }
    for (; t <= to; t = span <= kDay ? t.addSecs(3 * kHour) : t.addDays(span <= 7 * kDay ? 1 : 7)) {
        const QString label = span <= kDay ? locale.toString(t, QStringLiteral("HH:mm"))
            : span <= 7 * kDay             ? locale.toString(t, QStringLiteral("ddd d"))
                                           : locale.toString(t, QStringLiteral("d MMM"));
        ticks.append({t, xOf(t), label});
    }
    return ticks;
}

int TimelineAxis::hit(const QList<PresenceInterval>& intervals, qreal x, qreal slop) const
{
    int best = -1;
    qreal bestDistance = slop;
    for (int i = 0; i < intervals.size(); ++i) {
        const qreal a = xOf(intervals[i].from);
        const qreal b = xOf(intervals[i].to);
        const qreal distance = x < a ? a - x : x > b ? x - b : 0;
        if (distance <= bestDistance && (best < 0 || distance < bestDistance)) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

TimelineStrip::TimelineStrip(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("timelineStrip"));
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Presence timeline"));
}

void TimelineStrip::setDevice(const QString& mac, bool intruder)
{
    m_mac = mac;
    m_intruder = intruder;
    reload();
}

void TimelineStrip::setSpan(TimelineAxis::Span span)
{
    m_span = span;
    reload();
}

void TimelineStrip::reload()
{
    m_now = kwclock::now();
    const TimelineAxis a = axis();
    m_intervals =
        m_store && !m_mac.isEmpty() ? m_store->intervals(m_mac, a.from, a.to, m_now) : QList<PresenceInterval>();
    m_away = m_store && !m_mac.isEmpty() ? m_store->intervals(PresenceStore::MonitorAway, a.from, a.to, m_now)
                                         : QList<PresenceInterval>();
    m_selected = -1;
    setToolTip({});
    update();
}

TimelineAxis TimelineStrip::axis() const
{
    const QRectF band = barBand();
    return TimelineAxis::ending(m_now.isValid() ? m_now : kwclock::now(), m_span, band.left(), band.width());
}

QSize TimelineStrip::sizeHint() const
{
    const QFontMetrics fm(Theme::font(11));
    return {Geometry::s(284), fm.height() * 2 + Geometry::s(22)};
}

QRectF TimelineStrip::barBand() const
{
    const QFontMetrics fm(Theme::font(11));
    return QRectF(Geometry::s(4), fm.height() + Geometry::s(4), width() - Geometry::s(8), Geometry::s(14));
}

QRectF TimelineStrip::spanLabelRect() const
{
    const QFontMetrics fm(Theme::font(11));
    const qreal w = fm.horizontalAdvance(QStringLiteral("30 days ▸")) + Geometry::s(4);
    return QRectF(width() - w - Geometry::s(4), 0, w, fm.height() + Geometry::s(2));
}

QString TimelineStrip::describe(const PresenceInterval& interval)
{
    const QLocale locale;
    const QString format = QStringLiteral("ddd d MMM HH:mm");
    const qint64 secs = interval.from.secsTo(interval.to);
    const QString length = secs >= kDay ? QStringLiteral("%1 d %2 h").arg(secs / kDay).arg(secs % kDay / kHour)
        : secs >= kHour                 ? QStringLiteral("%1 h %2 min").arg(secs / kHour).arg(secs % kHour / 60)
                                        : QStringLiteral("%1 min").arg(std::max<qint64>(secs / 60, secs > 0 ? 1 : 0));
    return QStringLiteral("%1: %2 to %3 (%4)")
        .arg(interval.address.isEmpty() ? QStringLiteral("online") : interval.address,
            locale.toString(interval.from.toLocalTime(), format),
            interval.open ? QStringLiteral("now") : locale.toString(interval.to.toLocalTime(), format), length);
}

void TimelineStrip::paintTicks(QPainter& p, const QRectF& band, const TimelineAxis& axis, bool labels)
{
    const QFontMetrics fm(p.font());
    const QList<TimelineAxis::Tick> ticks = axis.ticks();
    p.setPen(QPen(Theme::LineSoft, 1));
    for (const TimelineAxis::Tick& tick : ticks)
        p.drawLine(QPointF(tick.x, band.top()), QPointF(tick.x, band.bottom()));
    if (!labels)
        return;
    // From the newest back: the latest date always shows (pushed inside the axis at its right end), and a
    // label that would overlap the one right of it is left out.
    qreal end = axis.left + axis.width; // where the label to the right begins
    p.setPen(Theme::TextLow);
    for (auto tick = ticks.crbegin(); tick != ticks.crend(); ++tick) {
        const qreal w = fm.horizontalAdvance(tick->label);
        const qreal x = std::clamp(tick->x - w / 2, axis.left, axis.left + axis.width - w);
        if (x + w > end)
            continue;
        p.drawText(QPointF(x, band.bottom() + fm.ascent() + 2), tick->label);
        end = x - fm.horizontalAdvance(QLatin1Char(' '));
    }
}

void TimelineStrip::paintBars(QPainter& p, const QRectF& band, const TimelineAxis& axis,
    const QList<PresenceInterval>& intervals, const QColor& ink, int selected)
{
    for (int i = 0; i < intervals.size(); ++i) {
        const qreal a = axis.xOf(intervals[i].from);
        // A stay shorter than a pixel still shows as one.
        const qreal b = std::max(axis.xOf(intervals[i].to), a + 1.5);
        p.fillRect(QRectF(a, band.top(), b - a, band.height()), ink);
        if (i == selected) {
            p.setPen(QPen(Theme::Focus, 2));
            p.drawRect(QRectF(a - 1, band.top() - 1, b - a + 2, band.height() + 2));
        }
    }
}

void TimelineStrip::paintAway(
    QPainter& p, const QRectF& band, const TimelineAxis& axis, const QList<PresenceInterval>& away)
{
    for (const PresenceInterval& stretch : away) {
        const qreal a = axis.xOf(stretch.from);
        const qreal b = std::max(axis.xOf(stretch.to), a + 1.5);
        const QRectF shade(a, band.top(), b - a, band.height());
        p.fillRect(shade, Theme::LineSoft);
        p.fillRect(shade, QBrush(Theme::TextDim, Qt::BDiagPattern));
    }
}

void TimelineStrip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Theme::Sheet);
    p.setFont(Theme::font(11));
    const QRectF band = barBand();
    const TimelineAxis a = axis();
    p.setPen(Theme::TextLow);
    p.drawText(QRectF(Geometry::s(4), 0, width(), band.top()), Qt::AlignLeft | Qt::AlignVCenter,
        QStringLiteral("Online, last %1%2")
            .arg(TimelineAxis::spanName(m_span),
                m_away.isEmpty() ? QString() : QStringLiteral(" (hatched: not watched)")));
    p.setPen(Theme::SafeLight);
    p.drawText(
        spanLabelRect(), Qt::AlignRight | Qt::AlignVCenter, TimelineAxis::spanName(m_span) + QStringLiteral(" ▸"));
    p.fillRect(band, Theme::Deep);
    paintAway(p, band, a, m_away);
    paintTicks(p, band, a, true);
    paintBars(p, band, a, m_intervals, m_intruder ? Theme::Alarm : Theme::Online, m_selected);
    if (m_intervals.isEmpty() && !m_mac.isEmpty()) {
        p.setPen(Theme::TextDim);
        p.drawText(band, Qt::AlignCenter, QStringLiteral("not seen in this time"));
    }
    if (hasFocus()) {
        p.setPen(QPen(Theme::Focus, 1));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void TimelineStrip::mouseMoveEvent(QMouseEvent* event)
{
    const int i = axis().hit(m_intervals, event->position().x(), Geometry::s(4));
    const QString tip = i >= 0 ? describe(m_intervals[i]) : QString();
    setToolTip(tip);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPosition().toPoint(), tip, this);
}

void TimelineStrip::mousePressEvent(QMouseEvent* event)
{
    if (spanLabelRect().contains(event->position()))
        setSpan(TimelineAxis::Span((int(m_span) + 1) % 3));
}

void TimelineStrip::select(int index)
{
    if (m_intervals.isEmpty())
        return;
    m_selected = std::clamp(index, 0, int(m_intervals.size()) - 1);
    const PresenceInterval& interval = m_intervals[m_selected];
    const TimelineAxis a = axis();
    const QPoint at(int((a.xOf(interval.from) + a.xOf(interval.to)) / 2), int(barBand().bottom()));
    setToolTip(describe(interval));
    QToolTip::showText(mapToGlobal(at), toolTip(), this);
    update();
}

void TimelineStrip::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        select(m_selected < 0 ? int(m_intervals.size()) - 1 : m_selected - 1);
        return;
    case Qt::Key_Right:
        select(m_selected + 1);
        return;
    case Qt::Key_1:
        setSpan(TimelineAxis::Span::Day);
        return;
    case Qt::Key_2:
        setSpan(TimelineAxis::Span::Week);
        return;
    case Qt::Key_3:
        setSpan(TimelineAxis::Span::Month);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
