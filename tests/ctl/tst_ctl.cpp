// kestrelwatch-ctl against real store files in temporary homes: every command with its exit status and what it
// leaves stored; export and import (round trip, merging, refused files); and a monitor running on the same
// store that takes the tool's changes in, with its events, and never writes over them.

#include "Devices.h"
#include "EngineRig.h"
#include "FakeNetPlatform.h"
#include "Process.h"
#include "Skip.h"
#include "TestHome.h"
#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "app/StoreFollower.h"
#include "engine/Describer.h"
#include "engine/DiscoveryEngine.h"
#include "platform/Clock.h"
#include "platform/Hive.h"
#include "store/DeviceWatch.h"
#include "store/KeyStore.h"
#include "store/PresenceStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSignalSpy>
#include <QtTest>
#include <unistd.h>

namespace {

const QString kPrinter = QStringLiteral("00-0C-29-12-34-56");
const QString kPhone = QStringLiteral("02-AA-00-00-00-0D");
const QDateTime kSeen(QDate(2026, 12, 5), QTime(22, 0), Qt::UTC);
const QString kNetwork = QStringLiteral("02-00-C6-12-00-01 198.18.0.0/24");
const QString kNetworkKey = QStringLiteral("Networks\\") + kNetwork;

kwtest::Run ctl(const QString& home, const QStringList& args)
{
    return kwtest::run(
        kwtest::binary(QStringLiteral("kestrelwatch-ctl")), QStringList {QStringLiteral("--home"), home} + args);
}

// Two devices as the monitor stores them (the printer online since kSeen, the phone gone an hour later) and a
// history line of the printer.
void seed(const AppPaths& paths)
{
    QVERIFY(paths.prepareHome().isEmpty());
    auto hive = Hive::open(paths.hiveFile()).hive;
    QVERIFY(hive);
    const QString devices = KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::DetectedDevices) + QLatin1Char('\\');
    const auto device = [&](const QString& mac, const char* name, const QDateTime& online, const QDateTime& offline) {
        return Hive::KeyValues {devices + mac,
            {{QStringLiteral("IP_Address"), QStringLiteral("198.18.0.12")},
                {QStringLiteral("Host_Name"), mac.toLower()}, {QStringLiteral("Friendly_Name"), QLatin1String(name)},
                {QStringLiteral("New_Device"), QStringLiteral("True")},
                {QStringLiteral("Intruder"), QStringLiteral("True")},
                {QStringLiteral("First_Seen"), TextForms::dateText(kSeen)},
                {QStringLiteral("Last_Online"), TextForms::dateText(online)},
                {QStringLiteral("Last_Offline"), TextForms::dateText(offline)},
                {QStringLiteral("Mac_Type"), QStringLiteral("3")}}};
    };
    Hive::KeyValues printer = device(kPrinter, "Printer", kSeen, TextForms::NeverDate());
    printer.values.append({QStringLiteral("Network"), kNetwork});
    printer.values.append({QStringLiteral("MDNS_Name"), QStringLiteral("HP LaserJet, 2nd floor")});
    const Hive::KeyValues network {KeyStore::fullKeyPath(KeyStore::ProductKey, kNetworkKey),
        {{QStringLiteral("Subnet"), QStringLiteral("198.18.0.0/24")},
            {QStringLiteral("Gateway_MAC"), QStringLiteral("02-00-C6-12-00-01")},
            {QStringLiteral("Gateway_IP"), QStringLiteral("198.18.0.1")},
            {QStringLiteral("Watch"), QStringLiteral("asked")},
            {QStringLiteral("First_Seen"), TextForms::storedDate(kSeen)}}};
    QVERIFY(hive->setValues({printer, device(kPhone, "", kSeen, kSeen.addSecs(3600)), network,
        {KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::General),
            {{QStringLiteral("EmailPassword"), QStringLiteral("cHc=")}}}}));
    QFile log(paths.devices() + kPrinter + QStringLiteral(".log"));
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write((TextForms::dateText(kSeen) + QStringLiteral("\t** WARNING - NEW DEVICE **\r\n")).toUtf8());
}

// A stored value as a fresh reader sees it; "-" when it or its key is gone.
QString stored(const AppPaths& paths, const QString& subkey, const QString& name)
{
    auto hive = Hive::open(paths.hiveFile()).hive;
    const QString key = KeyStore::fullKeyPath(KeyStore::ProductKey, subkey);
    if (!hive || !hive->keyExists(key))
        return QStringLiteral("-");
    return hive->value(key, name).value_or(QStringLiteral("-"));
}

} // namespace

class TestCtl : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("monitor"); // a monitor holds the home
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("output"); // in stdout, or in stderr for a failure
        QTest::addColumn<QString>("subkey");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        const QString printer = Keys::deviceKey(kPrinter);
        const QString general = Keys::General;
        QTest::newRow("list")
            << QStringList {"list"} << false << 0
            << "00-0C-29-12-34-56\t198.18.0.12\tPrinter\tVMware, Inc.\tintruders\tno\t2026-12-05T22:00:00Z\t"
               "2026-12-05T22:00:00Z\tnone"
            << printer << "Friendly_Name"
            << "Printer";
        QTest::newRow("list json, online while a monitor runs")
            << QStringList {"list", "--json"} << true << 0 << "\"online\": true" << printer << "Intruder"
            << "True";
        QTest::newRow("history in ISO time")
            << QStringList {"history", "00:0c:29:12:34:56"} << false << 0
            << "2026-12-05T22:00:00Z\t** WARNING - NEW DEVICE **" << printer << "New_Device"
            << "True";
        QTest::newRow("ack") << QStringList {"ack", "000c29123456"} << false << 0 << "" << printer << "New_Device"
                             << "False";
        QTest::newRow("move safe") << QStringList {"move", kPrinter, "safe"} << false << 0 << "" << printer
                                   << "Intruder"
                                   << "False";
        QTest::newRow("move elsewhere") << QStringList {"move", kPrinter, "attic"} << false << 2 << "safe or intruders"
                                        << printer << "Intruder"
                                        << "True";
        QTest::newRow("rename") << QStringList {"rename", kPrinter, "Office, 2nd floor"} << false << 0 << "" << printer
                                << "Friendly_Name"
                                << "Office, 2nd floor";
        QTest::newRow("rename refused") << QStringList {"rename", kPrinter, QStringLiteral("evil\u202Etxt")} << false
                                        << 2 << "refused" << printer << "Friendly_Name"
                                        << "Printer";
        QTest::newRow("watch") << QStringList {"watch", kPrinter, "Both"} << false << 0 << "" << printer << "Watch"
                               << "both";
        QTest::newRow("watch elsewhere") << QStringList {"watch", kPrinter, "sometimes"} << false << 2
                                         << "offline, online, both or none" << printer << "Watch"
                                         << "-";
        QTest::newRow("watch missing device")
            << QStringList {"watch", "11:22:33:44:55:66", "online"} << false << 1 << "no device" << printer << "Watch"
            << "-";
        QTest::newRow("remove offline") << QStringList {"remove", kPhone} << true << 0 << "" << Keys::deviceKey(kPhone)
                                        << "Intruder"
                                        << "-";
        QTest::newRow("remove online refused")
            << QStringList {"remove", kPrinter} << true << 1 << "is online" << printer << "Intruder"
            << "True";
        QTest::newRow("remove with no monitor")
            << QStringList {"remove", kPrinter} << false << 0 << "" << printer << "Intruder"
            << "-";
        QTest::newRow("set-type") << QStringList {"set-type", kPrinter, "Printer"} << false << 0 << "" << printer
                                  << "Type_Source"
                                  << "user";
        QTest::newRow("set-type unknown word") << QStringList {"set-type", kPrinter, "toaster"} << false << 2
                                               << "one of unknown, router" << printer << "Type"
                                               << "-";
        QTest::newRow("set-model") << QStringList {"set-model", kPrinter, "LaserJet 4"} << false << 0 << "" << printer
                                   << "Model"
                                   << "LaserJet 4";
        QTest::newRow("set-model refused")
            << QStringList {"set-model", kPrinter, "a\u202Eb"} << false << 2 << "refused" << printer << "Model"
            << "-";
        QTest::newRow("merge") << QStringList {"merge", kPrinter, "02:aa:00:00:00:0d"} << true << 0 << ""
                               << Keys::deviceKey(kPhone) << "Friendly_Name"
                               << "Printer";
        QTest::newRow("merge keeps the former MAC") << QStringList {"merge", kPrinter, kPhone} << false << 0 << ""
                                                    << Keys::deviceKey(kPhone) << "Former_MACs" << kPrinter;
        QTest::newRow("merged device gone")
            << QStringList {"merge", kPrinter, kPhone} << false << 0 << "" << printer << "Intruder"
            << "-";
        QTest::newRow("merge with itself")
            << QStringList {"merge", kPrinter, "000c29123456"} << false << 1 << "with itself" << printer << "Intruder"
            << "True";
        QTest::newRow("merge missing device") << QStringList {"merge", "11:22:33:44:55:66", kPhone} << false << 1
                                              << "no device" << Keys::deviceKey(kPhone) << "Former_MACs"
                                              << "-";
        QTest::newRow("merge no MAC") << QStringList {"merge", kPrinter, "phone"} << false << 2 << "not a MAC address"
                                      << printer << "Intruder"
                                      << "True";
        QTest::newRow("missing device") << QStringList {"ack", "11:22:33:44:55:66"} << false << 1 << "no device"
                                        << printer << "New_Device"
                                        << "True";
        QTest::newRow("no MAC") << QStringList {"ack", "printer"} << false << 2 << "not a MAC address" << printer
                                << "New_Device"
                                << "True";
        QTest::newRow("set flag") << QStringList {"set", "newintruderemail", "on"} << false << 0 << "" << general
                                  << "NewIntruderEmail"
                                  << "1";
        QTest::newRow("set choice") << QStringList {"set", "EmailSecurity", "starttls"} << false << 0 << "" << general
                                    << "EmailSecurity"
                                    << "STARTTLS";
        QTest::newRow("set login encoded")
            << QStringList {"set", "MqttPassword", "pw"} << false << 0 << "" << general << "MqttPassword"
            << "cHc=";
        QTest::newRow("set out of range")
            << QStringList {"set", "Volume", "101"} << false << 2 << "0 to 100" << general << "Volume"
            << "-";
        QTest::newRow("set two lines") << QStringList {"set", "EmailFrom", "a@b\nBcc: c@d"} << false << 2 << "one line"
                                       << general << "EmailFrom"
                                       << "-";
        QTest::newRow("get default") << QStringList {"get", "MqttTopic"} << false << 0 << "kestrelwatch\n"
                                     << general << "MqttTopic"
                                     << "-";
        QTest::newRow("unknown setting") << QStringList {"get", "Frobnicate"} << false << 2 << "no setting" << general
                                         << "x"
                                         << "-";
        QTest::newRow("unknown command") << QStringList {"frobnicate"} << false << 2 << "unknown command" << general
                                         << "x"
                                         << "-";
        QTest::newRow("set a negative value") << QStringList {"set", "Volume", "-1"} << false << 2
                                              << "Volume is a whole number from 0 to 100" << general << "Volume"
                                              << "-";
        QTest::newRow("set by name in code")
            << QStringList {"set", "alerts.quietMinutes", "0"} << false << 0 << "" << general << "AlertQuietMinutes"
            << "0";
        QTest::newRow("set a channel's alerts")
            << QStringList {"set", "NtfyAlerts", "storm, new"} << false << 0 << "" << general << "NtfyAlerts"
            << "new,storm";
        QTest::newRow("get a push channel") << QStringList {"get", "NtfyServer"} << false << 0 << "\n"
                                            << general << "NtfyServer"
                                            << "-";
        QTest::newRow("get quiet minutes") << QStringList {"get", "AlertQuietMinutes"} << false << 0 << "15\n"
                                           << general << "x"
                                           << "-";
        QTest::newRow("get a secret masked") << QStringList {"get", "EmailPassword"} << false << 0 << "********\n"
                                             << general << "EmailPassword"
                                             << "cHc=";
        QTest::newRow("get every setting")
            << QStringList {"get"} << false << 0 << "AlertQuietMinutes\talerts.quietMinutes\t15\n"
            << general << "x"
            << "-";
        QTest::newRow("get a secret revealed")
            << QStringList {"get", "--reveal", "EmailPassword"} << false << 0 << "pw\n"
            << general << "x"
            << "-";
        QTest::newRow("reveal elsewhere")
            << QStringList {"list", "--reveal"} << false << 2 << "--reveal goes with get" << general << "x"
            << "-";
        QTest::newRow("note") << QStringList {"note", kPrinter, "-- on the shelf, owner Ann"} << false << 0 << ""
                              << printer << "Note"
                              << "-- on the shelf, owner Ann";
        QTest::newRow("note refused") << QStringList {"note", kPrinter, "a\tb"} << false << 2 << "U+0009" << printer
                                      << "Note"
                                      << "-";
        QTest::newRow("ack all") << QStringList {"ack", "--all"} << false << 0 << "2 acknowledged" << printer
                                 << "New_Device"
                                 << "False";
        QTest::newRow("ack all with a MAC")
            << QStringList {"ack", "--all", kPrinter} << false << 2 << "takes 0" << printer << "New_Device"
            << "True";
        QTest::newRow("move all online, no monitor")
            << QStringList {"move", "--all-online", "safe"} << false << 1 << "no monitor runs" << printer << "Intruder"
            << "True";
        QTest::newRow("move all online") << QStringList {"move", "--all-online", "safe"} << true << 0
                                         << "1 of 1 devices online now moved" << printer << "Intruder"
                                         << "False";
        QTest::newRow("trust all") << QStringList {"trust-all"} << true << 0 << "1 of 1" << printer << "New_Device"
                                   << "False";
        QTest::newRow("list online intruders") << QStringList {"list", "--intruders", "--online", "--new", "--json"}
                                               << true << 0 << "\"mac\": \"00-0C-29-12-34-56\"" << printer << "x"
                                               << "-";
        QTest::newRow("list safe: none") << QStringList {"list", "--safe", "--json"} << false << 0 << "[\n]\n"
                                         << printer << "x"
                                         << "-";
        QTest::newRow("export is JSON by default")
            << QStringList {"export"} << false << 0 << "{\"format\": \"kestrelwatch-devices\"" << printer << "x"
            << "-";
        QTest::newRow("networks") << QStringList {"networks"} << false << 0
                                  << kNetwork
                + "\t198.18.0.0/24\t02-00-C6-12-00-01\t198.18.0.1\tasked\t1\t2026-12-05T22:00:00Z"
                                  << kNetworkKey << "Watch"
                                  << "asked";
        QTest::newRow("watch-network by its subnet")
            << QStringList {"watch-network", "198.18.0.0/24"} << false << 0 << "" << kNetworkKey << "Watch"
            << "watched";
        QTest::newRow("forget-network") << QStringList {"forget-network", kNetwork} << false << 0 << "" << kNetworkKey
                                        << "Watch"
                                        << "-";
        QTest::newRow("name-network") << QStringList {"name-network", kNetwork, " Home network "} << false << 0 << ""
                                      << kNetworkKey << "Name"
                                      << "Home network";
        QTest::newRow("name-network refuses a format character")
            << QStringList {"name-network", "198.18.0.0/24", "Home\u202Ekrowten"} << false << 1 << "U+202E"
            << kNetworkKey << "Name"
            << "-";
        QTest::newRow("watch-network unknown")
            << QStringList {"watch-network", "198.19.0.0/24"} << false << 1 << "no network" << kNetworkKey << "Watch"
            << "asked";
        QTest::newRow("help on stdout") << QStringList {"--help"} << false << 0 << "Usage: kestrelwatch-ctl" << general
                                        << "x"
                                        << "-";
    }
    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, monitor);
        QFETCH(int, code);
        QFETCH(QString, output);
        TestHome home;
        seed(home.paths());
        QLockFile lock(home.paths().lockFile());
        if (monitor)
            QVERIFY(lock.tryLock(0));
        const kwtest::Run r = ctl(home.paths().home, args);
        QVERIFY2(r.code == code, qPrintable(r.err));
        QVERIFY2((code == 0 ? r.out : r.err).contains(output), qPrintable(r.out + r.err));
        QFETCH(QString, subkey);
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QCOMPARE(stored(home.paths(), subkey, value), expected);
    }

    // One rule for --home and KESTRELWATCH_HOME: a missing folder is refused (and not made) but for --create or an
    // import; another user's folder is refused, naming the owner and the command to run as that user.
    void homeRules_data()
    {
        QTest::addColumn<QString>("home"); // missing, file, foreign, or empty for a seeded home
        QTest::addColumn<bool>("fromEnvironment");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("output"); // in stderr on a failure, else stdout
        QTest::addColumn<bool>("madeStore");
        // Every command, reading or writing, leaves a missing home alone.
        for (const char* command : {"list", "history MAC", "follow", "ack MAC", "ack --all", "move MAC safe",
                 "move --all-online safe", "trust-all", "rename MAC x", "note MAC x", "watch MAC none", "remove MAC",
                 "get Volume", "get", "set Volume 1", "export --format csv", "web-token"}) {
            QStringList args = QString::fromLatin1(command).split(QLatin1Char(' '));
            args.replaceInStrings(QStringLiteral("MAC"), kPrinter);
            QTest::newRow(qPrintable(QStringLiteral("--home missing, ") + QLatin1String(command)))
                << "missing" << false << args << 3 << "no such folder; nothing was done (give --create" << false;
        }
        QTest::newRow("env missing, set")
            << "missing" << true << QStringList {"set", "Volume", "10"} << 3 << "KESTRELWATCH_HOME" << false;
        QTest::newRow("env missing, --create")
            << "missing" << true << QStringList {"--create", "set", "Volume", "10"} << 0 << "" << true;
        QTest::newRow("--home missing, import")
            << "missing" << false << QStringList {"import", "IN"} << 0 << "1 added" << true;
        QTest::newRow("--home a file") << "file" << false << QStringList {"list"} << 2 << "is no folder" << false;
        QTest::newRow("another user's") << "foreign" << false << QStringList {"rename", kPrinter, "My printer"} << 3
                                        << "belongs to nobody" << false;
        QTest::newRow("another user's, from env")
            << "foreign" << true << QStringList {"list"} << 3 << "sudo -u nobody kestrelwatch-ctl --home " << false;
    }
    void homeRules()
    {
        QFETCH(QString, home);
        QFETCH(bool, fromEnvironment);
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, output);
        QFETCH(bool, madeStore);
        TestHome base;
        const QString folder = base.dir() + QStringLiteral("/elsewhere");
        if (home == QLatin1String("file")) {
            QFile file(folder);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (home == QLatin1String("foreign")) {
            if (::geteuid() != 0)
                KW_SKIP("giving a folder to another user needs root");
            QVERIFY(QDir().mkpath(folder));
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        }
        QFile in(base.dir() + QStringLiteral("/in.csv"));
        QVERIFY(in.open(QIODevice::WriteOnly) && in.write("mac,list\n00-0C-29-12-34-56,safe\n") > 0);
        in.close();
        args.replaceInStrings(QStringLiteral("IN"), in.fileName());
        if (fromEnvironment)
            qputenv("KESTRELWATCH_HOME", folder.toUtf8());
        const kwtest::Run r =
            fromEnvironment ? kwtest::run(kwtest::binary(QStringLiteral("kestrelwatch-ctl")), args) : ctl(folder, args);
        qunsetenv("KESTRELWATCH_HOME");
        QVERIFY2(r.code == code, qPrintable(r.err));
        QVERIFY2((code == 0 ? r.out : r.err).contains(output), qPrintable(r.out + r.err));
        QCOMPARE(QFileInfo::exists(folder + QStringLiteral("/kestrelwatch.hive")), madeStore);
    }

    // The user's own actions reach the device's history with who took them, and follow prints each history line
    // as it comes, as a headless line or as a JSON object with the webhook's fields, until it is stopped.
    void actionsInHistoryAndFollow()
    {
        TestHome home;
        seed(home.paths());
        const QString h = home.paths().home;
        kwtest::Process text;
        kwtest::Process json;
        for (kwtest::Process* follower : {&text, &json}) {
            const qsizetype from = follower->cursor(kwtest::Process::Err);
            follower->start(kwtest::binary(QStringLiteral("kestrelwatch-ctl")),
                QStringList {QStringLiteral("--home"), h, QStringLiteral("follow")}
                    + (follower == &json ? QStringList {QStringLiteral("--json")} : QStringList {}));
            QVERIFY(!follower
                         ->waitForLine(QRegularExpression(QStringLiteral("^kestrelwatch-ctl: following")), from, 20000,
                             kwtest::Process::Err)
                         .isEmpty());
        }
        const qsizetype fromText = text.cursor();
        const qsizetype fromJson = json.cursor();
        QCOMPARE(ctl(h, {"rename", kPrinter, "Office printer"}).code, 0);
        QCOMPARE(ctl(h, {"move", kPrinter, "safe"}).code, 0);
        QCOMPARE(ctl(h, {"watch", kPrinter, "offline"}).code, 0);
        QCOMPARE(ctl(h, {"note", kPrinter, "upstairs"}).code, 0);
        const QString history = ctl(h, {"history", kPrinter}).out;
        for (const char* line : {"\tRenamed \"Printer\" \u2192 \"Office printer\" (by kestrelwatch-ctl)\n",
                 "\tMoved to the safe list (by kestrelwatch-ctl)\n", "\tWatch offline (by kestrelwatch-ctl)\n",
                 "\tNote changed (by kestrelwatch-ctl)\n"})
            QVERIFY2(history.contains(QString::fromUtf8(line)), qPrintable(history));
        const QString moved =
            text.waitForLine(QRegularExpression(QStringLiteral("Moved to the safe list")), fromText, 20000);
        QVERIFY2(moved.contains(QLatin1String("\t00-0C-29-12-34-56\t198.18.0.12\tOffice printer\tVMware, Inc.\t")),
            qPrintable(moved));
        QVERIFY(!text.waitForLine(QRegularExpression(QStringLiteral("Note changed")), fromText, 20000).isEmpty());
        const QString object =
            json.waitForLine(QRegularExpression(QStringLiteral("\"kind\":\"renamed\"")), fromJson, 20000);
        const QJsonObject o = QJsonDocument::fromJson(object.toUtf8()).object();
        QCOMPARE(o.value("mac").toString() + o.value("ip").toString() + o.value("list").toString(),
            kPrinter + QStringLiteral("198.18.0.12safe"));
        QVERIFY(o.value("time").toString().endsWith(QLatin1Char('Z')));
        QCOMPARE(text.stop(), 0);
        QCOMPARE(json.stop(), 0);
    }

    // Both formats give the same devices and intervals in a fresh home; a second import merges, doubling no
    // interval and joining those that overlap. The list shows where a device is now, not where it was admitted.
    void exportImport()
    {
        TestHome source;
        seed(source.paths());
        QVERIFY(ctl(source.paths().home, {"rename", kPhone, "Phone \"Bob\", kitchen"}).code == 0);
        // The phone's stay ended; the printer moved and is still online in the presence file a monitor would hold.
        auto presence = PresenceStore::open(source.paths().presenceFile(), kSeen).store;
        QVERIFY(presence);
        const auto event = [&](DeviceEvent::Kind kind, const QString& mac, int at, const char* address) {
            DeviceEvent e;
            e.kind = kind, e.mac = mac, e.time = kSeen.addSecs(at), e.address = QLatin1String(address);
            presence->deviceEvent(e);
        };
        event(DeviceEvent::Kind::Online, kPhone, 0, "198.18.0.12");
        event(DeviceEvent::Kind::Offline, kPhone, 3600, "");
        event(DeviceEvent::Kind::Online, kPrinter, 60, "198.18.0.12");
        event(DeviceEvent::Kind::AddressChanged, kPrinter, 120, "198.18.0.13");
        presence->confirm(kSeen.addSecs(3700));
        const QString devices = ctl(source.paths().home, {"list", "--json"}).out;
        QVERIFY(devices.contains(QLatin1String("\"address\": \"198.18.0.13\"")));
        for (const char* format : {"json", "csv"}) {
            const kwtest::Run exported = ctl(source.paths().home, {"export", "--format", format});
            QCOMPARE(exported.code, 0);
            QVERIFY(exported.out.contains(format == QByteArray("json")
                    ? QLatin1String("\"intervals\":[{\"address\":\"198.18.0.12\",\"from\":"
                                    "\"2026-12-05T22:00:00Z\",\"to\":\"2026-12-05T23:00:00Z\"}]")
                    : QLatin1String(",2026-12-05T22:00:00Z/2026-12-05T23:00:00Z 198.18.0.12\n")));
            QVERIFY(presence->intervals(kPrinter, kSeen, kSeen.addSecs(3700)).value(1).open);
            TestHome fresh;
            const auto write = [&fresh](const char* name, const QString& text) {
                QFile file(fresh.dir() + QLatin1Char('/') + QLatin1String(name));
                if (file.open(QIODevice::WriteOnly))
                    file.write(text.toUtf8());
                return file.fileName();
            };
            const QString file = write(format, exported.out);
            const QString home = fresh.paths().home;
            QCOMPARE(ctl(home, {"import", file}).out, QStringLiteral("2 added, 0 replaced, 0 kept as they were\n"));
            QCOMPARE(ctl(home, {"list", "--json"}).out, devices);
            QCOMPARE(ctl(home, {"export", "--format", format}).out, exported.out);
            QVERIFY(ctl(home, {"rename", kPrinter, "Mine"}).code == 0);
            QCOMPARE(ctl(home, {"import", file}).out, QStringLiteral("0 added, 0 replaced, 2 kept as they were\n"));
            QCOMPARE(stored(fresh.paths(), Keys::deviceKey(kPrinter), "Friendly_Name"), QStringLiteral("Mine"));
            QCOMPARE(ctl(home, {"import", "--replace", file}).out,
                QStringLiteral("0 added, 2 replaced, 0 kept as they were\n"));
            QCOMPARE(stored(fresh.paths(), Keys::deviceKey(kPrinter), "Friendly_Name"), QStringLiteral("Printer"));
            QCOMPARE(ctl(home, {"export", "--format", format}).out, exported.out);
            // The phone's stay seen from another machine, overlapping this one's: one stay.
            QCOMPARE(ctl(home,
                         {"import",
                             write("more.csv",
                                 "mac,list,intervals\n02-AA-00-00-00-0D,safe,"
                                 "2026-12-05T21:00:00Z/2026-12-05T22:30:00Z "
                                 "198.18.0.12\n")})
                         .code,
                0);
            QVERIFY(ctl(home, {"export", "--format", "json"})
                        .out.contains(QLatin1String("\"intervals\":[{\"address\":\"198.18.0.12\",\"from\":"
                                                    "\"2026-12-05T21:00:00Z\",\"to\":\"2026-12-05T23:00:00Z\"}]")));
        }
    }

    void refusedFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("fault");
        const QByteArray head = "{\"devices\": [\n";
        const QByteArray good = "{\"mac\": \"00:0c:29:12:34:56\", \"list\": \"safe\"},\n";
        const QByteArray csv = "mac,address,name,list,first_seen\n00-0C-29-12-34-56,198.18.0.3,TV,safe,\n";
        QTest::newRow("JSON syntax") << head + good + "{\"mac\": \"02-AA-00-00-00-0D\" \"list\": 1}\n]}"
                                     << "line 3:";
        QTest::newRow("JSON group MAC") << head + good + "{\"mac\": \"01:00:5e:00:00:01\", \"list\": \"safe\"}\n]}"
                                        << "line 3: \"01:00:5e:00:00:01\" is no device's MAC";
        QTest::newRow("JSON wrong type") << head + "{\"mac\": \"02-AA-00-00-00-0D\", \"list\": [1]}\n]}"
                                         << "line 2: list has the wrong type";
        QTest::newRow("CSV list") << csv + "02-AA-00-00-00-0D,,,attic,\n"
                                  << "line 3: list \"attic\"";
        QTest::newRow("CSV twice") << csv + csv.mid(csv.indexOf('\n') + 1)
                                   << "line 3: 00-0C-29-12-34-56 is in the file twice";
        QTest::newRow("CSV open quote") << csv + "02-AA-00-00-00-0D,,\"TV,safe,\n"
                                        << "line 3: a quoted field";
        QTest::newRow("CSV time") << csv + "02-AA-00-00-00-0D,,,safe,yesterday\n"
                                  << "line 3: first_seen \"yesterday\"";
        QTest::newRow("CSV address") << csv + "02-AA-00-00-00-0D,fe80::1,,safe,\n"
                                     << "line 3: address \"fe80::1\"";
        QTest::newRow("CSV control in name") << csv + "02-AA-00-00-00-0D,,a\x1b[2Jb,safe,\n"
                                             << "line 3: name refused";
        QTest::newRow("JSON interval backwards")
            << head + good
                + "{\"mac\": \"02-AA-00-00-00-0D\", \"list\": \"safe\", \"intervals\": [\n"
                  "{\"from\": \"2026-12-05T22:00:00Z\", \"to\": \"2026-12-05T21:00:00Z\"}]}\n]}"
            << "line 4: interval 2026-12-05T22:00:00Z to 2026-12-05T21:00:00Z ends before it starts";
        QTest::newRow("CSV interval") << QByteArray("mac,list,intervals\n02-AA-00-00-00-0D,safe,2026-12-05T22:00:00Z\n")
                                      << "line 2: interval \"2026-12-05T22:00:00Z\" is not FROM/TO ADDRESS";
        QTest::newRow("CSV former MAC") << QByteArray("mac,list,former_macs\n02-AA-00-00-00-0D,safe,02-AA-00-00-00-0E "
                                                      "ff:ff:ff:ff:ff:ff\n")
                                        << "line 2: former MAC \"ff:ff:ff:ff:ff:ff\" is no device's MAC";
        QTest::newRow("JSON type") << head
                + "{\"mac\": \"02-AA-00-00-00-0D\", \"list\": \"safe\", \"type\": \"toaster\"}\n]}"
                                   << "line 2: type \"toaster\" is none of unknown, router";
        QTest::newRow("JSON network") << head
                + "{\"mac\": \"02-AA-00-00-00-0D\", \"list\": \"safe\", \"network\": "
                  "\"home; rm -rf /\"}\n]}"
                                      << "line 2: network \"home; rm -rf /\" is no gateway MAC and subnet";
        QTest::newRow("no export") << QByteArray("hello\n") << "line 1: the header";
        QTest::newRow("semicolons") << QByteArray("mac;list\n00-0C-29-12-34-56;safe\n")
                                    << "line 1: the file is semicolon-separated: use commas";
    }
    void refusedFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, fault);
        TestHome home;
        QFile f(home.dir() + QStringLiteral("/in"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
        f.close();
        const kwtest::Run r = ctl(home.paths().home, {"import", f.fileName()});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(fault) && r.err.contains(QLatin1String("nothing was imported")), qPrintable(r.err));
        QCOMPARE(stored(home.paths(), Keys::deviceKey(kPrinter), "Intruder"), QStringLiteral("-"));
    }

    // A bare JSON array is taken as a devices list; an empty one imports nothing and says so.
    void jsonArrays()
    {
        TestHome home;
        QFile f(home.dir() + QStringLiteral("/in.json"));
        for (const auto& [file, out] : {std::pair {QByteArray("[]"), QStringLiteral("(an empty JSON array)")},
                 std::pair {QByteArray("[{\"mac\": \"00:0c:29:12:34:56\", \"list\": \"safe\", \"note\": \"n\"}]"),
                     QStringLiteral("1 added")}}) {
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(file);
            f.close();
            const kwtest::Run r = ctl(home.paths().home, {"import", f.fileName()});
            QVERIFY2(r.code == 0 && r.out.contains(out), qPrintable(r.out + r.err));
        }
        QCOMPARE(stored(home.paths(), Keys::deviceKey(kPrinter), "Note"), QStringLiteral("n"));
        QVERIFY(ctl(home.paths().home, {"history", kPrinter}).out.contains(QLatin1String("Imported from in.json")));
    }

    // A monitor on the fake platform runs on the store while the tool changes it: each change reaches memory at
    // the follower's next look (each second) with its event, and the engine's own writes keep it.
    void runningMonitor()
    {
        ManualClock clock(kSeen);
        kwclock::install(&clock);
        TestHome home;
        MonitorCore core(home.paths());
        QCOMPARE(core.claimInstance().step, MonitorCore::Step::Ok);
        QCOMPARE(core.openStore().step, MonitorCore::Step::Ok);
        core.loadInstallation();
        core.loadRegistry();
        auto net = std::make_unique<FakeNetPlatform>();
        FakeNetPlatform& fake = *net;
        fake.addAdapter(QStringLiteral("198.18.0.5/24"));
        int harvests = 0;
        core.startEngine(std::move(net),
            [&] { connect(core.engine(), &DiscoveryEngine::harvested, this, [&harvests] { ++harvests; }); });
        core.engine()->pingTimer().stop();
        const auto sweep = [&] {
            const int before = harvests;
            for (int i = 0; i < 600 && harvests == before; ++i) {
                clock.advanceMSecs(100);
                core.engine()->sweepTick();
            }
        };
        fake.addNeighbour(kPrinter, QStringLiteral("198.18.0.12"));
        sweep();
        DeviceStore& devices = core.devices();
        QCOMPARE(qint32(devices.size()), 1);
        QSignalSpy events(&core.actions(), &DeviceActions::deviceEvent);
        const auto kinds = [&events] {
            QList<DeviceEvent::Kind> k;
            for (const QList<QVariant>& e : std::as_const(events))
                k.append(e.at(0).value<DeviceEvent>().kind);
            events.clear();
            return k;
        };
        const QString h = home.paths().home;

        QCOMPARE(ctl(h, {"rename", kPrinter, "Printer"}).code, 0);
        QCOMPARE(ctl(h, {"move", kPrinter, "safe"}).code, 0);
        QTRY_VERIFY(!nth(devices, 0).Intruder); // the follower's own timer
        QCOMPARE(
            kinds(), (QList {DeviceEvent::Kind::Renamed, DeviceEvent::Kind::Acknowledged, DeviceEvent::Kind::Moved}));
        QCOMPARE(nth(devices, 0).FriendlyName, QStringLiteral("Printer"));
        QVERIFY(!nth(devices, 0).Intruder && !nth(devices, 0).NewDevice);
        core.storeFollower()->poll(); // nothing new: nothing again
        QCOMPARE(kinds(), QList<DeviceEvent::Kind>());

        // The engine writes the printer's departure and its return: the tool's values stay.
        fake.clearNeighbours();
        sweep(), sweep();
        fake.addNeighbour(kPrinter, QStringLiteral("198.18.0.13"));
        sweep();
        const auto printer = [&home](
                                 const char* value) { return stored(home.paths(), Keys::deviceKey(kPrinter), value); };
        QCOMPARE(printer("Last_Online"), TextForms::storedDate(nth(devices, 0).LastOnline));
        QVERIFY(nth(devices, 0).LastOnline > nth(devices, 0).LastOffline && nth(devices, 0).LastOffline > kSeen);
        QCOMPARE(printer("Friendly_Name"), QStringLiteral("Printer"));
        QCOMPARE(printer("Intruder"), QStringLiteral("False"));
        // A change the monitor made itself meanwhile is not taken back by the next look.
        QVERIFY(core.actions().MoveToIntruders(kPrinter));
        kinds();
        QCOMPARE(ctl(h, {"rename", kPrinter, "Office printer"}).code, 0);
        QCOMPARE(ctl(h, {"set", "NewIntruderEmail", "1"}).code, 0);
        core.storeFollower()->poll();
        QCOMPARE(kinds(), QList {DeviceEvent::Kind::Renamed});
        QVERIFY(nth(devices, 0).Intruder);
        QVERIFY(core.settings().alerts.newIntruder.mail);
        // A watch set by the tool reaches memory with its event (for the history), and shows in the list.
        QCOMPARE(ctl(h, {"watch", kPrinter, "offline"}).code, 0);
        core.storeFollower()->poll();
        QCOMPARE(kinds(), QList {DeviceEvent::Kind::WatchChanged});
        QVERIFY(
            core.deviceLog().history(kPrinter).contains(QLatin1String("\tWatch offline (by kestrelwatch-ctl)\r\n")));
        QCOMPARE(nth(devices, 0).Watch, quint8(DeviceWatch::Offline));
        QCOMPARE(ctl(h, {"note", kPrinter, "second floor"}).code, 0);
        core.storeFollower()->poll();
        QCOMPARE(kinds(), QList {DeviceEvent::Kind::NoteChanged});
        QCOMPARE(nth(devices, 0).Note, QStringLiteral("second floor"));
        QVERIFY(ctl(h, {"list", "--json"}).out.contains(QLatin1String("\"watch\": \"offline\"")));
        // A type set by hand elsewhere reaches memory silently, and what the device says never overwrites it.
        QFile typed(home.dir() + QStringLiteral("/typed.csv"));
        QVERIFY(typed.open(QIODevice::WriteOnly));
        typed.write(QStringLiteral("mac,name,list,type,type_source\n%1,Office printer,intruders,printer,user\n")
                        .arg(kPrinter)
                        .toUtf8());
        typed.close();
        QCOMPARE(ctl(h, {"import", "--replace", typed.fileName()}).code, 0);
        core.storeFollower()->poll();
        kinds();
        QCOMPARE(devices.find(kPrinter)->Type, DeviceType::Printer);
        QVERIFY(!core.engine()->describer().apply(kPrinter, Clue {FactSource::Mdns, DeviceType::Tv, {}, {}}));
        QCOMPARE(printer("Type"), QStringLiteral("printer"));
        QCOMPARE(printer("Type_Source"), QStringLiteral("user"));
        // Online for 90 s: the tool's last_seen is within a minute of now; it came online when it came back.
        const QDateTime back = nth(devices, 0).LastOnline;
        while (clock.now() < back.addSecs(90)) {
            fake.addNeighbour(kPrinter, QStringLiteral("198.18.0.13"));
            sweep();
        }
        const QJsonArray listed = QJsonDocument::fromJson(ctl(h, {"list", "--json"}).out.toUtf8()).array();
        const QDateTime lastSeen =
            QDateTime::fromString(listed.at(0)[QLatin1String("last_seen")].toString(), Qt::ISODate);
        QVERIFY2(lastSeen > back && lastSeen.secsTo(clock.now()) < 60, qPrintable(lastSeen.toString(Qt::ISODate)));
        QCOMPARE(nth(devices, 0).LastOnline, back);

        // An import adds a device; removing it while it is offline takes it out of memory. Its intervals reach
        // the monitor's presence file beside it: the printer's stay from elsewhere joins the one here and stops
        // where the monitor's running one starts, which goes on.
        QFile file(home.dir() + QStringLiteral("/in.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("mac,list,name,intervals\n02-AA-00-00-00-0D,safe,Phone,2026-12-05T20:00:00Z/2026-12-05T21:00:00Z\n"
                   "00-0C-29-12-34-56,safe,,2026-12-05T21:00:00Z/2026-12-06T00:00:00Z 198.18.0.12\n");
        file.close();
        QCOMPARE(ctl(h, {"import", file.fileName()}).code, 0);
        QCOMPARE(core.presence()->intervals(kPhone, kSeen.addDays(-1), clock.now()).size(), 1);
        core.presence()->confirm(clock.now().addSecs(60));
        const QList<PresenceInterval> stays = core.presence()->intervals(kPrinter, kSeen.addDays(-1), clock.now());
        QCOMPARE(stays.size(), 2);
        QVERIFY(stays[0].from == kSeen.addSecs(-3600) && stays[0].to == stays[1].from && stays[1].open);
        core.storeFollower()->poll();
        QCOMPARE(kinds(), QList {DeviceEvent::Kind::Moved});
        QCOMPARE(qint32(devices.size()), 2);
        QCOMPARE(nth(devices, positionOf(devices, kPhone)).FriendlyName, QStringLiteral("Phone"));
        // The phone merged into the printer by the tool: the monitor drops the phone and takes the printer's new
        // name, list and former MAC, so that the phone's MAC is the printer from now on.
        QCOMPARE(ctl(h, {"merge", kPhone, kPrinter}).code, 0);
        core.storeFollower()->poll();
        QCOMPARE(kinds(),
            (QList {DeviceEvent::Kind::Removed, DeviceEvent::Kind::WatchChanged, DeviceEvent::Kind::Renamed,
                DeviceEvent::Kind::Moved, DeviceEvent::Kind::Described}));
        QCOMPARE(positionOf(devices, kPhone), -1);
        QCOMPARE(devices.find(kPrinter)->FriendlyName, QStringLiteral("Phone"));
        QCOMPARE(devices.find(kPrinter)->FormerMacs, QStringList {kPhone});
        QCOMPARE(devices.findDevice(kPhone), devices.find(kPrinter));

        // The printer removed elsewhere while it is online to the monitor (the tool refuses that itself): a write
        // of the engine before the next look leaves a key without its list, which that look clears away.
        QCOMPARE(ctl(h, {"remove", kPrinter}).code, 1);
        auto other = Hive::open(home.paths().hiveFile()).hive;
        QVERIFY(other && other->deleteKey(KeyStore::fullKeyPath(KeyStore::ProductKey, Keys::deviceKey(kPrinter))));
        KeyStore::writeString(KeyStore::ProductKey, Keys::deviceKey(kPrinter), QStringLiteral("Last_Online"),
            TextForms::dateText(clock.now()));
        core.storeFollower()->poll();
        QCOMPARE(kinds(), QList {DeviceEvent::Kind::Removed});
        QCOMPARE(qint32(devices.size()), 0);
        QCOMPARE(printer("Last_Online"), QStringLiteral("-"));
        core.shutdown();
        kwclock::install(nullptr);
    }
};

KW_TEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
