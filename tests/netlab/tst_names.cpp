// Names devices the monitor's hosts file does not name give themselves on a namespace LAN: a real avahi-daemon
// answers mDNS, a scripted NetBIOS responder (first with a wrong transaction id) node status, and a third host
// that forges mDNS answers from the phone's address and NetBIOS answers from the pc's names nobody. Every namespace's
// resolver is 127.0.0.1, so no DNS question leaves the lab.

#include "Lab.h"
#include "TestHome.h"

#include <QFile>
#include <QTest>

using namespace kwtest;

namespace {
// Answers node-status questions with nmbd's layout: the question's name, NBSTAT, names, statistics.
const char* const kResponder = R"(
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(('', 137)); print('ready', flush=True)
data = bytes([2]) + b'OFFICEPC       \x00\x04\x00' + b'WORKGROUP      \x00\x84\x00' + bytes(46)
while True:
    q, peer = s.recvfrom(1500); tail = b'\x84\x00\x00\x00\x00\x01\x00\x00\x00\x00' + q[12:46] + b'\x00\x21\x00\x01' + bytes(5) + bytes([len(data)]) + data
    s.sendto(bytes([q[0] ^ 0xff, q[1]]) + tail, peer); s.sendto(q[:2] + tail, peer)
)";
// Forges "forged.local" for the phone (argv[1]) to the monitor (argv[2]) from the phone's address and port 5353:
// at once for any question about the phone it hears (a multicast one reveals id and port), and blindly, with
// random ids, at port 5353 and every ephemeral port, paced so as not to starve the lab; and, as blindly, a
// NetBIOS node status "FORGEDPC" for the pc (argv[3]) from its address and port 137.
const char* const kForger = R"(
import itertools, random, select, socket, struct, sys
victim, monitor, pc = sys.argv[1], sys.argv[2], sys.argv[3]
star = b'\x20CK' + b'AA' * 15 + b'\x00'
names = bytes([1]) + b'FORGEDPC       \x00\x04\x00' + bytes(46)
def forge_nb(qid, port):
    nb = struct.pack('!6H', qid, 0x8400, 0, 1, 0, 0) + star + b'\x00\x21\x00\x01' + bytes(4) + struct.pack('!H', len(names)) + names
    udp = struct.pack('!4H', 137, port, 8 + len(nb), 0) + nb
    raw.sendto(struct.pack('!BBHHHBBH4s4s', 0x45, 0, 20 + len(udp), 0, 0, 64, 17, 0, socket.inet_aton(pc), socket.inet_aton(monitor)) + udp, (monitor, 0))
rev = b''.join(bytes([len(l)]) + l for l in victim.encode().split(b'.')[::-1]) + b'\x07in-addr\x04arpa\x00'
raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
def forge(qid, port):
    dns = struct.pack('!6H', qid, 0x8400, 1, 1, 0, 0) + rev + bytes.fromhex('000c0001c00c000c80010000000a000e') + b'\x06forged\x05local\x00'
    udp = struct.pack('!4H', 5353, port, 8 + len(dns), 0) + dns
    raw.sendto(struct.pack('!BBHHHBBH4s4s', 0x45, 0, 20 + len(udp), 0, 0, 255, 17, 0, socket.inet_aton(victim), socket.inet_aton(monitor)) + udp, (monitor, 0))
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1); s.bind(('', 5353))
s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, socket.inet_aton('224.0.0.251') + struct.pack('4xi', socket.if_nametoindex('eth0'))); s.setblocking(False)
print('ready', flush=True)
for n, port in enumerate(itertools.cycle([5353] + list(range(32768, 65536)))):
    if select.select([s], [], [], 0 if n % 256 else 0.05)[0]:
        q, peer = s.recvfrom(1500)
        if rev in q and not q[2] & 0x80: forge(q[0] << 8 | q[1], peer[1]); print('heard', peer, flush=True)
    forge(random.getrandbits(16), port)
    forge_nb(random.getrandbits(16), port)
)";
// A private /run in the namespace's own mount namespace: its pid file and socket meet no other avahi.
const char* const kAvahi =
    "mount -t tmpfs none /run && mkdir /run/avahi-daemon && printf '[server]\\nhost-name=myphone\\n"
    "use-ipv6=no\\nallow-interfaces=eth0\\nenable-dbus=no\\n[wide-area]\\nenable-wide-area=no\\n'"
    " >/run/a.conf && exec avahi-daemon -f /run/a.conf --no-drop-root --no-chroot --no-rlimits";

bool started(Process& p, const QString& ns, const QStringList& command, const QString& line, Process::Channel c)
{
    p.start("ip", QStringList {"netns", "exec", ns} + command);
    return !p.waitForLine(QRegularExpression(line), 0, 15000, c).isEmpty();
}
} // namespace

class TestNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
        if (!QFile::exists("/usr/sbin/avahi-daemon"))
            KW_SKIP("avahi-daemon is not installed (apt-get install avahi-daemon)");
    }

    void devicesWithoutReverseNamesNameThemselves()
    {
        Lab lab("kwn");
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(lab.addDevice("phone", "198.18.0.10", "02:4b:57:00:00:0a")
            && lab.addDevice("pc", "198.18.0.11", "02:4b:57:00:00:0b")
            && lab.addDevice("forger", "198.18.0.12", "02:4b:57:00:00:0c"));
        const QString etc = "/etc/netns/" + lab.ns();
        QCOMPARE(run("sed", {"-i", "/^198\\.18\\.0\\.1[01]\\s/d", etc + "/hosts"}).code, 0);
        const QString resolv = run("cat", {etc + "/resolv.conf"}).out;
        QVERIFY2(resolv.count("nameserver") == 1 && resolv.contains("nameserver 127.0.0.1\n"), qPrintable(resolv));
        Process avahi;
        QVERIFY(started(avahi, lab.ns("phone"), {"sh", "-c", kAvahi}, "startup complete", Process::Err));
        Process nbns;
        QVERIFY(started(nbns, lab.ns("pc"), {"/usr/bin/python3", "-c", kResponder}, "^ready$", Process::Out));
        Process forger;
        QVERIFY(started(forger, lab.ns("forger"),
            {"/usr/bin/python3", "-c", kForger, "198.18.0.10", "198.18.0.2", "198.18.0.11"}, "^ready$", Process::Out));
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        for (const auto& [mac, named] :
            {std::pair {"02-4B-57-00-00-0A", "Name is myphone.local"}, {"02-4B-57-00-00-0B", "Name is OFFICEPC"}})
            QVERIFY2(!monitor.waitForLine(eventLine(mac, named), 0, 60000).isEmpty(), named);
        QVERIFY(
            !monitor.linesAfter(0, "NetBIOS reply for 198.18.0.11 ignored: transaction id", Process::Err).isEmpty());
        // The question went to the phone alone, and no forged answer got through.
        QCOMPARE(monitor.linesAfter(0, "Name is forged"), QStringList());
        QCOMPARE(forger.linesAfter(0, "heard"), QStringList());
        QCOMPARE(monitor.stop(), 0);
        QCOMPARE(avahi.stop(), 0);
    }
};

KW_TEST_GUILESS_MAIN(TestNames)
#include "tst_names.moc"
