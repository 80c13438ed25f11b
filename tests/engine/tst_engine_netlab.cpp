// The engine with the Linux network layer on a namespace LAN (scripts/netlab: router, monitor, one device) and
// what real machines have beside it, and on a /22 LAN with silent devices in its far corners. The outer test builds the
// lab and runs the inner one in the monitor's namespace by executing itself there, so every request, deletion and
// lookup stays inside the lab. Root only.

#include "Devices.h"
#include "EngineRig.h"
#include "Lab.h"
#include "platform/LinuxNetPlatform.h"
#include "store/KeyStore.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>

namespace {

const char* const kLabEnv = "KW_ENGINE_NETLAB";
const QStringList kSkipped {"kwa0", "kwt0", "kwbr0"};

// Beside the LAN on eth0: a static and a NOARP row, a veth with ARP off (its peer up: carrier, no address),
// the tun device kwt0 (held open meanwhile), a bridge that never had a port, and a counter of the echo
// requests leaving through each interface.
const char* const kSetUp = R"(set -e
ip neigh add 198.18.0.20 lladdr 02:00:c6:12:00:14 dev eth0 nud permanent
ip neigh add 198.18.0.21 lladdr 02:00:c6:12:00:15 dev eth0 nud noarp
ip link add kwa0 type veth peer name kwa1
ip addr add 198.18.5.2/24 dev kwa0
ip link set kwa0 arp off up
ip link set kwa1 up
ip addr add 198.18.6.1/24 dev kwt0
ip link set kwt0 up
ip link add kwbr0 type bridge
ip addr add 198.18.7.1/24 dev kwbr0
ip link set kwbr0 up
nft -f - <<EOF
table inet kw {
 chain out {
  type filter hook output priority 0;
  oifname "eth0" icmp type echo-request counter
  oifname "kwa0" icmp type echo-request counter
  oifname "kwt0" icmp type echo-request counter
  oifname "kwbr0" icmp type echo-request counter
 }
}
EOF
)";

QString ipNeighbours()
{
    return kwtest::run(QStringLiteral("ip"), {"-4", "neigh", "show", "nud", "all", "dev", "eth0"}).out;
}

// Echo requests that left through each interface, from the counters of the nftables table "kw".
QMap<QString, int> echoesOut()
{
    QMap<QString, int> out;
    static const QRegularExpression rule(
        QStringLiteral("oifname \"(\\w+)\" icmp type echo-request counter packets (\\d+)"));
    auto it = rule.globalMatch(kwtest::run(QStringLiteral("nft"), {"list", "chain", "inet", "kw", "out"}).out);
    while (it.hasNext()) {
        const auto m = it.next();
        out[m.captured(1)] = m.captured(2).toInt();
    }
    return out;
}

} // namespace

// Runs in the monitor's namespace.
class TestEngineNetlabInside : public QObject
{
    Q_OBJECT

    kwtest::Process m_tunHolder;

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        // A tun device has carrier only while a process holds it open, as a VPN client does.
        const qsizetype from = m_tunHolder.cursor();
        m_tunHolder.start(QStringLiteral("/usr/bin/python3"),
            {"-c",
                "import fcntl,struct,time\n"
                "f=open('/dev/net/tun','rb+',buffering=0)\n"
                "fcntl.ioctl(f,0x400454ca,struct.pack('16sH',b'kwt0',0x1001))\n"
                "print('held',flush=True)\ntime.sleep(600)\n"});
        QVERIFY(!m_tunHolder.waitForLine(QRegularExpression(QStringLiteral("^held$")), from, 10000).isEmpty());
        const kwtest::Run setUp = kwtest::run(QStringLiteral("/bin/sh"), {"-c", QString::fromLatin1(kSetUp)});
        QVERIFY2(setUp.code == 0, qPrintable(setUp.err));
    }

    void cleanupTestCase() { m_tunHolder.kill(); }

    void sweepFindsKeepsNamesAndLosesDevices()
    {
        TestHome home;
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        QVERIFY(hive);
        KeyStore::attach(hive.get());
        DeviceStore devices;
        LogCapture log;
        LinuxNetPlatform net;
        DiscoveryEngine engine(devices, net);
        EventRecorder window(engine, devices);
        engine.Load();
        QVERIFY2(engine.isRunning(), qPrintable(log.lines().join(QLatin1Char('\n'))));
        // Only the LAN is swept; each interface left out is said once, with its reason.
        QCOMPARE(engine.ranges().size(), 1);
        QCOMPARE(engine.rangeText(0), QStringLiteral("198.18.0.0 to 198.18.0.255"));
        for (const char* line :
            {"kwa0 does not do ARP", "kwt0 is a point-to-point link", "kwbr0 is a bridge without ports"})
            QCOMPARE(log.lines().filter(QString::fromLatin1(line)).size(), 1);
        // The first sweep finds the router, the device, and the static and NOARP rows; never the monitor. A
        // sweep takes about 6 s; a loaded machine (labs starting beside it) may need several.
        const QString router = QStringLiteral("02-00-C6-12-00-01"), device = QStringLiteral("02-00-C6-12-00-0A");
        const auto found = [&] {
            QStringList macs;
            for (const DeviceRecord& record : devices)
                macs << record.MacAddress;
            return macs.join(QLatin1Char(' ')) + QLatin1Char('\n') + log.lines().join(QLatin1Char('\n'));
        };
        QTRY_VERIFY2_WITH_TIMEOUT(devices.size() == 4, qPrintable(found()), 30000);
        const qint32 r = positionOf(devices, router), d = positionOf(devices, device);
        QVERIFY(r >= 0 && d >= 0);
        QCOMPARE(nth(devices, r).FriendlyName, QStringLiteral("Default Gateway"));
        QVERIFY(nth(devices, d).Intruder);
        QCOMPARE(devices.find(QStringLiteral("02-00-C6-12-00-14"))->MacType, quint8(4));
        QCOMPARE(devices.find(QStringLiteral("02-00-C6-12-00-15"))->MacType, quint8(1));
        // The harvest left the NOARP row (the kernel's own clean-up may take it after a minute unused).
        QString table = ipNeighbours();
        QVERIFY2(table.contains(QStringLiteral("198.18.0.21 lladdr 02:00:c6:12:00:15 NOARP")), qPrintable(table));
        // The lab's hosts file names every host.
        QTRY_COMPARE_WITH_TIMEOUT(nth(devices, d).HostName, QStringLiteral("dev1"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(nth(devices, r).HostName, QStringLiteral("router"), 20000);

        // IPv6 on the monitor and the device (the lab keeps it off): a datagram to the device's link-local
        // address makes the kernel learn its row by neighbour discovery, and a harvest lists it.
        const QString ipv6On =
            QStringLiteral("sysctl -qw net.ipv6.conf.eth0.accept_dad=0 net.ipv6.conf.eth0.disable_ipv6=0");
        QCOMPARE(kwtest::run(QStringLiteral("sh"), {"-c", ipv6On}).code, 0);
        const kwtest::Run dev1 = kwtest::run(kwtest::netlabScript(),
            {"exec", qEnvironmentVariable(kLabEnv), "--host", "dev1", "sh", "-c",
                ipv6On + QStringLiteral(" && ip -6 -o addr show dev eth0")});
        QHostAddress to(QRegularExpression(QStringLiteral("inet6 (fe80::[0-9a-f:]+)/")).match(dev1.out).captured(1));
        to.setScopeId(QStringLiteral("eth0"));
        QVERIFY2(QUdpSocket().writeDatagram("kw", to, 9) == 2, qPrintable(dev1.out + dev1.err));
        QTRY_VERIFY_WITH_TIMEOUT(nth(devices, d).Ipv6Addresses.contains(to.toString().section(u'%', 0, 0)), 15000);

        // Taken off the LAN, the device is gone after two sweeps without it; the router stays.
        QCOMPARE(kwtest::run(kwtest::netlabScript(), {"off", qEnvironmentVariable(kLabEnv), "dev1"}).code, 0);
        const auto disconnected = [&window](
                                      qint32 i) { return window.calls.count(QStringLiteral("Offline %1").arg(i)); };
        QTRY_COMPARE_WITH_TIMEOUT(disconnected(d), 1, 30000);
        QCOMPARE(disconnected(r), 0);

        // Two more sweeps: the static row is still there and still sighted; echo requests left through the
        // swept interface and not one through an interface that is not swept (their rate is bench_lan's).
        const qsizetype harvests = window.calls.count(QStringLiteral("harvested"));
        QTRY_VERIFY_WITH_TIMEOUT(window.calls.count(QStringLiteral("harvested")) >= harvests + 2, 60000);
        table = ipNeighbours();
        QVERIFY2(table.contains(QStringLiteral("198.18.0.20 lladdr 02:00:c6:12:00:14 PERMANENT")), qPrintable(table));
        QVERIFY(devices.find(QStringLiteral("02-00-C6-12-00-14"))->PresenceCountdown != 0);
        const QMap<QString, int> echoes = echoesOut();
        QVERIFY(echoes.value(QStringLiteral("eth0")) > 0);
        for (const QString& ifname : kSkipped)
            QCOMPARE(echoes.value(ifname, -1), 0);
        QCOMPARE(log.lines().filter(QStringLiteral("kwt0")).size(), 1);
        engine.Shutdown();
        KeyStore::attach(nullptr);
    }

    // The whole /22 is swept, not the /24 around the monitor's own address: every device is found in the
    // first cycles, and one that leaves goes offline while the others stay.
    void wholeSubnetFoundAndLeaversLost()
    {
        TestHome home;
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        QVERIFY(hive);
        KeyStore::attach(hive.get());
        DeviceStore devices;
        LogCapture log;
        LinuxNetPlatform net;
        DiscoveryEngine engine(devices, net);
        EventRecorder window(engine, devices);
        engine.Load();
        QVERIFY2(engine.isRunning(), qPrintable(log.lines().join(QLatin1Char('\n'))));
        QCOMPARE(engine.rangeText(0), QStringLiteral("198.18.0.0 to 198.18.3.255"));
        const QStringList far {"02-00-C6-12-03-FE", "02-00-C6-12-02-07", "02-00-C6-12-01-4D"};
        for (const QString& mac : far)
            QTRY_VERIFY_WITH_TIMEOUT(positionOf(devices, mac) >= 0, 60000);
        const qint32 gone = positionOf(devices, far[0]);
        QCOMPARE(kwtest::run(kwtest::netlabScript(), {"off", qEnvironmentVariable(kLabEnv), "far1"}).code, 0);
        QTRY_COMPARE_WITH_TIMEOUT(window.calls.count(QStringLiteral("Offline %1").arg(gone)), 1, 60000);
        // The other two stay (the NOARP row beside the LAN may go with the kernel's own clean-up).
        for (const QString& mac : far.mid(1))
            QCOMPARE(window.calls.count(QStringLiteral("Offline %1").arg(positionOf(devices, mac))), 0);
        engine.Shutdown();
        KeyStore::attach(nullptr);
    }
};

class TestEngineNetlab : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void engineOnTheLab()
    {
        KW_REQUIRE_LAB();
        kwtest::Lab lab(QStringLiteral("kwe"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(
            lab.addDevice(QStringLiteral("dev1"), QStringLiteral("198.18.0.10"), QStringLiteral("02:00:c6:12:00:0a")));
        qputenv(kLabEnv, lab.name().toLatin1());
        const kwtest::Run inside = kwtest::run(QStringLiteral("ip"),
            {"netns", "exec", lab.ns(), QCoreApplication::applicationFilePath(), "--inside",
                "sweepFindsKeepsNamesAndLosesDevices"},
            240000);
        QVERIFY2(inside.code == 0, qPrintable(inside.out + inside.err));
    }

    void engineOnAWideLab()
    {
        KW_REQUIRE_LAB();
        kwtest::Lab lab(QStringLiteral("kww"), QStringLiteral("198.18.0.0/22"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(
            lab.addDevice(QStringLiteral("far1"), QStringLiteral("198.18.3.254"), QStringLiteral("02:00:c6:12:03:fe")));
        QVERIFY(
            lab.addDevice(QStringLiteral("far2"), QStringLiteral("198.18.2.7"), QStringLiteral("02:00:c6:12:02:07")));
        QVERIFY(
            lab.addDevice(QStringLiteral("far3"), QStringLiteral("198.18.1.77"), QStringLiteral("02:00:c6:12:01:4d")));
        qputenv(kLabEnv, lab.name().toLatin1());
        const kwtest::Run inside = kwtest::run(QStringLiteral("ip"),
            {"netns", "exec", lab.ns(), QCoreApplication::applicationFilePath(), "--inside",
                "wholeSubnetFoundAndLeaversLost"},
            240000);
        QVERIFY2(inside.code == 0, qPrintable(inside.out + inside.err));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc >= 3 && qstrcmp(argv[1], "--inside") == 0) {
        TestEngineNetlabInside inside; // the one test function named
        return QTest::qExec(&inside, {QString::fromLocal8Bit(argv[0]), QString::fromLocal8Bit(argv[2])});
    }
    TestEngineNetlab outer;
    return kwtest::finish(QTest::qExec(&outer, argc, argv));
}

#include "tst_engine_netlab.moc"
