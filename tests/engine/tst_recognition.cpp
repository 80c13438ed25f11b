// What devices say about themselves: the shipped signature table on what real clients send, its refusal of
// lines it cannot read, and the engine weighing the clues (DHCP options over host-name and maker hints, a
// hand-set value never overwritten, a refused text logged and left out).

#include "EngineRig.h"
#include "Skip.h"
#include "engine/Describer.h"
#include "recognition/SignatureTable.h"

#include <QTest>

namespace {
const QString kMac = QStringLiteral("02-AA-BB-CC-DD-01");

QByteArray codes(const QString& list)
{
    QByteArray bytes;
    for (const QString& c : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        bytes.append(char(c.toInt()));
    return bytes;
}

QString shown(const Clue& c)
{
    return DeviceKind::typeWord(c.type) + QLatin1Char('|') + c.os;
}

SignatureTable shipped()
{
    QStringList problems;
    SignatureTable table = SignatureTable::load(
        qEnvironmentVariable("KESTRELWATCH_SHARE") + QStringLiteral("/device-signatures.txt"), &problems);
    if (!problems.isEmpty())
        qWarning() << problems;
    return table;
}
} // namespace

class TestRecognition : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // The table as shipped: every line reads, and each client's request list and vendor class as captured
    // from it give its type and operating system.
    void dhcpSignatures_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<QString>("clue");
        QTest::newRow("Windows 11") << "1,3,6,15,31,33,43,44,46,47,119,121,249,252"
                                    << "MSFT 5.0"
                                    << "computer|Windows 10/11";
        QTest::newRow("Windows, vendor class only") << ""
                                                    << "MSFT 5.0"
                                                    << "computer|Windows";
        QTest::newRow("Xbox") << "1,3,6,15"
                              << "MSFT 5.0 XBOX"
                              << "console|Xbox";
        QTest::newRow("Android 13") << "1,3,6,15,26,28,51,58,59,43,114,108"
                                    << "android-dhcp-13"
                                    << "phone|Android 13";
        QTest::newRow("Android's vendor class over dhclient's list") << "1,28,2,3,15,6,12"
                                                                     << "android-dhcp-13"
                                                                     << "phone|Android 13";
        QTest::newRow("Android, odd version not repeated") << ""
                                                           << "android-dhcp-<b>"
                                                           << "phone|Android";
        QTest::newRow("iPhone or iPad") << "1,121,3,6,15,108,114,119,252"
                                        << ""
                                        << "unknown|iOS/iPadOS";
        QTest::newRow("macOS 13") << "1,121,3,6,15,108,114,119,252,95,44,46"
                                  << ""
                                  << "computer|macOS";
        QTest::newRow("Debian dhclient") << "1,28,2,3,15,6,119,12,44,47,26,121,42"
                                         << ""
                                         << "computer|Linux";
        QTest::newRow("busybox udhcpc") << "1,3,6,12,15,28,42"
                                        << "udhcp 1.36.1"
                                        << "unknown|Linux (busybox)";
        QTest::newRow("dhcpcd") << ""
                                << "dhcpcd-9.4.1:Linux-6.1.0:aarch64:BCM2835"
                                << "computer|Linux";
        QTest::newRow("HP printer") << "1,3,44,6,7,12,15,22,54,58,59,69,18,144"
                                    << "Hewlett-Packard JetDirect"
                                    << "printer|";
        QTest::newRow("nothing known") << "1,2,3"
                                       << "acme-os"
                                       << "unknown|";
        QTest::newRow("a list prefix is no list") << "1,121,3,6"
                                                  << ""
                                                  << "unknown|";
    }
    void dhcpSignatures()
    {
        QFETCH(QString, list);
        QFETCH(QString, vendor);
        QFETCH(QString, clue);
        const Clue c = shipped().matchDhcp(codes(list), vendor);
        QCOMPARE(shown(c), clue);
        QCOMPARE(c.source, c.isEmpty() ? FactSource::None : FactSource::Dhcp);
    }

    void weakHints_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("maker");
        QTest::addColumn<QString>("clue");
        QTest::newRow("iPhone") << "Annas-iPhone"
                                << ""
                                << "phone|iOS";
        QTest::newRow("iPad") << "iPad"
                              << ""
                              << "tablet|iPadOS";
        QTest::newRow("Windows set-up name") << "DESKTOP-7QK2M1B"
                                             << ""
                                             << "computer|Windows";
        QTest::newRow("Samsung") << "Galaxy-S23"
                                 << ""
                                 << "phone|Android";
        QTest::newRow("old Android") << "android-1a2b3c4d5e6f7a8b"
                                     << ""
                                     << "phone|Android";
        QTest::newRow("Raspberry Pi by name") << "raspberrypi"
                                              << ""
                                              << "computer|Linux";
        QTest::newRow("Raspberry Pi by maker") << ""
                                               << "Raspberry Pi Trading Ltd"
                                               << "computer|Linux";
        QTest::newRow("Sonos by maker") << ""
                                        << "Sonos, Inc."
                                        << "speaker|";
        QTest::newRow("nothing") << "nas"
                                 << "Intel Corporate"
                                 << "unknown|";
    }
    void weakHints()
    {
        QFETCH(QString, host);
        QFETCH(QString, maker);
        QFETCH(QString, clue);
        const SignatureTable table = shipped();
        const Clue c = host.isEmpty() ? table.matchMaker(maker) : table.matchHostName(host);
        QCOMPARE(shown(c), clue);
    }

    // Lines the table cannot read are refused one by one, each with its line number; the rest count.
    void refusedLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("problem");
        QTest::newRow("no documentation") << "dhcp-vendor:acme | printer | |"
                                          << "line 2: not MATCH";
        QTest::newRow("three fields") << "dhcp-vendor:acme | printer | Linux"
                                      << "line 2: not MATCH";
        QTest::newRow("unknown match") << "dhcp-colour:red | | | doc"
                                       << "line 2: unknown match \"dhcp-colour\"";
        QTest::newRow("code out of range") << "dhcp-list:1,3,300 | | | doc"
                                           << "line 2: request list";
        QTest::newRow("unknown type") << "dhcp-vendor:acme | toaster | | doc"
                                      << "line 2: unknown type \"toaster\"";
        QTest::newRow("empty pattern") << "host-prefix: | phone | | doc"
                                       << "line 2: empty pattern";
    }
    void refusedLines()
    {
        QFETCH(QString, line);
        QFETCH(QString, problem);
        QStringList problems;
        const SignatureTable table = SignatureTable::parse(
            QStringLiteral("# a comment\n") + line + QStringLiteral("\nmaker:Sonos | speaker | | IEEE\n"), &problems);
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems[0].startsWith(problem), qPrintable(problems[0]));
        QCOMPARE(table.size(), 1);
    }

    // The engine weighs what a heard client says: DHCP over the host-name hint, never over the user's choice;
    // each change stored at once and emitted once; a refused text logged and left out.
    void engineWeighsClues()
    {
        EngineRig rig;
        rig.engine.describer().setSignatures(shipped());
        rig.engine.describer().setMakerLookup([](const QString&) { return QStringLiteral("Raspberry Pi Trading"); });
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
        rig.load();
        rig.nextSweep();
        rig.window.calls.clear();

        // Admitted once it answers at the address its REQUEST asked for: the maker's hint, then its host name's.
        rig.net.hearDhcp(kMac, QStringLiteral("198.18.0.7"), Heard::DhcpRequest, "Annas-iPhone");
        rig.net.hearArp(kMac, QStringLiteral("198.18.0.7"), Heard::ArpAnnouncement);
        QCOMPARE(rig.window.calls.join(QLatin1Char('|')),
            QStringLiteral("Admitted 0 198.18.0.7 intruder|Described 0 198.18.0.7 type,os|Online 0 198.18.0.7 intruder "
                           "unlogged|NameChanged 0 Annas-iPhone|"
                           "Described 0 198.18.0.7 type,os"));
        DeviceRecord& device = *rig.devices.find(kMac);
        QCOMPARE(device.Type, DeviceType::Phone);
        QCOMPARE(device.Os, QStringLiteral("iOS"));

        // Its options: the request list says iOS or iPadOS, stronger than the name; the type stays the name's.
        rig.window.calls.clear();
        Heard d;
        d.mac = {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01};
        d.ip = {198, 18, 0, 7};
        d.kind = Heard::DhcpRequest;
        d.options.emplace();
        d.options->requestList = {1, 121, 3, 6, 15, 108, 114, 119, 252};
        d.options->clientId = {1, 0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0x01};
        d.options->fqdn = "annas-iphone.home";
        rig.net.deliverHeard(d);
        QCOMPARE(rig.window.calls, QStringList {QStringLiteral("Described 0 198.18.0.7 os")});
        QCOMPARE(rig.stored(kMac, QStringLiteral("OS")), QStringLiteral("iOS/iPadOS"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("OS_Source")), QStringLiteral("dhcp"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Type_Source")), QStringLiteral("hostname"));
        QVERIFY(rig.engine.describer().dhcpIdentity(kMac)->clientIdIsMac);
        // The identity outlives the run: read back from the store as it was heard.
        const auto identity = Describer::DhcpIdentity::fromText(rig.stored(kMac, QStringLiteral("DHCP_Identity")));
        QVERIFY(identity && *identity == *rig.engine.describer().dhcpIdentity(kMac));
        QCOMPARE(identity->fqdn, QStringLiteral("annas-iphone.home"));
        // The same options again weigh nothing anew.
        rig.net.deliverHeard(d);
        QCOMPARE(rig.window.calls.size(), 1);
        // A vendor class that is no UTF-8 text is logged, once, and left out.
        d.options->vendorClass = "MSFT\xff";
        rig.net.deliverHeard(d);
        d.options->vendorClass = "MSFT\xfe";
        rig.net.deliverHeard(d);
        QCOMPARE(
            rig.log.lines().filter(QStringLiteral("DHCP vendor class of %1 refused, it is no UTF-8").arg(kMac)).size(),
            1);
        QCOMPARE(rig.engine.describer().dhcpIdentity(kMac)->vendorClass, QString());

        // A type the user set stays; a model no filter lets in is logged, once, and left out.
        device.Type = DeviceType::Tablet;
        device.TypeSource = FactSource::User;
        QVERIFY(!rig.engine.describer().apply(kMac, Clue {FactSource::Mdns, DeviceType::Tv, {}, {}}));
        QCOMPARE(device.Type, DeviceType::Tablet);
        QVERIFY(!rig.engine.describer().apply(kMac, Clue {FactSource::Mdns, {}, QStringLiteral("TV\u202E"), {}}));
        QVERIFY(!rig.engine.describer().apply(kMac, Clue {FactSource::Mdns, {}, QStringLiteral("TV\u202E"), {}}));
        QCOMPARE(rig.log.lines().filter(QStringLiteral("model of %1 refused").arg(kMac)).size(), 1);
        QCOMPARE(rig.stored(kMac, QStringLiteral("Model")), QString());
    }
};

KW_TEST_GUILESS_MAIN(TestRecognition)
#include "tst_recognition.moc"
