// The request parser as a pure function: frames split anywhere, frames back to back, and the limits.

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
};

KW_TEST_GUILESS_MAIN(TestHelperProtocol)
#include "tst_helperprotocol.moc"
