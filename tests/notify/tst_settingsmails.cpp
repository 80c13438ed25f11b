#include "notify/SettingsMails.h"

#include "LogCapture.h"
#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"
#include "notify/SmtpClient.h"
#include "platform/Hive.h"
#include "store/Base64.h"
#include "store/DeviceStore.h"
#include "store/IniFile.h"
#include "store/KeyStore.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

class TestSettingsMails final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void testMailResult_data();
    void testMailResult();
    void debugLogNeedsAnAddress();
    void serverWithPort_data();
    void serverWithPort();
    void storedMailSettings();
};

void TestSettingsMails::testMailResult_data()
{
    QTest::addColumn<QString>("password"); // none: no server is set
    QTest::addColumn<QString>("result");
    QTest::newRow("nothing set") << QString()
                                 << "No test email was sent: enter the SMTP server and the \"FROM\" address first.";
    QTest::newRow("accepted") << "s3cret ünd €"
                              << "Message Sent";
    QTest::newRow("login refused")
        << "wrong"
        << "The test email was not sent: Server error on 250a. Reply > 535 5.7.8 Authentication credentials invalid";
}

void TestSettingsMails::testMailResult()
{
    QFETCH(QString, password);
    SmtpPeer peer;
    LiveSettings settings;
    settings.mail.addresses = QStringLiteral("owner@home.example;deputy@home.example");
    if (!password.isNull()) {
        QVERIFY(peer.startAiosmtpd({"--user", "owner", "--password", "s3cret ünd €"}));
        settings.mail.server = peer.server();
        settings.mail.from = QStringLiteral("kw@home.example");
        settings.mail.authenticate = true;
        settings.mail.username = QStringLiteral("owner");
        settings.mail.password = password;
    }
    const QString missing = SettingsMails::missingForTest(settings);
    if (!missing.isEmpty()) {
        QTEST(missing, "result");
        return;
    }
    SmtpClient mail(settings);
    QSignalSpy finished(&mail, &SmtpClient::mailFinished);
    // An alert queued first: the test mail's outcome is its own, not the one before it.
    mail.SendEmail(QStringLiteral("owner@home.example"), QStringLiteral("alert"), QStringLiteral("b"));
    const quint64 id = SettingsMails::sendTestEmail(mail, settings);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
    QCOMPARE(finished.at(1).at(1).toULongLong(), id);
    QTEST(SettingsMails::testResult(finished.at(1).at(0).toBool(), finished.at(1).at(2).toString()), "result");
    if (password != QLatin1String("wrong"))
        QVERIFY(peer.messages().at(1).endsWith("\r\n\r\nThis is a test email from Kestrelwatch\r\n\r\n\r\n"
                                               "Congratulations, your email settings are correct.\r\n\r\n\r\n"));
}

void TestSettingsMails::debugLogNeedsAnAddress()
{
    // As shipped there is no support address, and the dialog can say why it cannot send.
    IniFile::loadConfigSections(TestHome::sourceDir() + QStringLiteral("/share/Configs/Config.ini"));
    QCOMPARE(SettingsMails::supportAddress(), QString());
    QVERIFY(SettingsMails::supportUnavailable().contains(QStringLiteral("SupportAddress")));
    TestHome home;
    QFile ini(home.paths().configIni());
    QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write("[GENERAL]\r\nSupportAddress = help@vendor.example \r\n") > 0);
    ini.close();
    IniFile::loadConfigSections(home.paths().configIni());
    QCOMPARE(SettingsMails::supportAddress(), QStringLiteral("help@vendor.example"));
    QCOMPARE(SettingsMails::supportUnavailable(), QString());
    IniFile::clearConfigSections();
}

void TestSettingsMails::serverWithPort_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("proposed");
    const auto row = [](const char* name, const char* server, const char* security, const char* proposed) {
        QTest::newRow(name) << QString::fromUtf8(server) << QString::fromUtf8(security) << QString::fromUtf8(proposed);
    };
    row("host alone", "mail.example.net", "STARTTLS", "mail.example.net:587");
    row("port replaced", "mail.example.net:25", "TLS", "mail.example.net:465");
    row("back to plain", " 10.0.0.1:465 ", "None", "10.0.0.1:25");
    row("IPv6", "[2001:db8::1]:2525", "STARTTLS", "[2001:db8::1]:587");
    row("unreadable port", "mail.example.net:smtp", "TLS", "mail.example.net:465");
    row("empty stays empty", "", "TLS", "");
}

void TestSettingsMails::serverWithPort()
{
    QFETCH(QString, server);
    QFETCH(QString, security);
    QFETCH(QString, proposed);
    QCOMPARE(SettingsMails::serverWithPort(server, security), proposed);
    // What the dialog proposes is what the client connects to.
    const auto endpoint = SmtpClient::serverEndpoint(proposed);
    QVERIFY(proposed.isEmpty() || endpoint->port == SmtpClient::defaultPort(*SmtpClient::securityOf(security)));
}

void TestSettingsMails::storedMailSettings()
{
    TestHome home;
    auto hive = Hive::open(home.paths().hiveFile()).hive;
    KeyStore::attach(hive.get());
    LogCapture log;
    const auto load = [](const char* security, const QString& password) {
        if (security)
            writeSetting(QStringLiteral("EmailSecurity"), QString::fromLatin1(security));
        writeSetting(QStringLiteral("EmailPassword"), password);
        LiveSettings s;
        DeviceStore table;
        loadStore(s, table, QString(), OldDates::Keep);
        return s;
    };
    QCOMPARE(load(nullptr, QString()).mail.security, QStringLiteral("None")); // never chosen
    const LiveSettings s = load("starttls", Base64().Encodestring(QStringLiteral("naïve €")));
    QCOMPARE(s.mail.security, QStringLiteral("STARTTLS"));
    QCOMPARE(s.mail.password, QStringLiteral("naïve €"));
    QCOMPARE(load("SSL", QString()).mail.security, QStringLiteral("None"));
    QCOMPARE(log.lines(), QStringList {"loadStore - EmailSecurity \"SSL\" is not None, STARTTLS or TLS; None is used"});
    KeyStore::attach(nullptr);
}

KW_TEST_GUILESS_MAIN(TestSettingsMails)
#include "tst_settingsmails.moc"
