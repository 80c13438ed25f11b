// The Linux network layer's pure parts, and read-only checks in the host's own namespace: the adapter list
// and the neighbour dump are read, compared with what `ip` says, and nothing is sent or deleted here. The
// sending, resolving and deleting side runs in a namespace LAN (tests/netlab).

#include "TestHome.h"
#include "platform/LinuxNetPlatform.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <arpa/inet.h>
#include <deque>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>

namespace {

// A hand-made getifaddrs list, in the shape glibc builds it: link entries first, then addresses.
class IfaddrsList
{
public:
    void link(const char* name, int index, unsigned flags, int hatype, const QByteArray& mac)
    {
        auto& sa = m_storage.emplace_back();
        auto* ll = reinterpret_cast<sockaddr_ll*>(&sa);
        ll->sll_family = AF_PACKET;
        ll->sll_ifindex = index;
        ll->sll_hatype = quint16(hatype);
        ll->sll_halen = quint8(mac.size());
        memcpy(ll->sll_addr, mac.constData(), size_t(mac.size()));
        append(name, flags, reinterpret_cast<sockaddr*>(&sa), nullptr);
    }
    void inet(const char* name, unsigned flags, const char* ip, const char* mask)
    {
        append(name, flags, v4(ip), v4(mask));
    }
    const ifaddrs* head() const { return m_nodes.empty() ? nullptr : &m_nodes.front(); }

private:
    sockaddr* v4(const char* text)
    {
        auto& sa = m_storage.emplace_back();
        auto* in = reinterpret_cast<sockaddr_in*>(&sa);
        in->sin_family = AF_INET;
        inet_pton(AF_INET, text, &in->sin_addr);
        return reinterpret_cast<sockaddr*>(&sa);
    }
    void append(const char* name, unsigned flags, sockaddr* addr, sockaddr* mask)
    {
        ifaddrs& e = m_nodes.emplace_back();
        e.ifa_name = const_cast<char*>(name);
        e.ifa_flags = flags;
        e.ifa_addr = addr;
        e.ifa_netmask = mask;
        if (m_nodes.size() > 1)
            m_nodes[m_nodes.size() - 2].ifa_next = &e;
    }

    std::deque<ifaddrs> m_nodes {};
    std::deque<sockaddr_storage> m_storage {};
};

QString adapterText(const AdapterInfo& a)
{
    QStringList addresses;
    for (const AdapterAddress& x : a.addresses)
        addresses << x.ip + QLatin1Char('/') + x.mask;
    return QStringLiteral("%1 %2 type %3 mac %4 [%5] gw [%6]")
        .arg(a.index)
        .arg(a.name)
        .arg(a.type)
        .arg(
            QString::fromLatin1(a.mac.toHex('-')), addresses.join(QLatin1Char(' ')), a.gateways.join(QLatin1Char(' ')));
}

QString maskOfPrefix(int prefix)
{
    const quint32 m = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
    return QStringLiteral("%1.%2.%3.%4").arg(m >> 24).arg((m >> 16) & 255).arg((m >> 8) & 255).arg(m & 255);
}

} // namespace

class TestLinuxNetPlatform : public QObject
{
    Q_OBJECT

    QString m_ip;

    QString ipTool(const QStringList& args)
    {
        QProcess p;
        p.start(m_ip, args);
        if (!p.waitForFinished(10000) || p.exitCode() != 0)
            return {};
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        m_ip = QStandardPaths::findExecutable(QStringLiteral("ip"), {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
    }

    void adapterTypes_data()
    {
        QTest::addColumn<int>("arphrd");
        QTest::addColumn<int>("type");
        QTest::newRow("ether") << int(ARPHRD_ETHER) << 6;
        QTest::newRow("token ring") << int(ARPHRD_IEEE802_TR) << 9;
        QTest::newRow("fddi") << int(ARPHRD_FDDI) << 15;
        QTest::newRow("ppp") << int(ARPHRD_PPP) << 23;
        QTest::newRow("loopback") << int(ARPHRD_LOOPBACK) << 24;
        QTest::newRow("slip") << int(ARPHRD_SLIP) << 28;
        QTest::newRow("wireguard (none)") << int(ARPHRD_NONE) << 1;
        QTest::newRow("ipip tunnel") << int(ARPHRD_TUNNEL) << 1;
        QTest::newRow("infiniband") << int(ARPHRD_INFINIBAND) << 1;
    }
    void adapterTypes()
    {
        QFETCH(int, arphrd);
        QFETCH(int, type);
        QCOMPARE(adapterTypeFromArphrd(arphrd), type);
    }

    void neighbourTypes_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("type");
        QTest::newRow("permanent") << int(NUD_PERMANENT) << 4;
        QTest::newRow("noarp") << int(NUD_NOARP) << 1;
        QTest::newRow("incomplete") << int(NUD_INCOMPLETE) << 2;
        QTest::newRow("failed") << int(NUD_FAILED) << 2;
        QTest::newRow("reachable") << int(NUD_REACHABLE) << 3;
        QTest::newRow("stale") << int(NUD_STALE) << 3;
        QTest::newRow("delay") << int(NUD_DELAY) << 3;
        QTest::newRow("probe") << int(NUD_PROBE) << 3;
        QTest::newRow("none") << int(NUD_NONE) << 3;
    }
    void neighbourTypes()
    {
        QFETCH(int, state);
        QFETCH(int, type);
        QCOMPARE(int(neighbourTypeFromState(state)), type);
    }

    void adaptersFromAList()
    {
        IfaddrsList l;
        const unsigned up = IFF_UP | IFF_RUNNING | IFF_BROADCAST;
        l.link("lo", 1, IFF_UP | IFF_LOOPBACK, ARPHRD_LOOPBACK, QByteArray(6, 0));
        l.link("wlan0", 4, IFF_BROADCAST, ARPHRD_ETHER, QByteArray::fromHex("020000000004")); // down
        l.link("eth1", 3, up, ARPHRD_ETHER, QByteArray::fromHex("020000000003"));
        l.link("eth0", 2, up, ARPHRD_ETHER, QByteArray::fromHex("020000000002"));
        l.link("br0", 5, up, ARPHRD_ETHER, QByteArray::fromHex("020000000005")); // no IPv4 address
        l.link("ppp0", 6, IFF_UP | IFF_POINTOPOINT, ARPHRD_PPP, QByteArray());
        l.inet("lo", IFF_UP | IFF_LOOPBACK, "127.0.0.1", "255.0.0.0");
        l.inet("eth1", up, "198.18.1.5", "255.255.255.0");
        l.inet("eth0", up, "198.18.0.5", "255.255.255.0");
        l.inet("eth1:1", up, "198.18.2.5", "255.255.255.192"); // labelled secondary address
        l.inet("wlan0", IFF_BROADCAST, "198.18.4.5", "255.255.255.0");
        l.inet("ppp0", IFF_UP | IFF_POINTOPOINT, "198.18.6.5", "255.255.255.255");

        const QList<DefaultRouteHop> routes {{3, QStringLiteral("198.18.1.1")}, {2, QStringLiteral("198.18.0.1")},
            {3, QStringLiteral("198.18.1.254")}, {9, QStringLiteral("198.18.9.1")}};
        QStringList got;
        for (const AdapterInfo& a : adaptersFromIfaddrs(l.head(), routes))
            got << adapterText(a);
        // Index order; loopback, the down interface and the one without an address are left out.
        QCOMPARE(got,
            (QStringList {
                "2 eth0 type 6 mac 02-00-00-00-00-02 [198.18.0.5/255.255.255.0] gw [198.18.0.1]",
                "3 eth1 type 6 mac 02-00-00-00-00-03 [198.18.1.5/255.255.255.0 198.18.2.5/255.255.255.192] "
                "gw [198.18.1.1 198.18.1.254]",
                "6 ppp0 type 23 mac  [198.18.6.5/255.255.255.255] gw []",
            }));
        QCOMPARE(adaptersFromIfaddrs(l.head(), routes).last().gateways, QStringList {QString()});
        QVERIFY(adaptersFromIfaddrs(nullptr, routes).isEmpty());
    }

    // The host's own adapters as `ip` reports them: read only.
    void hostAdaptersMatchTheIpTool()
    {
        if (m_ip.isEmpty())
            QSKIP("the ip tool is not installed");
        struct Expected
        {
            QString name;
            bool usable = false;
            QStringList addresses;
            QStringList gateways;
        };
        QMap<int, Expected> expected;
        for (const QString& line : ipTool({"-o", "link", "show"}).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const int index = f.value(0).chopped(1).toInt();
            const QString flags = f.value(2);
            Expected& e = expected[index];
            e.name = f.value(1).chopped(1).section(QLatin1Char('@'), 0, 0);
            const QStringList flagList = flags.mid(1, flags.size() - 2).split(QLatin1Char(','));
            e.usable = flagList.contains(QStringLiteral("UP")) && !flagList.contains(QStringLiteral("LOOPBACK"));
        }
        for (const QString& line : ipTool({"-4", "-o", "addr", "show"}).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const QString cidr = f.value(f.indexOf(QStringLiteral("inet")) + 1);
            expected[f.value(0).chopped(1).toInt()].addresses << cidr.section(QLatin1Char('/'), 0, 0) + QLatin1Char('/')
                    + maskOfPrefix(cidr.section(QLatin1Char('/'), 1).toInt());
        }
        for (const QString& line :
            ipTool({"-4", "route", "show", "table", "main", "default"}).split(QLatin1Char('\n'))) {
            const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const qsizetype via = f.indexOf(QStringLiteral("via"));
            const qsizetype dev = f.indexOf(QStringLiteral("dev"));
            if (via < 0 || dev < 0)
                continue;
            for (auto it = expected.begin(); it != expected.end(); ++it) {
                if (it->name == f.value(dev + 1))
                    it->gateways << f.value(via + 1);
            }
        }

        QStringList want;
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            if (it->usable && !it->addresses.isEmpty())
                want << QStringLiteral("%1 %2 [%3] gw [%4]")
                            .arg(it.key())
                            .arg(it->name, it->addresses.join(QLatin1Char(' ')),
                                it->gateways.isEmpty() ? QString() : it->gateways.join(QLatin1Char(' ')));
        }
        LinuxNetPlatform net;
        const auto adapters = net.adapters();
        QVERIFY(adapters);
        QStringList got;
        for (const AdapterInfo& a : *adapters) {
            QStringList addresses;
            for (const AdapterAddress& x : a.addresses)
                addresses << x.ip + QLatin1Char('/') + x.mask;
            got << QStringLiteral("%1 %2 [%3] gw [%4]")
                       .arg(a.index)
                       .arg(a.name, addresses.join(QLatin1Char(' ')), a.gateways.join(QLatin1Char(' ')));
            QVERIFY2(a.type != 24 && a.name != QLatin1String("lo"), qPrintable(got.last()));
        }
        qInfo() << "host adapters:" << got;
        QCOMPARE(got, want);
    }

    // The neighbour dump is read (never changed) and agrees with `ip -4 neigh`; a row that changes between
    // the two reads is tolerated by trying again.
    void hostNeighbourDumpReads()
    {
        LinuxNetPlatform net;
        const auto rows = net.neighbours();
        QVERIFY(rows);
        for (const NeighbourRow& r : *rows) {
            QVERIFY(r.type >= 1 && r.type <= 4);
            QVERIFY(r.ifindex > 0);
        }
        if (m_ip.isEmpty())
            return;
        // ip hides NOARP rows unless asked for all; the state is the line's last word.
        const QHash<QString, int> typeOfState {{"PERMANENT", 4}, {"NOARP", 1}, {"INCOMPLETE", 2}, {"FAILED", 2}};
        bool same = false;
        for (int attempt = 0; attempt < 3 && !same; ++attempt) {
            QStringList theirs;
            for (const QString& line :
                ipTool({"-4", "neigh", "show", "nud", "all"}).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                const qsizetype ll = f.indexOf(QStringLiteral("lladdr"));
                theirs << QStringLiteral("%1 %2 %3")
                              .arg(f.value(0), ll < 0 ? QString() : f.value(ll + 1))
                              .arg(typeOfState.value(f.last(), 3));
            }
            QStringList ours;
            const auto again = net.neighbours();
            QVERIFY(again);
            for (const NeighbourRow& r : *again)
                ours << QStringLiteral("%1.%2.%3.%4 %5 %6")
                            .arg(r.ip[0])
                            .arg(r.ip[1])
                            .arg(r.ip[2])
                            .arg(r.ip[3])
                            .arg(QString::fromLatin1(r.mac.toHex(':')))
                            .arg(r.type);
            theirs.sort();
            ours.sort();
            same = theirs == ours;
            if (!same)
                qInfo() << "neighbour table changed between reads:" << ours << theirs;
        }
        QVERIFY(same);
    }

    void lookupTakesOnlyAddressTexts()
    {
        // Refused before anything is asked of the resolver: a name would become a forward query.
        LinuxNetPlatform net;
        bool called = false;
        const auto done = [&called](int, int, const QString&) { called = true; };
        QCOMPARE(net.lookupAddress(QStringLiteral("printer"), done), 0);
        QCOMPARE(net.lookupAddress(QStringLiteral("198.18.0"), done), 0); // shorthand for 198.18.0.0
        QCOMPARE(net.lookupAddress(QStringLiteral("198.18.0.300"), done), 0);
        QCOMPARE(net.lookupAddress(QStringLiteral("198.18.0.+1"), done), 0);
        QCOMPARE(net.lookupAddress(QStringLiteral("::1"), done), 0);
        QCOMPARE(net.lookupAddress(QString(), done), 0);
        QTest::qWait(50);
        QVERIFY(!called);
        net.cancelLookup(0); // harmless
    }
};

QTEST_GUILESS_MAIN(TestLinuxNetPlatform)
#include "tst_linuxnetplatform.moc"
