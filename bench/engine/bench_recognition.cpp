// What recognition costs on a /24 with 60 devices over one hour of engine time (the tick clock, 36,000 ticks of
// 100 ms): every device answers the DNS-SD questions at once and announces itself as real ones do (an mDNS
// announcement every minute, three SSDP NOTIFYs every 15 minutes, whose description is served at once). Printed:
// the engine's CPU time for the hour with recognition and without, the difference as a share of one core, the
// questions per device in the first minute and in the rest of the hour, and the datagrams sent per device.

#include "engine/Describer.h"
#include "engine/DiscoveryEngine.h"
#include "platform/Clock.h"
#include "platform/DnsMessage.h"
#include "platform/Hive.h"
#include "platform/NetPlatform.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <ctime>
#include <deque>

namespace {

constexpr int kDevices = 60;
constexpr int kTicksPerHour = 36000;

QByteArray dnsName(const QByteArray& dotted)
{
    QByteArray out;
    for (const QByteArray& label : dotted.split('.'))
        out += char(label.size()) + label;
    return out + '\0';
}

QByteArray u16(int v)
{
    return QByteArray(1, char(v >> 8)) + char(v & 0xff);
}

// A response of PTR and TXT records as a speaker sends it; id 0 for an announcement.
QByteArray speakerAnswer(quint16 id, int device)
{
    const QByteArray instance = "Speaker " + QByteArray::number(device) + "._googlecast._tcp.local";
    const QByteArray txt = QByteArray(1, char(17)) + "md=Google Home Mi" + QByteArray(1, char(8)) + "fn=Den 1";
    QByteArray out = u16(id) + u16(0x8400) + u16(0) + u16(3) + u16(0) + u16(0);
    const auto record = [&out](const QByteArray& owner, int type, const QByteArray& rdata) {
        out += dnsName(owner) + u16(type) + u16(0x8001) + u16(0) + u16(120) + u16(int(rdata.size())) + rdata;
    };
    record("_services._dns-sd._udp.local", 12, dnsName("_googlecast._tcp.local"));
    record("_googlecast._tcp.local", 12, dnsName(instance));
    record(instance, 16, txt);
    return out;
}

class AnsweringNet final : public NetPlatform
{
public:
    bool openIcmpSocket() override { return true; }
    bool icmpSocketOpen() const override { return true; }
    void sendEchoBatch(const QList<quint32>&) override { }
    void closeIcmpSocket() override { }
    std::optional<QList<AdapterInfo>> adapters() override { return adapterList; }
    std::optional<QList<NeighbourRow>> neighbours() override { return rows; }
    void deleteNeighbour(const NeighbourRow&) override { }
    int lookupAddress(const QString&, LookupDone) override { return 0; }
    void cancelLookup(int) override { }
    bool listenDiscovery(const QList<int>&) override { return discovery; }
    void searchSsdp() override { ++sent; }
    int askMdns(const QString& ip, const QByteArray& query, const DatagramDone& done) override
    {
        if (!discovery)
            return 0;
        ++sent;
        const quint16 id = quint16((quint8(query[0]) << 8) | quint8(query[1]));
        answers.push_back({++handles, speakerAnswer(id, ip.section(QLatin1Char('.'), 3).toInt()), done});
        return handles;
    }
    void cancelMdns(int) override { }
    int fetchDescription(const QString&, qsizetype, int, const FetchDone& done) override
    {
        fetched.push_back({++handles, done});
        return handles;
    }
    // What the devices said since the last tick, delivered as the event loop would.
    void pump()
    {
        while (!answers.empty()) {
            auto a = std::move(answers.front());
            answers.pop_front();
            std::get<2>(a)(std::get<0>(a), std::get<1>(a));
        }
        while (!fetched.empty()) {
            auto f = std::move(fetched.front());
            fetched.pop_front();
            f.second(f.first,
                "<root><device><deviceType>urn:schemas-upnp-org:device:MediaRenderer:1</deviceType>"
                "<manufacturer>Acme</manufacturer><modelName>Box</modelName></device></root>",
                {});
        }
    }
    using NetPlatform::deliverDatagram;

    QList<AdapterInfo> adapterList;
    QList<NeighbourRow> rows;
    bool discovery = true;
    qint64 sent = 0; // questions and searches
    int handles = 0;
    std::deque<std::tuple<int, QByteArray, DatagramDone>> answers;
    std::deque<std::pair<int, FetchDone>> fetched;
};

struct Hour
{
    double cpuSeconds = 0;
    Describer::Tally tally;
    quint64 questionsFirstMinute = 0;
    qint64 sent = 0;
};

Hour runHour(bool recognition)
{
    QTemporaryDir dir;
    auto hive = Hive::open(dir.path() + QStringLiteral("/bench.hive")).hive;
    KeyStore::attach(hive.get());
    ManualClock clock(QDateTime(QDate(2026, 12, 7), QTime(3, 0), Qt::UTC));
    kwclock::install(&clock);
    AnsweringNet net;
    net.discovery = recognition;
    AdapterInfo a;
    a.index = 2;
    a.name = QStringLiteral("eth0");
    a.type = 6;
    a.addresses = {{QStringLiteral("198.18.0.254"), QStringLiteral("255.255.255.0")}};
    a.gateways = {QStringLiteral("198.18.0.1")};
    net.adapterList = {a};
    for (int i = 0; i < kDevices; ++i) {
        NeighbourRow row;
        row.ifindex = 2;
        row.mac = QByteArray::fromHex("020000000000");
        row.mac[5] = char(10 + i);
        row.ip = {198, 18, 0, quint8(10 + i)};
        net.rows << row;
    }
    DeviceStore devices;
    Hour hour;
    {
        DiscoveryEngine engine(devices, net);
        engine.Load();
        engine.pingTimer().stop();
        const std::clock_t start = std::clock();
        for (int t = 0; t < kTicksPerHour; ++t) {
            clock.advanceMSecs(100);
            engine.sweepTick();
            net.pump();
            if (t == 600)
                hour.questionsFirstMinute = engine.describer().tally().questions;
            // Announcements: each device's mDNS once a minute, its SSDP NOTIFYs (three) every 15 minutes.
            if (recognition && t % 10 == 0) {
                const int second = t / 10;
                const int device = second % kDevices;
                const quint32 sender = 0xC6120000u | quint32(10 + device);
                net.deliverDatagram({HeardDatagram::Kind::Mdns, sender, 5353, speakerAnswer(0, device)});
                if (second % 900 < kDevices) {
                    const QByteArray notify = "NOTIFY * HTTP/1.1\r\nNTS: ssdp:alive\r\nLOCATION: http://198.18.0."
                        + QByteArray::number(10 + device) + ":1400/d.xml\r\n\r\n";
                    for (int n = 0; n < 3; ++n)
                        net.deliverDatagram({HeardDatagram::Kind::Ssdp, sender, 1900, notify});
                }
            }
        }
        hour.cpuSeconds = double(std::clock() - start) / CLOCKS_PER_SEC;
        hour.tally = engine.describer().tally();
        hour.sent = net.sent;
        engine.Shutdown();
    }
    kwclock::install(nullptr);
    KeyStore::attach(nullptr);
    return hour;
}

void BM_RecognitionHour(benchmark::State& state)
{
    Hour with;
    Hour without;
    for (auto _ : state) {
        with = runHour(true);
        without = runHour(false);
    }
    state.counters["cpu_s_with"] = with.cpuSeconds;
    state.counters["cpu_s_without"] = without.cpuSeconds;
    state.counters["core_share_more_pct"] = (with.cpuSeconds - without.cpuSeconds) / 3600.0 * 100.0;
    state.counters["questions_per_device_1st_min"] = double(with.questionsFirstMinute) / kDevices;
    state.counters["questions_per_device_after"] = double(with.tally.questions - with.questionsFirstMinute) / kDevices;
    state.counters["sent_per_device_hour"] = double(with.sent) / kDevices;
    state.counters["heard_per_device_hour"] = double(with.tally.announcements) / kDevices;
    state.counters["fetches_per_device_hour"] = double(with.tally.fetches) / kDevices;
}
BENCHMARK(BM_RecognitionHour)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
