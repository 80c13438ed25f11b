// The settings table against a real store: every setting written as a user gives it comes back the same from
// disk, old stored forms still read, limits refuse naming themselves, stored nonsense is one log line and keeps
// the default, and kestrelwatch-ctl's manual lists exactly the table.

#include "LogCapture.h"
#include "TestHome.h"
#include "platform/Hive.h"
#include "store/KeyStore.h"
#include "store/Settings.h"
#include "store/SettingsTable.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

using SettingsTable::Type;

class TestSettingsTable : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<Hive> m_hive;

    static LiveSettings loaded()
    {
        LiveSettings s;
        loadSettings(s, QString());
        return s;
    }

    // A value unlike the default, as a user types it.
    static QString otherValue(const SettingsTable::Setting& s)
    {
        switch (s.type) {
        case Type::Bool:
            return QLatin1String(s.defaultText) == QLatin1String("1") ? QStringLiteral("off") : QStringLiteral("on");
        case Type::Int:
            return QString::number(s.max);
        case Type::Choice:
            return s.choiceList().last().toLower();
        case Type::Words:
            return QStringLiteral("storm, new");
        case Type::Text:
        case Type::Secret:
            return QStringLiteral("w\u00e9ird; value=\"1\"");
        }
        return {};
    }

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_hive = Hive::open(m_home->paths().hiveFile()).hive;
        KeyStore::attach(m_hive.get());
    }
    void cleanup()
    {
        KeyStore::attach(nullptr);
        m_hive.reset();
        m_home.reset();
    }

    void everySettingRoundTrips()
    {
        QStringList keys;
        QStringList names;
        for (const SettingsTable::Setting& s : SettingsTable::all()) {
            keys << s.keyText().toLower();
            names << QString::fromLatin1(s.name).toLower();
            QVERIFY2(SettingsTable::find(QString::fromLatin1(s.name)) == &s, s.key);
            // A fresh object and a fresh store both hold the default.
            QCOMPARE(SettingsTable::storedText(s, LiveSettings()), QString::fromLatin1(s.defaultText));
            QCOMPARE(SettingsTable::storedText(s, loaded()), QString::fromLatin1(s.defaultText));

            const SettingsTable::Checked checked = SettingsTable::fromUser(s, otherValue(s));
            QVERIFY2(checked.refusal.isEmpty(), qPrintable(checked.refusal));
            QVERIFY2(checked.stored != QString::fromLatin1(s.defaultText), s.key);
            writeSetting(s.keyText(), checked.stored);
            const LiveSettings back = loaded();
            QCOMPARE(SettingsTable::storedText(s, back), checked.stored);
            const QString shown = SettingsTable::shown(s, back, true);
            QCOMPARE(SettingsTable::fromUser(s, shown).stored, checked.stored);
            if (s.type == Type::Secret)
                QCOMPARE(SettingsTable::shown(s, back, false), QStringLiteral("********"));
        }
        QCOMPARE(QSet<QString>(keys.cbegin(), keys.cend()).size(), keys.size());
        QCOMPARE(QSet<QString>(names.cbegin(), names.cend()).size(), names.size());
    }

    // Forms older stores hold, and nonsense, as the loader reads them.
    void storedForms_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("held"); // storedText after loading
        QTest::addColumn<QString>("log"); // in the one log line; empty: none
        QTest::newRow("flag 1") << "NewIntruderEmail"
                                << "1"
                                << "1"
                                << "";
        QTest::newRow("flag True reads off, as flags are numeric") << "NewIntruderSound"
                                                                   << "True"
                                                                   << "0"
                                                                   << "";
        QTest::newRow("volume with blanks") << "Volume"
                                            << " 35 "
                                            << "35"
                                            << "";
        QTest::newRow("volume no number") << "Volume"
                                          << "loud"
                                          << "70"
                                          << "Volume \"loud\" is no whole number";
        QTest::newRow("volume above its slider") << "Volume"
                                                 << "250"
                                                 << "70"
                                                 << "from 0 to 100; 70 is used";
        QTest::newRow("quiet minutes negative") << "AlertQuietMinutes"
                                                << "-5"
                                                << "15"
                                                << "AlertQuietMinutes";
        QTest::newRow("security in any case") << "EmailSecurity"
                                              << "starttls"
                                              << "STARTTLS"
                                              << "";
        QTest::newRow("security unknown") << "MqttSecurity"
                                          << "SSL"
                                          << "None"
                                          << "is not None or TLS";
        QTest::newRow("channel URL trimmed") << "NtfyServer"
                                             << " https://n.example/t "
                                             << "https://n.example/t"
                                             << "";
        QTest::newRow("alert words reordered") << "WebhookAlerts"
                                               << "storm,NEW"
                                               << "new,storm"
                                               << "";
        QTest::newRow("alert words none") << "GotifyAlerts"
                                          << ""
                                          << ""
                                          << "";
        QTest::newRow("alert word unknown") << "NtfyAlerts"
                                            << "new,all"
                                            << "new,online,watched,storm"
                                            << "holds \"all\"";
        QTest::newRow("login Base64") << "MqttUsername"
                                      << "YWxpY2U="
                                      << "YWxpY2U="
                                      << "";
    }
    void storedForms()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, held);
        QFETCH(QString, log);
        writeSetting(key, stored);
        LogCapture capture;
        const LiveSettings s = loaded();
        QCOMPARE(SettingsTable::storedText(*SettingsTable::find(key), s), held);
        const QStringList lines = capture.tagged(QStringLiteral("loadStore - "));
        if (log.isEmpty())
            QCOMPARE(lines, QStringList());
        else
            QVERIFY2(lines.size() == 1 && lines.first().contains(log), qPrintable(lines.join(QLatin1Char('\n'))));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("volume below") << "alerts.volume"
                                      << "-1"
                                      << "Volume is a whole number from 0 to 100";
        QTest::newRow("volume words") << "Volume"
                                      << "loud"
                                      << "from 0 to 100";
        QTest::newRow("quiet above") << "AlertQuietMinutes"
                                     << "1441"
                                     << "from 0 to 1440";
        QTest::newRow("flag") << "LogToDisk"
                              << "maybe"
                              << "give 1 or 0";
        QTest::newRow("choice") << "mail.security"
                                << "SSL"
                                << "EmailSecurity is one of None, STARTTLS or TLS";
        QTest::newRow("alert word") << "push.ntfy.alerts"
                                    << "new,all"
                                    << "\"all\" is none of them";
        QTest::newRow("two lines") << "EmailFrom"
                                   << "a@b\r\nBcc: c@d"
                                   << "one line";
        QTest::newRow("secret with a control") << "WebhookToken"
                                               << "t\x1b[2J"
                                               << "one line";
    }
    void refusals()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(QString, refusal);
        const SettingsTable::Setting* s = SettingsTable::find(name);
        QVERIFY(s);
        const SettingsTable::Checked checked = SettingsTable::fromUser(*s, value);
        QVERIFY2(checked.stored.isEmpty() && checked.refusal.contains(refusal), qPrintable(checked.refusal));
    }

    void manualListsTheTable()
    {
        QFile page(TestHome::sourceDir() + QStringLiteral("/share/man/kestrelwatch-ctl.1"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(page.readAll());
        // The section between its heading's paragraph and the next section is made by SettingsTable::manSection.
        const qsizetype start = text.indexOf(QLatin1String(".TP\n"), text.indexOf(QLatin1String(".SH SETTINGS")));
        const qsizetype end = text.indexOf(QLatin1String(".SH "), start);
        QVERIFY(start > 0 && end > start);
        // On a difference the section as it should be is left beside the build for pasting into the page.
        const QString wanted = SettingsTable::manSection();
        if (text.mid(start, end - start) != wanted) {
            QFile out(QStringLiteral("kestrelwatch-ctl.settings.roff"));
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(wanted.toUtf8()) > 0);
            QFAIL(qPrintable(QStringLiteral("the manual's SETTINGS differ from the table; the table's are in ")
                + QFileInfo(out).absoluteFilePath()));
        }
    }
};

KW_TEST_GUILESS_MAIN(TestSettingsTable)
#include "tst_settingstable.moc"
