// Host names: one reverse lookup at a time in index order, the time-out and the periodic refresh, which
// replies are taken, and what a taken name writes.

#include "Devices.h"
#include "EngineRig.h"
#include "Skip.h"
#include "engine/LikelyReturn.h"
#include "store/KeyStore.h"
#include "store/Settings.h"

#include <QRegularExpression>
#include <QTest>

namespace {

QString ipOf(int host)
{
    return QStringLiteral("198.18.0.%1").arg(host);
}

QString macOf(int n)
{
    return QStringLiteral("02-AA-BB-CC-DD-%1").arg(n, 2, 10, QLatin1Char('0'));
}

// Devices 0..count-1 at 198.18.0.10 + i with their names due. No adapter is up, so no sweep changes their
// presence; setOnline makes them all online.
void addDevices(EngineRig& rig, int count)
{
    for (int i = 0; i < count; ++i)
        rig.addLoadedDevice(macOf(i), ipOf(10 + i));
}

void setOnline(EngineRig& rig)
{
    for (qint32 i = 0; i < qint32(rig.devices.size()); ++i)
        nth(rig.devices, i).PresenceCountdown = 2;
}

} // namespace

class TestNameLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void lookupsRunOneAtATimeInIndexOrder()
    {
        EngineRig rig;
        addDevices(rig, 3);
        nth(rig.devices, 1).NameLookupPending = false;
        rig.load();
        setOnline(rig);
        QVERIFY(rig.answer(QStringLiteral("alpha.lan")));

        // Device 1 is not due. A failed lookup only clears the flag.
        QCOMPARE(rig.net.lookedUpAddresses(), (QStringList {ipOf(10), ipOf(12)}));
        QVERIFY(rig.answer(QString(), 2));
        QVERIFY(
            !nth(rig.devices, 2).NameLookupPending && nth(rig.devices, 2).HostName == QLatin1String("Unknown Device"));
        QCOMPARE(rig.engine.HostLookupHandle(), 0);
    }

    // An address that is empty or no dotted quad cannot be asked: it fails like any lookup, later, and the
    // walk goes on to the devices after it.
    void anUnaskableAddressFailsAndTheWalkMovesOn()
    {
        EngineRig rig;
        addDevices(rig, 4);
        nth(rig.devices, 0).IpAddress.clear();
        nth(rig.devices, 1).IpAddress = QStringLiteral("198.18.0");
        nth(rig.devices, 2).IpAddress = QStringLiteral("printer");
        rig.load();
        setOnline(rig);
        QVERIFY(rig.net.lookedUpAddresses().isEmpty()); // nothing that is no address reaches the resolver
        QTRY_COMPARE(rig.net.lookedUpAddresses(), QStringList {ipOf(13)});
        QVERIFY(rig.answer(QStringLiteral("three.lan")));
        QCOMPARE(nth(rig.devices, 3).HostName, QStringLiteral("three.lan"));
        for (int i = 0; i < 3; ++i)
            QVERIFY(!nth(rig.devices, i).NameLookupPending
                && nth(rig.devices, i).HostName == QLatin1String("Unknown Device"));
    }

    // An unanswered lookup is cancelled after 100 s and tried again; every name is refreshed 31 s after the
    // last refresh, but not while a lookup is pending.
    void timeOutAndRefresh()
    {
        EngineRig rig;
        addDevices(rig, 2);
        rig.load();
        const int first = rig.engine.HostLookupHandle();
        rig.tick(999);
        QCOMPARE(rig.net.cancelledLookups(), QList<int>());
        rig.tick();
        QCOMPARE(rig.net.cancelledLookups(), QList<int> {first});
        QCOMPARE(rig.net.lookedUpAddresses(), (QStringList {ipOf(10), ipOf(10)}));
        setOnline(rig);
        rig.engine.HostScanReply(first, 0, QStringLiteral("late.lan")); // the cancelled one's reply
        QCOMPARE(nth(rig.devices, 0).HostName, QStringLiteral("Unknown Device"));

        QVERIFY(rig.answer(QString(), 1));
        QVERIFY(rig.answer(QString(), 1));
        QCOMPARE(rig.net.lookedUpAddresses().size(), 3);
        rig.tick(10); // second 101: the refresh that waited
        QCOMPARE(rig.net.lookedUpAddresses().size(), 4);
        QVERIFY(rig.answer(QString(), 1));
        QVERIFY(rig.answer(QString(), 1));
        rig.tick(300);
        QCOMPARE(rig.net.lookedUpAddresses().size(), 5);
        rig.tick(10); // second 132
        QCOMPARE(rig.net.lookedUpAddresses().size(), 6);
    }

    void whichRepliesAreTaken_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("otherHost");
        QTest::addColumn<bool>("otherOnline");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("taken");
        const QString none;
        QTest::newRow("online, own address") << true << 20 << true << "nas.lan"
                                             << "nas.lan";
        QTest::newRow("offline") << false << 20 << true << "nas.lan" << none;
        QTest::newRow("address shared with an online device") << true << 10 << true << "nas.lan" << none;
        QTest::newRow("address shared with an offline device") << true << 10 << false << "nas.lan"
                                                               << "nas.lan";
        QTest::newRow("empty name") << true << 20 << true << "" << none;
        QTest::newRow("the same name again") << true << 20 << true << "Unknown Device" << none;
        QTest::newRow("refused by the name filter") << true << 20 << true << "nas\u202E.lan" << none;
        QTest::newRow("cut at a zero character") << true << 20 << true << QStringLiteral("nas.lan") + QChar(0) + "x"
                                                 << "nas.lan";
    }

    void whichRepliesAreTaken()
    {
        QFETCH(bool, online);
        QFETCH(int, otherHost);
        QFETCH(bool, otherOnline);
        QFETCH(QString, reply);
        QFETCH(QString, taken);
        EngineRig rig;
        rig.addLoadedDevice(macOf(0), ipOf(10));
        rig.addLoadedDevice(macOf(1), ipOf(otherHost));
        nth(rig.devices, 1).NameLookupPending = false;
        KeyStore::writeString(
            KeyStore::ProductKey, Keys::deviceKey(macOf(0)), QStringLiteral("Host_Name"), QStringLiteral("as stored"));
        rig.load();
        nth(rig.devices, 0).PresenceCountdown = online ? 2 : 0;
        nth(rig.devices, 1).PresenceCountdown = otherOnline ? 2 : 0;
        QVERIFY(rig.answer(reply));
        QVERIFY(!nth(rig.devices, 0).NameLookupPending);
        QCOMPARE(nth(rig.devices, 0).HostName, taken.isNull() ? QStringLiteral("Unknown Device") : taken);
        QCOMPARE(
            rig.stored(macOf(0), QStringLiteral("Host_Name")), taken.isNull() ? QStringLiteral("as stored") : taken);
        const QStringList calls {"NameChanged 0 " + taken};
        QCOMPARE(rig.window.calls, taken.isNull() ? QStringList() : calls);
    }

    // No reverse name: the device itself is asked, once by mDNS and once by NetBIOS; the first answer wins, a
    // bad reply is one log line and nothing more, and two seconds of silence on the clock end the questions.
    void theDeviceNamesItself_data()
    {
        QTest::addColumn<QStringList>("steps"); // "mdns NAME", "netbios !why it was ignored", "tick N"
        QTest::addColumn<QString>("taken");
        QTest::newRow("mDNS answers") << QStringList {"tick 19", "mdns my.local"} << "my.local";
        QTest::newRow("NetBIOS first wins") << QStringList {"netbios PC", "mdns pc.local"} << "PC";
        QTest::newRow("a bad reply is ignored") << QStringList {"mdns !transaction id 7", "netbios PC"} << "PC";
        QTest::newRow("a refused name is no answer, logged once")
            << QStringList {"mdns a\u2028b.local", "mdns a\u2028b.local", "netbios PC"} << "PC";
        QTest::newRow("silence") << QStringList {"tick 20", "mdns late.local"} << "Unknown Device";
    }

    void theDeviceNamesItself()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, taken);
        EngineRig rig;
        addDevices(rig, 2);
        rig.net.setNameQueries(true);
        rig.load();
        setOnline(rig);
        QVERIFY(rig.answer(QString(), 1));
        for (const QString& step : steps) {
            const QString text = step.section(' ', 1);
            if (step.startsWith("tick"))
                rig.tick(text.toInt());
            else
                rig.net.answerName(
                    step.startsWith("mdns") ? NetPlatform::NameQuery::Mdns : NetPlatform::NameQuery::NetBios,
                    text.startsWith('!') ? QString() : text, text.startsWith('!') ? text.mid(1) : QString());
        }
        QCOMPARE(nth(rig.devices, 0).HostName, taken);
        QCOMPARE(rig.stored(macOf(0), "Host_Name"), taken.startsWith("Unknown") ? "<missing>" : taken);
        const QString ignored = "DeviceNameReply - mDNS reply for 198.18.0.10 ignored: transaction id 7";
        QCOMPARE(rig.log.lines().filter(ignored).size(), steps.filter("!").size());
        QCOMPARE(
            rig.log.lines().filter("refused, it holds U+2028").size(), steps.filter(QChar(0x2028)).isEmpty() ? 0 : 1);
        // One question of each kind; the walk has gone on to the next device.
        QCOMPARE(rig.net.askedNames(), (QStringList {"mdns " + ipOf(10), "netbios " + ipOf(10)}));
        QCOMPARE(rig.net.lookedUpAddresses(), (QStringList {ipOf(10), ipOf(11)}));
    }

    // A private-MAC newcomer whose identity (today its host name) matches a known device that is away is linked
    // to it: told with its admission when a DHCP request brought the name, else when a lookup finds it. Never
    // for a maker's MAC, an earlier device that is online, or a name nobody else has; one link only.
    void likelyReturn_data()
    {
        QTest::addColumn<QString>("oldMac");
        QTest::addColumn<QString>("newMac");
        QTest::addColumn<QString>("friendly");
        QTest::addColumn<bool>("oldOnline");
        QTest::addColumn<bool>("byDhcp");
        QTest::addColumn<QString>("link"); // the event that tells of it, or empty
        const QString oldMac = "0A-11-22-33-44-55", newMac = "06-66-77-88-99-AA", maker = "00-0C-41-A2-3B-7F";
        QTest::newRow("friendly name, safe")
            << oldMac << newMac << "Ann" << false << false << "LikelyReturn 1 Ann 0A-11-22-33-44-55";
        QTest::newRow("host name") << oldMac << newMac << "" << false << false
                                   << "LikelyReturn 1 pixel.lan 0A-11-22-33-44-55";
        QTest::newRow("the earlier one a maker's MAC")
            << maker << newMac << "Ann" << false << false << "LikelyReturn 1 Ann 00-0C-41-A2-3B-7F";
        QTest::newRow("the new one a maker's MAC") << oldMac << maker << "Ann" << false << false << "";
        QTest::newRow("the earlier one online") << oldMac << newMac << "Ann" << true << false << "";
        QTest::newRow("by DHCP, a name every such phone has") << oldMac << newMac << "Ann" << false << true << "";
        QTest::newRow("by DHCP, with the admission")
            << oldMac << newMac << "Ann" << false << true << "Admitted 1 198.18.0.11 Ann 0A-11-22-33-44-55 intruder";
        QTest::newRow("by DHCP, the earlier one about until the next harvest")
            << oldMac << newMac << "Ann" << true << true << "LikelyReturn 1 Ann 0A-11-22-33-44-55";
        QTest::newRow("by DHCP, both about together for minutes") << oldMac << newMac << "Ann" << true << true << "";
    }

    void likelyReturn()
    {
        QFETCH(QString, oldMac);
        QFETCH(QString, newMac);
        QFETCH(QString, link);
        QFETCH(bool, byDhcp);
        EngineRig rig;
        rig.addLoadedDevice(oldMac, ipOf(10), false); // on the safe list, its names known
        QFETCH(QString, friendly);
        nth(rig.devices, 0).FriendlyName = friendly;
        const bool generic = QByteArray(QTest::currentDataTag()).contains("every such phone");
        nth(rig.devices, 0).HostName = generic ? QStringLiteral("iPhone") : QStringLiteral("pixel.lan");
        nth(rig.devices, 0).NameLookupPending = false;
        QFETCH(bool, oldOnline);
        nth(rig.devices, 0).PresenceCountdown = oldOnline ? 2 : 0;
        if (byDhcp) {
            rig.net.addAdapter(QStringLiteral("198.18.0.5/24"));
            if (oldOnline)
                rig.net.addNeighbour(oldMac, ipOf(10));
            rig.load();
            rig.nextSweep();
            rig.net.hearDhcp(newMac, ipOf(11), Heard::DhcpRequest, generic ? "iPhone" : "Pixel.lan");
            rig.net.hearArp(newMac, ipOf(11), Heard::ArpAnnouncement); // answering there admits it
            // Two devices of one name, seen side by side for minutes before one leaves.
            if (QByteArray(QTest::currentDataTag()).contains("together"))
                rig.devices.find(oldMac)->LastSeen = rig.devices.find(newMac)->FirstSeen.addSecs(300);
            // A phone that took a new MAC without leaving: linked when the harvest finds the old one gone.
            rig.net.clearNeighbours();
            rig.net.addNeighbour(newMac, ipOf(11));
            for (int sweep = 0; sweep < 3 && rig.devices.find(oldMac)->isOnline(); ++sweep)
                rig.nextSweep();
            QVERIFY(!rig.devices.find(oldMac)->isOnline());
        } else {
            rig.addLoadedDevice(newMac, ipOf(11));
            nth(rig.devices, 1).NewDevice = true;
            rig.load();
            for (const char* name : {"pixel.lan", "renamed", "pixel.lan"}) {
                nth(rig.devices, 1).PresenceCountdown = 2;
                nth(rig.devices, 0).PresenceCountdown = oldOnline ? 2 : 0;
                QVERIFY(rig.answer(QString::fromLatin1(name)));
                rig.tick(310); // the refresh asks the earlier one first: its reply is not taken
                QVERIFY(rig.answer(QString(), 1));
            }
        }
        const QStringList linked =
            rig.window.calls.filter(QRegularExpression(QStringLiteral("^(LikelyReturn|Admitted)")));
        QCOMPARE(linked.filter(oldMac), link.isEmpty() ? QStringList() : QStringList {link});
        QCOMPARE(rig.devices.find(newMac)->LikelyReturnOf, link.isEmpty() ? QString() : oldMac);
    }

    // What the two DHCP clients said sharpens the name: a client id of the client's own making is the machine
    // whatever its name; the same name from another request list or vendor class is another client. The name its
    // owner gave it, as the device announces it over mDNS, is the device whatever its DHCP client.
    void identityWithDhcp_data()
    {
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("newDhcp"); // the stored identity text, or empty: nothing said
        QTest::addColumn<QString>("knownDhcp");
        QTest::addColumn<bool>("match");
        const QString win = "list=1,3,6,15,31,33,43,44,46,47,119,121,249,252;vendor=MSFT%205.0";
        QTest::newRow("name alone") << "anna-laptop"
                                    << ""
                                    << "" << true;
        QTest::newRow("name, one client silent") << "anna-laptop" << win << "" << true;
        QTest::newRow("name and client alike") << "anna-laptop" << win << win << true;
        QTest::newRow("name, another request list") << "anna-laptop"
                                                    << "list=1,3,6,15;vendor=MSFT%205.0" << win << false;
        QTest::newRow("name, another vendor class")
            << "anna-laptop"
            << "list=1,3,6,15,31,33,43,44,46,47,119,121,249,252;vendor=android-dhcp-13" << win << false;
        QTest::newRow("own client id, another name")
            << "renamed" << win + ";client=ff00112233" << win + ";client=ff00112233" << true;
        QTest::newRow("a client id that is the MAC says nothing")
            << "renamed" << win + ";client=01aabbccddeeff;client_is_mac=1"
            << win + ";client=01aabbccddeeff;client_is_mac=1" << false;
        QTest::newRow("a name every such phone has") << "iPhone"
                                                     << ""
                                                     << "" << false;
        // "mdns:" names the newcomer over mDNS alone: its host name unknown, its DHCP client another.
        const QString android = "list=1,3,6,15,26,28,51,58,59,43;vendor=android-dhcp-13";
        QTest::newRow("the same mDNS name") << "mdns:ANNA\u2019S IPHONE" << android << win << true;
        QTest::newRow("the mDNS name a conflict renamed") << "mdns:Anna\u2019s iPhone (2)"
                                                          << ""
                                                          << "" << true;
        QTest::newRow("another mDNS name") << "mdns:Ben\u2019s iPhone"
                                           << ""
                                           << "" << false;
        QTest::newRow("an mDNS name every MacBook has") << "mdns:MacBook-Pro (2)"
                                                        << ""
                                                        << "" << false;
    }

    void identityWithDhcp()
    {
        QFETCH(QString, newName);
        QFETCH(QString, newDhcp);
        QFETCH(QString, knownDhcp);
        DeviceRecord known, newcomer;
        known.HostName = known.FriendlyName = QStringLiteral("anna-laptop");
        known.HostName = newName == QLatin1String("iPhone") ? newName : known.HostName;
        newcomer.HostName = newName;
        if (newName.startsWith(QLatin1String("mdns:"))) {
            newcomer.HostName = DeviceRecord::unknownHostName();
            newcomer.MdnsName = newName.mid(5);
            known.MdnsName = newcomer.MdnsName.startsWith(QLatin1String("MacBook"))
                ? QStringLiteral("MacBook-Pro (3)")
                : QStringLiteral("Anna\u2019s iPhone");
        }
        const auto newId = Describer::DhcpIdentity::fromText(newDhcp);
        const auto knownId = Describer::DhcpIdentity::fromText(knownDhcp);
        QVERIFY(newDhcp.isEmpty() || newId);
        QVERIFY(knownDhcp.isEmpty() || knownId);
        QTEST(identityMatches(newcomer, known, newId ? &*newId : nullptr, knownId ? &*knownId : nullptr), "match");
    }

    void aReplyAfterARemovalIsDiscarded()
    {
        EngineRig rig;
        addDevices(rig, 3);
        nth(rig.devices, 2).IpAddress = ipOf(11); // devices 1 and 2 share an address
        rig.load();
        setOnline(rig);
        QVERIFY(rig.answer(QStringLiteral("zero.lan")));
        QCOMPARE(rig.net.lookedUpAddresses().last(), ipOf(11));
        // The window removes device 1 while its lookup runs; device 2 takes its place in the order.
        QVERIFY(rig.devices.remove(macOf(1)));
        rig.window.calls.clear();
        QVERIFY(rig.answer(QStringLiteral("one.lan")));
        QCOMPARE(nth(rig.devices, 1).HostName, QStringLiteral("Unknown Device"));
        QVERIFY(nth(rig.devices, 1).NameLookupPending);
        QCOMPARE(rig.window.calls, QStringList());
        // The search goes on with device 2, now alone at its address.
        QCOMPARE(rig.net.lookedUpAddresses().size(), 3);
        QVERIFY(rig.answer(QStringLiteral("two.lan")));
        QCOMPARE(nth(rig.devices, 1).HostName, QStringLiteral("two.lan"));
    }
};

KW_TEST_GUILESS_MAIN(TestNameLookup)
#include "tst_namelookup.moc"
