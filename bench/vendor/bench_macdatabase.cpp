// Load time and lookup speed of the vendor database over the full generated registry, and the memory the
// process holds once it is loaded.
#include "platform/AppPaths.h"
#include "vendor/CMacDatabase.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <tuple>
#include <vector>

namespace {
QString folder()
{
    return AppPaths::resolveShare(QString()) + QStringLiteral("Mac Database/");
}

// Addresses drawn from the registry itself: random OUI records and random IAB blocks, random low bytes.
QStringList registryMacs(int count)
{
    QStringList ouis;
    QStringList blocks;
    for (const auto& [file, recordSize, into] :
        {std::tuple {QStringLiteral("oui.idx"), 8, &ouis}, std::tuple {QStringLiteral("iab.idx"), 5, &blocks}}) {
        QFile f(folder() + file);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray index = f.readAll();
        for (qsizetype at = recordSize; at + recordSize <= index.size(); at += recordSize)
            *into << QString::fromLatin1(index.mid(at, recordSize - 2));
    }
    QRandomGenerator random(7);
    auto hex = [&random](int digits) {
        return QStringLiteral("%1").arg(random.bounded(1 << (4 * digits)), digits, 16, QLatin1Char('0')).toUpper();
    };
    QStringList macs;
    for (int i = 0; i < count && !ouis.isEmpty(); ++i) {
        if (i % 8 == 7 && !blocks.isEmpty()) {
            const QString& block = blocks.at(random.bounded(blocks.size()));
            macs << QStringLiteral("00-50-C2-%1-%2%3-%4").arg(block.left(2), block.mid(2), hex(1), hex(2));
        } else {
            const QString& oui = ouis.at(random.bounded(ouis.size()));
            macs << QStringLiteral("%1-%2-%3-%4-%5-%6")
                        .arg(oui.mid(0, 2), oui.mid(2, 2), oui.mid(4, 2), hex(2), hex(2), hex(2));
        }
    }
    return macs;
}

void BM_Load(benchmark::State& state)
{
    for (auto _ : state) {
        const CMacDatabase db(folder());
        benchmark::DoNotOptimize(db.ouiRecords());
    }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_GetMacName(benchmark::State& state)
{
    const CMacDatabase db(folder());
    const QStringList macs = registryMacs(10000);
    if (macs.isEmpty()) {
        state.SkipWithError("the vendor files hold no records");
        return;
    }
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(db.GetMacName(macs.at(i)));
        i = (i + 1) % macs.size();
    }
}
BENCHMARK(BM_GetMacName);

// A short key cannot use the key table and searches the index text: the slow path of odd input.
void BM_GetMacNameOddText(benchmark::State& state)
{
    const CMacDatabase db(folder());
    const QString odd = QStringLiteral("FE-DC");
    for (auto _ : state)
        benchmark::DoNotOptimize(db.GetMacName(odd));
}
BENCHMARK(BM_GetMacNameOddText)->Unit(benchmark::kMicrosecond);

long peakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Per-call median, load time and peak memory of a process that only loads the database and looks up.
void printFigures()
{
    using Clock = std::chrono::steady_clock;
    const auto loadStart = Clock::now();
    const CMacDatabase db(folder());
    const double loadMs = std::chrono::duration<double, std::milli>(Clock::now() - loadStart).count();
    const long rssAfterLoad = peakRssKb();

    const QStringList macs = registryMacs(20000);
    std::vector<double> micros;
    micros.reserve(size_t(macs.size()));
    int named = 0;
    for (const QString& mac : macs) {
        const auto start = Clock::now();
        const QString name = db.GetMacName(mac);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        named += name.isEmpty() ? 0 : 1;
    }
    std::sort(micros.begin(), micros.end());
    const double median = micros.empty() ? 0.0 : micros[micros.size() / 2];
    const double p99 = micros.empty() ? 0.0 : micros[micros.size() * 99 / 100];

    std::printf("vendor database: %lld OUI and %lld IAB records\n", static_cast<long long>(db.ouiRecords()),
        static_cast<long long>(db.iabRecords()));
    std::printf("  first load: %.2f ms\n", loadMs);
    std::printf("  GetMacName over %lld registry addresses (%d named): median %.3f us, 99th percentile %.3f us\n",
        static_cast<long long>(macs.size()), named, median, p99);
    std::printf("  peak RSS after load: %.1f MB\n", rssAfterLoad / 1024.0);
}
} // namespace

int main(int argc, char** argv)
{
    printFigures();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("peak RSS of the benchmark process: %.1f MB\n", peakRssKb() / 1024.0);
    return 0;
}
