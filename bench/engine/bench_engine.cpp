// The engine's hot paths: the harvest over a large neighbour table, the tick path of a whole /24 sweep, and
// discovery of a /20 and a /16 on a manual clock (ticks, at the helper's 320 requests a second). The platform
// here only counts: what is measured is the engine's own work.

#include "engine/DiscoveryEngine.h"
#include "platform/Hive.h"
#include "platform/NetPlatform.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>

namespace {

class CountingNet final : public NetPlatform
{
public:
    bool openIcmpSocket() override { return true; }
    bool icmpSocketOpen() const override { return true; }
    void sendEchoBatch(const QList<quint32>& addresses) override
    {
        sends += addresses.size();
        benchmark::DoNotOptimize(addresses.constData());
        if (remember)
            asked.unite(QSet<quint32>(addresses.cbegin(), addresses.cend()));
    }
    void closeIcmpSocket() override { }
    std::optional<QList<AdapterInfo>> adapters() override { return adapterList; }
    std::optional<QList<NeighbourRow>> neighbours() override { return rows; }
    void deleteNeighbour(const NeighbourRow&) override { ++deletes; } // the rows stay for the next round
    int lookupAddress(const QString&, LookupDone) override { return ++handles; }
    void cancelLookup(int) override { }

    QList<AdapterInfo> adapterList;
    QList<NeighbourRow> rows;
    qint64 sends = 0;
    qint64 deletes = 0;
    int handles = 0;
    bool remember = false; // keep every address asked
    QSet<quint32> asked;
};

// What a front end would hear of the engine: every event counted, and the harvests.
struct QuietWindow
{
    explicit QuietWindow(DiscoveryEngine& engine)
    {
        QObject::connect(&engine, &DiscoveryEngine::deviceEvent, &engine, [this] { ++calls; });
        QObject::connect(&engine, &DiscoveryEngine::harvested, &engine, [this] { ++harvests; });
    }

    qint64 calls = 0;
    qint64 harvests = 0;
};

AdapterInfo adapter(int third)
{
    AdapterInfo a;
    a.name = QStringLiteral("veth%1").arg(third);
    a.type = 6;
    a.addresses = {{QStringLiteral("198.18.%1.254").arg(third), QStringLiteral("255.255.255.0")}};
    a.gateways = {QStringLiteral("198.18.%1.1").arg(third)};
    return a;
}

// One engine with a hive in a temporary folder, `devices` known devices and one neighbour row for each, spread
// over /24 ranges of 250 hosts.
struct Setup
{
    explicit Setup(int deviceCount)
    {
        hive = Hive::open(dir.path() + QStringLiteral("/bench.hive")).hive;
        KeyStore::attach(hive.get());
        const int ranges = (deviceCount + 249) / 250;
        for (int r = 0; r < std::max(ranges, 1); ++r)
            net.adapterList << adapter(r);
        for (int i = 0; i < deviceCount; ++i) {
            NeighbourRow row;
            row.mac = QByteArray::fromHex("020000000000");
            row.mac[4] = char(i >> 8);
            row.mac[5] = char(i & 0xFF);
            row.ip = {198, 18, quint8(i / 250), quint8(2 + i % 250)};
            net.rows << row;
            DeviceRecord d = DeviceRecord::empty();
            d.MacAddress = QStringLiteral("02-00-00-00-%1-%2")
                               .arg(i >> 8, 2, 16, QLatin1Char('0'))
                               .arg(i & 0xFF, 2, 16, QLatin1Char('0'))
                               .toUpper();
            d.IpAddress = QStringLiteral("198.18.%1.%2").arg(i / 250).arg(2 + i % 250);
            d.HostName = QStringLiteral("Unknown Device");
            devices.append(d);
        }
        engine.Load();
        engine.pingTimer().stop();
    }
    ~Setup()
    {
        engine.Shutdown();
        KeyStore::attach(nullptr);
    }

    // A fresh sweep, ticked until a tick harvests; the seconds that tick took.
    double tickToHarvest()
    {
        engine.StopSystem();
        engine.StartSystem();
        for (int t = 0; t < 100000; ++t) {
            const qint64 before = window.harvests;
            const auto start = std::chrono::steady_clock::now();
            engine.sweepTick();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            if (window.harvests != before)
                return took.count();
        }
        return 0;
    }

    // The devices past the first `count` leave the store, as if never admitted.
    void keepFirst(qsizetype count)
    {
        QStringList later;
        qsizetype at = 0;
        for (const DeviceRecord& d : devices) {
            if (at++ >= count)
                later << d.MacAddress;
        }
        for (const QString& mac : later)
            devices.remove(mac);
    }

    QTemporaryDir dir;
    std::unique_ptr<Hive> hive;
    DeviceStore devices;
    CountingNet net;
    DiscoveryEngine engine {devices, net};
    QuietWindow window {engine};
};

// The harvest as it runs every cycle: every device known and already online, every row inside a range.
void BM_FinishScan_SteadyState(benchmark::State& state)
{
    Setup s(int(state.range(0)));
    s.tickToHarvest(); // the first harvest brings every device online and writes its date
    for (auto _ : state)
        state.SetIterationTime(s.tickToHarvest());
    state.counters["rows"] = double(s.net.rows.size());
    state.counters["devices"] = double(s.devices.size());
}
BENCHMARK(BM_FinishScan_SteadyState)->Arg(5000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);

// The harvest after a restart: every device comes online, so each writes Last_Online to the hive.
void BM_FinishScan_AllComeOnline(benchmark::State& state)
{
    Setup s(int(state.range(0)));
    for (auto _ : state) {
        for (DeviceRecord& d : s.devices)
            d.PresenceCountdown = 0;
        state.SetIterationTime(s.tickToHarvest());
    }
}
BENCHMARK(BM_FinishScan_AllComeOnline)->Arg(5000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// A burst of admissions: 500 MAC addresses never seen before among 5,000 rows, as when a busy network is
// watched for the first time. Measured is the tick that runs the harvest.
void BM_FinishScan_500NewIn5000(benchmark::State& state)
{
    constexpr int kKnown = 4500;
    Setup s(5000);
    s.keepFirst(kKnown);
    s.tickToHarvest(); // the known ones come online and store their date
    char round = 0;
    for (auto _ : state) {
        // New MAC addresses every round, so that each round admits devices the store has never seen.
        ++round;
        for (qsizetype r = kKnown; r < s.net.rows.size(); ++r)
            s.net.rows[r].mac[3] = round;
        s.keepFirst(kKnown);
        state.SetIterationTime(s.tickToHarvest());
        if (s.devices.size() != 5000)
            state.SkipWithError("not every new device was admitted");
    }
    state.counters["admitted"] = 500;
}
BENCHMARK(BM_FinishScan_500NewIn5000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// One reverse-lookup reply with 5,000 devices online: whether the name is taken depends on whether another
// online device shares the address.
void BM_NameReply_5000Online(benchmark::State& state)
{
    Setup s(5000);
    s.tickToHarvest();
    for (auto _ : state) {
        for (DeviceRecord& d : s.devices)
            d.NameLookupPending = true;
        s.engine.StopSystem();
        s.engine.StartSystem();
        for (int reply = 0; reply < 100 && s.engine.HostLookupHandle() != 0; ++reply)
            s.engine.HostScanReply(s.engine.HostLookupHandle(), 0, QStringLiteral("Unknown Device"));
    }
    state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_NameReply_5000Online)->Unit(benchmark::kMillisecond);

// CPU time of the tick path for one /24: the cycle's set-up, its 8 batches of 256 requests and its (empty)
// harvest.
void BM_SweepOfOne24(benchmark::State& state)
{
    Setup s(0);
    for (auto _ : state)
        s.tickToHarvest();
    state.SetItemsProcessed(state.iterations() * 256);
    state.counters["requests_per_cycle"] = double(s.net.sends) / double(state.iterations());
    state.counters["harvests"] = double(s.window.harvests);
}
BENCHMARK(BM_SweepOfOne24)->Unit(benchmark::kMicrosecond);

// Discovery of a whole /20 or /16 from a cold start, on the tick clock, with a number of devices that answer
// (from 198.18.0.2 on) and so are checked first in every cycle once the first harvest has found them, as in the
// namespace lab of bench/lan/bench_sweep.py: the seconds (ticks / 10) until every address has had its request
// (its window is harvested at most a window's sending time and half a second later), the requests sent
// meanwhile, and the engine's CPU time for it.
void BM_DiscoveryTime(benchmark::State& state)
{
    const int prefix = int(state.range(0));
    double seconds = 0;
    qint64 sends = 0;
    for (auto _ : state) {
        Setup s(int(state.range(1)));
        s.net.adapterList = {adapter(0)};
        s.net.adapterList[0].addresses[0].mask =
            QStringLiteral("255.255.%1.0").arg(prefix == 16 ? 0 : 256 - (1 << (24 - prefix)));
        s.net.remember = true;
        s.engine.StopSystem();
        s.engine.StartSystem();
        const qsizetype total = qsizetype(1) << (32 - prefix);
        qint64 ticks = 0;
        while (s.net.asked.size() < total && ticks < 100000) {
            s.engine.sweepTick();
            ++ticks;
        }
        seconds = double(ticks) / 10.0;
        sends = s.net.sends;
    }
    state.counters["all_asked_s"] = seconds;
    state.counters["requests"] = double(sends);
}
BENCHMARK(BM_DiscoveryTime)
    ->Args({20, 0})
    ->Args({16, 0})
    ->Args({16, 200})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the engine's timer needs an application object
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
