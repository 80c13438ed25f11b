// Merging two devices against a real hive, real history files and a real presence file: what the newer device
// takes over, what a refusal leaves (nothing), and that the older MAC is the merged device when it comes back.

#include "EngineRig.h"
#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "notify/AlertPolicy.h"
#include "platform/Hive.h"
#include "store/DeviceCodec.h"
#include "store/DeviceWatch.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/PresenceStore.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(DeviceRecord)

namespace {

const QString kOld = QStringLiteral("02-AA-00-00-00-01");
const QString kNew = QStringLiteral("02-BB-00-00-00-02");
const QString kOther = QStringLiteral("00-0C-29-00-00-03");
const QDateTime kT0(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);

struct Facts
{
    DeviceType type = DeviceType::Unknown;
    FactSource typeSource = FactSource::None;
    QString model;
    FactSource modelSource = FactSource::None;
};

DeviceRecord device(const QString& mac, const QString& name, bool intruder, bool isNew, quint8 watch, const Facts& f,
    const QStringList& former = {})
{
    DeviceRecord d = DeviceRecord::empty();
    d.MacAddress = mac;
    d.IpAddress = QStringLiteral("198.18.0.9");
    d.HostName = QStringLiteral("pixel-7");
    d.FriendlyName = name;
    d.Intruder = intruder;
    d.NewDevice = isNew;
    d.Watch = watch;
    d.FirstSeen = d.LastOnline = mac == kOld ? kT0 : kT0.addDays(3);
    d.LastOffline = TextForms::NeverDate();
    d.Type = f.type;
    d.TypeSource = f.typeSource;
    d.Model = f.model;
    d.ModelSource = f.modelSource;
    d.FormerMacs = former;
    d.MdnsName = mac == kOld ? QStringLiteral("Anna\u2019s Pixel") : QString();
    return d;
}

void storeDevices(DeviceStore& devices, const QList<DeviceRecord>& records)
{
    QList<std::pair<QString, KeyStore::ValueTexts>> keys;
    devices.clear();
    for (const DeviceRecord& d : records) {
        devices.append(d);
        keys.append({Keys::deviceKey(d.MacAddress), DeviceCodec::encode(d)});
    }
    KeyStore::writeKeys(KeyStore::ProductKey, keys);
}

QString readFile(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("-");
}

} // namespace

class TestDeviceMerge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // What the newer record has after the merge, as memory holds it and as the store gives it back.
    void carriesOver_data()
    {
        QTest::addColumn<DeviceRecord>("old");
        QTest::addColumn<DeviceRecord>("into");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("intruder");
        QTest::addColumn<bool>("isNew");
        QTest::addColumn<quint8>("watch");
        QTest::addColumn<QString>("type"); // word / source word
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("former");
        const Facts none;
        const Facts userPhone {DeviceType::Phone, FactSource::User, "Pixel 7", FactSource::User};
        const Facts dhcpComputer {DeviceType::Computer, FactSource::Dhcp, "", FactSource::None};
        const Facts userTv {DeviceType::Tv, FactSource::User, "Bravia", FactSource::User};
        QTest::newRow("a safe phone returns as a new intruder")
            << device(kOld, "Anna's phone", false, false, DeviceWatch::Both, none)
            << device(kNew, "", true, true, DeviceWatch::None, none) << "Anna's phone" << false << false
            << quint8(DeviceWatch::Both) << "unknown/"
            << "/" << QStringList {kOld};
        QTest::newRow("hand-set type and model beat what the device says")
            << device(kOld, "", true, false, DeviceWatch::None, userPhone)
            << device(kNew, "", true, true, DeviceWatch::None, dhcpComputer) << "" << true << false
            << quint8(DeviceWatch::None) << "phone/user"
            << "Pixel 7/user" << QStringList {kOld};
        QTest::newRow("the newer device's own hand-set values and name stay")
            << device(kOld, "", true, true, DeviceWatch::Online, userPhone)
            << device(kNew, "Telly", true, true, DeviceWatch::None, userTv) << "Telly" << true << true
            << quint8(DeviceWatch::Online) << "tv/user"
            << "Bravia/user" << QStringList {kOld};
        QTest::newRow("former MACs chain, newest first, never the device's own")
            << device(kOld, "Laptop", true, false, DeviceWatch::None, dhcpComputer, {kOther, kNew})
            << device(kNew, "", true, true, DeviceWatch::None, none, {QStringLiteral("02-CC-00-00-00-04")}) << "Laptop"
            << true << false << quint8(DeviceWatch::None) << "computer/dhcp"
            << "/" << QStringList {kOld, kOther, QStringLiteral("02-CC-00-00-00-04")};
    }
    void carriesOver()
    {
        QFETCH(DeviceRecord, old);
        QFETCH(DeviceRecord, into);
        EngineRig rig; // a real hive attached in a private home
        storeDevices(rig.devices, {old, into});
        DeviceActions actions(rig.devices);
        QSignalSpy events(&actions, &DeviceActions::deviceEvent);
        QVERIFY(actions.merge(kOld, kNew));
        QCOMPARE(events.size(), 2);
        QCOMPARE(events[0][0].value<DeviceEvent>().kind, DeviceEvent::Kind::Removed);
        QCOMPARE(events[0][0].value<DeviceEvent>().mac, kOld);
        const DeviceEvent merged = events[1][0].value<DeviceEvent>();
        QVERIFY(merged.kind == DeviceEvent::Kind::Merged && merged.mac == kNew && merged.earlierMac == kOld);

        // Memory and a fresh load of the store agree.
        DeviceStore loaded;
        LiveSettings settings;
        loadStore(settings, loaded, QString(), {});
        for (const DeviceStore* devices :
            {static_cast<const DeviceStore*>(&rig.devices), static_cast<const DeviceStore*>(&loaded)}) {
            QCOMPARE(devices->size(), 1);
            const DeviceRecord& d = *devices->find(kNew);
            QTEST(d.FriendlyName, "name");
            QTEST(d.Intruder, "intruder");
            QTEST(d.NewDevice, "isNew");
            QTEST(d.Watch, "watch");
            QTEST(DeviceKind::typeWord(d.Type) + '/' + DeviceKind::sourceWord(d.TypeSource), "type");
            QTEST(d.Model + '/' + DeviceKind::sourceWord(d.ModelSource), "model");
            QTEST(d.FormerMacs, "former");
            QCOMPARE(d.MdnsName, QStringLiteral("Anna\u2019s Pixel")); // what it calls itself outlives the MAC
            QCOMPARE(d.FirstSeen, kT0); // known since the older MAC was first seen
        }
        QCOMPARE(rig.devices.findDevice(kOld), rig.devices.find(kNew));
    }

    // A refused merge writes nothing and says nothing to the subscribers.
    void refusals_data()
    {
        QTest::addColumn<QString>("oldMac");
        QTest::addColumn<QString>("newMac");
        QTest::addColumn<QString>("why");
        QTest::newRow("same MAC twice") << kOld << kOld << "itself";
        QTest::newRow("same MAC in another case") << kOld << kOld.toLower() << "itself";
        QTest::newRow("older unknown") << kOther << kNew << "no device 00-0C-29-00-00-03";
        QTest::newRow("newer unknown") << kOld << kOther << "no device 00-0C-29-00-00-03";
    }
    void refusals()
    {
        QFETCH(QString, oldMac);
        QFETCH(QString, newMac);
        EngineRig rig;
        storeDevices(
            rig.devices, {device(kOld, "Anna's phone", false, false, 0, {}), device(kNew, "", true, true, 0, {})});
        const QString history = rig.home.paths().devices() + kOld + QStringLiteral(".log");
        QVERIFY(QDir().mkpath(rig.home.paths().devices()));
        QFile f(history);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("line\r\n") > 0);
        f.close();
        DeviceActions actions(rig.devices);
        actions.setMergeFiles(rig.home.paths().devices(), nullptr);
        QSignalSpy events(&actions, &DeviceActions::deviceEvent);
        QString refusal;
        QVERIFY(!actions.merge(oldMac, newMac, &refusal));
        QVERIFY2(refusal.contains(QTest::currentDataTag()[0] == 's' ? QStringLiteral("itself") : kOther),
            qPrintable(refusal));
        QCOMPARE(events.size(), 0);
        QCOMPARE(rig.devices.size(), 2);
        QCOMPARE(rig.stored(kOld, QStringLiteral("Friendly_Name")), QStringLiteral("Anna's phone"));
        QCOMPARE(rig.stored(kNew, QStringLiteral("Former_MACs")), QStringLiteral("<missing>"));
        QCOMPARE(readFile(history), QStringLiteral("line\r\n"));
        QVERIFY(rig.log.lines().filter(QStringLiteral("Merge - ")).value(0).contains(QStringLiteral("refused")));
    }

    // The histories interleave by time under the newer MAC with a line that says so; the intervals move with
    // them, the older one's running stay ended; and when the older MAC answers again, it is the merged device.
    void historyIntervalsAndReturn()
    {
        EngineRig rig;
        prepareRig(rig);
        storeDevices(
            rig.devices, {device(kOld, "Anna's phone", false, false, 0, {}), device(kNew, "", true, true, 0, {})});
        const QString dir = rig.home.paths().devices();
        QVERIFY(QDir().mkpath(dir));
        const auto line = [](int hours, const char* text) {
            return TextForms::dateText(kT0.addSecs(hours * 3600)) + '\t' + QLatin1String(text) + "\r\n";
        };
        for (const auto& [mac, text] : {std::pair {kOld, line(0, "old first") + line(50, "old last")},
                 std::pair {kNew, line(48, "new first") + line(72, "new last")}}) {
            QFile f(dir + mac + QStringLiteral(".log"));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) > 0);
        }
        auto presence = PresenceStore::open(rig.home.paths().presenceFile(), kT0).store;
        QVERIFY(presence);
        const auto event = [&](DeviceEvent::Kind kind, const QString& mac, int hours) {
            DeviceEvent e;
            e.kind = kind, e.mac = mac, e.time = kT0.addSecs(hours * 3600), e.address = QStringLiteral("198.18.0.9");
            presence->deviceEvent(e);
        };
        event(DeviceEvent::Kind::Online, kOld, 0);
        event(DeviceEvent::Kind::Offline, kOld, 2);
        event(DeviceEvent::Kind::Online, kOld, 24); // still running at the merge
        event(DeviceEvent::Kind::Online, kNew, 48);
        rig.clock.set(kT0.addSecs(80 * 3600));
        DeviceActions actions(rig.devices);
        actions.setMergeFiles(dir, presence.get());
        QVERIFY(actions.merge(kOld, kNew));

        const QString merged = readFile(dir + kNew + QStringLiteral(".log"));
        QCOMPARE(merged.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(0, 4),
            (line(0, "old first") + line(48, "new first") + line(50, "old last") + line(72, "new last"))
                .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts));
        QVERIFY(merged.endsWith(QStringLiteral("\tMerged: formerly %1 (Anna's phone)\r\n").arg(kOld)));
        QVERIFY(!QFile::exists(dir + kOld + QStringLiteral(".log")));
        const QList<PresenceInterval> stays = presence->intervals(kNew, kT0.addDays(-1), rig.clock.now());
        QCOMPARE(stays.size(), 3);
        QVERIFY(!stays[1].open && stays[1].from == kT0.addSecs(24 * 3600) && stays[1].to == rig.clock.now());
        QVERIFY(stays[2].open);
        QCOMPARE(presence->intervals(kOld, kT0.addDays(-1), rig.clock.now()).size(), 0);

        // The older MAC answers again: no admission, the merged device is online.
        rig.net.addNeighbour(kOld, QStringLiteral("198.18.0.44"));
        const QStringList calls = rig.nextSweep();
        QCOMPARE(rig.devices.size(), 1);
        QCOMPARE(calls.filter(QStringLiteral("Admitted")), QStringList());
        QVERIFY(rig.devices.find(kNew)->isOnline());
        QCOMPARE(rig.devices.find(kNew)->IpAddress, QStringLiteral("198.18.0.44"));
    }

    // The whole monitor: a safe phone's likely return, told with its admission from a DHCP request, alerts by
    // notification without the siren; with MergeReturningDevices on it is merged into the phone by itself.
    void returnThroughTheMonitor_data()
    {
        QTest::addColumn<bool>("mergeByItself");
        QTest::newRow("linked only") << false;
        QTest::newRow("MergeReturningDevices") << true;
    }
    void returnThroughTheMonitor()
    {
        QFETCH(bool, mergeByItself);
        ManualClock clock(kT0.addDays(5));
        kwclock::install(&clock);
        TestHome home;
        {
            auto hive = Hive::open(home.paths().hiveFile()).hive;
            QVERIFY(hive && home.paths().prepareHome().isEmpty());
            KeyStore::attach(hive.get());
            DeviceStore seeded;
            DeviceRecord phone = device(kOld, "Anna's phone", false, false, DeviceWatch::None, {});
            phone.LastOffline = kT0.addSecs(3600);
            storeDevices(seeded, {phone});
            if (mergeByItself)
                writeSetting(QStringLiteral("MergeReturningDevices"), QStringLiteral("1"));
            KeyStore::attach(nullptr);
        }
        MonitorCore core(home.paths());
        QCOMPARE(core.claimInstance().step, MonitorCore::Step::Ok);
        QCOMPARE(core.openStore().step, MonitorCore::Step::Ok);
        core.loadInstallation();
        core.loadRegistry();
        auto net = std::make_unique<FakeNetPlatform>();
        FakeNetPlatform& fake = *net;
        fake.addAdapter(QStringLiteral("198.18.0.5/24"));
        QList<Alert> alerts;
        core.startEngine(std::move(net), [&] {
            connect(core.alertPolicy(), &AlertPolicy::alertRaised, this, [&alerts](const Alert& a) { alerts << a; });
        });
        core.engine()->pingTimer().stop();
        for (int i = 0; i < 100 && !core.engine()->isSweepPrepared(); ++i) {
            clock.advanceMSecs(100);
            core.engine()->sweepTick();
        }
        // The REQUEST only asks; the device's ARP for that address admits it, with the REQUEST's name.
        fake.hearDhcp(kNew, QStringLiteral("198.18.0.33"), Heard::DhcpRequest, "PIXEL-7");
        fake.hearArp(kNew, QStringLiteral("198.18.0.33"), Heard::ArpAnnouncement);
        QCOMPARE(alerts.size(), 1);
        QVERIFY(!alerts[0].sound && !alerts[0].popup && alerts[0].notify);
        DeviceStore& devices = core.devices();
        QCOMPARE(devices.find(kNew)->LikelyReturnOf, kOld);
        QCoreApplication::processEvents(); // the merge waits for every subscriber to have had the admission
        QCOMPARE(!devices.find(kOld), mergeByItself);
        QCOMPARE(devices.find(kNew)->FriendlyName, mergeByItself ? QStringLiteral("Anna's phone") : QString());
        core.shutdown();
        kwclock::install(nullptr);
    }

private:
    static void prepareRig(EngineRig& rig)
    {
        rig.net.addAdapter(QStringLiteral("198.18.0.5/24"));
        rig.load();
    }
};

KW_TEST_GUILESS_MAIN(TestDeviceMerge)
#include "tst_devicemerge.moc"
