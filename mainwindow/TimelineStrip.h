#pragma once

#include "store/PresenceStore.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QWidget>

class QPainter;

// The time axis of a presence timeline: a span ending now, mapped onto a band of x positions.
struct TimelineAxis
{
    enum class Span { Day, Week, Month };
    struct Tick
    {
        QDateTime time;
        qreal x = 0;
        QString label;
    };

    QDateTime from;
    QDateTime to;
    qreal left = 0;
    qreal width = 1;

    static TimelineAxis ending(const QDateTime& now, Span span, qreal left, qreal width);
    static qint64 seconds(Span span);
    static QString spanName(Span span);
    qreal xOf(const QDateTime& time) const; // clamped to the band
    QDateTime timeAt(qreal x) const;
    // Every 3 hours over a day, every midnight over a week, every Monday over a month; labels in local time.
    QList<Tick> ticks() const;
    // The interval under x, else the nearest one within slop pixels (a short stay stays hoverable); -1 for none.
    int hit(const QList<PresenceInterval>& intervals, qreal x, qreal slop) const;
};

// One device's presence as a strip (the details panel): the last 24 hours, 7 days or 30 days, online stretches
// as bars over a time axis. Hovering a bar shows its times and address; from the keyboard Left and Right step
// through the bars (the tip follows), 1, 2 and 3 pick the span, as a click on the span's name cycles it.
class TimelineStrip final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimelineStrip)

public:
    explicit TimelineStrip(QWidget* parent = nullptr);

    void setSource(const PresenceStore* store) { m_store = store; }
    // The device shown (an empty MAC shows nothing); reads its intervals again.
    void setDevice(const QString& mac, bool intruder);
    void setSpan(TimelineAxis::Span span);
    TimelineAxis::Span span() const { return m_span; }
    void reload();
    const QList<PresenceInterval>& intervals() const { return m_intervals; }
    int selected() const { return m_selected; }
    TimelineAxis axis() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // What the tip says of one interval: address, from, to (or "now"), length. Plain text.
    static QString describe(const PresenceInterval& interval);
    // The shared drawing of one strip and of an axis's tick marks and labels (the network view draws with them).
    static void paintBars(QPainter& p, const QRectF& band, const TimelineAxis& axis,
        const QList<PresenceInterval>& intervals, const QColor& ink, int selected);
    static void paintTicks(QPainter& p, const QRectF& band, const TimelineAxis& axis, bool labels);
    // The monitor's own blind and away times, hatched behind the bars: a gap there is not the device's absence.
    static void paintAway(
        QPainter& p, const QRectF& band, const TimelineAxis& axis, const QList<PresenceInterval>& away);
    const QList<PresenceInterval>& awayIntervals() const { return m_away; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QList<PresenceInterval> m_away;
    QRectF barBand() const;
    QRectF spanLabelRect() const;
    void select(int index);

    const PresenceStore* m_store = nullptr;
    QString m_mac;
    bool m_intruder = false;
    TimelineAxis::Span m_span = TimelineAxis::Span::Day;
    QDateTime m_now;
    QList<PresenceInterval> m_intervals;
    int m_selected = -1;
};
