// Store figures: loadStore of 1,000 and 10,000 devices (as stored now, and once more as the previous
// release stored them, which the monitor's start rewrites in one transaction), and one admission's write (every
// value of one device key in one transaction).

#include "platform/Hive.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QString macFor(int i)
{
    return QStringLiteral("02-00-%1-%2-%3-%4")
        .arg((i >> 24) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((i >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((i >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(i & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

DeviceRecord deviceFor(int i)
{
    const QDateTime now(QDate(2026, 12, 5), QTime(10, 11, 12));
    DeviceRecord d = DeviceRecord::empty();
    d.MacAddress = macFor(i);
    d.IpAddress = QStringLiteral("198.18.%1.%2").arg((i >> 8) & 0xFF).arg(i & 0xFF);
    d.HostName = DeviceRecord::unknownHostName();
    d.NewDevice = d.Intruder = true;
    d.FirstSeen = d.LastOnline = d.LastSeen = now;
    d.LastOffline = TextForms::NeverDate();
    d.MacType = 3;
    return d;
}

// One device key with every value, in one transaction; `old`: the nine values of the previous release, its
// dates in the locale's text.
void writeDevice(int i, bool old = false)
{
    const DeviceRecord d = deviceFor(i);
    DeviceCodec::Values values = DeviceCodec::encode(d);
    if (old) {
        values = values.mid(0, 9);
        for (auto& [name, text] : values) {
            if (name.endsWith(QLatin1String("_Seen")) || name.startsWith(QLatin1String("Last_")))
                text = TextForms::dateText(name == QLatin1String("Last_Offline") ? d.LastOffline : d.FirstSeen);
        }
    }
    KeyStore::writeKeys(KeyStore::ProductKey, {{Keys::deviceKey(d.MacAddress), values}});
}

struct Store
{
    QTemporaryDir dir;
    std::unique_ptr<Hive> hive;
    explicit Store(int devices, bool old = false)
    {
        hive = Hive::open(dir.path() + QStringLiteral("/kestrelwatch.hive")).hive;
        KeyStore::attach(hive.get());
        for (int i = 0; i < devices; ++i)
            writeDevice(i, old);
    }
    ~Store() { KeyStore::attach(nullptr); }
};

// Opening the store at start-up: integrity check and reading the whole tree into memory.
void BM_OpenStore(benchmark::State& state)
{
    Store store(int(state.range(0)));
    const QString file = store.hive->fileName();
    for (auto _ : state) {
        auto hive = Hive::open(file).hive;
        benchmark::DoNotOptimize(hive.get());
    }
    state.counters["devices"] = double(state.range(0));
}
BENCHMARK(BM_OpenStore)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LoadRegistry(benchmark::State& state)
{
    Store store(int(state.range(0)));
    for (auto _ : state) {
        LiveSettings settings;
        DeviceStore table;
        loadStore(settings, table, QString(), OldDates::Keep);
        benchmark::DoNotOptimize(table.size());
    }
    state.counters["devices"] = double(state.range(0));
}
BENCHMARK(BM_LoadRegistry)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5);

// The first start after an upgrade: the previous release's locale dates read and rewritten in one transaction.
void BM_LoadRegistry_RewriteOldStore(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<Store>(int(state.range(0)), true);
        state.ResumeTiming();
        LiveSettings settings;
        DeviceStore table;
        loadStore(settings, table, QString(), OldDates::Rewrite);
        benchmark::DoNotOptimize(table.size());
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.counters["devices"] = double(state.range(0));
}
BENCHMARK(BM_LoadRegistry_RewriteOldStore)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AdmissionWrite(benchmark::State& state)
{
    Store store(1000);
    int i = 100000;
    for (auto _ : state) {
        writeDevice(i);
        ++i;
    }
}
BENCHMARK(BM_AdmissionWrite)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
