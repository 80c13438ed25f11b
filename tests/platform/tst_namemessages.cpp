// The questions a device is asked for its name and the replies it may send, built by hand from the wire
// layouts: compression pointers, loops, truncation, hostile names, and who may answer (the device asked, from
// the port asked, with the question's id).

#include "Skip.h"
#include "platform/DeviceNameQueries.h"
#include "platform/NbstatMessage.h"

#include <QTest>

namespace {
constexpr quint32 kDevice = 0xc612000a; // 198.18.0.10
// The reverse question for 198.18.0.10 at offset 12; an answer record after it starts at offset 42.
const QByteArray kQuestion = QByteArray::fromHex("02313001300231380331393807696e2d616464720461727061 00 000c 0001");
const QByteArray kStar = QByteArray::fromHex("20434b" + QByteArray("41").repeated(30) + "0000210001"); // "*", NBSTAT

QByteArray mdns(const char* records, const char* flags = "8400", const char* answers = "0001")
{
    return QByteArray::fromHex(
        QByteArray("1234") + flags + "0001" + answers + "00000000" + kQuestion.toHex() + records);
}

// A node-status reply as Samba's nmbd sends it; names are "NAME SUFFIX-AND-FLAGS" (15 bytes blank-padded).
QByteArray nbReply(const QStringList& names, const char* id = "1234", int count = -1)
{
    QByteArray data(1, char(count < 0 ? names.size() : count));
    for (const QString& n : names)
        data +=
            n.section(' ', 0, 0).toLatin1().leftJustified(15, ' ') + QByteArray::fromHex(n.section(' ', 1).toLatin1());
    data += QByteArray(46, '\0'); // statistics
    return QByteArray::fromHex(QByteArray(id) + "8400 0000 0001 0000 0000") + kStar + QByteArray::fromHex("00000000")
        + char(data.size() >> 8) + char(data.size()) + data;
}
} // namespace

class TestNameMessages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void questionsOnTheWire()
    {
        QCOMPARE(dnsmsg::buildPtrQuery(0x1234, kDevice), mdns("", "0000", "0000"));
        QCOMPARE(nbstat::buildNodeStatusQuery(0x1234), mdns("", "0000", "0000").left(12) + kStar);
    }

    void replies_data()
    {
        QTest::addColumn<bool>("netbios");
        QTest::addColumn<QByteArray>("msg");
        QTest::addColumn<QString>("expected"); // the name, or "!" and the start of the error
        auto row = [](const char* n, bool netbios, const QByteArray& m, const char* e) {
            QTest::newRow(n) << netbios << m << QString::fromUtf8(e);
        };
        // Avahi's shape: the owner a pointer to the question, the cache-flush bit set.
        row("answer", false, mdns("c00c000c80010000000a000f 076d7970686f6e65 056c6f63616c00"), "myphone.local");
        row("data points into the question", false, mdns("c00c000c00010000000a0004 0161 c020"), "a.arpa");
        row("other record first", false,
            mdns("c00c000100010000000a0004c612000a c00c000c00010000000a0003 016200", "8400", "0002"), "b");
        row("refused", false, mdns("", "8405", "0000"), "!response code 5");
        row("header cut", false, QByteArray::fromHex("123484"), "!shorter than a DNS header");
        row("data past the end", false, mdns("c00c000c00010000000a00ff 0161"), "!malformed answer");
        row("pointer to itself", false, mdns("c00c000c00010000000a0002 c036"), "!malformed PTR");
        row("pointer loop", false, mdns("c00c000c00010000000a0004 0161c036"), "!malformed PTR");
        row("reserved label type", false, mdns("c00c000c00010000000a0002 4100"), "!malformed PTR");
        row("dot inside a label", false, mdns("c00c000c00010000000a0005 03612e6200"), "!name holds a dot");
        row("no UTF-8", false, mdns("c00c000c00010000000a0003 01ff00"), "!name is no UTF-8");
        row("another address", false, mdns("0131c00f000c00010000000a0003 016100"), "!no PTR answer");
        row("empty name", false, mdns("c00c000c00010000000a0001 00"), "!empty name");

        const QString group = "WORKGROUP 008400";
        row("Windows", true, nbReply({"MYPHONE 000400", group, "MYPHONE 200400"}), "MYPHONE");
        row("group first", true, nbReply({group, "NAS 030400", "NAS 000400"}), "NAS");
        row("server name only", true, nbReply({group, "PRINTER 200400"}), "PRINTER");
        row("deregistering", true, nbReply({"OLD 001400"}), "!no computer name");
        row("another id", true, nbReply({group}, "4321"), "!transaction id");
        row("more names than bytes", true, nbReply({group}, "1234", 9), "!9 names do not fit in 65 bytes");
        row("control character", true, nbReply({"A\x1b[2J 000400"}), "!name holds a control");
        row("header cut", true, QByteArray::fromHex("1234"), "!shorter than a NetBIOS header");
    }

    void replies()
    {
        QFETCH(bool, netbios);
        QFETCH(QByteArray, msg);
        QFETCH(QString, expected);
        auto parse = [netbios](const QByteArray& m) {
            return netbios ? nbstat::parseNodeStatusReply(m, 0x1234) : dnsmsg::parsePtrReply(m, 0x1234, kDevice);
        };
        const dnsmsg::NameReply r = parse(msg);
        if (expected.startsWith(QLatin1Char('!'))) {
            QVERIFY2(r.name.isEmpty() && r.error.startsWith(expected.mid(1)), qPrintable(r.error));
            return;
        }
        QCOMPARE(r.name, expected); // and cut anywhere, it is refused without a read past its end
        for (qsizetype n = 0; n < msg.size(); ++n)
            QVERIFY(!parse(msg.left(n)).error.isEmpty());
    }

    // Every reply below carries the id 0x1234.
    void onlyTheDeviceAskedAnswers_data()
    {
        QTest::addColumn<bool>("netbios");
        QTest::addColumn<quint32>("sender");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("id"); // the question's
        QTest::addColumn<QString>("expected"); // the name, or "!" and the start of the error
        QTest::newRow("mDNS") << false << kDevice << 5353 << 0x1234 << "myphone.local";
        QTest::newRow("mDNS, another host") << false << kDevice + 1 << 5353 << 0x1234 << "!reply from 198.18.0.11:5353";
        QTest::newRow("mDNS, another port") << false << kDevice << 53 << 0x1234 << "!reply from 198.18.0.10:53";
        QTest::newRow("mDNS, another id") << false << kDevice << 5353 << 0x4321 << "!transaction id 4660, expected";
        QTest::newRow("NetBIOS") << true << kDevice << 137 << 0x1234 << "MYPHONE";
        QTest::newRow("NetBIOS, the mDNS port") << true << kDevice << 5353 << 0x1234 << "!reply from 198.18.0.10:5353";
    }

    void onlyTheDeviceAskedAnswers()
    {
        QFETCH(bool, netbios);
        QFETCH(quint32, sender);
        QFETCH(int, port);
        QFETCH(int, id);
        QFETCH(QString, expected);
        const QByteArray reply =
            netbios ? nbReply({"MYPHONE 000400"}) : mdns("c00c000c80010000000a000f 076d7970686f6e65 056c6f63616c00");
        const dnsmsg::NameReply r =
            judgeNameReply(netbios ? NetPlatform::NameQuery::NetBios : NetPlatform::NameQuery::Mdns, reply, sender,
                quint16(port), kDevice, quint16(id));
        QCOMPARE(r.name.isEmpty() ? QLatin1Char('!') + r.error.left(expected.size() - 1) : r.name, expected);
    }
};

KW_TEST_GUILESS_MAIN(TestNameMessages)
#include "tst_namemessages.moc"
