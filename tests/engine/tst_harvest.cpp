// The harvest at the end of a sweep: which neighbour rows count and which are pruned, admission of new MAC
// addresses with their stored values and alerts, and presence across sweeps with its history lines.

#include "EngineRig.h"
#include "store/TextForms.h"

#include <QTest>

namespace {

const QString kMac = QStringLiteral("02-AA-BB-CC-DD-01");
const QString kMac2 = QStringLiteral("02-AA-BB-CC-DD-02");
const QString kIp = QStringLiteral("198.18.0.7");

// A rig on one /24 with its gateway at .1, loaded and ready to sweep.
void prepare(EngineRig& rig)
{
    rig.net.addAdapter(QStringLiteral("198.18.0.5/24 gw 198.18.0.1"));
    rig.load();
}

// The window calls of the next sweep, up to and including its harvest.
QStringList nextSweep(EngineRig& rig)
{
    rig.window.calls.clear();
    if (rig.runToHarvest() < 0)
        return {QStringLiteral("no harvest")};
    return rig.window.calls;
}

QString entry(qint32 index, const QDateTime& when, const QString& text)
{
    return QStringLiteral("AddLogEntry %1 ").arg(index) + EngineRig::stamp(when) + text;
}

} // namespace

class TestHarvest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void rowsThatDoNotCountAreLeftAlone_data()
    {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<int>("type");
        QTest::newRow("broadcast") << QStringLiteral("FF-FF-FF-FF-FF-FF") << QStringLiteral("198.18.0.255") << 3;
        QTest::newRow("no hardware address") << QString() << QStringLiteral("198.18.0.60") << 3;
        QTest::newRow("invalid entry") << kMac << QStringLiteral("198.18.0.60") << 2;
        QTest::newRow("outside every range, known MAC") << kMac << QStringLiteral("198.18.5.60") << 3;
    }

    void rowsThatDoNotCountAreLeftAlone()
    {
        QFETCH(QString, mac);
        QFETCH(QString, ip);
        QFETCH(int, type);
        EngineRig rig;
        rig.addLoadedDevice(kMac, QStringLiteral("198.18.0.50"), false);
        rig.net.addNeighbour(mac, ip, quint8(type));
        prepare(rig);
        QCOMPARE(nextSweep(rig), QStringList {QStringLiteral("ShowStatus")});
        QCOMPARE(rig.net.deletedAddresses(), QStringList());
        QCOMPARE(rig.devices.DeviceCount, 1);
        QCOMPARE(rig.devices[0].PresenceCountdown, qint16(0));
        QCOMPARE(rig.devices[0].IpAddress, QStringLiteral("198.18.0.50"));
    }

    void anIntruderIsAdmitted()
    {
        EngineRig rig;
        rig.clockStepMs = 0;
        const QDateTime t = EngineRig::kStart.addSecs(90);
        rig.clock.set(t.addMSecs(400)); // stored and logged to the second
        rig.net.addNeighbour(kMac, kIp, 3);
        prepare(rig);

        QCOMPARE(nextSweep(rig),
            (QStringList {QStringLiteral("Load_Log 0"), entry(0, t, QStringLiteral("** WARNING - NEW DEVICE **")),
                entry(0, t, QStringLiteral("Connected ( 198.18.0.7 )")), QStringLiteral("AddNewDevice 0"),
                QStringLiteral("playNewIntruderSound 70"), QStringLiteral("SysTrayMouseEventHandlerleft"),
                QStringLiteral("setLastIntruderWarning"), QStringLiteral("MacUpdateOccured 0"),
                QStringLiteral("ShowStatus")}));
        QCOMPARE(rig.window.lastIntruderWarning, t);
        QCOMPARE(rig.net.deletedAddresses(), QStringList {kIp});

        QCOMPARE(rig.storedNames(kMac),
            (QStringList {QStringLiteral("IP_Address"), QStringLiteral("Host_Name"), QStringLiteral("Friendly_Name"),
                QStringLiteral("New_Device"), QStringLiteral("Intruder"), QStringLiteral("First_Seen"),
                QStringLiteral("Last_Online"), QStringLiteral("Last_Offline"), QStringLiteral("Mac_Type")}));
        QCOMPARE(rig.stored(kMac, QStringLiteral("IP_Address")), kIp);
        QCOMPARE(rig.stored(kMac, QStringLiteral("Host_Name")), QStringLiteral("Unknown Device"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Friendly_Name")), QString());
        QCOMPARE(rig.stored(kMac, QStringLiteral("New_Device")), QStringLiteral("True"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Intruder")), QStringLiteral("True"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("First_Seen")), TextForms::dateText(t));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Last_Online")), TextForms::dateText(t));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Last_Offline")), QStringLiteral("1/1/1980"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Mac_Type")), QStringLiteral("3"));

        QCOMPARE(rig.devices.DeviceCount, 1);
        const DeviceRecord& d = rig.devices[0];
        QCOMPARE(d.MacAddress, kMac);
        QCOMPARE(d.IpAddress, kIp);
        QCOMPARE(d.HostName, QStringLiteral("Unknown Device"));
        QVERIFY(d.NewDevice && d.Intruder && d.NameLookupPending);
        QCOMPARE(d.FirstSeen, t);
        QCOMPARE(d.LastOnline, t);
        QCOMPARE(d.LastOffline, TextForms::NeverDate());
        QCOMPARE(d.PresenceCountdown, qint16(2));
        QCOMPARE(d.OnlineState, qint16(0));
        QCOMPARE(d.NetworkIndex, 0);
        QCOMPARE(d.MacType, quint8(3));
        QCOMPARE(rig.devices.indexOfMac(kMac), 0);
    }

    void theDefaultGatewayIsAdmittedAsSafe()
    {
        EngineRig rig;
        rig.clockStepMs = 0;
        const QDateTime t = rig.now();
        rig.net.addNeighbour(kMac, QStringLiteral("198.18.0.1"), 3);
        prepare(rig);
        QCOMPARE(nextSweep(rig),
            (QStringList {QStringLiteral("Load_Log 0"), entry(0, t, QStringLiteral("** WARNING - NEW DEVICE **")),
                entry(0, t, QStringLiteral("Connected ( 198.18.0.1 )")), QStringLiteral("AddNewDevice 0"),
                QStringLiteral("MacUpdateOccured 0"), QStringLiteral("ShowStatus")}));
        QCOMPARE(rig.stored(kMac, QStringLiteral("New_Device")), QStringLiteral("False"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Intruder")), QStringLiteral("False"));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Friendly_Name")), QStringLiteral("Default Gateway"));
        QCOMPARE(rig.devices[0].FriendlyName, QStringLiteral("Default Gateway"));
        QVERIFY(!rig.devices[0].Intruder && !rig.devices[0].NewDevice);
        QVERIFY(!rig.window.lastIntruderWarning.isValid());
    }

    void newIntruderAlertsFollowTheirCheckBoxes_data()
    {
        QTest::addColumn<int>("sound");
        QTest::addColumn<int>("popup");
        QTest::addColumn<int>("email");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QStringList>("alerts");
        const QString sound = QStringLiteral("playNewIntruderSound 35");
        const QString popup = QStringLiteral("SysTrayMouseEventHandlerleft");
        const QString mail = QStringLiteral("SendNewEmail 0");
        const QString warned = QStringLiteral("setLastIntruderWarning");
        QTest::newRow("all off") << 0 << 0 << 0 << false << QStringList {warned};
        QTest::newRow("sound") << 1 << 0 << 0 << false << QStringList {sound, warned};
        QTest::newRow("pop-up, window hidden") << 0 << 1 << 0 << false << QStringList {popup, warned};
        QTest::newRow("pop-up, window shown") << 0 << 1 << 0 << true << QStringList {warned};
        QTest::newRow("mail") << 0 << 0 << 1 << false << QStringList {mail, warned};
        QTest::newRow("all on") << 1 << 1 << 1 << false << QStringList {sound, popup, mail, warned};
        QTest::newRow("a value other than 1 is off") << 2 << -1 << 7 << false << QStringList {warned};
    }

    void newIntruderAlertsFollowTheirCheckBoxes()
    {
        QFETCH(int, sound);
        QFETCH(int, popup);
        QFETCH(int, email);
        QFETCH(bool, visible);
        QFETCH(QStringList, alerts);
        EngineRig rig;
        rig.settings.chkNewIntruderSound = sound;
        rig.settings.chkNewIntruderPopup = popup;
        rig.settings.chkNewIntruderEmail = email;
        rig.settings.slideVolume = 35;
        rig.window.visible = visible;
        rig.net.addNeighbour(kMac, kIp, 3);
        prepare(rig);
        const QStringList calls = nextSweep(rig);
        const qsizetype from = calls.indexOf(QStringLiteral("AddNewDevice 0")) + 1;
        const qsizetype to = calls.indexOf(QStringLiteral("MacUpdateOccured 0"));
        QCOMPARE(calls.mid(from, to - from), alerts);
    }

    void presenceAcrossSweeps()
    {
        EngineRig rig;
        rig.net.addNeighbour(kMac, kIp, 3);
        prepare(rig);
        nextSweep(rig); // admitted

        auto seen = [&rig] { rig.net.addNeighbour(kMac, kIp, 3); };
        const QStringList quiet {QStringLiteral("ShowStatus")};
        seen();
        QCOMPARE(nextSweep(rig), quiet);
        QCOMPARE(nextSweep(rig), quiet); // one missed sweep is tolerated
        QCOMPARE(rig.devices[0].PresenceCountdown, qint16(1));

        {
            const QStringList calls = nextSweep(rig);
            QCOMPARE(calls,
                (QStringList {entry(0, rig.now(), QStringLiteral("Disconnected")), QStringLiteral("MacUpdateOccured 0"),
                    QStringLiteral("ShowStatus")}));
        }
        const QDateTime offline = rig.now();
        QCOMPARE(rig.devices[0].LastOffline, offline);
        QCOMPARE(rig.stored(kMac, QStringLiteral("Last_Offline")), TextForms::dateText(offline));
        QCOMPARE(nextSweep(rig), quiet); // stays offline

        // Back after more than 10 s: an intruder coming online raises the online alerts.
        seen();
        {
            const QStringList calls = nextSweep(rig);
            QCOMPARE(calls,
                (QStringList {QStringLiteral("AddLogEntry 0 ") + EngineRig::stamp(rig.now())
                        + QStringLiteral("Connected ( 198.18.0.7 )"),
                    QStringLiteral("MacUpdateOccured 0"), QStringLiteral("playIntruderOnlineSound 70"),
                    QStringLiteral("SysTrayMouseEventHandlerleft"), QStringLiteral("setLastIntruderWarning"),
                    QStringLiteral("ShowStatus")}));
        }
        QCOMPARE(rig.stored(kMac, QStringLiteral("Last_Online")), TextForms::dateText(rig.now()));

        // Missed once, then seen again: no transition, no history line.
        QCOMPARE(nextSweep(rig), quiet);
        seen();
        QCOMPARE(nextSweep(rig), quiet);
        QCOMPARE(rig.devices[0].PresenceCountdown, qint16(2));
    }

    void intruderOnlineAlerts_data()
    {
        QTest::addColumn<int>("firstSeenAgo");
        QTest::addColumn<bool>("intruder");
        QTest::addColumn<int>("sound");
        QTest::addColumn<int>("popup");
        QTest::addColumn<int>("email");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QStringList>("alerts");
        const QString sound = QStringLiteral("playIntruderOnlineSound 70");
        const QString popup = QStringLiteral("SysTrayMouseEventHandlerleft");
        const QString mail = QStringLiteral("SendOnlineEmail 0");
        const QString warned = QStringLiteral("setLastIntruderWarning");
        QTest::newRow("first seen 5 s ago") << 5 << true << 1 << 1 << 1 << false << QStringList();
        QTest::newRow("first seen 10 s ago") << 10 << true << 1 << 1 << 1 << false << QStringList();
        QTest::newRow("first seen 11 s ago")
            << 11 << true << 1 << 1 << 1 << false << QStringList {sound, popup, mail, warned};
        QTest::newRow("safe device") << 3600 << false << 1 << 1 << 1 << false << QStringList();
        QTest::newRow("all boxes clear") << 3600 << true << 0 << 0 << 0 << false << QStringList {warned};
        QTest::newRow("sound only") << 3600 << true << 1 << 0 << 0 << false << QStringList {sound, warned};
        QTest::newRow("pop-up, window shown") << 3600 << true << 0 << 1 << 0 << true << QStringList {warned};
        QTest::newRow("mail only") << 3600 << true << 0 << 0 << 1 << false << QStringList {mail, warned};
    }

    void intruderOnlineAlerts()
    {
        QFETCH(int, firstSeenAgo);
        QFETCH(bool, intruder);
        QFETCH(int, sound);
        QFETCH(int, popup);
        QFETCH(int, email);
        QFETCH(bool, visible);
        QFETCH(QStringList, alerts);
        EngineRig rig;
        rig.clockStepMs = 0;
        const QDateTime t = rig.now();
        rig.addLoadedDevice(kMac, kIp, intruder);
        rig.devices[0].FirstSeen = t.addSecs(-firstSeenAgo);
        rig.settings.chkOnlineIntruderSound = sound;
        rig.settings.chkOnlineIntruderPopup = popup;
        rig.settings.chkOnlineIntruderEmail = email;
        rig.window.visible = visible;
        rig.net.addNeighbour(kMac, kIp, 3);
        prepare(rig);
        const QStringList expected =
            QStringList {entry(0, t, QStringLiteral("Connected ( 198.18.0.7 )")), QStringLiteral("MacUpdateOccured 0")}
            + alerts + QStringList {QStringLiteral("ShowStatus")};
        QCOMPARE(nextSweep(rig), expected);
    }

    void devicesLoadedAtStartComeOnlineOnTheFirstSweep()
    {
        EngineRig rig;
        rig.clockStepMs = 0;
        const QDateTime t = rig.now();
        const QDateTime earlier = t.addDays(-2);
        const QDateTime later = t.addDays(-1);
        const QDateTime zero = TextForms::ZeroDate();
        rig.addLoadedDevice(kMac, QStringLiteral("198.18.0.20"), false, earlier, later); // offline when closed
        rig.addLoadedDevice(kMac2, QStringLiteral("198.18.0.21"), false, later, earlier); // online when closed
        rig.addLoadedDevice(QStringLiteral("02-AA-BB-CC-DD-03"), QStringLiteral("198.18.0.22"), false);
        rig.addLoadedDevice(QStringLiteral("02-AA-BB-CC-DD-04"), QStringLiteral("198.18.0.23"), false, zero, zero);
        rig.net.addNeighbour(kMac, QStringLiteral("198.18.0.20"), 3);
        rig.net.addNeighbour(kMac2, QStringLiteral("198.18.0.21"), 3);
        rig.net.addNeighbour(QStringLiteral("02-AA-BB-CC-DD-04"), QStringLiteral("198.18.0.23"), 3);
        prepare(rig);
        // Equal dates (neither readable) count as online: no "Connected" line for device 3 either.
        QCOMPARE(nextSweep(rig),
            (QStringList {entry(0, t, QStringLiteral("Connected ( 198.18.0.20 )")),
                QStringLiteral("MacUpdateOccured 0"), QStringLiteral("MacUpdateOccured 1"),
                QStringLiteral("MacUpdateOccured 3"), QStringLiteral("ShowStatus")}));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Last_Online")), TextForms::dateText(t));
        QCOMPARE(rig.stored(kMac2, QStringLiteral("Last_Online")), TextForms::dateText(t));
        QCOMPARE(rig.devices[1].LastOnline, t);
        QCOMPARE(rig.devices[2].PresenceCountdown, qint16(0));
        QCOMPARE(rig.devices[2].LastOnline, EngineRig::kStart.addDays(-1)); // not seen: untouched
    }

    void aKnownDeviceAtANewAddress()
    {
        EngineRig rig;
        rig.addLoadedDevice(
            kMac, QStringLiteral("198.18.0.50"), false, EngineRig::kStart.addDays(-1), EngineRig::kStart.addDays(-2));
        rig.hive->setValue(QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\DetectedDevices\\") + kMac,
            QStringLiteral("IP_Address"), QStringLiteral("198.18.0.50"));
        rig.net.addNeighbour(kMac, QStringLiteral("198.18.0.60"), 3);
        prepare(rig);
        nextSweep(rig);
        QCOMPARE(rig.devices[0].IpAddress, QStringLiteral("198.18.0.60"));

        rig.net.addNeighbour(kMac, QStringLiteral("198.18.0.61"), 3);
        {
            const QStringList calls = nextSweep(rig);
            QCOMPARE(calls,
                (QStringList {entry(0, rig.now(), QStringLiteral("IP = 198.18.0.61")), QStringLiteral("ShowStatus")}));
        }
        QCOMPARE(rig.devices[0].IpAddress, QStringLiteral("198.18.0.61"));
        // Only the in-memory address follows; the stored one is the admission's.
        QCOMPARE(rig.stored(kMac, QStringLiteral("IP_Address")), QStringLiteral("198.18.0.50"));
    }

    void anUnreadableNeighbourTableStillAgesDevices()
    {
        EngineRig rig;
        rig.net.addNeighbour(kMac, kIp, 3);
        prepare(rig);
        nextSweep(rig);
        rig.net.addNeighbour(kMac, kIp, 3);
        rig.net.setNeighboursFail(true);
        QCOMPARE(nextSweep(rig), QStringList {QStringLiteral("ShowStatus")});
        {
            const QStringList calls = nextSweep(rig);
            QCOMPARE(calls,
                (QStringList {entry(0, rig.now(), QStringLiteral("Disconnected")), QStringLiteral("MacUpdateOccured 0"),
                    QStringLiteral("ShowStatus")}));
        }
    }

    void theFirstMatchingRangeWins()
    {
        EngineRig rig;
        rig.net.addAdapter(QStringLiteral("198.18.0.5/26"));
        rig.net.addAdapter(QStringLiteral("198.18.0.100/24"));
        rig.net.addAdapter(QStringLiteral("198.18.0.101/24"));
        rig.net.addNeighbour(kMac, QStringLiteral("198.18.0.10"), 3);
        rig.net.addNeighbour(kMac2, QStringLiteral("198.18.0.200"), 3);
        rig.load();
        nextSweep(rig);
        QCOMPARE(rig.devices.DeviceCount, 2);
        QCOMPARE(rig.devices[0].NetworkIndex, 0);
        QCOMPARE(rig.devices[1].NetworkIndex, 1);
        QCOMPARE(
            rig.net.deletedAddresses(), (QStringList {QStringLiteral("198.18.0.10"), QStringLiteral("198.18.0.200")}));
    }

    void aFailingWindowCallEndsOnlyItsOperation()
    {
        EngineRig rig;
        rig.settings.chkNewIntruderPopup = 0;
        rig.net.addNeighbour(kMac, kIp, 3);
        rig.net.addNeighbour(kMac2, QStringLiteral("198.18.0.8"), 3);
        rig.window.failOn = QStringLiteral("AddNewDevice 0");
        prepare(rig);
        const QStringList calls = nextSweep(rig);
        QCOMPARE(rig.window.logs, QStringList {QStringLiteral("AddNewMacEntry - window call failed: AddNewDevice 0")});
        // The first admission stopped before its alerts; the harvest went on with the next row.
        QCOMPARE(rig.devices.DeviceCount, 2);
        QCOMPARE(rig.devices[0].PresenceCountdown, qint16(2));
        QCOMPARE(rig.stored(kMac, QStringLiteral("Mac_Type")), QStringLiteral("3"));
        QCOMPARE(calls.count(QStringLiteral("playNewIntruderSound 70")), 1);
        QVERIFY(calls.contains(QStringLiteral("AddNewDevice 1")));
        QCOMPARE(calls.last(), QStringLiteral("ShowStatus"));

        // A failure at the very end of the harvest leaves the next sweep to come as usual.
        rig.window.logs.clear();
        rig.window.failOn = QStringLiteral("ShowStatus");
        nextSweep(rig);
        QCOMPARE(rig.window.logs, QStringList {QStringLiteral("FinishScan - window call failed: ShowStatus")});
        QVERIFY(!rig.engine.isSweepPrepared());
        rig.window.failOn.clear();
        QCOMPARE(nextSweep(rig).last(), QStringLiteral("ShowStatus"));
    }

    void aRemovedSlotIsReusedClean()
    {
        EngineRig rig;
        rig.addLoadedDevice(QStringLiteral("02-AA-BB-CC-DD-09"), QStringLiteral("198.18.0.90"), false);
        rig.devices[0].LogText = QStringLiteral("old history");
        rig.devices[0].ListRow = 17;
        rig.devices.DeviceCount = 0; // the window stopping monitoring empties the table this way
        rig.net.addNeighbour(kMac, kIp, 3);
        prepare(rig);
        nextSweep(rig);
        QCOMPARE(rig.devices.DeviceCount, 1);
        QCOMPARE(rig.devices[0].MacAddress, kMac);
        QCOMPARE(rig.devices[0].LogText, QString());
        QCOMPARE(rig.devices[0].ListRow, 0);
    }
};

QTEST_GUILESS_MAIN(TestHarvest)
#include "tst_harvest.moc"
