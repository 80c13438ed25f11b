// The Linux network layer's pure parts: which interfaces the adapter list keeps (and why it leaves the others
// out), the neighbour table's limit, and the lookups it refuses. The interfaces themselves are
// met in a namespace LAN (tests/engine/tst_engine_netlab).

#include "Skip.h"
#include "TestHome.h"
#include "platform/LinuxAdapters.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <deque>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>

namespace {

constexpr unsigned kLowerUp = 1u << 16; // carrier
constexpr unsigned kUp = IFF_UP | IFF_RUNNING | kLowerUp | IFF_BROADCAST | IFF_MULTICAST;

// A hand-made getifaddrs list in glibc's shape: link entries first, then addresses.
class IfaddrsList
{
public:
    void link(const char* name, int index, unsigned flags, int hatype, const char* mac = "")
    {
        auto* ll = reinterpret_cast<sockaddr_ll*>(&m_storage.emplace_back());
        const QByteArray bytes = QByteArray::fromHex(mac);
        ll->sll_family = AF_PACKET;
        ll->sll_ifindex = index;
        ll->sll_hatype = quint16(hatype);
        ll->sll_halen = quint8(bytes.size());
        memcpy(ll->sll_addr, bytes.constData(), size_t(bytes.size()));
        append(name, flags, reinterpret_cast<sockaddr*>(ll), nullptr);
    }
    void inet(const char* name, unsigned flags, const char* ip, const char* mask)
    {
        append(name, flags, v4(ip), v4(mask));
    }
    const ifaddrs* head() const { return m_nodes.empty() ? nullptr : &m_nodes.front(); }

private:
    sockaddr* v4(const char* text)
    {
        auto* in = reinterpret_cast<sockaddr_in*>(&m_storage.emplace_back());
        in->sin_family = AF_INET;
        inet_pton(AF_INET, text, &in->sin_addr);
        return reinterpret_cast<sockaddr*>(in);
    }
    void append(const char* name, unsigned flags, sockaddr* addr, sockaddr* mask)
    {
        ifaddrs& e = m_nodes.emplace_back();
        e = ifaddrs {};
        e.ifa_name = const_cast<char*>(name);
        e.ifa_flags = flags;
        e.ifa_addr = addr;
        e.ifa_netmask = mask;
        if (m_nodes.size() > 1)
            m_nodes[m_nodes.size() - 2].ifa_next = &e;
    }

    std::deque<ifaddrs> m_nodes;
    std::deque<sockaddr_storage> m_storage;
};

} // namespace

class TestLinuxNetPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // One row per kind of interface a real machine has, as the kernel flags it.
    void whichInterfacesAreSwept_data()
    {
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<int>("hatype");
        QTest::addColumn<QString>("result"); // "swept", "silent" or the reason it is left out
        QTest::newRow("ethernet with carrier") << kUp << int(ARPHRD_ETHER) << "swept";
        QTest::newRow("loopback") << (kUp | IFF_LOOPBACK) << int(ARPHRD_LOOPBACK) << "silent";
        QTest::newRow("down") << unsigned(IFF_BROADCAST) << int(ARPHRD_ETHER) << "is down";
        QTest::newRow("bridge without ports (docker0, virbr0)")
            << unsigned(IFF_UP | IFF_BROADCAST) << int(ARPHRD_ETHER) << "has no carrier";
        QTest::newRow("carrier, not yet running")
            << (kUp & ~unsigned(IFF_RUNNING)) << int(ARPHRD_ETHER) << "has no carrier";
        QTest::newRow("running, carrier just lost") << (kUp & ~kLowerUp) << int(ARPHRD_ETHER) << "has no carrier";
        QTest::newRow("wireguard") << (kUp | IFF_POINTOPOINT | IFF_NOARP) << int(ARPHRD_NONE)
                                   << "is a point-to-point link";
        QTest::newRow("openvpn tun") << (kUp | IFF_POINTOPOINT | IFF_NOARP) << int(ARPHRD_NONE)
                                     << "is a point-to-point link";
        QTest::newRow("ppp") << unsigned(IFF_UP | IFF_RUNNING | kLowerUp | IFF_POINTOPOINT) << int(ARPHRD_PPP)
                             << "is a point-to-point link";
        QTest::newRow("arp off") << (kUp | IFF_NOARP) << int(ARPHRD_ETHER) << "does not do ARP";
    }

    void whichInterfacesAreSwept()
    {
        QFETCH(unsigned, flags);
        QFETCH(int, hatype);
        QFETCH(QString, result);
        IfaddrsList l;
        l.link("eth0", 2, kUp, ARPHRD_ETHER, "020000000002");
        l.link("if9", 9, flags, hatype, "020000000009");
        l.link("br1", 5, kUp, ARPHRD_ETHER, "020000000005"); // no IPv4 address: left out without a word
        l.inet("eth0", kUp, "198.18.0.5", "255.255.255.0");
        l.inet("if9:1", flags, "198.18.9.5", "255.255.255.192"); // a labelled address belongs to if9
        QList<LeftOutLink> leftOut;
        const QList<AdapterInfo> swept = adaptersFromIfaddrs(l.head(), {{9, QStringLiteral("198.18.9.1")}}, &leftOut);
        QStringList names;
        for (const AdapterInfo& a : swept)
            names << a.name;
        const QStringList expected =
            result == QLatin1String("swept") ? QStringList {"eth0", "if9"} : QStringList {"eth0"};
        QCOMPARE(names, expected);
        QCOMPARE(leftOut.size(), result.contains(QLatin1Char(' ')) ? 1 : 0);
        if (!leftOut.isEmpty())
            QCOMPARE(leftOut.first().name + QLatin1Char(' ') + leftOut.first().reason, QStringLiteral("if9 ") + result);
        if (result == QLatin1String("swept")) {
            QCOMPARE(swept.last().gateways, QStringList {QStringLiteral("198.18.9.1")});
            QCOMPARE(swept.first().gateways, QStringList {QString()});
            QCOMPARE(swept.last().addresses.first().mask, QStringLiteral("255.255.255.192"));
        }
    }

    void bridgesAndTheNeighbourLimit()
    {
        QTemporaryDir dir;
        for (const char* path : {"br0/bridge", "br0/brif", "br1/bridge", "br1/brif/eth1", "eth0"})
            QVERIFY(QDir(dir.path()).mkpath(QString::fromLatin1(path)));
        QVERIFY(isBridgeWithoutPorts(dir.path(), QStringLiteral("br0")));
        QVERIFY(!isBridgeWithoutPorts(dir.path(), QStringLiteral("br1")));
        QVERIFY(!isBridgeWithoutPorts(dir.path(), QStringLiteral("eth0")));
        const auto limitOf = [&dir](const QByteArray& text) {
            QFile f(dir.filePath(QStringLiteral("gc_thresh3")));
            f.open(QIODevice::WriteOnly | QIODevice::Truncate);
            f.write(text);
            f.close();
            return neighbourTableLimitFrom(f.fileName());
        };
        QCOMPARE(limitOf("8192\n"), 8192);
        QCOMPARE(limitOf("junk"), 1024);
        QCOMPARE(neighbourTableLimitFrom(dir.filePath(QStringLiteral("absent"))), 1024); // a namespace's view
    }

    void lookupTakesOnlyAddressTexts()
    {
        // Refused before anything is asked of the resolver: a name would become a forward query.
        LinuxNetPlatform net;
        bool called = false;
        const auto done = [&called](int, int, const QString&) { called = true; };
        for (const char* text : {"printer", "198.18.0", "198.18.0.300", "198.18.0.+1", "::1", ""})
            QCOMPARE(net.lookupAddress(QString::fromLatin1(text), done), 0);
        QTest::qWait(50);
        QVERIFY(!called);
    }
};

KW_TEST_GUILESS_MAIN(TestLinuxNetPlatform)
#include "tst_linuxnetplatform.moc"
