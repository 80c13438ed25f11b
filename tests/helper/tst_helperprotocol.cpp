// The helper's pure parts: the request parser (frames split anywhere, back to back, the limits), what its
// policy allows, the ARP bodies and DHCP client messages it reads, the reports it sends and their rate caps.

#include "helper/ArpListener.h"
#include "helper/DhcpMessage.h"
#include "helper/HelperProtocol.h"
#include "helper/Policy.h"
#include "tests/support/Skip.h"

#include <QHostAddress>
#include <QTest>
#include <linux/neighbour.h>

using namespace helperproto;
using helperpolicy::Verdict;

Q_DECLARE_METATYPE(Verdict)

class TestHelperProtocol : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void framesArriveInPieces()
    {
        // An echo batch followed by the start of the next frame: whole only once every byte is there.
        std::vector<std::uint8_t> stream = frame(Type::EchoBatch, 41, {0, 2, 198, 18, 0, 7, 198, 18, 0, 8});
        const std::size_t first = stream.size();
        stream.insert(stream.end(), {kVersion, 2, 0});
        for (std::size_t cut = 0; cut < first; ++cut)
            QCOMPARE(int(parseRequest(stream.data(), cut).status), int(Parse::NeedMore));
        const ParseResult r = parseRequest(stream.data(), stream.size());
        QCOMPARE(int(r.status), int(Parse::Ok));
        QCOMPARE(r.consumed, first);
        QCOMPARE(r.request.seq, 41U);
        QCOMPARE(r.request.echoTargets.size(), std::size_t(2));
        QCOMPARE(int(r.request.echoTargets[1][3]), 8);
        QCOMPARE(int(parseRequest(stream.data() + first, 3).status), int(Parse::NeedMore));
    }

    // Ranges: 198.18.0.0/21 on interface 2, 198.18.8.0/30 on 3, 198.18.9.4/31 on 4. "earlier" actions of the
    // same kind were allowed at time 0, on other addresses (or, for "again", on this very row); this one comes
    // "afterMs" later.
    void policy_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("ifindex");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("earlier");
        QTest::addColumn<bool>("again");
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<Verdict>("verdict");
        const int dynamic = NUD_REACHABLE, rate = kEchoesPerSecond, deletions = kDeletionsPerSecond;
        QTest::newRow("echo in a range") << true << "198.18.7.20" << 0 << 0 << 0 << false << 0 << Verdict::Allowed;
        QTest::newRow("echo outside every range")
            << true << "198.19.7.20" << 0 << 0 << 0 << false << 0 << Verdict::OutsideRanges;
        QTest::newRow("echo to a network address")
            << true << "198.18.0.0" << 0 << 0 << 0 << false << 0 << Verdict::Hostless;
        QTest::newRow("echo to a broadcast address")
            << true << "198.18.7.255" << 0 << 0 << 0 << false << 0 << Verdict::Hostless;
        QTest::newRow("echo to a /30's broadcast")
            << true << "198.18.8.3" << 0 << 0 << 0 << false << 0 << Verdict::Hostless;
        QTest::newRow("echo to either end of a /31")
            << true << "198.18.9.5" << 0 << 0 << 0 << false << 0 << Verdict::Allowed;
        QTest::newRow("echo over the rate")
            << true << "198.18.7.20" << 0 << 0 << rate << false << 999 << Verdict::OverRate;
        QTest::newRow("echo a second later")
            << true << "198.18.7.20" << 0 << 0 << rate << false << 1000 << Verdict::Allowed;
        QTest::newRow("delete a dynamic row")
            << false << "198.18.7.20" << 2 << dynamic << 0 << false << 0 << Verdict::Allowed;
        QTest::newRow("delete outside every range")
            << false << "198.19.7.20" << 2 << dynamic << 0 << false << 0 << Verdict::OutsideRanges;
        QTest::newRow("delete on another interface")
            << false << "198.18.7.20" << 3 << dynamic << 0 << false << 0 << Verdict::OutsideRanges;
        QTest::newRow("delete a PERMANENT row")
            << false << "198.18.7.20" << 2 << NUD_PERMANENT << 0 << false << 0 << Verdict::KeptState;
        QTest::newRow("delete a NOARP row")
            << false << "198.18.8.1" << 3 << NUD_NOARP << 0 << false << 0 << Verdict::KeptState;
        QTest::newRow("delete over the rate")
            << false << "198.18.7.20" << 2 << dynamic << deletions << false << 999 << Verdict::OverRate;
        QTest::newRow("delete a row again within a second")
            << false << "198.18.7.20" << 2 << dynamic << 1 << true << 999 << Verdict::OverRate;
        QTest::newRow("delete a row again a second later")
            << false << "198.18.7.20" << 2 << dynamic << 1 << true << 1000 << Verdict::Allowed;
    }
    void policy()
    {
        QFETCH(bool, echo);
        QFETCH(QString, address);
        QFETCH(int, ifindex);
        QFETCH(int, state);
        QFETCH(int, earlier);
        QFETCH(bool, again);
        QFETCH(int, afterMs);
        QFETCH(Verdict, verdict);
        helperpolicy::Policy policy;
        const auto ip = [](const char* text) { return QHostAddress(QLatin1String(text)).toIPv4Address(); };
        policy.setRanges({*helperpolicy::rangeOf(ip("198.18.7.1"), ip("255.255.248.0"), 2),
            *helperpolicy::rangeOf(ip("198.18.8.1"), ip("255.255.255.252"), 3),
            *helperpolicy::rangeOf(ip("198.18.9.4"), ip("255.255.255.254"), 4)});
        const std::uint32_t target = QHostAddress(address).toIPv4Address();
        for (int i = 0; i < earlier; ++i) {
            if (echo)
                policy.echoSent(0);
            else
                QCOMPARE(policy.deletion(2, again ? target : ip("198.18.0.0") + std::uint32_t(i), NUD_REACHABLE, 0),
                    Verdict::Allowed);
        }
        const std::int64_t now = std::int64_t(afterMs) * 1000000;
        Verdict found = Verdict::Allowed;
        if (echo) {
            found = policy.echoTarget(target);
            if (found == Verdict::Allowed && policy.echoWaitNs(now) > 0)
                found = Verdict::OverRate;
        } else {
            found = policy.deletion(std::uint32_t(ifindex), target, std::uint16_t(state), now);
        }
        QCOMPARE(found, verdict);
    }

    void limits_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("error");
        QTest::newRow("largest echo batch") << int(Type::EchoBatch) << int(kMaxEchoTargets) << 0;
        QTest::newRow("one echo too many")
            << int(Type::EchoBatch) << int(kMaxEchoTargets) + 1 << int(ErrorCode::BadCount);
        QTest::newRow("largest deletion") << int(Type::DeleteNeighbours) << int(kMaxNeighbourRows) << 0;
        QTest::newRow("one row too many")
            << int(Type::DeleteNeighbours) << int(kMaxNeighbourRows) + 1 << int(ErrorCode::BadCount);
    }
    void limits()
    {
        QFETCH(int, type);
        QFETCH(int, count);
        QFETCH(int, error);
        std::vector<std::uint8_t> payload;
        put16(payload, std::uint16_t(count));
        payload.resize(2 + std::size_t(count) * (type == int(Type::EchoBatch) ? 4 : 8), 1);
        const std::vector<std::uint8_t> bytes = frame(Type(type), 5, payload);
        const ParseResult r = parseRequest(bytes.data(), bytes.size());
        QCOMPARE(int(r.status), error ? int(Parse::Bad) : int(Parse::Ok));
        QCOMPARE(int(r.error), error);
        QCOMPARE(r.consumed, bytes.size()); // a refused frame is skipped whole
    }

    // An ARP body "op sender target" from 02:00:00:00:00:05 (or the MAC given), to what the helper reports.
    void arpBodies_data()
    {
        QTest::addColumn<QString>("packet");
        QTest::addColumn<QString>("sighting"); // "kind address", "" for nothing
        QTest::newRow("request") << "1 198.18.0.5 198.18.0.1" << QStringLiteral("1 198.18.0.5");
        QTest::newRow("probe: the address to be taken") << "1 0.0.0.0 198.18.0.9" << QStringLiteral("3 198.18.0.9");
        QTest::newRow("announcement") << "2 198.18.0.5 198.18.0.5" << QStringLiteral("4 198.18.0.5");
        QTest::newRow("multicast sender") << "1 198.18.0.5 198.18.0.1 010000000005" << QStringLiteral("");
        QTest::newRow("cut short") << "1 198.18.0.5 198.18.0" << QStringLiteral("");
    }
    void arpBodies()
    {
        QFETCH(QString, packet);
        QFETCH(QString, sighting);
        const QStringList f = packet.split(QLatin1Char(' '));
        QByteArray body =
            QByteArray::fromHex("000108000604000" + f[0].toLatin1() + f.value(3, "020000000005").toLatin1());
        for (const QString& part : (f[1] + QStringLiteral(".0.0.0.0.0.0.") + f[2]).split(QLatin1Char('.')))
            body += char(part.toInt());
        Heard s;
        const bool ok = helperarp::parseArpPacket(
            reinterpret_cast<const std::uint8_t*>(body.constData()), std::size_t(body.size()), s);
        const QString found =
            QStringLiteral("%1 %2.%3.%4.%5").arg(int(s.kind)).arg(s.ip[0]).arg(s.ip[1]).arg(s.ip[2]).arg(s.ip[3]);
        QCOMPARE(ok ? found : QString(), sighting);
    }

    void arpReports()
    {
        // A payload that disagrees with itself is refused whole (the fuzzer reads every other one back).
        Heard a {7, {2, 0, 0, 0, 0, 5}, {198, 18, 0, 5}, Heard::ArpProbe, false, {}, {}};
        std::vector<std::uint8_t> payload = arpHeardPayload({a, a}, 3);
        QVERIFY(parseArpHeard(payload).ok && !parseArpHeard(payload).sightings[0].toHost);
        a.toHost = true; // a reply sent to this machine's own MAC
        QVERIFY(parseArpHeard(arpHeardPayload({a}, 0)).sightings[0].toHost);
        payload[1] = 3; // three records said, two carried
        QVERIFY(!parseArpHeard(payload).ok);
        payload[1] = 2;
        payload[payload.size() - 2] = 9; // a kind nobody knows
        QVERIFY(!parseArpHeard(payload).ok);

        // Once a second per sender and address; at most kArpReportsPerSecond in any one second.
        helperarp::ArpReports reports;
        const std::int64_t second = 1000000000;
        QVERIFY(reports.admit(a, 0));
        QVERIFY(!reports.admit(a, second - 1));
        QVERIFY(reports.admit(a, second));
        int passed = 1;
        for (int i = 1; i <= kArpReportsPerSecond; ++i) {
            a.ip[3] = std::uint8_t(i + 5);
            passed += reports.admit(a, second + i) ? 1 : 0;
        }
        QCOMPARE(passed, kArpReportsPerSecond);
        QCOMPARE(reports.takeDropped(), std::uint16_t(1));
        QCOMPARE(reports.takeDropped(), std::uint16_t(0));
        QVERIFY(reports.admit(a, 3 * second));
    }

    // A client's IPv4 packet from 02:00:00:00:00:05 with ciaddr 198.18.0.9 and the options given (hex, after the
    // cookie), changed as "change" says, to what the helper reports: "kind address name", "" for nothing.
    void dhcpPackets_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<QString>("sighting");
        const QByteArray request = "350103"
                                   "3204c6120007"
                                   "0c066c6170746f70"
                                   "ff"; // REQUEST .0.7 "laptop"
        QTest::newRow("request") << "" << request << "3 198.18.0.7 laptop";
        QTest::newRow("renewal: ciaddr") << "" << QByteArray("350103ff") << "3 198.18.0.9 ";
        QTest::newRow("discover, padded, no end") << "" << QByteArray("00003501010c0270630000") << "1 198.18.0.9 pc";
        QTest::newRow("inform") << "" << QByteArray("350108ff") << "8 198.18.0.9 ";
        QTest::newRow("name ends in NUL") << "" << QByteArray("3501030c03706300ff") << "3 198.18.0.9 pc";
        QTest::newRow("name too long: left out") << ""
                                                 << "3501030c41" + QByteArray(65, 'a').toHex() << "3 198.18.0.9 ";
        QTest::newRow("first of each option counts") << ""
                                                     << "350103350101" + request << "3 198.18.0.7 laptop";
        QTest::newRow("option past the end") << "" << QByteArray("3501030c09706300") << "";
        QTest::newRow("type of two bytes") << "" << QByteArray("35020301ff") << "";
        QTest::newRow("address of three bytes") << "" << QByteArray("3501033203c61200ff") << "";
        QTest::newRow("release") << "" << QByteArray("350107ff") << "";
        QTest::newRow("no type") << "" << QByteArray("0c026863ff") << "";
        QTest::newRow("a server's reply") << "reply" << request << "";
        QTest::newRow("from a relay's port") << "relay" << request << "";
        QTest::newRow("a fragment") << "fragment" << request << "";
        QTest::newRow("cut short of its IP length") << "cut" << request << "";
        QTest::newRow("no cookie") << "cookie" << request << "";
        QTest::newRow("chaddr not the frame's source") << "forged" << request << "";
        QTest::newRow("group chaddr") << "group" << request << "";
        // What clients say about themselves: request list, vendor class, client id, FQDN, maximum size.
        const QByteArray windows = "350103"
                                   "3d0701020000000005"
                                   "0c0a4445534b544f502d4142"
                                   "5112000000"
            + QByteArray("DESKTOP-AB.corp").toHex()
            + "3c084d53465420352e30"
              "370e0103060f1f212b2c2e2f7779f9fc"
              "390205dc"
              "ff";
        QTest::newRow("windows 11 request")
            << "" << windows
            << "3 198.18.0.9 DESKTOP-AB | list 1,3,6,15,31,33,43,44,46,47,119,121,249,252 vendor MSFT 5.0 "
               "id 01020000000005 fqdn DESKTOP-AB.corp max 1500";
        QTest::newRow("FQDN in wire form") << "" << QByteArray("350103510d040000036d616304686f6d6500ff")
                                           << "3 198.18.0.9  | list  vendor  id  fqdn mac.home max 0";
        QTest::newRow("FQDN label past its end: left out")
            << "" << QByteArray("350103510704000009616263ff") << "3 198.18.0.9 ";
        QTest::newRow("vendor class too long: left out") << ""
                                                         << "3501033c81" + QByteArray(129, 'v').toHex() + "3c0178ff"
                                                         << "3 198.18.0.9 ";
        QTest::newRow("maximum size of three bytes: left out")
            << "" << QByteArray("35010339030100ffff") << "3 198.18.0.9 ";
    }
    void dhcpPackets()
    {
        QFETCH(QString, change);
        QFETCH(QByteArray, options);
        QFETCH(QString, sighting);
        QByteArray m(236, '\0');
        m[0] = change == "reply" ? 2 : 1;
        m[1] = 1;
        m[2] = 6;
        m.replace(12, 4, QByteArray::fromHex("c6120009"));
        m.replace(28, 6, QByteArray::fromHex(change == "group" ? "030000000005" : "020000000005"));
        m += QByteArray::fromHex(change == "cookie" ? "63825364" : "63825363") + QByteArray::fromHex(options);
        QByteArray udp = QByteArray::fromHex(change == "relay" ? "00430043" : "00440043");
        udp += char((m.size() + 8) >> 8) + QByteArray(1, char(m.size() + 8)) + QByteArray(2, '\0') + m;
        QByteArray ip =
            QByteArray::fromHex(change == "fragment" ? "450000000000200040110000" : "450000000000400040110000");
        ip[2] = char((udp.size() + 20) >> 8);
        ip[3] = char(udp.size() + 20);
        ip += QByteArray::fromHex("00000000ffffffff") + udp;
        ip.chop(change == "cut" ? 8 : 0);
        const std::uint8_t source[6] = {
            change == "forged" ? std::uint8_t(4) : std::uint8_t(change == "group" ? 3 : 2), 0, 0, 0, 0, 5};
        Heard s;
        const bool ok = helperdhcp::parseDhcpPacket(
            reinterpret_cast<const std::uint8_t*>(ip.constData()), std::size_t(ip.size()), source, s);
        QString found = QString::asprintf(
            "%d %d.%d.%d.%d %s", int(s.kind & 0x0F), s.ip[0], s.ip[1], s.ip[2], s.ip[3], s.name.c_str());
        if (s.options) {
            const Heard::DhcpOptions& o = *s.options;
            QStringList list;
            for (const std::uint8_t code : o.requestList)
                list << QString::number(code);
            found += QStringLiteral(" | list %1 vendor %2 id %3 fqdn %4 max %5")
                         .arg(list.join(QLatin1Char(',')), QString::fromStdString(o.vendorClass),
                             QByteArray(reinterpret_cast<const char*>(o.clientId.data()), qsizetype(o.clientId.size()))
                                 .toHex(),
                             QString::fromStdString(o.fqdn))
                         .arg(o.maxMessageSize);
            // What the helper reports of it reads back the same, and a report that disagrees with itself not.
            std::vector<std::uint8_t> payload = dhcpOptionsPayload(s);
            QVERIFY(parseDhcpOptions(payload) == s);
            payload.pop_back();
            QVERIFY(!parseDhcpOptions(payload));
        }
        QCOMPARE(ok ? found : QString(), sighting);
    }

    void dhcpReports()
    {
        // A name the record cannot carry goes empty; a record that disagrees with itself is refused whole.
        Heard a {7, {2, 0, 0, 0, 0, 5}, {198, 18, 0, 5}, Heard::DhcpRequest, false, std::string(65, 'a'), {}};
        std::vector<std::uint8_t> payload = dhcpHeardPayload({a}, 0);
        QCOMPARE(parseDhcpHeard(payload).sightings.at(0).name, std::string());
        payload[4 + 15] = std::uint8_t(kMaxDhcpName + 1);
        QVERIFY(!parseDhcpHeard(payload).ok);
        payload[4 + 15] = 0;
        payload[4 + 14] = 2; // an OFFER is never a client's
        QVERIFY(!parseDhcpHeard(payload).ok);

        // A retransmission within the second adds nothing; at most kDhcpReportsPerSecond in any one second.
        helperdhcp::DhcpReports reports;
        QVERIFY(reports.admit(a, 0));
        QVERIFY(!reports.admit(a, 999999999));
        for (int i = 1; i <= kDhcpReportsPerSecond; ++i) {
            a.ifindex = std::uint32_t(100 + i);
            QCOMPARE(reports.admit(a, i), i < kDhcpReportsPerSecond);
        }
        QCOMPARE(reports.takeDropped(), std::uint16_t(1));
    }
};

KW_TEST_GUILESS_MAIN(TestHelperProtocol)
#include "tst_helperprotocol.moc"
