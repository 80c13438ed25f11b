// A phone with a private MAC comes back to a namespace LAN under a new one, asking dnsmasq for an address with
// busybox udhcpc and its old host name: the running monitor links it to the known phone at its admission, and
// kestrelwatch-ctl merge carries the phone's name, list, history and presence intervals to the new MAC, which
// the monitor takes in. A phone that sends no host name at all is known again by the name it announces over
// mDNS (a python3-zeroconf responder), learnt in an earlier run of the monitor.

#include "Lab.h"
#include "TestHome.h"
#include "platform/Hive.h"
#include "store/KeyStore.h"
#include "store/PresenceStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <memory>

using namespace kwtest;

namespace {

const QString kOld = QStringLiteral("02-44-00-00-00-10");
const QString kNew = QStringLiteral("02-44-00-00-00-11");
const QDateTime kWas(QDate(2026, 11, 30), QTime(8, 0), Qt::UTC);

// An iPhone as its mDNS responder shows it, in its own namespace: "Anna's iPhone" of _companion-link._tcp.
std::unique_ptr<Process> iPhone(const Lab& lab, const char* host, const char* ip, const char* mac)
{
    if (!lab.addDevice(QLatin1String(host), QLatin1String(ip), QLatin1String(mac)))
        return nullptr;
    auto p = std::make_unique<Process>();
    p->start(QStringLiteral("ip"),
        {"netns", "exec", lab.ns(QLatin1String(host)), "/usr/bin/python3",
            TestHome::sourceDir() + QStringLiteral("/tests/e2e/whois_peers.py"), "mdns", ip, "Anna's iPhone",
            "_companion-link._tcp", "rpMd=iPhone14,2"});
    return p->waitForLine(QRegularExpression(QStringLiteral("^ready$")), 0, 20000).isEmpty() ? nullptr : std::move(p);
}

Run ctl(const QString& home, const QStringList& args)
{
    return run(binary(QStringLiteral("kestrelwatch-ctl")), QStringList {QStringLiteral("--home"), home} + args);
}

// The phone as an earlier life of the monitor left it: on the safe list, named, gone since the day it was here,
// with a history line and one stay in the presence file.
void seedPhone(const AppPaths& paths)
{
    QVERIFY(paths.prepareHome().isEmpty());
    auto hive = Hive::open(paths.hiveFile()).hive;
    QVERIFY(hive);
    const QString key = KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::deviceKey(kOld));
    QVERIFY(hive->setValues({{key,
        {{"IP_Address", "198.18.0.50"}, {"Host_Name", "annas-pixel"}, {"Friendly_Name", "Anna's phone"},
            {"New_Device", "False"}, {"Intruder", "False"}, {"First_Seen", TextForms::dateText(kWas)},
            {"Last_Online", TextForms::dateText(kWas)}, {"Last_Offline", TextForms::dateText(kWas.addSecs(3600))},
            {"Mac_Type", "3"}}}}));
    QFile log(paths.devices() + kOld + QStringLiteral(".log"));
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write((TextForms::dateText(kWas) + QStringLiteral("\tConnected ( 198.18.0.50 )\r\n")).toUtf8());
    auto presence = PresenceStore::open(paths.presenceFile(), kWas).store;
    QVERIFY(presence);
    DeviceEvent e;
    std::tie(e.kind, e.mac, e.time, e.address) =
        std::tuple(DeviceEvent::Kind::Online, kOld, kWas, QStringLiteral("198.18.0.50"));
    presence->deviceEvent(e);
    std::tie(e.kind, e.time) = std::tuple(DeviceEvent::Kind::Offline, kWas.addSecs(3600));
    presence->deviceEvent(e);
    presence->confirm(kWas.addSecs(7200), true);
}

} // namespace

class TestReturnLan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
    }

    void returnsUnderANewMac()
    {
        Lab lab(QStringLiteral("kwr"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QCOMPARE(lab.netlab(QStringLiteral("dhcp-server")).code, 0);
        TestHome home;
        seedPhone(home.paths());
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        QVERIFY(!monitor.waitForLine(QRegularExpression("listening for DHCP"), 0, 10000, Process::Err).isEmpty());

        const qsizetype from = monitor.cursor();
        QCOMPARE(lab.netlab(QStringLiteral("dhcp-client"),
                        {QStringLiteral("phone"), QStringLiteral("udhcpc"), QStringLiteral("02:44:00:00:00:11"),
                            "--hostname", "annas-pixel"})
                     .code,
            0);
        // Linked with its admission, from its own DHCP request.
        const QString linked =
            QStringLiteral("Probably Anna's phone, with a new private address (earlier MAC %1)").arg(kOld);
        QVERIFY2(!monitor.waitForLine(eventLine(kNew, linked), from, 30000).isEmpty(),
            qPrintable(monitor.linesAfter(from, kNew).join(QLatin1Char('\n'))));

        const qsizetype merged = monitor.cursor();
        const Run merge = ctl(home.paths().home, {QStringLiteral("merge"), kOld, kNew});
        QVERIFY2(merge.code == 0, qPrintable(merge.err));
        // The running monitor takes the merge in: the phone's name on the new MAC.
        const QString renamed = monitor.waitForLine(eventLine(kNew, QStringLiteral("Renamed ")), merged, 5000);
        QVERIFY2(
            renamed.endsWith(QStringLiteral("\u2192 \"Anna's phone\" (by kestrelwatch-ctl)")), qPrintable(renamed));
        const QJsonArray list =
            QJsonDocument::fromJson(ctl(home.paths().home, {"list", "--json"}).out.toUtf8()).array();
        // The router beside it, and the phone under its new MAC alone.
        QJsonObject phone;
        for (const QJsonValue& d : list) {
            QVERIFY(d["mac"].toString() != kOld);
            if (d["mac"].toString() == kNew)
                phone = d.toObject();
        }
        QCOMPARE(phone.value("name").toString() + ' ' + phone.value("list").toString() + ' '
                + phone.value("former_macs")[0].toString(),
            QStringLiteral("Anna's phone safe ") + kOld);
        const QString history = ctl(home.paths().home, {"history", kNew}).out;
        QVERIFY2(history.contains(QLatin1String("Connected ( 198.18.0.50 )"))
                && history.contains(QLatin1String("Merged: formerly ") + kOld),
            qPrintable(history));
        const QString exported = ctl(home.paths().home, {"export", "--format", "json"}).out;
        QVERIFY2(exported.contains(QLatin1String("{\"address\":\"198.18.0.50\",\"from\":\"2026-11-30T08:00:00Z\"")),
            qPrintable(exported));
        QCOMPARE(monitor.stop(), 0);
    }

    void returnsByItsMdnsName()
    {
        if (run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QStringLiteral("import zeroconf")}).code
            != 0)
            KW_SKIP("python3-zeroconf is not installed (scripts/install-deps.sh test)");
        const QString first = QStringLiteral("02-44-00-00-00-30"), second = QStringLiteral("02-44-00-00-00-31");
        Lab lab(QStringLiteral("kwm"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        TestHome home;
        {
            // An earlier run hears the phone name itself; the user names it and moves it to the safe list; it
            // leaves.
            std::unique_ptr<Process> phone = iPhone(lab, "phone1", "198.18.0.30", "02:44:00:00:00:30");
            QVERIFY(phone);
            Monitor monitor(home.paths().home);
            monitor.start(lab.ns());
            QVERIFY(monitor.waitStarted());
            QVERIFY(!monitor
                         .waitForLine(QRegularExpression(first + " calls itself \"Anna's iPhone\" over mDNS"), 0, 30000,
                             Process::Err)
                         .isEmpty());
            QCOMPARE(monitor.stop(), 0);
            QCOMPARE(ctl(home.paths().home, {"move", first, "safe"}).code, 0);
            QCOMPARE(ctl(home.paths().home, {"rename", first, "Anna's phone"}).code, 0);
            phone->stop();
            QCOMPARE(lab.netlab(QStringLiteral("remove"), {QStringLiteral("phone1")}).code, 0);
            // Gone from the monitor's neighbour table too, as after the minutes a phone is usually away.
            QCOMPARE(lab.exec({QStringLiteral("ip"), QStringLiteral("neigh"), QStringLiteral("flush"),
                                  QStringLiteral("all")})
                         .code,
                0);
        }
        // It comes back under a new private MAC: the answer that names it links it to the phone gone before.
        std::unique_ptr<Process> phone = iPhone(lab, "phone2", "198.18.0.31", "02:44:00:00:00:31");
        QVERIFY(phone);
        Monitor monitor(home.paths().home);
        monitor.start(lab.ns());
        QVERIFY(monitor.waitStarted());
        const QString linked =
            QStringLiteral("Probably Anna's phone, with a new private address (earlier MAC %1)").arg(first);
        QVERIFY2(!monitor.waitForLine(eventLine(second, linked), 0, 30000).isEmpty(),
            qPrintable(monitor.lines().join(QLatin1Char('\n'))));
        QVERIFY(ctl(home.paths().home, {"history", second}).out.contains(linked));
        QCOMPARE(monitor.stop(), 0);
    }
};

KW_TEST_GUILESS_MAIN(TestReturnLan)
#include "tst_return_lan.moc"
