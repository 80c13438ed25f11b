// Timeline figures: the network view of 1,000 devices painted with the window's painter, one screenful (what a
// repaint costs while scrolling) and the whole canvas, over 24 hours (8 stays a device) and 30 days (240).

#include "mainwindow/NetworkView.h"

#include <QApplication>
#include <QImage>
#include <QLocale>
#include <benchmark/benchmark.h>

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(13, 30), Qt::UTC);

QList<NetworkTimeline::Row> rows(int devices, TimelineAxis::Span span)
{
    const qint64 seconds = TimelineAxis::seconds(span);
    const int stays = span == TimelineAxis::Span::Day ? 8 : 240;
    QList<NetworkTimeline::Row> all;
    for (int i = 0; i < devices; ++i) {
        NetworkTimeline::Row row;
        row.name = QStringLiteral("device-%1.lan").arg(i);
        row.intruder = i % 10 == 0;
        for (int s = 0; s < stays; ++s) {
            const qint64 at = seconds * s / stays + i;
            row.intervals.append({kNow.addSecs(at - seconds), kNow.addSecs(at - seconds + seconds / stays / 2),
                QStringLiteral("198.18.0.%1").arg(i % 250), false});
        }
        all.append(row);
    }
    return all;
}

void BM_Paint1000Devices(benchmark::State& state)
{
    const auto span = TimelineAxis::Span(state.range(0));
    const bool whole = state.range(1) != 0;
    NetworkTimeline view;
    view.setRows(rows(1000, span), kNow, span);
    view.resize(1100, view.sizeHint().height());
    const QSize area = whole ? view.size() : QSize(1100, 700);
    QImage image(area, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        view.render(&image, QPoint(), QRegion(QRect(QPoint(0, 0), area)));
    state.counters["canvas_px_high"] = view.height();
    // KW_TIMELINE_PNG=file keeps the last screenful painted, to look at.
    if (!whole && qEnvironmentVariableIsSet("KW_TIMELINE_PNG"))
        image.save(qEnvironmentVariable("KW_TIMELINE_PNG"));
}
BENCHMARK(BM_Paint1000Devices)
    ->ArgNames({"span", "whole"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
