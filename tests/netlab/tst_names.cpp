// Names devices the monitor's hosts file does not name give themselves on a namespace LAN: a real avahi-daemon
// answers mDNS, a scripted NetBIOS responder (first with a wrong transaction id) node status. Every namespace's
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
            && lab.addDevice("pc", "198.18.0.11", "02:4b:57:00:00:0b"));
        const QString etc = "/etc/netns/" + lab.ns();
        QCOMPARE(run("sed", {"-i", "/^198\\.18\\.0\\.1[01]\\s/d", etc + "/hosts"}).code, 0);
        const QString resolv = run("cat", {etc + "/resolv.conf"}).out;
        QVERIFY2(resolv.count("nameserver") == 1 && resolv.contains("nameserver 127.0.0.1\n"), qPrintable(resolv));
        Process avahi;
        QVERIFY(started(avahi, lab.ns("phone"), {"sh", "-c", kAvahi}, "startup complete", Process::Err));
        Process nbns;
        QVERIFY(started(nbns, lab.ns("pc"), {"/usr/bin/python3", "-c", kResponder}, "^ready$", Process::Out));
        TestHome home;
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        for (const char* named : {"^02-4B-57-00-00-0A\t.*\tName is myphone.local$", "-0B\t.*\tName is OFFICEPC$"})
            QVERIFY2(!monitor.waitForLine(QRegularExpression(named), 0, 60000).isEmpty(), named);
        QVERIFY(
            !monitor.linesAfter(0, "NetBIOS reply for 198.18.0.11 ignored: transaction id", Process::Err).isEmpty());
        QCOMPARE(monitor.stop(), 0);
        QCOMPARE(avahi.stop(), 0);
    }
};

KW_TEST_GUILESS_MAIN(TestNames)
#include "tst_names.moc"
