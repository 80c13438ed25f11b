// The registry layer's fall-backs, the settings defaults, and Load_Registry's reading of devices. The stored
// form of one device is tst_devicecodec's; removing a device is the window's device-removal test's.

#include "Devices.h"
#include "LogCapture.h"
#include "TestHome.h"
#include "platform/Hive.h"
#include "store/Base64Class.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "store/TextForms.h"
#include "store/modRegistry.h"

#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<Hive> m_hive;
    LogCapture m_capture;

    static void writeDevice(const QString& mac, const QMap<QString, QString>& values)
    {
        for (auto it = values.begin(); it != values.end(); ++it)
            modRegistry::WriteString(modRegistry::ProductKey, Keys::deviceKey(mac), it.key(), it.value());
    }

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_hive = Hive::open(m_home->paths().hiveFile()).hive;
        modRegistry::attach(m_hive.get());
        m_capture.clear();
    }
    void cleanup()
    {
        modRegistry::attach(nullptr);
        m_hive.reset();
        m_home.reset();
    }

    void registryFallsBack()
    {
        const QString p = modRegistry::ProductKey;
        QCOMPARE(modRegistry::ReadString(p, QStringLiteral("GENERAL"), QStringLiteral("Nope"), QStringLiteral("XXX")),
            QStringLiteral("XXX"));
        QCOMPARE(modRegistry::ReadString(p, QStringLiteral("Missing\\Key"), QStringLiteral("Nope")), QString());
        QCOMPARE(
            modRegistry::ListSubkeys(p, QStringLiteral("DetectedDevices")), QStringList {QStringLiteral("<EMPTY>")});
        modRegistry::CreateKey(p, QStringLiteral("DetectedDevices"));
        QCOMPARE(
            modRegistry::ListSubkeys(p, QStringLiteral("DetectedDevices")), QStringList {QStringLiteral("<EMPTY>")});
        modRegistry::WriteString(p, QStringLiteral("A\\B\\C"), QStringLiteral("v"), QStringLiteral("deep"));
        QCOMPARE(modRegistry::ReadString(p, QStringLiteral("a\\b\\c"), QStringLiteral("V")), QStringLiteral("deep"));
        // Data past the original 4094-byte read buffer comes back cut.
        modRegistry::WriteString(p, QStringLiteral("GENERAL"), QStringLiteral("Long"), QString(5000, QLatin1Char('z')));
        QCOMPARE(modRegistry::ReadString(p, QStringLiteral("GENERAL"), QStringLiteral("Long")).size(), 4093);
        modRegistry::DeleteValue(p, QStringLiteral("GENERAL"), QStringLiteral("Long"));
        QCOMPARE(modRegistry::ReadString(p, QStringLiteral("GENERAL"), QStringLiteral("Long"), QStringLiteral("-")),
            QStringLiteral("-"));
        // With no hive attached nothing fails: reads give their default.
        modRegistry::attach(nullptr);
        QCOMPARE(modRegistry::ReadString(p, QStringLiteral("GENERAL"), QStringLiteral("v"), QStringLiteral("d")),
            QStringLiteral("d"));
        QCOMPARE(modRegistry::ListSubkeys(p, QString()), QStringList {QStringLiteral("<EMPTY>")});
    }

    void freshStoreGivesEveryDefault()
    {
        LiveSettings s;
        s.chkAlwaysOnTop = 7; // proves the value is read, not left from construction
        DeviceStore table;
        Load_Registry(s, table, QStringLiteral("/x/Log Database/Kestrelwatch.log"), OldDates::Keep);
        QCOMPARE(s.chkAlwaysOnTop, 0);
        QCOMPARE(s.chkOnlineIntruderReminder, 0);
        QCOMPARE(s.chkNewIntruderEmail, 0);
        QCOMPARE(s.slideVolume, 70);
        QCOMPARE(s.txtEmailServer, QString());
        QCOMPARE(s.lblLogPath, QStringLiteral("/x/Log Database/Kestrelwatch.log"));
        QCOMPARE(qint32(table.size()), 0);
    }

    void storedSettingsAreRead()
    {
        const Base64Class b64;
        writeSetting(QStringLiteral("EmailServer"), QStringLiteral("smtp.example"));
        writeSetting(QStringLiteral("EmailUsername"), b64.Encodestring(QStringLiteral("alice")));
        writeSetting(QStringLiteral("EmailPassword"), b64.Encodestring(QStringLiteral("s3cret!")));
        writeSetting(QStringLiteral("EmailAuthenticate"), QStringLiteral("True")); // flags are numeric: off
        writeSetting(QStringLiteral("NewIntruderEmail"), QStringLiteral("1"));
        writeSetting(QStringLiteral("Volume"), QStringLiteral(" 35 "));
        modRegistry::WriteString(Keys::RunProduct, Keys::RunKey, Keys::RunValue, QStringLiteral("/usr/bin/kw"));
        LiveSettings s;
        DeviceStore table;
        Load_Registry(s, table, QString(), OldDates::Keep);
        QCOMPARE(s.txtEmailServer, QStringLiteral("smtp.example"));
        QCOMPARE(s.txtEmailUsername, QStringLiteral("alice"));
        QCOMPARE(s.txtEmailPassword, QStringLiteral("s3cret!"));
        QCOMPARE(s.chkEmailAuthenticate, 0);
        QVERIFY(!s.emailLoginEnabled);
        QCOMPARE(s.chkNewIntruderEmail, 1);
        QCOMPARE(s.slideVolume, 35);
        QCOMPARE(s.chkGeneralStartup, 1);
    }

    void devicesLoadInStoreOrderWithTheirValues()
    {
        const QString when = TextForms::dateText(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
        writeDevice(QStringLiteral("BB-00-00-00-00-02"),
            {{QStringLiteral("IP_Address"), QStringLiteral("198.18.0.9")},
                {QStringLiteral("Host_Name"), QStringLiteral("nas")},
                {QStringLiteral("Friendly_Name"), QStringLiteral("Storage")},
                {QStringLiteral("New_Device"), QStringLiteral("False")},
                {QStringLiteral("Intruder"), QStringLiteral("True")}, {QStringLiteral("First_Seen"), when},
                {QStringLiteral("Last_Online"), when},
                {QStringLiteral("Last_Offline"), TextForms::dateText(TextForms::NeverDate())},
                {QStringLiteral("Mac_Type"), QStringLiteral("4")}});
        // No Last_Offline, a broken date and a broken Boolean: the values of a device nobody vouched for.
        writeDevice(QStringLiteral("AA-00-00-00-00-01"),
            {{QStringLiteral("IP_Address"), QStringLiteral("198.18.0.8")},
                {QStringLiteral("Intruder"), QStringLiteral("maybe")},
                {QStringLiteral("First_Seen"), QStringLiteral("32/13/2020")}});
        LiveSettings s;
        DeviceStore table;
        Load_Registry(s, table, QString(), OldDates::Keep);
        QCOMPARE(qint32(table.size()), 2);
        const DeviceRecord& a = nth(table, 0);
        QCOMPARE(a.MacAddress, QStringLiteral("AA-00-00-00-00-01"));
        QCOMPARE(a.LastOffline, TextForms::NeverDate());
        QCOMPARE(a.FirstSeen, TextForms::NeverDate());
        QCOMPARE(a.Intruder, true);
        QCOMPARE(a.HostName, QStringLiteral("Unknown Device"));
        QVERIFY(a.NameLookupPending);
        const DeviceRecord& b = nth(table, 1);
        QCOMPARE(b.IpAddress, QStringLiteral("198.18.0.9"));
        QCOMPARE(b.HostName, QStringLiteral("nas"));
        QCOMPARE(b.FriendlyName, QStringLiteral("Storage"));
        QCOMPARE(b.NewDevice, false);
        QCOMPARE(b.Intruder, true);
        QCOMPARE(b.FirstSeen, QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)));
        QCOMPARE(b.LastOffline, TextForms::NeverDate());
        QCOMPARE(b.MacType, quint8(4));
        QCOMPARE(b.PresenceCountdown, qint16(0));
        QCOMPARE(b.OnlineState, qint16(0));
        // Read, not rewritten: only the monitor's start rewrites an earlier release's dates.
        QCOMPARE(modRegistry::ReadString(modRegistry::ProductKey, Keys::deviceKey(b.MacAddress), "First_Seen"), when);
        // Each unreadable value is named in the debug log.
        QVERIFY(m_capture.lines().filter(QStringLiteral("Load_Registry - AA-00-00-00-00-01")).size() >= 3);
        QVERIFY(!m_capture.lines().filter(QStringLiteral("Last_Offline")).isEmpty());
        QVERIFY(!m_capture.lines().filter(QStringLiteral("maybe")).isEmpty());
    }

    void emptyDeviceKeyLeavesTheStoreAsItWas()
    {
        DeviceStore table;
        appendDevice(table, QStringLiteral("CC-00-00-00-00-03"));
        LiveSettings s;
        Load_Registry(s, table, QString(), OldDates::Keep);
        QCOMPARE(qint32(table.size()), 1);
        QCOMPARE(nth(table, 0).MacAddress, QStringLiteral("CC-00-00-00-00-03"));
    }
};

KW_TEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
