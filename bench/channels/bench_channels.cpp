// Push channel figures against a real HTTP server (Python's http.server) on loopback:
// - alert to HTTP request answered: post() until the server's answer is in (median, p90, max);
// - 1,000 queued messages: how fast the queue drains (each one written to and removed from its file);
// - a 100 ms timer like the sweep's, its worst lateness while a webhook server hangs on 100 messages.

#include "HttpPeer.h"
#include "channels/Channels.h"
#include "platform/DebugSink.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

namespace {

Notice benchNotice()
{
    Notice n = Notice::test(QDateTime::currentDateTimeUtc());
    n.kind = QStringLiteral("new_intruder");
    n.mac = QStringLiteral("02-4B-57-00-00-0A");
    n.ip = QStringLiteral("198.18.0.10");
    return n;
}

// Runs the event loop until done() holds or 60 s have passed.
bool runUntil(const std::function<bool()>& done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

struct Rig
{
    QTemporaryDir dir;
    LiveSettings settings;
    DeviceStore table;
    HttpPeer peer;
    std::unique_ptr<Channels> channels;
    int delivered = 0;

    bool start(const QStringList& answers)
    {
        if (!peer.start(answers))
            return false;
        settings.push.webhook.url = peer.url();
        channels = std::make_unique<Channels>(settings, table, Channels::VendorLookup());
        channels->openQueue(dir.path() + QStringLiteral("/channels.db"));
        QObject::connect(channels.get(), &Channels::delivered, [this] { ++delivered; });
        return true;
    }
};

void BM_AlertToRequestAnswered(benchmark::State& state)
{
    Rig rig;
    if (!rig.start({"--answers", "200"})) {
        state.SkipWithError("the HTTP server did not start");
        return;
    }
    std::vector<double> latencies;
    for (auto _ : state) {
        const int before = rig.delivered;
        QElapsedTimer t;
        t.start();
        rig.channels->post(Channel::Webhook, benchNotice());
        if (!runUntil([&] { return rig.delivered > before; })) {
            state.SkipWithError("a message was not delivered");
            return;
        }
        latencies.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["p90_ms"] = latencies[latencies.size() * 9 / 10];
    state.counters["max_ms"] = latencies.back();
}
BENCHMARK(BM_AlertToRequestAnswered)->Iterations(50)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ThousandQueuedMessages(benchmark::State& state)
{
    constexpr int kMessages = 1000;
    Rig rig;
    if (!rig.start({"--answers", "200"})) {
        state.SkipWithError("the HTTP server did not start");
        return;
    }
    for (auto _ : state) {
        const int before = rig.delivered;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < kMessages; ++i)
            rig.channels->post(Channel::Webhook, benchNotice());
        if (!runUntil([&] { return rig.delivered - before >= kMessages; })) {
            state.SkipWithError("the queue did not drain");
            return;
        }
        state.counters["msgs_per_s"] = kMessages / (double(t.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_ThousandQueuedMessages)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SweepTickWhileServerHangs(benchmark::State& state)
{
    Rig rig;
    if (!rig.start({"--answers", state.range(0) ? "hang" : "200"})) {
        state.SkipWithError("the HTTP server did not start");
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i)
            rig.channels->post(Channel::Webhook, benchNotice());
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(100);
        QElapsedTimer since;
        qint64 worst = 0;
        int ticks = 0;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            worst = std::max(worst, since.restart() - 100);
            ++ticks;
        });
        since.start();
        tick.start();
        runUntil([&] { return ticks >= 30; });
        state.counters["tick_late_max_ms"] = double(worst);
        state.counters["ticks"] = ticks;
    }
}
BENCHMARK(BM_SweepTickWhileServerHangs)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    installLogSink([](const QString&, const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
