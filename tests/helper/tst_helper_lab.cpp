// The helper as a process, in a network namespace of its own: what it sends, deletes, hears and refuses, what
// it keeps of its privileges, and that a bad request changes nothing.

#include "helper/HelperProtocol.h"
#include "tests/support/Lab.h"
#include "tests/support/Skip.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

using namespace helperproto;

namespace {

// lan0 (198.18.7.1/24) does ARP towards lan1, which has no address and so answers nobody; dummy0 has ARP off;
// off0 is down. Nothing leaves the namespace, which ends with the helper.
const char* kSetup = "ip link set lo up && ip link add lan0 type veth peer name lan1 && ip link set lan1 up && "
                     "ip addr add 198.18.7.1/24 dev lan0 && ip link set lan0 up && "
                     "ip link add dummy0 type veth peer name dummy1 && ip link set dummy0 arp off && ip addr add "
                     "198.18.8.1/24 dev dummy0 && ip link set dummy1 up && ip link set dummy0 up "
                     "&& ip link add off0 type veth peer name off1 && ip addr add 198.18.9.1/24 dev off0";

std::array<std::uint8_t, 4> ip4(const char* text)
{
    unsigned a, b, c, d;
    sscanf(text, "%u.%u.%u.%u", &a, &b, &c, &d);
    return {std::uint8_t(a), std::uint8_t(b), std::uint8_t(c), std::uint8_t(d)};
}

std::vector<std::uint8_t> targets(const QStringList& addresses)
{
    std::vector<std::array<std::uint8_t, 4>> list;
    for (const QString& a : addresses)
        list.push_back(ip4(a.toLatin1().constData()));
    return echoBatchPayload(list);
}

struct Lab
{
    QProcess helper;
    QByteArray buffer;
    std::uint32_t seq = 0;

    bool start()
    {
        const QString program = qEnvironmentVariable("KW_BIN_DIR") + QStringLiteral("/kestrelwatch-helper");
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QStringLiteral("unshare"),
            {QStringLiteral("--net"), QStringLiteral("sh"), QStringLiteral("-c"),
                QStringLiteral("(%1) >&2 && exec %2").arg(QLatin1String(kSetup), program)});
        return helper.waitForStarted(5000);
    }
    ~Lab()
    {
        helper.kill();
        helper.waitForFinished(2000);
    }
    Reply next()
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const ReplyResult r =
                parseReply(reinterpret_cast<const std::uint8_t*>(buffer.constData()), std::size_t(buffer.size()));
            if (r.status != Parse::NeedMore) {
                buffer.remove(0, qsizetype(r.consumed));
                return r.reply;
            }
            if (clock.elapsed() > 5000 || helper.state() != QProcess::Running)
                return {Type::Error, 0xFFFFFFFF, {}};
            helper.waitForReadyRead(200);
            buffer += helper.readAllStandardOutput();
        }
    }
    void write(const std::vector<std::uint8_t>& bytes)
    {
        helper.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        helper.waitForBytesWritten(1000);
    }
    Reply ask(Type type, const std::vector<std::uint8_t>& payload)
    {
        write(frame(type, ++seq, payload));
        return next();
    }
    QString run(const QString& command)
    {
        QProcess p;
        p.start(QStringLiteral("nsenter"),
            {QStringLiteral("--net=/proc/%1/ns/net").arg(helper.processId()), QStringLiteral("sh"),
                QStringLiteral("-c"), command});
        p.waitForFinished(5000);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }
    QString neighbours() { return run(QStringLiteral("ip -4 neigh show nud all")); }
    QString status(const char* field)
    {
        QFile f(QStringLiteral("/proc/%1/status").arg(helper.processId()));
        f.open(QIODevice::ReadOnly);
        const QRegularExpression rx(
            QStringLiteral("^%1:\\s*(\\S+)").arg(QLatin1String(field)), QRegularExpression::MultilineOption);
        return rx.match(QString::fromLatin1(f.readAll())).captured(1);
    }
};

} // namespace

class TestHelperLab : public QObject
{
    Q_OBJECT

    std::unique_ptr<Lab> m_lab;

private Q_SLOTS:
    // Every helper of this test is handed an open descriptor it must close (no O_CLOEXEC).
    void initTestCase() { QVERIFY(::open("/proc/self/status", O_RDONLY) >= 3); }
    void init()
    {
        KW_REQUIRE_LAB();
        m_lab = std::make_unique<Lab>();
        QVERIFY(m_lab->start());
        const Reply ready = m_lab->next();
        QCOMPARE(int(ready.type), int(Type::Ready));
        QCOMPARE(int(parseReady(ready.payload).value_or(ReadyInfo {}).flags),
            int(EchoSocket | NeighbourAdmin | ArpListen | DhcpListen));
    }
    void cleanup() { m_lab.reset(); }

    void keepsOnlyWhatItNeeds()
    {
        QCOMPARE(m_lab->status("CapEff"), QStringLiteral("0000000000000000"));
        QCOMPARE(m_lab->status("CapPrm"), QStringLiteral("0000000000001000")); // net_admin
        QCOMPARE(m_lab->status("CapInh"), QStringLiteral("0000000000000000"));
        QCOMPARE(m_lab->status("CapAmb"), QStringLiteral("0000000000000000"));
        QCOMPARE(m_lab->status("NoNewPrivs"), QStringLiteral("1"));
        // stdin, stdout, stderr, the raw, ARP, DHCP and netlink sockets; the inherited descriptor is closed.
        const QStringList fds = QDir(QStringLiteral("/proc/%1/fd").arg(m_lab->helper.processId()))
                                    .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
        QCOMPARE(fds.size(), 7);
    }

    void echoTargets_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("refused");
        QTest::newRow("connected") << "198.18.7.20" << 1 << 0;
        QTest::newRow("network address") << "198.18.7.0" << 0 << 1;
        QTest::newRow("outside every range") << "198.19.9.9" << 0 << 1;
        QTest::newRow("no-ARP interface") << "198.18.8.5" << 0 << 1;
        QTest::newRow("interface that is down") << "198.18.9.5" << 0 << 1;
        QTest::newRow("loopback") << "127.0.0.1" << 0 << 1;
    }
    void echoTargets()
    {
        QFETCH(QString, target);
        QFETCH(int, sent);
        QFETCH(int, refused);
        const Reply r = m_lab->ask(Type::EchoBatch, targets({target}));
        const EchoOutcome o = parseEchoResult(r.payload).value_or(EchoOutcome {0xFFFF});
        QCOMPARE(int(r.type), int(Type::EchoResult));
        QCOMPARE(int(o.sent), sent);
        QCOMPARE(o.refusedRange + o.refusedHostless, refused);
        // A sent echo makes the kernel ask for the address by ARP; a refused one leaves no trace.
        if (sent)
            QTRY_VERIFY(m_lab->neighbours().contains(target + QLatin1Char(' ')));
        else
            QVERIFY(!m_lab->neighbours().contains(target + QLatin1Char(' ')));
    }

    // The request as it reaches the wire (read on lan1 by a packet socket): an echo request whose checksum
    // holds, with the identifier and payload the sweep uses.
    void echoBytesOnTheWire()
    {
        const QString lan1Mac =
            m_lab->run(QStringLiteral("ip -o link show lan1")).section(QStringLiteral("ether "), 1).left(17);
        m_lab->run(QStringLiteral("ip neigh replace 198.18.7.21 lladdr %1 dev lan0 nud permanent").arg(lan1Mac));
        QProcess capture;
        capture.start(QStringLiteral("nsenter"),
            {QStringLiteral("--net=/proc/%1/ns/net").arg(m_lab->helper.processId()), QStringLiteral("/usr/bin/python3"),
                QStringLiteral("-c"),
                QStringLiteral("import socket\n"
                               "s = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, socket.htons(0x0800))\n"
                               "s.bind(('lan1', 0)); s.settimeout(10); print('ready', flush=True)\n"
                               "while True:\n"
                               "    d = s.recv(2048)\n"
                               "    if d[9] == 1 and d[16:20] == bytes([198, 18, 7, 21]):\n"
                               "        print(d[(d[0] & 15) * 4:].hex(), flush=True); break\n")});
        QVERIFY(capture.waitForReadyRead(5000) && capture.readLine().trimmed() == "ready");
        QCOMPARE(parseEchoResult(m_lab->ask(Type::EchoBatch, targets({"198.18.7.21"})).payload)->sent, 1);
        QVERIFY(capture.waitForFinished(10000));
        const QByteArray icmp = QByteArray::fromHex(capture.readAllStandardOutput().trimmed());
        QCOMPARE(icmp.toHex(), QByteArray("0800a1a9555500004040404040404040"));
        quint32 sum = 0;
        for (int i = 0; i + 1 < icmp.size(); i += 2)
            sum += (quint32(quint8(icmp[i])) << 8) | quint8(icmp[i + 1]);
        QCOMPARE((sum & 0xFFFF) + (sum >> 16), quint32(0xFFFF));
    }

    void deletions()
    {
        m_lab->run(QStringLiteral("ip neigh add 198.18.7.5 lladdr 02:00:c6:12:07:05 dev lan0 nud reachable && "
                                  "ip neigh add 198.18.7.6 lladdr 02:00:c6:12:07:06 dev lan0 nud permanent && "
                                  "ip neigh add 198.18.7.7 lladdr 02:00:c6:12:07:07 dev lan0 nud noarp && "
                                  "ip neigh add 198.18.8.9 lladdr 02:00:c6:12:08:09 dev dummy0 nud reachable"));
        const std::uint32_t lan0 =
            m_lab->run(QStringLiteral("ip -o link show dev lan0 | cut -d: -f1")).trimmed().toUInt();
        const std::uint32_t dummy0 =
            m_lab->run(QStringLiteral("ip -o link show dev dummy0 | cut -d: -f1")).trimmed().toUInt();
        const std::vector<std::uint8_t> p =
            deleteNeighboursPayload({{lan0, ip4("198.18.7.5")}, {lan0, ip4("198.18.7.6")}, {lan0, ip4("198.18.7.7")},
                {dummy0, ip4("198.18.8.9")}, {dummy0, ip4("198.18.7.5")}, {lan0, ip4("198.18.7.99")}});
        const Reply r = m_lab->ask(Type::DeleteNeighbours, p);
        QCOMPARE(int(r.type), int(Type::DeleteResult));
        const DeleteOutcome o = parseDeleteResult(r.payload).value_or(DeleteOutcome {});
        QCOMPARE(int(o.deleted), 1); // the dynamic row in range
        QCOMPARE(int(o.refusedRange), 2); // no-ARP interface, address not on that interface
        QCOMPARE(int(o.refusedState), 2); // permanent and no-ARP rows
        QCOMPARE(int(o.absent), 1);
        const QString left = m_lab->neighbours();
        QVERIFY(!left.contains(QStringLiteral("198.18.7.5 ")));
        QVERIFY(left.contains(QStringLiteral("198.18.7.6 ")));
        QVERIFY(left.contains(QStringLiteral("198.18.7.7 ")));
        QVERIFY(left.contains(QStringLiteral("198.18.8.9 ")));
    }

    void badRequestsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("error");
        const auto raw = [](const std::vector<std::uint8_t>& v) {
            return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
        };
        std::vector<std::uint8_t> wrongVersion = frame(Type::EchoBatch, 7, targets({"198.18.7.30"}));
        wrongVersion[0] = 2;
        std::vector<std::uint8_t> shortCount = frame(Type::EchoBatch, 7, targets({"198.18.7.30", "198.18.7.31"}));
        shortCount[9] = 3; // says three, carries two
        QTest::newRow("version") << raw(wrongVersion) << int(ErrorCode::BadVersion);
        QTest::newRow("unknown type") << raw(frame(Type(9), 7, targets({"198.18.7.30"})))
                                      << int(ErrorCode::UnknownType);
        QTest::newRow("count and length disagree") << raw(shortCount) << int(ErrorCode::BadLength);
        QTest::newRow("count 0") << raw(frame(Type::EchoBatch, 7, {0, 0})) << int(ErrorCode::BadCount);
        QTest::newRow("too long") << raw(frame(Type::EchoBatch, 7, std::vector<std::uint8_t>(2000, 1)))
                                  << int(ErrorCode::BadLength);
        QTest::newRow("ARP listening with a payload")
            << raw(frame(Type::ListenArp, 7, {0, 0})) << int(ErrorCode::BadLength);
    }
    void badRequestsChangeNothing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, error);
        m_lab->write(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        const Reply r = m_lab->next();
        QCOMPARE(int(r.type), int(Type::Error));
        QCOMPARE(r.seq, std::uint32_t(7));
        QCOMPARE(int(parseError(r.payload).value_or(ErrorCode::None)), error);
        QTest::qWait(50);
        QVERIFY(!m_lab->neighbours().contains(QStringLiteral("198.18.7.3")));
        // The stream stays in step: the next request is served.
        const Reply after = m_lab->ask(Type::EchoBatch, targets({"198.18.7.40"}));
        QCOMPARE(int(after.type), int(Type::EchoResult));
        QCOMPARE(int(parseEchoResult(after.payload)->sent), 1);
    }

    void reportsHeardArp()
    {
        // Nothing is reported before it is asked for; then probes from lan1, which has no address: inside the
        // range once (the second within a second adds nothing), outside it never.
        const QString probe = QStringLiteral("arping -D -c 1 -w 1 -I lan1 %1 >/dev/null; ");
        m_lab->run(probe.arg(QStringLiteral("198.18.7.61")));
        const Reply listening = m_lab->ask(Type::ListenArp, {});
        QVERIFY(listening.type == Type::ArpHeard && listening.seq == m_lab->seq
            && listening.payload == std::vector<std::uint8_t>(4, 0));
        m_lab->run(probe.arg(QStringLiteral("198.19.1.1"))
            + QStringLiteral("(%1) & %1 wait").arg(probe.arg(QStringLiteral("198.18.7.60"))));
        const Reply heard = m_lab->next();
        const ArpHeardBatch batch = parseArpHeard(heard.payload);
        QVERIFY(heard.type == Type::ArpHeard && heard.seq == 0 && batch.ok && batch.sightings.size() == 1);
        const Heard& s = batch.sightings[0];
        QCOMPARE(s.ifindex, m_lab->run(QStringLiteral("ip -o link show dev lan0 | cut -d: -f1")).trimmed().toUInt());
        const QString mac =
            m_lab->run(QStringLiteral("ip -o link show lan1")).section(QStringLiteral("ether "), 1).left(17);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(s.mac.data()), 6).toHex(':'), mac.toLatin1());
        QVERIFY(s.ip == ip4("198.18.7.60") && s.kind == Heard::ArpProbe);
    }

    void leavesWhenThePipeCloses()
    {
        m_lab->helper.closeWriteChannel();
        QVERIFY(m_lab->helper.waitForFinished(2000));
        QCOMPARE(m_lab->helper.exitCode(), 0);
    }
};

KW_TEST_GUILESS_MAIN(TestHelperLab)
#include "tst_helper_lab.moc"
