// The stored form of one device, read and written by one codec: every value comes back as it went in, a value
// that is missing or broken reads as for a device nobody vouched for, and a store of the previous release
// (dates in its locale's text) is read once and rewritten as ISO 8601 at the monitor's start. Runs in
// Europe/Berlin, so that the repeated hour of 25 October 2026 (02:00-03:00, first CEST, then CET) is there.

#include "LogCapture.h"
#include "TestHome.h"
#include "platform/Hive.h"
#include "store/DeviceCodec.h"
#include "store/DeviceStore.h"
#include "store/DeviceWatch.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "store/TextForms.h"

#include <QTest>

namespace {

const QString kMac = QStringLiteral("02-AA-00-00-00-01");

DeviceRecord full()
{
    DeviceRecord d = DeviceRecord::empty();
    d.MacAddress = kMac;
    d.IpAddress = QStringLiteral("198.18.0.7");
    d.HostName = QStringLiteral("pixel.lan");
    d.FriendlyName = QStringLiteral("Ann's phone");
    d.NewDevice = false;
    d.Intruder = false;
    d.FirstSeen = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    d.LastOnline = QDateTime(QDate(2026, 7, 1), QTime(12, 0, 0));
    d.LastOffline = QDateTime(QDate(2026, 7, 1), QTime(13, 30, 0));
    d.LastSeen = QDateTime(QDate(2026, 7, 1), QTime(13, 29, 54));
    d.MacType = 3;
    d.Watch = DeviceWatch::Both;
    d.Type = DeviceType::Phone;
    d.TypeSource = FactSource::Dhcp;
    d.Model = QStringLiteral("Pixel 8");
    d.ModelSource = FactSource::Mdns;
    d.Os = QStringLiteral("Android");
    d.OsSource = FactSource::User;
    d.FormerMacs = QStringList {QStringLiteral("0A-11-22-33-44-55"), QStringLiteral("0A-11-22-33-44-66")};
    d.Note = QStringLiteral("Ann, upstairs");
    d.Network = QStringLiteral("02-00-00-00-00-01 198.18.0.0/24");
    d.MdnsName = QStringLiteral("Ann\u2019s Pixel");
    return d;
}

// One field of a record as text, by its stored name.
QString field(const DeviceRecord& d, const QString& name)
{
    if (name == DeviceCodec::Name::LastSeen)
        return d.LastSeen.toString(Qt::ISODate); // a derived value has no stored text of its own
    return DeviceCodec::valueText(d, name);
}

} // namespace

class TestDeviceCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void everyValueComesBack()
    {
        const DeviceRecord d = full();
        const DeviceCodec::Values values = DeviceCodec::encode(d);
        QStringList names;
        for (const auto& [name, text] : values)
            names << name;
        // The first release's nine first, in its order; then the rest.
        QCOMPARE(names,
            QStringList({"IP_Address", "Host_Name", "Friendly_Name", "New_Device", "Intruder", "First_Seen",
                "Last_Online", "Last_Offline", "Mac_Type", "Watch", "Type", "Type_Source", "Model", "Model_Source",
                "OS", "OS_Source", "Former_MACs", "Note", "Network", "Last_Seen", "MDNS_Name"}));
        QCOMPARE(DeviceCodec::valueText(d, QStringLiteral("First_Seen")), QStringLiteral("2026-03-04T05:06:07+01:00"));
        QCOMPARE(DeviceCodec::valueText(d, QStringLiteral("Last_Seen")), QStringLiteral("2026-07-01T13:29:54+02:00"));
        QCOMPARE(DeviceCodec::valueText(d, QStringLiteral("Former_MACs")),
            QStringLiteral("0A-11-22-33-44-55,0A-11-22-33-44-66"));
        const DeviceCodec::Decoded back = DeviceCodec::decode(kMac, values);
        QCOMPARE(back.problems, QStringList());
        QVERIFY(!back.oldDates);
        for (const QString& name : names)
            QCOMPARE(field(back.record, name), field(d, name));
        QVERIFY(back.record.NameLookupPending);
        // A date in a zone's local mean time (Berlin before 1893: +00:53:28) is written in UTC, and comes back.
        DeviceRecord early = d;
        early.FirstSeen = QDateTime(QDate(1880, 1, 1), QTime(12, 0));
        QCOMPARE(DeviceCodec::decode(kMac, DeviceCodec::encode(early)).record.FirstSeen, early.FirstSeen);
        QCOMPARE(back.record.PresenceCountdown + back.record.OnlineState, 0);
    }

    // One value changed ("Name=text") or taken away ("-Name") from a whole record; the field read and the
    // problem named ("" when there is none).
    void missingOrBrokenValues_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("problem");
        QTest::newRow("no Intruder: an intruder") << "-Intruder"
                                                  << "Intruder"
                                                  << "True"
                                                  << "Intruder missing";
        QTest::newRow("Intruder broken: an intruder") << "Intruder=maybe"
                                                      << "Intruder"
                                                      << "True"
                                                      << "Intruder \"maybe\"";
        QTest::newRow("Intruder as a number") << "Intruder=0"
                                              << "Intruder"
                                              << "False"
                                              << "";
        QTest::newRow("no New_Device: new") << "-New_Device"
                                            << "New_Device"
                                            << "True"
                                            << "New_Device missing";
        QTest::newRow("no Last_Offline: never") << "-Last_Offline"
                                                << "Last_Offline"
                                                << "1980-01-01T00:00:00+01:00"
                                                << "Last_Offline missing";
        QTest::newRow("a date that is none") << "First_Seen=32/13/2020"
                                             << "First_Seen"
                                             << "1980-01-01T00:00:00+01:00"
                                             << "First_Seen \"32/13/2020\"";
        // What the store writes again must read back the same: whole seconds, MACs in one form.
        QTest::newRow("a fraction of a second is dropped") << "First_Seen=2026-03-04T05:06:07.250+01:00"
                                                           << "First_Seen"
                                                           << "2026-03-04T05:06:07+01:00"
                                                           << "";
        QTest::newRow("a former MAC that is none is left out") << "Former_MACs=0a:11:22:33:44:66,01-00-5E-00-00-01"
                                                               << "Former_MACs"
                                                               << "0A-11-22-33-44-66"
                                                               << "Former_MACs \"01-00-5E-00-00-01\"";
        QTest::newRow("no Host_Name") << "-Host_Name"
                                      << "Host_Name"
                                      << "Unknown Device"
                                      << "Host_Name missing";
        QTest::newRow("no Mac_Type") << "-Mac_Type"
                                     << "Mac_Type"
                                     << "0"
                                     << "Mac_Type missing";
        QTest::newRow("Watch broken: none") << "Watch=sometimes"
                                            << "Watch"
                                            << ""
                                            << "Watch \"sometimes\"";
        QTest::newRow("no Watch: none") << "-Watch"
                                        << "Watch"
                                        << ""
                                        << "";
        QTest::newRow("no Note") << "-Note"
                                 << "Note"
                                 << ""
                                 << "";
        QTest::newRow("no Type: unknown, from nobody") << "-Type"
                                                       << "Type"
                                                       << ""
                                                       << "";
        QTest::newRow("no Last_Seen: the later presence date") << "-Last_Seen"
                                                               << "Last_Seen"
                                                               << "2026-07-01T13:30:00"
                                                               << "";
        QTest::newRow("an mDNS name the name door refuses") << "MDNS_Name=Pixel\u202E"
                                                            << "MDNS_Name"
                                                            << ""
                                                            << "";
        QTest::newRow("names in another case") << "intruder=false"
                                               << "Intruder"
                                               << "False"
                                               << "";
    }

    void missingOrBrokenValues()
    {
        QFETCH(QString, change);
        QFETCH(QString, name);
        DeviceCodec::Values values;
        const bool drop = change.startsWith(QLatin1Char('-'));
        const QString changed = drop ? change.mid(1) : change.section(QLatin1Char('='), 0, 0);
        for (const auto& [n, text] : DeviceCodec::encode(full())) {
            if (n.compare(changed, Qt::CaseInsensitive) != 0)
                values.append({n, text});
        }
        if (!drop)
            values.append({changed, change.section(QLatin1Char('='), 1)});
        const DeviceCodec::Decoded d = DeviceCodec::decode(kMac, values);
        QTEST(field(d.record, name), "expected");
        QFETCH(QString, problem);
        QCOMPARE(d.problems, problem.isEmpty() ? QStringList() : QStringList {problem});
    }

    // The previous release wrote its dates in the user's locale (short date, four-digit year, long time without
    // zone; a date at midnight alone). The monitor reads them once in that locale and rewrites them as ISO 8601 in
    // one transaction; kestrelwatch-ctl reads them too but leaves the store alone.
    void olderStoreIsRewrittenOnce_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany);
        QTest::newRow("fr_FR") << QLocale(QLocale::French, QLocale::France);
    }

    void olderStoreIsRewrittenOnce()
    {
        QFETCH(QLocale, locale);
        TestHome home;
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        KeyStore::attach(hive.get());
        QLocale::setDefault(locale);
        const QDateTime spring(QDate(2026, 3, 4), QTime(5, 6, 7));
        // The repeated hour: 02:30 the first time (CEST) is 00:30 UTC, the second time (CET) 01:30 UTC.
        const QDateTime first = QDateTime(QDate(2026, 10, 25), QTime(0, 30), Qt::UTC).toLocalTime();
        const QDateTime second = first.addSecs(3600);
        QCOMPARE(second.time(), first.time());
        const auto old = [&](const QString& mac, const QDateTime& online, const QDateTime& offline) {
            KeyStore::writeKeys(KeyStore::ProductKey,
                {{Keys::deviceKey(mac),
                    {{QStringLiteral("IP_Address"), QStringLiteral("198.18.0.7")},
                        {QStringLiteral("Host_Name"), QStringLiteral("Unknown Device")},
                        {QStringLiteral("Friendly_Name"), QString()}, {QStringLiteral("New_Device"), "True"},
                        {QStringLiteral("Intruder"), "True"},
                        {QStringLiteral("First_Seen"), TextForms::dateText(spring, locale)},
                        {QStringLiteral("Last_Online"), TextForms::dateText(online, locale)},
                        {QStringLiteral("Last_Offline"), TextForms::dateText(offline, locale)},
                        {QStringLiteral("Mac_Type"), QStringLiteral("3")}}}});
        };
        old(kMac, spring, TextForms::NeverDate());
        old(QStringLiteral("02-AA-00-00-00-02"), first, second);
        QVERIFY(TextForms::dateText(first, locale) == TextForms::dateText(second, locale)); // no offset in the text

        LogCapture log;
        LiveSettings settings;
        DeviceStore ctl;
        loadStore(settings, ctl, QString(), OldDates::Keep);
        QVERIFY(!KeyStore::readString(KeyStore::ProductKey, Keys::deviceKey(kMac), "First_Seen").contains('T'));

        DeviceStore devices;
        loadStore(settings, devices, QString(), OldDates::Rewrite);
        QCOMPARE(log.lines().filter(QStringLiteral("dates of 2 devices")).size(), 1);
        const auto stored = [](const QString& mac, const char* name) {
            return KeyStore::readString(KeyStore::ProductKey, Keys::deviceKey(mac), QLatin1String(name));
        };
        QCOMPARE(stored(kMac, "First_Seen"), QStringLiteral("2026-03-04T05:06:07+01:00"));
        QCOMPARE(stored(kMac, "Last_Offline"), QStringLiteral("1980-01-01T00:00:00+01:00"));
        // Either occurrence written as the same text reads as the first, every time, in every locale.
        QCOMPARE(stored("02-AA-00-00-00-02", "Last_Online"), QStringLiteral("2026-10-25T02:30:00+02:00"));
        QCOMPARE(stored("02-AA-00-00-00-02", "Last_Offline"), QStringLiteral("2026-10-25T02:30:00+02:00"));
        for (DeviceStore* store : {&ctl, &devices}) {
            const DeviceRecord* d = store->find(QStringLiteral("02-AA-00-00-00-02"));
            QVERIFY(d && d->LastOnline == first && d->LastOffline == first && d->FirstSeen == spring);
            QCOMPARE(store->find(kMac)->LastOffline, TextForms::NeverDate());
        }

        // Read again, in another locale: nothing left to rewrite, the same devices.
        QLocale::setDefault(QLocale::c());
        DeviceStore again;
        loadStore(settings, again, QString(), OldDates::Rewrite);
        QCOMPARE(log.lines().filter(QStringLiteral("dates of")).size(), 1);
        QCOMPARE(again.find(QStringLiteral("02-AA-00-00-00-02"))->LastOnline, first);
        QCOMPARE(again.find(kMac)->FirstSeen, spring);
        pinTestEnvironment();
        KeyStore::attach(nullptr);
    }
};

KW_TEST_GUILESS_MAIN(TestDeviceCodec)
#include "tst_devicecodec.moc"
