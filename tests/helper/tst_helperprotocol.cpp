// The request parser as a pure function: frames split anywhere, frames back to back, and the limits; the ARP
// bodies the helper reads, the reports it sends and their rate cap.

#include "helper/ArpListener.h"
#include "helper/HelperProtocol.h"
#include "tests/support/Skip.h"

#include <QTest>

using namespace helperproto;

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
        QTest::newRow("listening for ARP") << int(Type::ListenArp) << 0 << 0;
        QTest::newRow("listening for ARP, with a payload") << int(Type::ListenArp) << 2 << int(ErrorCode::BadLength);
    }
    void limits()
    {
        QFETCH(int, type);
        QFETCH(int, count);
        QFETCH(int, error);
        std::vector<std::uint8_t> payload;
        if (type != int(Type::ListenArp)) {
            put16(payload, std::uint16_t(count));
            payload.resize(2 + std::size_t(count) * (type == int(Type::EchoBatch) ? 4 : 8), 1);
        } else {
            payload.resize(std::size_t(count), 1);
        }
        const std::vector<std::uint8_t> bytes = frame(Type(type), 5, payload);
        const ParseResult r = parseRequest(bytes.data(), bytes.size());
        QCOMPARE(int(r.status), error ? int(Parse::Bad) : int(Parse::Ok));
        QCOMPARE(int(r.error), error);
        QCOMPARE(r.consumed, bytes.size()); // a refused frame is skipped whole
    }

    // "op sender target" with sender MAC 02:00:00:00:00:05; what the helper makes of it ("" when nothing).
    void arpBodies_data()
    {
        QTest::addColumn<QString>("packet");
        QTest::addColumn<QString>("sighting");
        QTest::newRow("request") << "1 198.18.0.5 198.18.0.1"
                                 << "1 198.18.0.5";
        QTest::newRow("reply") << "2 198.18.0.5 198.18.0.2"
                               << "2 198.18.0.5";
        QTest::newRow("probe: the address to be taken") << "1 0.0.0.0 198.18.0.9"
                                                        << "3 198.18.0.9";
        QTest::newRow("announcement") << "1 198.18.0.5 198.18.0.5"
                                      << "4 198.18.0.5";
        QTest::newRow("announcement by reply") << "2 198.18.0.5 198.18.0.5"
                                               << "4 198.18.0.5";
        QTest::newRow("reply from nobody") << "2 0.0.0.0 198.18.0.9"
                                           << "";
        QTest::newRow("probe for nothing") << "1 0.0.0.0 0.0.0.0"
                                           << "";
        QTest::newRow("other operation") << "3 198.18.0.5 198.18.0.1"
                                         << "";
        QTest::newRow("multicast sender") << "1 198.18.0.5 198.18.0.1 01"
                                          << "";
        QTest::newRow("zero sender") << "1 198.18.0.5 198.18.0.1 00"
                                     << "";
        QTest::newRow("not IPv4") << "1 198.18.0.5 198.18.0.1 02 86dd"
                                  << "";
        QTest::newRow("cut short") << "1 198.18.0.5 198.18.0.1 02 0800 27"
                                   << "";
    }
    void arpBodies()
    {
        QFETCH(QString, packet);
        QFETCH(QString, sighting);
        const QStringList f = packet.split(QLatin1Char(' '));
        const auto ip = [](const QString& text) {
            QByteArray b;
            for (const QString& part : text.split(QLatin1Char('.')))
                b += char(part.toInt());
            return b;
        };
        const QByteArray mac = QByteArray::fromHex(f.value(3, QStringLiteral("02")).toLatin1() + "0000000005");
        QByteArray body = QByteArray::fromHex("0001" + f.value(4, QStringLiteral("0800")).toLatin1() + "060400")
            + char(f[0].toInt()) + mac + ip(f[1]) + QByteArray(6, 0) + ip(f[2]);
        body.truncate(f.value(5, QStringLiteral("28")).toInt());
        ArpSighting s;
        const bool ok = helperarp::parseArpPacket(
            reinterpret_cast<const std::uint8_t*>(body.constData()), std::size_t(body.size()), s);
        const QString found =
            QStringLiteral("%1 %2.%3.%4.%5").arg(int(s.kind)).arg(s.ip[0]).arg(s.ip[1]).arg(s.ip[2]).arg(s.ip[3]);
        QCOMPARE(ok ? found : QString(), sighting);
        if (ok)
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(s.mac.data()), 6), mac);
    }

    void arpReports()
    {
        // Through the frame and back; a payload that disagrees with itself is refused whole.
        ArpSighting a {7, {2, 0, 0, 0, 0, 5}, {198, 18, 0, 5}, ArpKind::Probe};
        std::vector<std::uint8_t> payload = arpHeardPayload({a, a}, 3);
        ArpHeardBatch b = parseArpHeard(payload);
        QVERIFY(b.ok);
        QCOMPARE(b.dropped, std::uint16_t(3));
        QCOMPARE(b.sightings.size(), std::size_t(2));
        QCOMPARE(b.sightings[1].ifindex, 7U);
        QVERIFY(b.sightings[1].mac == a.mac && b.sightings[1].ip == a.ip && b.sightings[1].kind == ArpKind::Probe);
        payload[1] = 3; // three records said, two carried
        QVERIFY(!parseArpHeard(payload).ok);
        payload[1] = 2;
        payload.back() = 0;
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
};

KW_TEST_GUILESS_MAIN(TestHelperProtocol)
#include "tst_helperprotocol.moc"
