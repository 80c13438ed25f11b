// Store figures: Load_Registry of 1,000 and 10,000 devices, and one admission-sized write (nine values to
// one device key, each its own transaction).

#include "platform/Hive.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

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

void writeDevice(const QString& mac, int i)
{
    const QString key = Keys::deviceKey(mac);
    const QString now = TextForms::dateText(QDateTime(QDate(2026, 12, 5), QTime(10, 11, 12)));
    const auto w = [&](const char* name, const QString& v) {
        modRegistry::WriteString(modRegistry::ProductKey, key, QString::fromLatin1(name), v);
    };
    w("IP_Address", QStringLiteral("198.18.%1.%2").arg((i >> 8) & 0xFF).arg(i & 0xFF));
    w("Host_Name", QStringLiteral("Unknown Device"));
    w("Friendly_Name", QString());
    w("New_Device", TextForms::boolText(true));
    w("Intruder", TextForms::boolText(true));
    w("First_Seen", now);
    w("Last_Online", now);
    w("Last_Offline", TextForms::dateText(TextForms::NeverDate()));
    w("Mac_Type", QStringLiteral("3"));
}

struct Store
{
    QTemporaryDir dir;
    std::unique_ptr<Hive> hive;
    explicit Store(int devices)
    {
        hive = Hive::open(dir.path() + QStringLiteral("/kestrelwatch.hive")).hive;
        modRegistry::attach(hive.get());
        for (int i = 0; i < devices; ++i)
            writeDevice(macFor(i), i);
    }
    ~Store() { modRegistry::attach(nullptr); }
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
        Load_Registry(settings, table, QString(), OldDates::Keep);
        benchmark::DoNotOptimize(table.size());
    }
    state.counters["devices"] = double(state.range(0));
}
BENCHMARK(BM_LoadRegistry)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AdmissionWrite(benchmark::State& state)
{
    Store store(1000);
    int i = 100000;
    for (auto _ : state) {
        writeDevice(macFor(i), i);
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
