// Names from the devices themselves on a namespace LAN, for devices the lab's hosts file does not name: a
// real avahi-daemon answers the monitor's mDNS question in one device's namespace, a scripted NetBIOS
// responder (which first sends a reply with a wrong transaction id) answers the node-status question in
// another's. Every namespace's resolver is 127.0.0.1, so no DNS question leaves the lab.

#include "Lab.h"
#include "Reg.h"
#include "TestHome.h"

#include <QStandardPaths>
#include <QTest>

using namespace kwtest;

namespace {
const QString kPhoneMac = QStringLiteral("02-4B-57-00-00-0A");
const QString kPcMac = QStringLiteral("02-4B-57-00-00-0B");

// Answers node-status questions as Samba's nmbd does, after one reply that carries the wrong id.
const char* const kResponder = R"(
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(('0.0.0.0', 137))
print('ready', flush=True)
names = b'OFFICEPC'.ljust(15) + b'\x00\x04\x00' + b'WORKGROUP'.ljust(15) + b'\x00\x84\x00'
data = bytes([2]) + names + bytes(46)
while True:
    q, peer = s.recvfrom(1500)
    if len(q) != 50 or q[46:50] != b'\x00\x21\x00\x01':
        continue
    tail = b'\x84\x00\x00\x00\x00\x01\x00\x00\x00\x00' + q[12:46] + b'\x00\x21\x00\x01\x00\x00\x00\x00'
    tail += len(data).to_bytes(2, 'big') + data
    s.sendto(bytes([q[0] ^ 0xff, q[1]]) + tail, peer)
    s.sendto(q[:2] + tail, peer)
)";

const char* const kAvahiConfig = "[server]\nhost-name=myphone\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=eth0\n"
                                 "enable-dbus=no\n[wide-area]\nenable-wide-area=no\n[publish]\npublish-addresses=yes\n"
                                 "publish-workstation=no\npublish-hinfo=no\n";

void startIn(Process& p, const QString& ns, const QStringList& command)
{
    p.start(QStringLiteral("ip"), QStringList {QStringLiteral("netns"), QStringLiteral("exec"), ns} + command);
}

bool named(Monitor& m, const QString& mac, const QString& name, int timeoutMs)
{
    const QRegularExpression re(QLatin1Char('^') + mac + QStringLiteral("\\t[^\\t]+\\tName is ")
        + QRegularExpression::escape(name) + QLatin1Char('$'));
    return !m.waitForLine(re, 0, timeoutMs).isEmpty();
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
        if (QStandardPaths::findExecutable(QStringLiteral("avahi-daemon"), {QStringLiteral("/usr/sbin")}).isEmpty())
            KW_SKIP("avahi-daemon is not installed (apt-get install avahi-daemon)");
    }

    void devicesWithoutReverseNamesNameThemselves()
    {
        Lab lab(QStringLiteral("kwn"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(
            lab.addDevice(QStringLiteral("phone"), QStringLiteral("198.18.0.10"), QStringLiteral("02:4b:57:00:00:0a")));
        QVERIFY(
            lab.addDevice(QStringLiteral("pc"), QStringLiteral("198.18.0.11"), QStringLiteral("02:4b:57:00:00:0b")));
        // The monitor's hosts file keeps the router's name only, so reverse lookups of the devices find none.
        const QString etc = QStringLiteral("/etc/netns/") + lab.ns();
        QCOMPARE(run(QStringLiteral("sed"),
                     {QStringLiteral("-i"), QStringLiteral("/^198\\.18\\.0\\.1[01]\\s/d"), etc + "/hosts"})
                     .code,
            0);
        QCOMPARE(
            run(QStringLiteral("cat"), {etc + "/resolv.conf"}).out.trimmed(), QStringLiteral("nameserver 127.0.0.1"));
        // A private /run in the namespace's own mount namespace: its pid file and socket meet no other avahi.
        Process avahi;
        startIn(avahi, lab.ns(QStringLiteral("phone")),
            {QStringLiteral("sh"), QStringLiteral("-c"),
                QStringLiteral(
                    "mount -t tmpfs none /run && mkdir /run/avahi-daemon && printf %s \"$1\" >/run/a.conf && "
                    "exec avahi-daemon -f /run/a.conf --no-drop-root --no-chroot --no-rlimits"),
                QStringLiteral("sh"), QString::fromLatin1(kAvahiConfig)});
        QVERIFY(!avahi.waitForLine(QRegularExpression(QStringLiteral("startup complete")), 0, 15000, Process::Err)
                     .isEmpty());
        Process nbns;
        startIn(nbns, lab.ns(QStringLiteral("pc")),
            {QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"), QString::fromLatin1(kResponder)});
        QVERIFY(!nbns.waitForLine(QRegularExpression(QStringLiteral("^ready$")), 0, 10000).isEmpty());
        TestHome home;
        const QString store = home.paths().home;
        {
            Monitor monitor(store);
            monitor.start(lab.ns());
            QVERIFY(monitor.waitStarted());
            QVERIFY(named(monitor, kPhoneMac, QStringLiteral("myphone.local"), 60000));
            QVERIFY(named(monitor, kPcMac, QStringLiteral("OFFICEPC"), 30000));
            const QString bad = QStringLiteral("NetBIOS reply for 198.18.0.11 ignored: transaction id");
            QVERIFY(!monitor.linesAfter(0, bad, Process::Err).isEmpty());
            QCOMPARE(monitor.stop(), 0);
        }
        QCOMPARE(Reg::get(store, Reg::device(kPhoneMac), QStringLiteral("Host_Name")), QStringLiteral("myphone.local"));
        QCOMPARE(Reg::get(store, Reg::device(kPcMac), QStringLiteral("Host_Name")), QStringLiteral("OFFICEPC"));
        QCOMPARE(avahi.stop(), 0);
        nbns.kill();
    }
};

KW_TEST_GUILESS_MAIN(TestNames)
#include "tst_names.moc"
