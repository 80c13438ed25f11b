// The registry layer's fall-backs, the settings defaults, and loadStore's reading of devices. The stored
// form of one device is tst_devicecodec's; removing a device is the window's device-removal test's.

#include "Devices.h"
#include "LogCapture.h"
#include "TestHome.h"
#include "platform/Hive.h"
#include "store/Base64.h"
#include "store/DeviceStore.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "store/TextForms.h"

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
            KeyStore::writeString(KeyStore::ProductKey, Keys::deviceKey(mac), it.key(), it.value());
    }

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_hive = Hive::open(m_home->paths().hiveFile()).hive;
        KeyStore::attach(m_hive.get());
        m_capture.clear();
    }
    void cleanup()
    {
        KeyStore::attach(nullptr);
        m_hive.reset();
        m_home.reset();
    }

    void registryFallsBack()
    {
        const QString p = KeyStore::ProductKey;
        QCOMPARE(KeyStore::readString(p, QStringLiteral("GENERAL"), QStringLiteral("Nope"), QStringLiteral("XXX")),
            QStringLiteral("XXX"));
        QCOMPARE(KeyStore::readString(p, QStringLiteral("Missing\\Key"), QStringLiteral("Nope")), QString());
        QCOMPARE(KeyStore::listSubkeys(p, QStringLiteral("DetectedDevices")), QStringList {QStringLiteral("<EMPTY>")});
        KeyStore::createKey(p, QStringLiteral("DetectedDevices"));
        QCOMPARE(KeyStore::listSubkeys(p, QStringLiteral("DetectedDevices")), QStringList {QStringLiteral("<EMPTY>")});
        KeyStore::writeString(p, QStringLiteral("A\\B\\C"), QStringLiteral("v"), QStringLiteral("deep"));
        QCOMPARE(KeyStore::readString(p, QStringLiteral("a\\b\\c"), QStringLiteral("V")), QStringLiteral("deep"));
        // Data past the original 4094-byte read buffer comes back cut.
        KeyStore::writeString(p, QStringLiteral("GENERAL"), QStringLiteral("Long"), QString(5000, QLatin1Char('z')));
        QCOMPARE(KeyStore::readString(p, QStringLiteral("GENERAL"), QStringLiteral("Long")).size(), 4093);
        KeyStore::deleteValue(p, QStringLiteral("GENERAL"), QStringLiteral("Long"));
        QCOMPARE(KeyStore::readString(p, QStringLiteral("GENERAL"), QStringLiteral("Long"), QStringLiteral("-")),
            QStringLiteral("-"));
        // With no hive attached nothing fails: reads give their default.
        KeyStore::attach(nullptr);
        QCOMPARE(KeyStore::readString(p, QStringLiteral("GENERAL"), QStringLiteral("v"), QStringLiteral("d")),
            QStringLiteral("d"));
        QCOMPARE(KeyStore::listSubkeys(p, QString()), QStringList {QStringLiteral("<EMPTY>")});
    }

    void freshStoreGivesEveryDefault()
    {
        LiveSettings s;
        s.window.alwaysOnTop = true; // proves the value is read, not left from construction
        DeviceStore table;
        loadStore(s, table, QStringLiteral("/x/Log Database/Kestrelwatch.log"), OldDates::Keep);
        QVERIFY(!s.window.alwaysOnTop && !s.alerts.reminder && !s.alerts.newIntruder.mail);
        QCOMPARE(s.alerts.volume, 70);
        QCOMPARE(s.mail.server, QString());
        QCOMPARE(s.log.path, QStringLiteral("/x/Log Database/Kestrelwatch.log"));
        QCOMPARE(qint32(table.size()), 0);
    }

    void storedSettingsAreRead()
    {
        const Base64 b64;
        writeSetting(QStringLiteral("EmailServer"), QStringLiteral("smtp.example"));
        writeSetting(QStringLiteral("EmailUsername"), b64.Encodestring(QStringLiteral("alice")));
        writeSetting(QStringLiteral("EmailPassword"), b64.Encodestring(QStringLiteral("s3cret!")));
        writeSetting(QStringLiteral("EmailAuthenticate"), QStringLiteral("True")); // flags are numeric: off
        writeSetting(QStringLiteral("NewIntruderEmail"), QStringLiteral("1"));
        writeSetting(QStringLiteral("Volume"), QStringLiteral(" 35 "));
        KeyStore::writeString(Keys::RunProduct, Keys::RunKey, Keys::RunValue, QStringLiteral("/usr/bin/kw"));
        LiveSettings s;
        DeviceStore table;
        loadStore(s, table, QString(), OldDates::Keep);
        QCOMPARE(s.mail.server, QStringLiteral("smtp.example"));
        QCOMPARE(s.mail.username, QStringLiteral("alice"));
        QCOMPARE(s.mail.password, QStringLiteral("s3cret!"));
        QVERIFY(!s.mail.authenticate);
        QVERIFY(s.alerts.newIntruder.mail);
        QCOMPARE(s.alerts.volume, 35);
        QVERIFY(s.window.startAtLogin);
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
        loadStore(s, table, QString(), OldDates::Keep);
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
        QCOMPARE(KeyStore::readString(KeyStore::ProductKey, Keys::deviceKey(b.MacAddress), "First_Seen"), when);
        // Each unreadable value is named in the debug log.
        QVERIFY(m_capture.lines().filter(QStringLiteral("loadStore - AA-00-00-00-00-01")).size() >= 3);
        QVERIFY(!m_capture.lines().filter(QStringLiteral("Last_Offline")).isEmpty());
        QVERIFY(!m_capture.lines().filter(QStringLiteral("maybe")).isEmpty());
    }

    void emptyDeviceKeyLeavesTheStoreAsItWas()
    {
        DeviceStore table;
        appendDevice(table, QStringLiteral("CC-00-00-00-00-03"));
        LiveSettings s;
        loadStore(s, table, QString(), OldDates::Keep);
        QCOMPARE(qint32(table.size()), 1);
        QCOMPARE(nth(table, 0).MacAddress, QStringLiteral("CC-00-00-00-00-03"));
    }
};

KW_TEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
