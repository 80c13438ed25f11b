// Main-window figures: start-up to a shown, painted window with 1,000 and 10,000 stored devices (and the
// process's peak resident memory), one keystroke in a list's filter box over 10,000 devices (filtered, counted
// and painted), one change of the network shown over as many, and one alarmTimer tick that redraws 256 flashing
// intruder rows, painted.

#include "FakeNetPlatform.h"
#include "app/MonitorCore.h"
#include "engine/DiscoveryEngine.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/NetworkHeader.h"
#include "platform/Hive.h"
#include "store/KeyStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <functional>
#include <memory>
#include <sys/resource.h>

namespace {

QString macFor(int i)
{
    return QStringLiteral("02-00-00-00-%1-%2")
        .arg((i >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(i & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

const QString kHome = QStringLiteral("02-00-C6-12-00-01 198.18.0.0/16");
const QString kOffice = QStringLiteral("- 198.51.100.0/24");

// A home whose store holds count devices, every other one a new intruder, each with a 20-line history, half of
// them admitted on another network; with networks, both networks are known and watched (else the store knows
// none, and the lists show every device).
AppPaths makeHome(const QTemporaryDir& dir, int count, bool networks = false)
{
    const AppPaths paths = AppPaths::forDirs(
        dir.path() + QStringLiteral("/home/"), AppPaths::resolveShare(QCoreApplication::applicationDirPath()));
    paths.prepareHome();
    auto hive = Hive::open(paths.hiveFile()).hive;
    KeyStore::attach(hive.get());
    const QString when = TextForms::dateText(QDateTime(QDate(2026, 12, 5), QTime(10, 11, 12)));
    QString history;
    for (int line = 0; line < 20; ++line)
        history += when + QStringLiteral("\tConnected ( 198.18.0.1 )\r\n");
    for (int i = 0; i < count; ++i) {
        const QString mac = macFor(i);
        const QString key = Keys::deviceKey(mac);
        const auto w = [&](const char* name, const QString& v) {
            KeyStore::writeString(KeyStore::ProductKey, key, QString::fromLatin1(name), v);
        };
        w("IP_Address", QStringLiteral("198.18.%1.%2").arg(i / 250).arg(i % 250 + 2));
        w("Host_Name", QStringLiteral("device-%1.lab").arg(i));
        w("Friendly_Name", QString());
        w("New_Device", TextForms::boolText(i % 2 == 0));
        w("Intruder", TextForms::boolText(i % 4 != 3));
        w("First_Seen", when);
        w("Last_Online", when);
        w("Last_Offline", TextForms::dateText(TextForms::NeverDate()));
        w("Mac_Type", QStringLiteral("3"));
        w("Network", i % 2 ? kOffice : kHome);
        QFile log(paths.devices() + mac + QStringLiteral(".log"));
        if (log.open(QIODevice::WriteOnly))
            log.write(history.toLatin1());
    }
    for (const QString& id : networks ? QStringList {kHome, kOffice} : QStringList {}) {
        const QString key = QStringLiteral("Networks\\") + id;
        KeyStore::writeString(KeyStore::ProductKey, key, QStringLiteral("Subnet"), id.section(QLatin1Char(' '), 1));
        KeyStore::writeString(KeyStore::ProductKey, key, QStringLiteral("Watch"), QStringLiteral("watched"));
    }
    KeyStore::attach(nullptr);
    return paths;
}

std::unique_ptr<FakeNetPlatform> lan()
{
    auto net = std::make_unique<FakeNetPlatform>();
    net->addAdapter(QStringLiteral("198.18.0.5/16 gw 198.18.0.1"));
    return net;
}

long peakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A window over a home of count devices, loaded and shown, its timers and the engine's sweep stopped: what a
// benchmark drives, it drives by hand.
struct QuietWindow
{
    QTemporaryDir dir;
    AppPaths paths;
    std::unique_ptr<MonitorCore> core;
    std::unique_ptr<MainWindow> window;

    explicit QuietWindow(int count, bool networks = false, const std::function<void(DeviceStore&)>& before = {})
    {
        paths = makeHome(dir, count, networks);
        core = std::make_unique<MonitorCore>(paths);
        window = std::make_unique<MainWindow>(*core);
        window->Form_Load(lan());
        window->alarmTimer().stop();
        window->animationTimer().stop();
        core->engine()->pingTimer().stop();
        if (before) {
            before(core->devices());
            window->Setup_Display();
        }
        window->show();
        QCoreApplication::processEvents();
    }
};

void BM_WindowOpen(benchmark::State& state)
{
    const int count = int(state.range(0));
    QTemporaryDir dir;
    const AppPaths paths = makeHome(dir, count);
    for (auto _ : state) {
        auto core = std::make_unique<MonitorCore>(paths);
        auto window = std::make_unique<MainWindow>(*core);
        window->Form_Load(lan());
        window->show();
        QCoreApplication::processEvents(); // the first paint
        benchmark::DoNotOptimize(window->IntruderRowCount());
        state.PauseTiming();
        if (window->IntruderRowCount() + window->AllowedRowCount() != count)
            state.SkipWithError("not every device reached a list");
        window.reset();
        core.reset();
        state.ResumeTiming();
    }
    state.counters["peak_rss_MB"] = double(peakRssKb()) / 1024.0;
}
BENCHMARK(BM_WindowOpen)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

// Typing "device-4321.lab" into the intruder list's filter box and clearing it again, one keystroke an
// iteration: each narrows (or widens) the list, updates its count and paints it.
void BM_FilterKeystroke10000Devices(benchmark::State& state)
{
    QuietWindow rig(10000);
    MainWindow* window = rig.window.get();
    QLineEdit* box = window->filterBox(0);
    const QString typed = QStringLiteral("device-4321.lab");
    qsizetype length = 0;
    for (auto _ : state) {
        length = (length + 1) % (typed.size() + 1);
        box->setText(typed.left(length));
        window->intruderList()->repaint();
        benchmark::DoNotOptimize(window->IntruderRowCount());
    }
    if (box->text().isEmpty() && window->IntruderRowCount() + window->AllowedRowCount() != 10000)
        state.SkipWithError("the cleared filter does not show every device");
}
BENCHMARK(BM_FilterKeystroke10000Devices)->Unit(benchmark::kMillisecond);

// The network header's choice between one of two networks and all of them over 10,000 devices, one choice an
// iteration: both lists are narrowed (or widened), counted and painted.
void BM_NetworkChoice10000Devices(benchmark::State& state)
{
    QuietWindow rig(10000, true);
    MainWindow* window = rig.window.get();
    NetworkHeader& header = window->deviceLists().header();
    bool all = false;
    for (auto _ : state) {
        all = !all;
        header.choose(all ? NetworkHeader::AllNetworks : kOffice);
        window->intruderList()->repaint();
        window->allowedList()->repaint();
        benchmark::DoNotOptimize(window->IntruderRowCount());
    }
    if (all && window->IntruderRowCount() + window->AllowedRowCount() != 10000)
        state.SkipWithError("all networks do not show every device");
}
BENCHMARK(BM_NetworkChoice10000Devices)->Unit(benchmark::kMillisecond);

// 256 new intruders, all online: every row of the list flashes.
struct FlashRig : QuietWindow
{
    FlashRig()
        : QuietWindow(0, false, [](DeviceStore& table) {
            for (int i = 0; i < 256; ++i) {
                DeviceRecord d = DeviceRecord::empty();
                d.MacAddress = macFor(i);
                d.IpAddress = QStringLiteral("198.18.1.%1").arg(i);
                d.HostName = QStringLiteral("device-%1.lab").arg(i);
                d.NewDevice = true;
                d.Intruder = true;
                d.PresenceCountdown = 2;
                table.append(d);
            }
        })
    { }
};

void BM_FlashTick256Rows(benchmark::State& state)
{
    FlashRig rig;
    for (auto _ : state) {
        rig.window->alarmTick();
        // Paint what the tick invalidated, now rather than at the next event-loop turn.
        rig.window->intruderList()->repaint();
    }
}
BENCHMARK(BM_FlashTick256Rows)->Unit(benchmark::kMicrosecond);

void BM_FlashTick256RowsStateOnly(benchmark::State& state)
{
    FlashRig rig;
    for (auto _ : state)
        rig.window->alarmTick();
    QCoreApplication::processEvents();
}
BENCHMARK(BM_FlashTick256RowsStateOnly)->Unit(benchmark::kMicrosecond);

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
