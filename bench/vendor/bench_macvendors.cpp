// Load time and lookup speed of the vendor database over the full generated registry, and the memory the
// process holds once it is loaded.
#include "platform/AppPaths.h"
#include "vendor/MacVendors.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {
QString folder()
{
    return AppPaths::resolveShare(QString()) + QStringLiteral("Mac Database/");
}

// Addresses drawn from the registries themselves, random low digits: mostly OUI records, and one in eight
// each from the IAB, MA-M and MA-S blocks.
QStringList registryMacs(int count)
{
    QStringList keys[4];
    const char* const files[4] = {"oui.idx", "iab.idx", "mam.idx", "mas.idx"};
    for (int k = 0; k < 4; ++k) {
        QFile f(folder() + QLatin1String(files[k]));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray index = f.readAll();
        const qsizetype recordSize = index.indexOf("\r\n") + 2;
        for (qsizetype at = recordSize; recordSize > 2 && at + recordSize <= index.size(); at += recordSize)
            keys[k] << QString::fromLatin1(index.mid(at, recordSize - 2));
    }
    QRandomGenerator random(7);
    const auto hex = [&random](int digits) {
        return QStringLiteral("%1").arg(random.bounded(1 << (4 * digits)), digits, 16, QLatin1Char('0')).toUpper();
    };
    QStringList macs;
    for (int i = 0; i < count && !keys[0].isEmpty(); ++i) {
        int k = i % 8 >= 5 ? i % 8 - 4 : 0;
        if (keys[k].isEmpty())
            k = 0;
        QString digits = keys[k].at(random.bounded(keys[k].size()));
        if (k == 1)
            digits.prepend(QStringLiteral("0050C2"));
        digits += hex(int(12 - digits.size()));
        QStringList bytes;
        for (int b = 0; b < 12; b += 2)
            bytes << digits.mid(b, 2);
        macs << bytes.join(QLatin1Char('-'));
    }
    return macs;
}

void BM_Load(benchmark::State& state)
{
    for (auto _ : state) {
        const MacVendors db(folder());
        benchmark::DoNotOptimize(db.ouiRecords());
    }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_GetMacName(benchmark::State& state)
{
    const MacVendors db(folder());
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
    const MacVendors db(folder());
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
    const MacVendors db(folder());
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

    std::printf("vendor database: %lld OUI, %lld IAB, %lld MA-M and %lld MA-S records\n",
        static_cast<long long>(db.ouiRecords()), static_cast<long long>(db.iabRecords()),
        static_cast<long long>(db.mamRecords()), static_cast<long long>(db.masRecords()));
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
