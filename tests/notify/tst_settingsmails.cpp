// The settings dialog's two mails and the mail settings as the store holds them: what a test mail says,
// where the debug log goes, and the encryption setting.
#include "notify/SettingsMails.h"

#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"
#include "logging/DebugLog.h"
#include "notify/CEmail.h"
#include "platform/DebugSink.h"
#include "platform/Hive.h"
#include "store/Base64Class.h"
#include "store/DeviceTable.h"
#include "store/LiveSettings.h"
#include "store/Settings.h"
#include "store/modIniFileFunctions.h"
#include "store/modRegistry.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

class TestSettingsMails final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void cleanup() { modIniFileFunctions::clearConfigSections(); }

    void testMailNamesWhatIsMissing();
    void testMailResultIsTheServersAnswer_data();
    void testMailResultIsTheServersAnswer();
    void debugLogNeedsAnAddress();
    void serverWithPort_data();
    void serverWithPort();
    void storedMailSettings();
};

void TestSettingsMails::testMailNamesWhatIsMissing()
{
    LiveSettings s;
    QCOMPARE(SettingsMails::missingForTest(s),
        QStringLiteral("No test email was sent: enter the SMTP server, the \"TO\" addresses and the \"FROM\" "
                       "address first."));
    s.txtEmailServer = QStringLiteral("mail.example.net");
    s.txtEmailAddresses = QStringLiteral("owner@home.example");
    QCOMPARE(
        SettingsMails::missingForTest(s), QStringLiteral("No test email was sent: enter the \"FROM\" address first."));
    s.txtEmailFrom = QStringLiteral("kw@home.example");
    QCOMPARE(SettingsMails::missingForTest(s), QString());
}

void TestSettingsMails::testMailResultIsTheServersAnswer_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("result");
    QTest::newRow("accepted") << "s3cret ünd €"
                              << "Message Sent";
    QTest::newRow("login refused") << "wrong"
                                   << "The test email was not sent: Server error on 250a. Reply > 535 5.7.8 "
                                      "Authentication credentials invalid";
}

void TestSettingsMails::testMailResultIsTheServersAnswer()
{
    QFETCH(QString, password);
    QFETCH(QString, result);
    SmtpPeer peer;
    QVERIFY(peer.startAiosmtpd({QStringLiteral("--user"), QStringLiteral("owner"), QStringLiteral("--password"),
        QStringLiteral("s3cret ünd €")}));
    LiveSettings settings;
    settings.txtEmailServer = peer.server();
    settings.txtEmailFrom = QStringLiteral("kw@home.example");
    settings.txtEmailAddresses = QStringLiteral("owner@home.example;deputy@home.example");
    settings.chkEmailAuthenticate = 1;
    settings.txtEmailUsername = QStringLiteral("owner");
    settings.txtEmailPassword = password;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    // An alert queued first: the test mail's answer is its own, not the one before it.
    mail.SendEmail(QStringLiteral("owner@home.example"), QStringLiteral("alert"), QStringLiteral("b"));
    const quint64 id = SettingsMails::sendTestEmail(mail, settings);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
    QCOMPARE(finished.at(1).at(1).toULongLong(), id);
    QCOMPARE(SettingsMails::testResult(finished.at(1).at(0).toBool(), finished.at(1).at(2).toString()), result);
    if (result == QLatin1String("Message Sent")) {
        QCOMPARE(peer.messages().size(), 2);
        QVERIFY(peer.messages().at(1).contains("\r\nTo: owner@home.example;deputy@home.example\r\n"
                                               "Subject: Kestrelwatch Test Email\r\n"));
        QVERIFY(peer.messages().at(1).endsWith("\r\n\r\nThis is a test email from Kestrelwatch\r\n\r\n\r\n"
                                               "Congratulations, your email settings are correct.\r\n\r\n\r\n"));
        QVERIFY(peer.envelope(1).contains(R"("rcpt_tos": ["owner@home.example", "deputy@home.example"])"));
    }
}

void TestSettingsMails::debugLogNeedsAnAddress()
{
    // As shipped there is no support address, and the dialog says why it cannot send.
    modIniFileFunctions::loadConfigSections(TestHome::sourceDir() + QStringLiteral("/share/Configs/Config.ini"));
    QCOMPARE(SettingsMails::supportAddress(), QString());
    QVERIFY(SettingsMails::supportUnavailable().contains(QStringLiteral("SupportAddress")));

    TestHome home;
    QFile ini(home.paths().configIni());
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[GENERAL]\r\nSupportAddress = help@vendor.example \r\n");
    ini.close();
    modIniFileFunctions::loadConfigSections(home.paths().configIni());
    QCOMPARE(SettingsMails::supportUnavailable(), QString());

    SmtpPeer peer;
    QVERIFY(peer.startScripted());
    LiveSettings settings;
    settings.txtEmailServer = peer.server();
    settings.txtEmailFrom = QStringLiteral("kw@home.example");
    DebugLog debugLog(settings, QString());
    debugLog.Log(QStringLiteral("CEmail:  Socket Error"));
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    QVERIFY(SettingsMails::sendDebugLog(mail, debugLog) != 0);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
    QCOMPARE(peer.received().filter(QStringLiteral("RCPT")), QStringList {"RCPT TO:<help@vendor.example>"});
    QVERIFY(peer.messages().at(0).contains("\r\nSubject: Debug Log from Kestrelwatch - " KW_VERSION "\r\n"));
    QVERIFY(peer.messages().at(0).contains(debugLog.text().toUtf8()));
}

void TestSettingsMails::serverWithPort_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("proposed");
    QTest::newRow("host alone") << "mail.example.net"
                                << "STARTTLS"
                                << "mail.example.net:587";
    QTest::newRow("port replaced") << "mail.example.net:25"
                                   << "TLS"
                                   << "mail.example.net:465";
    QTest::newRow("back to plain") << " 10.0.0.1:465 "
                                   << "None"
                                   << "10.0.0.1:25";
    QTest::newRow("IPv6") << "[2001:db8::1]:2525"
                          << "STARTTLS"
                          << "[2001:db8::1]:587";
    QTest::newRow("unreadable port") << "mail.example.net:smtp"
                                     << "TLS"
                                     << "mail.example.net:465";
    QTest::newRow("empty stays empty") << ""
                                       << "TLS"
                                       << "";
}

void TestSettingsMails::serverWithPort()
{
    QFETCH(QString, server);
    QFETCH(QString, security);
    QTEST(SettingsMails::serverWithPort(server, security), "proposed");
    // What the dialog proposes is what the client connects to.
    if (!server.isEmpty()) {
        const auto endpoint = CEmail::serverEndpoint(SettingsMails::serverWithPort(server, security));
        QVERIFY(endpoint);
        QCOMPARE(endpoint->port, CEmail::defaultPort(*CEmail::securityOf(security)));
    }
}

void TestSettingsMails::storedMailSettings()
{
    TestHome home;
    auto hive = Hive::open(home.paths().hiveFile()).hive;
    modRegistry::attach(hive.get());
    QStringList log;
    installLogSink([&log](const QString& line) { log << line; });
    const auto load = [](const QString& security, const QString& password) {
        if (!security.isNull())
            writeSetting(QStringLiteral("EmailSecurity"), security);
        writeSetting(QStringLiteral("EmailPassword"), password);
        LiveSettings s;
        DeviceTable table;
        Load_Registry(s, table, QString(), {});
        return s;
    };
    LiveSettings s = load(QStringLiteral("starttls"), Base64Class().Encodestring(QStringLiteral("naïve €")));
    QCOMPARE(s.cboEmailSecurity, QStringLiteral("STARTTLS"));
    QCOMPARE(s.txtEmailPassword, QStringLiteral("naïve €"));
    // A password stored in the older Latin-1 form, and a security text nobody knows.
    s = load(QStringLiteral("SSL"), QStringLiteral("bmHvdmU="));
    QCOMPARE(s.txtEmailPassword, QStringLiteral("naïve"));
    QCOMPARE(s.cboEmailSecurity, QStringLiteral("None"));
    QCOMPARE(log.filter(QStringLiteral("EmailSecurity")),
        QStringList {"Load_Registry - EmailSecurity \"SSL\" is not None, STARTTLS or TLS; None is used"});
    modRegistry::DeleteValue(modRegistry::ProductKey, Keys::General, QStringLiteral("EmailSecurity"));
    QCOMPARE(load(QString(), QString()).cboEmailSecurity, QStringLiteral("None"));
    installLogSink({});
    modRegistry::attach(nullptr);
}

KW_TEST_GUILESS_MAIN(TestSettingsMails)
#include "tst_settingsmails.moc"
