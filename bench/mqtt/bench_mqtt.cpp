// Prints how fast the MQTT publisher is against Debian's mosquitto on loopback: the time from a history line
// (what admission writes) to its event at a subscriber, and the republish of 5,000 devices' retained state at
// connect while the engine sweeps on a scripted network in the same event loop. Figures only; nothing fails.
#include "FakeNetPlatform.h"
#include "engine/DiscoveryEngine.h"
#include "mqtt/MqttPublisher.h"
#include "platform/DebugSink.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"
#include "store/TextForms.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool spinUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

DeviceRecord device(int i)
{
    DeviceRecord d = DeviceRecord::empty();
    d.MacAddress = QStringLiteral("02-00-00-%1-%2-%3")
                       .arg((i >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
                       .arg((i >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                       .arg(i & 0xFF, 2, 16, QLatin1Char('0'))
                       .toUpper();
    d.IpAddress = QStringLiteral("198.18.%1.%2").arg((i >> 8) & 0xFF).arg(i & 0xFF);
    d.HostName = QStringLiteral("Unknown Device");
    d.NewDevice = d.Intruder = true;
    d.FirstSeen = d.LastOnline = QDateTime::currentDateTimeUtc();
    d.LastOffline = TextForms::NeverDate();
    return d;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    installLogSink([](const QString&, const QString&) {});
    QTemporaryDir dir;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    QFile conf(dir.filePath(QStringLiteral("mosquitto.conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\nmax_queued_messages 0\n")
                   .arg(port)
                   .toUtf8());
    conf.close();
    QProcess broker;
    broker.setProcessChannelMode(QProcess::MergedChannels);
    broker.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf.fileName()});
    QByteArray brokerOut;
    if (!spinUntil([&] { return (brokerOut += broker.readAll()).contains("running"); }, 5000)) {
        std::printf("bench_mqtt: mosquitto did not start\n");
        return 1;
    }

    // The subscriber: a second connection in the same loop, counting what arrives.
    MqttConnection subscriber;
    int events = 0;
    int states = 0;
    QObject::connect(&subscriber, &MqttConnection::messageReceived, [&](const QString& topic, const QByteArray&) {
        if (topic.endsWith(QLatin1String("/events")))
            ++events;
        else if (topic.contains(QLatin1String("/devices/")))
            ++states;
    });
    QObject::connect(&subscriber, &MqttConnection::connected, [&] { subscriber.subscribe(QStringLiteral("bench/#")); });
    MqttConnection::Config subConfig;
    subConfig.host = QStringLiteral("127.0.0.1");
    subConfig.port = port;
    subConfig.clientId = QStringLiteral("bench-subscriber");
    subscriber.open(subConfig);
    spinUntil([&] { return subscriber.isConnected(); }, 5000);
    spinUntil([] { return false; }, 200);

    LiveSettings settings;
    settings.mqtt.server = QStringLiteral("127.0.0.1:%1").arg(port);
    settings.mqtt.topic = QStringLiteral("bench");
    settings.mqtt.sensor = QStringLiteral("one");
    {
        DeviceStore table;
        table.append(device(1));
        MqttPublisher publisher(table, settings, {});
        publisher.refresh();
        spinUntil([&] { return publisher.connection().isConnected() && states > 0; }, 5000);
        std::vector<double> latencies;
        DeviceEvent online;
        online.kind = DeviceEvent::Kind::Online;
        online.mac = device(1).MacAddress;
        online.time = QDateTime::currentDateTime();
        online.address = QStringLiteral("198.18.0.1");
        for (int i = 0; i < 200; ++i) {
            const int before = events;
            QElapsedTimer t;
            t.start();
            publisher.deviceEvent(online);
            spinUntil([&] { return events > before; }, 2000);
            latencies.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        std::sort(latencies.begin(), latencies.end());
        std::printf("history line to event at a subscriber: median %.2f ms, 95th percentile %.2f ms (200 events)\n",
            latencies[latencies.size() / 2], latencies[latencies.size() * 95 / 100]);
    }

    // 5,000 devices published at connect while the engine sweeps a /24 in the same loop.
    constexpr int kDevices = 5000;
    DeviceStore table;
    for (int i = 0; i < kDevices; ++i)
        table.append(device(i + 2));
    FakeNetPlatform net;
    net.addAdapter(QStringLiteral("198.18.0.5/24"));
    struct
    {
        QElapsedTimer clock;
        std::vector<qint64> harvests;
    } front;
    front.clock.start();
    DiscoveryEngine engine(table, net);
    QObject::connect(
        &engine, &DiscoveryEngine::harvested, &engine, [&front] { front.harvests.push_back(front.clock.elapsed()); });
    engine.Load();
    spinUntil([&] { return front.harvests.size() >= 2; }, 20000);
    const qint64 idleCycle = front.harvests[1] - front.harvests[0];
    spinUntil([&] { return front.harvests.size() >= 3; }, 20000); // start right after a harvest
    // The count is taken by mosquitto_sub in a process of its own, as Home Assistant would take it.
    QProcess counter;
    counter.start(QStringLiteral("mosquitto_sub"),
        {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(port),
            QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-t"), QStringLiteral("bench/many/devices/#"),
            QStringLiteral("-C"), QString::number(kDevices)});
    counter.waitForStarted();
    spinUntil([] { return false; }, 300);
    settings.mqtt.sensor = QStringLiteral("many");
    MqttPublisher publisher(table, settings, {});
    QElapsedTimer t;
    qint64 handedOver = -1;
    QObject::connect(&publisher, &MqttPublisher::drained, [&] {
        if (handedOver < 0 && publisher.queuedStates() == 0)
            handedOver = t.elapsed();
    });
    const double cpuBefore = cpuSeconds();
    t.start();
    publisher.refresh();
    spinUntil([&] { return counter.state() == QProcess::NotRunning; }, 30000);
    const qint64 republish = t.elapsed();
    const double cpu = cpuSeconds() - cpuBefore;
    const int arrived = int(counter.readAllStandardOutput().count('\n'));
    // The cycle that held the republish: from the harvest just before it to the next one.
    spinUntil([&] { return front.harvests.size() >= 4; }, 20000);
    const qint64 busyCycle = front.harvests[3] - front.harvests[2];
    std::printf("%d devices' retained state at connect: all at a subscriber after %lld ms (%d arrived); "
                "states and then discovery all handed to the socket after %lld ms\n",
        kDevices, static_cast<long long>(republish), arrived, static_cast<long long>(handedOver));
    std::printf(
        "CPU time of the monitor's process meanwhile: %.0f ms (load average at the time: see uptime)\n", cpu * 1000.0);
    std::printf("sweep cycle: %.2f s idle, %.2f s while republishing\n", double(idleCycle) / 1000.0,
        double(busyCycle) / 1000.0);
    engine.Shutdown();
    publisher.stop();
    subscriber.close();
    broker.terminate();
    broker.waitForFinished(3000);
    return 0;
}
