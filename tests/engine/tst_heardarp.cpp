// Heard ARP in the engine: a stranger speaking for itself in a swept range is admitted at once through the
// harvest's own admission (the default gateway as safe) and the harvest then has nothing left to report; a known
// device comes back at once and still goes offline after two sweeps without a sighting; a stranger's answer admits
// it only when it answers this machine, from an address the sweep asked lately; anything outside the ranges
// changes nothing.

#include "Devices.h"
#include "EngineRig.h"
#include "Skip.h"

#include <QTest>

namespace {
const QString kMac = QStringLiteral("02-AA-BB-CC-DD-01");
const QStringList kQuiet {QStringLiteral("harvested")}; // a harvest with nothing to report
} // namespace

class TestHeardArp : public QObject
{
    Q_OBJECT

    static void started(EngineRig& rig)
    {
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
        rig.load();
        rig.nextSweep(); // the ranges are known
        rig.window.calls.clear();
    }

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void unknownSenders_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("intruder"); // as stored
        QTest::addColumn<bool>("toHost");
        QTest::addColumn<int>("ticks"); // after the sweep's harvest
        QTest::newRow("in a swept range") << "198.18.0.7" << int(Heard::ArpAnnouncement) << "True" << false << 0;
        QTest::newRow("the default gateway") << "198.18.0.1" << int(Heard::ArpRequest) << "False" << false << 0;
        QTest::newRow("outside every range") << "198.18.1.7" << int(Heard::ArpProbe) << "<missing>" << false << 0;
        QTest::newRow("the network address")
            << "198.18.0.0" << int(Heard::ArpAnnouncement) << "<missing>" << false << 0;
        QTest::newRow("the broadcast address")
            << "198.18.0.255" << int(Heard::ArpAnnouncement) << "<missing>" << false << 0;
        QTest::newRow("an answer to this machine") << "198.18.0.7" << int(Heard::ArpReply) << "True" << true << 0;
        QTest::newRow("an answer to another host") << "198.18.0.7" << int(Heard::ArpReply) << "<missing>" << false << 0;
        QTest::newRow("an answer to a question long past")
            << "198.18.0.7" << int(Heard::ArpReply) << "<missing>" << true << 30;
    }
    void unknownSenders()
    {
        QFETCH(QString, ip);
        QFETCH(int, kind);
        QFETCH(QString, intruder);
        QFETCH(bool, toHost);
        QFETCH(int, ticks);
        EngineRig rig;
        started(rig);
        rig.tick(ticks);
        rig.net.hearArp(kMac, ip, Heard::Kind(kind), 2, toHost);
        QCOMPARE(rig.stored(kMac, QStringLiteral("Intruder")), intruder);
        QCOMPARE(rig.window.calls.isEmpty(), qint32(rig.devices.size()) == 0);
        if (qint32(rig.devices.size()) == 0)
            return;
        QCOMPARE(rig.window.calls.first(), "Admitted 0 " + ip + (intruder == "True" ? " intruder" : ""));
        // The harvest finds its row later: no second admission, no online alert for a device first seen now.
        rig.clock.advanceMSecs(20000);
        rig.net.addNeighbour(kMac, ip);
        QCOMPARE(rig.nextSweep(), kQuiet);
    }

    void knownSenders()
    {
        EngineRig rig;
        rig.addLoadedDevice(kMac, QStringLiteral("198.18.0.7"));
        started(rig);
        rig.net.hearArp(kMac, QStringLiteral("198.18.0.7"), Heard::ArpRequest);
        QCOMPARE(rig.window.calls, QStringList {QStringLiteral("Online 0 198.18.0.7 intruder")});
        rig.window.calls.clear();
        rig.net.hearArp(kMac, QStringLiteral("198.18.0.7"), Heard::ArpReply); // online already: a sighting only
        QVERIFY(rig.window.calls.isEmpty());
        QCOMPARE(rig.nextSweep(), kQuiet); // one missed sweep is tolerated, as after a harvested row
        const QStringList calls = rig.nextSweep();
        QCOMPARE(calls.first(), QStringLiteral("Offline 0"));
    }

    // Heard DHCP: INFORM in a swept range admits or sights; a stranger's REQUEST only asks, and is admitted, and
    // named by it, once it answers at that address (its ARP, or the harvest's row); DISCOVER, an address outside
    // or a range's network or broadcast address never admits. The host name, through the one filter, names only
    // a device that has none yet.
    void dhcpClients_data()
    {
        QTest::addColumn<bool>("known"); // loaded beforehand, offline, named "nas.lan"
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("answer"); // then: "arp ADDRESS" or "harvest"
        QTest::addColumn<QString>("calls"); // the engine's events, joined by "|"
        QTest::addColumn<QString>("host");
        const auto req = int(Heard::DhcpRequest);
        const QString admitted = QStringLiteral("Admitted 0 198.18.0.7 intruder|Online 0 198.18.0.7 intruder unlogged");
        const QString arp = QStringLiteral("arp 198.18.0.7");
        QTest::newRow("request, named, then its ARP")
            << false << req << "198.18.0.7" << QByteArray("laptop") << arp << admitted + "|NameChanged 0 laptop"
            << "laptop";
        QTest::newRow("request, then the harvest's row")
            << false << req << "198.18.0.7" << QByteArray("laptop") << "harvest"
            << "Admitted 0 198.18.0.7 intruder|NameChanged 0 laptop|Online 0 198.18.0.7 intruder unlogged|harvested"
            << "laptop";
        QTest::newRow("request never answered: nobody") << false << req << "198.18.0.7" << QByteArray("laptop") << ""
                                                        << ""
                                                        << "";
        QTest::newRow("request, but its ARP says another address: not its name")
            << false << req << "198.18.0.7" << QByteArray("laptop") << "arp 198.18.0.9"
            << "Admitted 0 198.18.0.9 intruder|Online 0 198.18.0.9 intruder unlogged"
            << "Unknown Device";
        QTest::newRow("request for the broadcast address")
            << false << req << "198.18.0.255" << QByteArray("laptop") << "arp 198.18.0.255"
            << ""
            << "";
        QTest::newRow("inform, no name") << false << int(Heard::DhcpInform) << "198.18.0.7" << QByteArray() << ""
                                         << admitted << "Unknown Device";
        QTest::newRow("name with a control character: refused")
            << false << int(Heard::DhcpInform) << "198.18.0.7" << QByteArray("pc\x1b[2J") << "" << admitted
            << "Unknown Device";
        QTest::newRow("name no UTF-8") << false << req << "198.18.0.7" << QByteArray("p\xc3") << arp << admitted
                                       << "Unknown Device";
        QTest::newRow("discover") << false << int(Heard::DhcpDiscover) << "198.18.0.7" << QByteArray("laptop") << ""
                                  << ""
                                  << "";
        QTest::newRow("outside every range") << false << req << "198.18.1.7" << QByteArray("laptop") << ""
                                             << ""
                                             << "";
        QTest::newRow("no address") << false << req << "" << QByteArray("laptop") << ""
                                    << ""
                                    << "";
        QTest::newRow("known: back, name kept") << true << req << "198.18.0.7" << QByteArray("laptop") << ""
                                                << "Online 0 198.18.0.7 intruder"
                                                << "nas.lan";
        QTest::newRow("known: discover changes nothing")
            << true << int(Heard::DhcpDiscover) << "" << QByteArray("laptop") << ""
            << ""
            << "nas.lan";
    }
    void dhcpClients()
    {
        QFETCH(bool, known);
        QFETCH(int, kind);
        QFETCH(QString, ip);
        QFETCH(QByteArray, name);
        QFETCH(QString, answer);
        QFETCH(QString, calls);
        QFETCH(QString, host);
        EngineRig rig;
        if (known)
            rig.addLoadedDevice(kMac, QStringLiteral("198.18.0.7")).HostName = QStringLiteral("nas.lan");
        started(rig);
        rig.net.hearDhcp(kMac, ip, Heard::Kind(kind), name);
        if (answer.startsWith(QLatin1String("arp "))) {
            rig.net.hearArp(kMac, answer.mid(4), Heard::ArpAnnouncement);
        } else if (answer == QLatin1String("harvest")) {
            rig.net.addNeighbour(kMac, ip);
            rig.nextSweep();
        }
        QCOMPARE(rig.window.calls.join(QLatin1Char('|')), calls);
        const qint32 index = positionOf(rig.devices, kMac);
        QCOMPARE(index >= 0 ? nth(rig.devices, index).HostName : QString(), host);
        if (known || index < 0 || answer == QLatin1String("harvest"))
            return;
        ip = nth(rig.devices, index).IpAddress;
        // The same client's ARP and the harvest's row later add nothing: admitted once.
        rig.window.calls.clear();
        rig.net.hearArp(kMac, ip, Heard::ArpProbe);
        rig.clock.advanceMSecs(20000);
        rig.net.addNeighbour(kMac, ip);
        QCOMPARE(rig.nextSweep(), kQuiet);
    }
};

KW_TEST_GUILESS_MAIN(TestHeardArp)
#include "tst_heardarp.moc"
