// Presence figures: the interval file of 100 devices over a simulated year, each device coming and going
// eight times a day and changing its address once a week, every change written as the monitor writes it
// (its own transaction); the same with some of them flapping (online and offline every 15 s, or every 2
// minutes, all year), which the store's join gap and daily cap must keep within 20 MB; and reading one device's
// month back, as the details panel does.

#include "store/PresenceStore.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const QDateTime kStart(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);

QString macFor(int i)
{
    return QStringLiteral("02:00:00:00:%1:%2")
        .arg(i >> 8, 2, 16, QLatin1Char('0'))
        .arg(i & 0xFF, 2, 16, QLatin1Char('0'));
}

DeviceEvent event(DeviceEvent::Kind kind, int device, qint64 at, const QString& address = {})
{
    static QStringList macs;
    while (macs.size() <= device)
        macs.append(macFor(int(macs.size())));
    DeviceEvent e;
    e.kind = kind;
    e.mac = macs[device];
    e.time = kStart.addSecs(at);
    e.address = address;
    return e;
}

// Fills a store with a year; returns how many intervals it holds. The first flappers devices go online and
// offline every flapSeconds (in time order with the others; a harvest confirms every 5 minutes, as the monitor's
// every 30 s would, but for the open intervals' ends, which change no size).
qint64 simulateYear(PresenceStore& store, int devices, int staysPerDay, int flappers = 0, qint64 flapSeconds = 0)
{
    const qint64 day = 86400;
    const qint64 slot = day / staysPerDay;
    QStringList flapAddresses;
    for (int i = 0; i < flappers; ++i)
        flapAddresses.append(QStringLiteral("198.18.9.%1").arg(i + 10));
    for (qint64 d = 0; d < 365; ++d) {
        for (int s = 0; s < staysPerDay; ++s) {
            const qint64 from = d * day + s * slot;
            for (qint64 t = from; flappers > 0 && t < from + slot; t += flapSeconds) {
                const bool on = (t / flapSeconds) % 2 == 0;
                for (int i = 0; i < flappers; ++i)
                    store.deviceEvent(event(on ? DeviceEvent::Kind::Online : DeviceEvent::Kind::Offline, i, t,
                        on ? flapAddresses[i] : QString()));
                if (t % 300 == 0)
                    store.confirm(kStart.addSecs(t));
            }
            for (int i = flappers; i < devices; ++i) {
                const qint64 at = from + i * 7;
                const QString address = QStringLiteral("198.18.%1.%2").arg(d / 7 % 4).arg(i + 10);
                store.deviceEvent(event(DeviceEvent::Kind::Online, i, at, address));
                store.deviceEvent(event(DeviceEvent::Kind::Offline, i, at + slot * 2 / 3));
            }
        }
        store.confirm(kStart.addSecs((d + 1) * day));
    }
    return store.intervalCount();
}

void BM_YearOf100Devices(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/presence.db");
        qint64 count = 0;
        {
            auto store = PresenceStore::open(file, kStart).store;
            count = simulateYear(*store, 100, int(state.range(0)), int(state.range(1)), state.range(2));
        }
        state.counters["intervals"] = double(count);
        state.counters["file_MB"] = double(QFileInfo(file).size()) / 1e6;
        state.counters["bytes_per_interval"] = double(QFileInfo(file).size()) / double(count);
    }
}
// Arguments: stays a day, flapping devices, seconds between their flaps.
BENCHMARK(BM_YearOf100Devices)
    ->Args({8, 0, 0})
    ->Args({8, 10, 15})
    ->Args({8, 10, 120})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

void BM_ReadMonthOfOneDevice(benchmark::State& state)
{
    QTemporaryDir dir;
    auto store = PresenceStore::open(dir.path() + QStringLiteral("/presence.db"), kStart).store;
    simulateYear(*store, 10, 8);
    const QDateTime now = kStart.addDays(365);
    for (auto _ : state)
        benchmark::DoNotOptimize(store->intervals(macFor(5), now.addDays(-30), now, now));
}
BENCHMARK(BM_ReadMonthOfOneDevice)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
