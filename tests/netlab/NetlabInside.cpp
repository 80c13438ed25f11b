// Runs only inside the lab's monitor namespace; initTestCase refuses to go on anywhere else, because these
// checks send echo requests, change addresses and routes, and delete neighbour rows.

#include "NetlabInside.h"
#include "NetlabSupport.h"

#include "LogCapture.h"
#include "TestHome.h"
#include "platform/DebugSink.h"
#include "platform/LinuxNetPlatform.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <net/if.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace netlab;

namespace {

QString lab()
{
    return qEnvironmentVariable(kLabEnv);
}

quint32 addr(const QString& ip)
{
    in_addr a {};
    inet_pton(AF_INET, ip.toLatin1().constData(), &a);
    return a.s_addr;
}

// The engine's 16-byte echo request: type 8, identifier 0x5555, sequence 0, eight bytes 0x40.
QByteArray echoPacket()
{
    QByteArray p = QByteArray::fromHex("0800000055550000") + QByteArray(8, '\x40');
    quint32 sum = 0;
    for (int i = 0; i < p.size(); i += 2)
        sum += quint32(quint8(p[i])) << 8 | quint8(p[i + 1]);
    sum = (sum >> 16) + (sum & 0xffff);
    sum = (sum >> 16) + (sum & 0xffff);
    p[2] = char(~sum >> 8);
    p[3] = char(~sum);
    return p;
}

QString ipText(const std::array<quint8, 4>& ip)
{
    return QStringLiteral("%1.%2.%3.%4").arg(ip[0]).arg(ip[1]).arg(ip[2]).arg(ip[3]);
}

std::optional<NeighbourRow> rowFor(LinuxNetPlatform& net, const QString& ip)
{
    const auto rows = net.neighbours();
    if (!rows)
        return std::nullopt;
    for (const NeighbourRow& r : *rows) {
        if (ipText(r.ip) == ip)
            return r;
    }
    return std::nullopt;
}

// `ip` in this (the monitor's) namespace.
bool ip(const QStringList& args)
{
    const kwtest::Run r = run(ipTool(), args);
    if (r.code != 0)
        qWarning().noquote() << "ip" << args.join(QLatin1Char(' ')) << "failed:" << r.err;
    return r.code == 0;
}

// The kernel's own word for a row's state (REACHABLE, FAILED ...), empty when there is no row.
QString kernelState(const QString& address)
{
    const QStringList words = run(ipTool(), {"-4", "neigh", "show", address, "nud", "all"})
                                  .out.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    return words.isEmpty() ? QString() : words.last();
}

bool inLabNamespace()
{
    struct stat self
    {
    };
    struct stat monitor
    {
    };
    const QByteArray path = "/run/netns/" + lab().toLatin1() + "-monitor";
    return !lab().isEmpty() && stat("/proc/self/ns/net", &self) == 0 && stat(path.constData(), &monitor) == 0
        && self.st_ino == monitor.st_ino && self.st_dev == monitor.st_dev;
}

// Gives up rights for good: each check runs in a process of its own, so only this check is affected.
bool dropOwnRights(std::initializer_list<int> caps)
{
    __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    for (const int c : caps) {
        data[c / 32].effective &= ~(1U << (c % 32));
        data[c / 32].permitted &= ~(1U << (c % 32));
    }
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

void TestNetlabInside::initTestCase()
{
    pinTestEnvironment();
    if (!inLabNamespace())
        QFAIL("not inside the lab's monitor namespace: refusing to send, reconfigure or delete anything");
}

void TestNetlabInside::adapterList()
{
    LinuxNetPlatform net;
    auto list = net.adapters();
    QVERIFY(list);
    QCOMPARE(list->size(), 1);
    AdapterInfo a = list->first();
    QCOMPARE(a.name, QStringLiteral("eth0"));
    QCOMPARE(a.index, int(if_nametoindex("eth0")));
    QCOMPARE(a.type, 6);
    QCOMPARE(a.mac, QByteArray::fromHex(kMonitorMac));
    QCOMPARE(a.addresses.size(), 1);
    QCOMPARE(a.addresses[0].ip, QString::fromLatin1(kMonitorIp));
    QCOMPARE(a.addresses[0].mask, QStringLiteral("255.255.255.0"));
    QCOMPARE(a.gateways, QStringList {kRouterIp});

    // A labelled second address, a second default route, one in another table, an interface that is up
    // without an address and one with an address that is down.
    const auto restore = qScopeGuard([] {
        ip({"link", "del", "x0"});
        ip({"route", "del", "default", "via", "198.18.0.254", "metric", "100"});
        ip({"route", "del", "default", "via", "198.18.0.253", "table", "100"});
        ip({"addr", "del", "198.18.5.2/26", "dev", "eth0"});
    });
    QVERIFY(ip({"addr", "add", "198.18.5.2/26", "dev", "eth0", "label", "eth0:1"}));
    QVERIFY(ip({"route", "add", "default", "via", "198.18.0.254", "metric", "100"}));
    QVERIFY(ip({"route", "add", "default", "via", "198.18.0.253", "table", "100"}));
    QVERIFY(ip({"link", "add", "x0", "type", "veth", "peer", "name", "x1"}));
    QVERIFY(ip({"link", "set", "x0", "up"}));
    QVERIFY(ip({"addr", "add", "198.19.0.1/24", "dev", "x1"}));
    list = net.adapters();
    QVERIFY(list);
    QCOMPARE(list->size(), 1);
    a = list->first();
    QCOMPARE(a.addresses.size(), 2);
    QCOMPARE(a.addresses[1].ip, QStringLiteral("198.18.5.2"));
    QCOMPARE(a.addresses[1].mask, QStringLiteral("255.255.255.192"));
    QCOMPARE(a.gateways, (QStringList {kRouterIp, "198.18.0.254"}));
}

void TestNetlabInside::echoResolvesDevice()
{
    LinuxNetPlatform net;
    QVERIFY(net.openIcmpSocket());
    net.setSocketBuffers(327680);
    QVERIFY(net.setNonBlocking());
    const int fd = net.icmpDescriptor();
    QVERIFY(fcntl(fd, F_GETFL) & O_NONBLOCK);
    QVERIFY(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    QVERIFY(net.sendBufferBytes() >= 327680);

    net.sendEcho(echoPacket(), addr(kDev1Ip));
    QCOMPARE(net.sendCounts().sent, quint64(1));
    QTRY_VERIFY_WITH_TIMEOUT(rowFor(net, kDev1Ip) && rowFor(net, kDev1Ip)->type == 3, 5000);
    const NeighbourRow row = *rowFor(net, kDev1Ip);
    QCOMPARE(row.mac, QByteArray::fromHex(kDev1Mac));
    QCOMPARE(row.ifindex, int(if_nametoindex("eth0")));

    net.closeIcmpSocket();
    QVERIFY(!net.icmpSocketOpen());
    net.sendEcho(echoPacket(), addr(kDev2Ip)); // harmless on a closed socket
}

void TestNetlabInside::unknownAddressTurnsInvalid()
{
    const QString nobody = QStringLiteral("198.18.0.200");
    LinuxNetPlatform net;
    QVERIFY(net.openIcmpSocket());
    net.sendEcho(echoPacket(), addr(nobody));
    // Incomplete while the kernel asks, failed when nobody answered (about 3 s): invalid, no MAC, either way.
    QTRY_VERIFY_WITH_TIMEOUT(rowFor(net, nobody).has_value(), 2000);
    QCOMPARE(int(rowFor(net, nobody)->type), 2);
    QTRY_COMPARE_WITH_TIMEOUT(kernelState(nobody), QStringLiteral("FAILED"), 8000);
    const NeighbourRow row = *rowFor(net, nobody);
    QCOMPARE(int(row.type), 2);
    QVERIFY(row.mac.isEmpty());
}

void TestNetlabInside::deleteRemovesRow()
{
    LinuxNetPlatform net;
    QVERIFY(net.openIcmpSocket());
    net.sendEcho(echoPacket(), addr(kDev1Ip));
    net.sendEcho(echoPacket(), addr(kRouterIp));
    QTRY_VERIFY_WITH_TIMEOUT(rowFor(net, kDev1Ip) && rowFor(net, kDev1Ip)->type == 3, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(rowFor(net, kRouterIp) && rowFor(net, kRouterIp)->type == 3, 5000);
    const NeighbourRow row = *rowFor(net, kDev1Ip);

    // A row of another interface with the same address is not this row.
    NeighbourRow elsewhere = row;
    elsewhere.ifindex = 999;
    net.deleteNeighbour(elsewhere);
    QVERIFY(rowFor(net, kDev1Ip));

    net.deleteNeighbour(row);
    QVERIFY(!rowFor(net, kDev1Ip));
    QVERIFY(rowFor(net, kRouterIp)); // only that row
    net.deleteNeighbour(row); // gone already: ignored
    QVERIFY(net.neighbours());
}

void TestNetlabInside::reverseLookup_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("name");
    QTest::newRow("device") << QString::fromLatin1(kDev1Ip) << QStringLiteral("dev1");
    QTest::newRow("router") << QString::fromLatin1(kRouterIp) << QStringLiteral("router");
    QTest::newRow("the monitor itself") << QString::fromLatin1(kMonitorIp) << QStringLiteral("monitor");
    QTest::newRow("nobody") << QStringLiteral("198.18.0.99") << QString();
}

void TestNetlabInside::reverseLookup()
{
    QFETCH(QString, address);
    QFETCH(QString, name);
    LinuxNetPlatform net;
    int calls = 0;
    int gotHandle = 0;
    int error = -1;
    QString gotName = QStringLiteral("untouched");
    const int handle = net.lookupAddress(address, [&](int h, int e, const QString& n) {
        ++calls;
        gotHandle = h;
        error = e;
        gotName = n;
    });
    QVERIFY(handle > 0);
    QCOMPARE(calls, 0); // never from inside the call
    QTRY_COMPARE_WITH_TIMEOUT(calls, 1, 10000);
    QCOMPARE(gotHandle, handle);
    QCOMPARE(gotName, name);
    if (name.isEmpty())
        QVERIFY(error != 0);
    else
        QCOMPARE(error, 0);
}

void TestNetlabInside::cancelledLookupNeverAnswers()
{
    LinuxNetPlatform net;
    int aCalls = 0;
    int bCalls = 0;
    int cCalls = 0;
    const int a = net.lookupAddress(kDev1Ip, [&](int, int, const QString&) { ++aCalls; });
    const int b = net.lookupAddress(kRouterIp, [&](int, int, const QString&) { ++bCalls; });
    QVERIFY(a > 0 && b > 0 && a != b);
    net.cancelLookup(a);
    QTRY_COMPARE_WITH_TIMEOUT(bCalls, 1, 10000);

    // The answer is already waiting in the event queue when the cancel comes: still never delivered.
    const int c = net.lookupAddress(kDev2Ip, [&](int, int, const QString&) { ++cCalls; });
    QVERIFY(c > 0);
    QThread::msleep(500);
    net.cancelLookup(c);
    QTest::qWait(500);
    QCOMPARE(aCalls, 0);
    QCOMPARE(cCalls, 0);

    // Nor does a lookup outlive the platform that started it.
    int dCalls = 0;
    auto* gone = new LinuxNetPlatform;
    QVERIFY(gone->lookupAddress(kDev1Ip, [&](int, int, const QString&) { ++dCalls; }) > 0);
    QThread::msleep(300);
    delete gone;
    QTest::qWait(500);
    QCOMPARE(dCalls, 0);
}

void TestNetlabInside::withoutRights()
{
    // Without cap_net_raw and cap_net_admin (an unprivileged user, a binary without its file capabilities):
    // no socket, with a log line that says why; deletes fail quietly; reading still works.
    const QString kept = QStringLiteral("198.18.0.77");
    QVERIFY(ip({"-4", "neigh", "replace", kept, "lladdr", "02:4b:57:00:00:4d", "dev", "eth0", "nud", "permanent"}));
    const auto restore = qScopeGuard([&kept] { ip({"-4", "neigh", "del", kept, "dev", "eth0"}); });
    LogCapture capture;
    QVERIFY(dropOwnRights({CAP_NET_RAW, CAP_NET_ADMIN}));

    LinuxNetPlatform net;
    QVERIFY(!net.openIcmpSocket());
    QVERIFY(!net.icmpSocketOpen());
    QVERIFY(!net.setNonBlocking());
    net.sendEcho(echoPacket(), addr(kDev1Ip)); // nothing to send on: ignored
    QCOMPARE(capture.lines().size(), 1);
    QVERIFY2(capture.lines().first().startsWith(QStringLiteral("NetPlatform - raw ICMP socket: ")),
        qPrintable(capture.lines().first()));
    QVERIFY(capture.lines().first().contains(QStringLiteral("cap_net_raw")));

    const auto row = rowFor(net, kept);
    QVERIFY(row);
    QCOMPARE(int(row->type), 4);
    net.deleteNeighbour(*row);
    QVERIFY(rowFor(net, kept)); // refused by the kernel, and no harm done
    QVERIFY(net.neighbours());
    const auto list = net.adapters();
    QVERIFY(list);
    QCOMPARE(list->size(), 1);
    QCOMPARE(capture.lines().size(), 1);
}
