// The Linux network layer's pure parts: which interfaces the adapter list keeps (and why it leaves the others
// out) and the neighbour table's limit. The interfaces themselves are met in a
// namespace LAN (tests/engine/tst_engine_netlab).

#include "Skip.h"
#include "TestHome.h"
#include "platform/LinuxAdapters.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>

namespace {

constexpr unsigned kLowerUp = 1u << 16; // carrier
constexpr unsigned kUp = IFF_UP | IFF_RUNNING | kLowerUp | IFF_BROADCAST | IFF_MULTICAST;

} // namespace

class TestLinuxNetPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // One row per kind of interface a real machine has, as the kernel flags it.
    void whichInterfacesAreSwept_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<int>("hatype");
        QTest::addColumn<QString>("result"); // "swept", "silent" or the reason it is left out
        QTest::newRow("ethernet with carrier") << "if9" << kUp << int(ARPHRD_ETHER) << "swept";
        QTest::newRow("802.1Q sub-interface") << "if9.10" << kUp << int(ARPHRD_ETHER) << "swept";
        QTest::newRow("loopback") << "if9" << (kUp | IFF_LOOPBACK) << int(ARPHRD_LOOPBACK) << "silent";
        QTest::newRow("down") << "if9" << unsigned(IFF_BROADCAST) << int(ARPHRD_ETHER) << "is down";
        QTest::newRow("bridge whose ports are gone")
            << "if9" << unsigned(IFF_UP | IFF_BROADCAST) << int(ARPHRD_ETHER) << "has no carrier";
        QTest::newRow("carrier, not yet running")
            << "if9" << (kUp & ~unsigned(IFF_RUNNING)) << int(ARPHRD_ETHER) << "has no carrier";
        QTest::newRow("wireguard") << "if9" << (kUp | IFF_POINTOPOINT | IFF_NOARP) << int(ARPHRD_NONE)
                                   << "is a point-to-point link";
        QTest::newRow("ppp") << "if9" << (kUp | IFF_POINTOPOINT) << int(ARPHRD_PPP) << "is a point-to-point link";
        QTest::newRow("arp off") << "if9" << (kUp | IFF_NOARP) << int(ARPHRD_ETHER) << "does not do ARP";
    }

    void whichInterfacesAreSwept()
    {
        QFETCH(QString, name);
        QFETCH(unsigned, flags);
        QFETCH(int, hatype);
        QFETCH(QString, result);
        // getifaddrs's shape: the link entry, then the address entry (its label "if9:1" belongs to if9).
        sockaddr_ll link {};
        link.sll_family = AF_PACKET;
        link.sll_ifindex = 9;
        link.sll_hatype = quint16(hatype);
        sockaddr_in ip {}, mask {};
        ip.sin_family = mask.sin_family = AF_INET;
        inet_pton(AF_INET, "198.18.9.5", &ip.sin_addr);
        inet_pton(AF_INET, "255.255.255.0", &mask.sin_addr);
        // The braced nullptr is the broadcast/destination union.
        QByteArray linkName = name.toLatin1(), label = linkName + ":1";
        ifaddrs address {nullptr, label.data(), flags, reinterpret_cast<sockaddr*>(&ip),
            reinterpret_cast<sockaddr*>(&mask), {nullptr}, nullptr};
        ifaddrs entry {
            &address, linkName.data(), flags, reinterpret_cast<sockaddr*>(&link), nullptr, {nullptr}, nullptr};
        QList<LeftOutLink> leftOut;
        const QList<AdapterInfo> swept = adaptersFromIfaddrs(&entry, {{9, QStringLiteral("198.18.9.1")}}, &leftOut);
        QCOMPARE(swept.size(), result == QLatin1String("swept") ? 1 : 0);
        if (!swept.isEmpty())
            QCOMPARE(swept.first().name, name);
        QStringList said;
        for (const LeftOutLink& l : leftOut)
            said << l.name + QLatin1Char(' ') + l.reason;
        QCOMPARE(
            said, result.contains(QLatin1Char(' ')) ? QStringList {QStringLiteral("if9 ") + result} : QStringList());
    }

    void bridgesAndTheNeighbourLimit()
    {
        QTemporaryDir dir;
        for (const char* path : {"br0/bridge", "br0/brif", "br1/bridge", "br1/brif/eth1", "eth0"})
            QVERIFY(QDir(dir.path()).mkpath(QString::fromLatin1(path)));
        QVERIFY(isBridgeWithoutPorts(dir.path(), QStringLiteral("br0")));
        QVERIFY(!isBridgeWithoutPorts(dir.path(), QStringLiteral("br1")));
        QVERIFY(!isBridgeWithoutPorts(dir.path(), QStringLiteral("eth0")));

        QFile f(dir.filePath(QStringLiteral("gc_thresh3")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("8192\n") == 5);
        f.close();
        QCOMPARE(neighbourTableLimitFrom(f.fileName()), 8192);
        QCOMPARE(neighbourTableLimitFrom(dir.filePath(QStringLiteral("br0"))), 1024); // unreadable: the default
        QCOMPARE(neighbourTableLimitFrom(dir.filePath(QStringLiteral("absent"))), 1024); // a namespace's view
    }
};

KW_TEST_GUILESS_MAIN(TestLinuxNetPlatform)
#include "tst_linuxnetplatform.moc"
