// The presence timeline's time axis and hit-testing: where a time falls on the strip, which stay the pointer
// is over, and the tick marks each span draws.

#include "TestHome.h"
#include "mainwindow/Theme.h"
#include "mainwindow/TimelineStrip.h"

#include <QImage>
#include <QPainter>

#include <QTest>

namespace {
const QDateTime kNow(QDate(2026, 12, 6), QTime(13, 30), Qt::UTC);
} // namespace

class TestTimeline : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // A 1000-pixel axis from x 100 ending at kNow. Intervals as "fromH..toH" in hours before now ("*" open);
    // the pointer at an hour before now plus pixels; -1 is no hit.
    void axisAndHits_data()
    {
        QTest::addColumn<int>("span");
        QTest::addColumn<QStringList>("stays");
        QTest::addColumn<double>("hoursBefore");
        QTest::addColumn<double>("pixels");
        QTest::addColumn<int>("hit");
        QTest::addColumn<QString>("ticks"); // count, first and last label
        const QString day = QStringLiteral("8 15:00 12:00");
        QTest::newRow("inside a stay") << 0 << QStringList {"10..8"} << 9.0 << 0.0 << 0 << day;
        QTest::newRow("a zero-length stay within the slop") << 0 << QStringList {"5..5"} << 5.0 << 3.0 << 0 << day;
        QTest::newRow("past the slop") << 0 << QStringList {"5..5"} << 5.0 << 6.0 << -1 << day;
        QTest::newRow("the second of two") << 0 << QStringList {"10..9", "8..7"} << 7.5 << 0.0 << 1 << day;
        QTest::newRow("a gap between stays") << 0 << QStringList {"10..9", "6..5"} << 7.5 << 0.0 << -1 << day;
        QTest::newRow("begun before the axis") << 0 << QStringList {"30..20"} << 24.0 << 0.0 << 0 << day;
        QTest::newRow("an open stay reaches now") << 0 << QStringList {"2..*"} << 0.0 << -2.0 << 0 << day;
        QTest::newRow("a week's midnights")
            << 1 << QStringList {"48..24"} << 30.0 << 0.0 << 0 << QStringLiteral("7 Mon 30 Sun 6");
        QTest::newRow("a month's Mondays")
            << 2 << QStringList {"300..299"} << 299.5 << 0.0 << 0 << QStringLiteral("4 9 Nov 30 Nov");
    }
    void axisAndHits()
    {
        QFETCH(int, span);
        QFETCH(QStringList, stays);
        QFETCH(double, hoursBefore);
        QFETCH(double, pixels);
        QFETCH(int, hit);
        QFETCH(QString, ticks);
        const TimelineAxis axis = TimelineAxis::ending(kNow, TimelineAxis::Span(span), 100, 1000);
        QList<PresenceInterval> intervals;
        for (const QString& stay : std::as_const(stays)) {
            const QStringList ends = stay.split(QStringLiteral(".."));
            PresenceInterval interval;
            interval.from = kNow.addSecs(qint64(-ends[0].toDouble() * 3600));
            interval.open = ends[1] == QLatin1String("*");
            interval.to = interval.open ? kNow : kNow.addSecs(qint64(-ends[1].toDouble() * 3600));
            intervals.append(interval);
        }
        const QDateTime at = kNow.addSecs(qint64(-hoursBefore * 3600));
        const qreal x = axis.xOf(at) + pixels;
        QCOMPARE(axis.hit(intervals, x, 4), hit);
        // Time and place map both ways, to within the second a pixel's rounding allows.
        QVERIFY(qAbs(axis.timeAt(axis.xOf(at)).secsTo(at)) <= 1
            || hoursBefore > TimelineAxis::seconds(TimelineAxis::Span(span)) / 3600);
        QCOMPARE(axis.xOf(axis.from.addSecs(-3600)), 100.0);
        QCOMPARE(axis.xOf(kNow.addSecs(3600)), 1100.0);
        const QList<TimelineAxis::Tick> marks = axis.ticks();
        QVERIFY(!marks.isEmpty());
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(marks.size()).arg(marks.first().label, marks.last().label), ticks);
        for (const TimelineAxis::Tick& mark : marks)
            QVERIFY(mark.x >= 100 && mark.x <= 1100 && mark.time >= axis.from && mark.time <= axis.to);
    }

    // The monitor's own away time is hatched over its stretch of the band, and nowhere else.
    void awayIsShadedBehindTheBars()
    {
        const TimelineAxis axis = TimelineAxis::ending(kNow, TimelineAxis::Span::Day, 0, 240);
        QImage image(240, 20, QImage::Format_RGB32);
        image.fill(Theme::Deep);
        QPainter p(&image);
        TimelineStrip::paintAway(p, QRectF(0, 0, 240, 20), axis,
            {PresenceInterval {kNow.addSecs(-6 * 3600), kNow.addSecs(-3 * 3600), QString(), false}});
        p.end();
        for (const auto& [x, shaded] : {std::pair {60, false}, {185, true}, {190, true}, {215, false}}) {
            bool differs = false;
            for (int y = 0; y < 20; ++y)
                differs = differs || image.pixelColor(x, y) != Theme::Deep;
            QVERIFY2(differs == shaded, qPrintable(QString::number(x)));
        }
    }
};

QTEST_MAIN(TestTimeline)
#include "tst_timeline.moc"
