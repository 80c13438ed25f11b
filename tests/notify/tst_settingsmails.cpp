#include "notify/SettingsMails.h"

#include "SmtpPeer.h"
#include "logging/DebugLog.h"
#include "notify/CEmail.h"
#include "store/LiveSettings.h"
#include "store/modIniFileFunctions.h"
#include "tests/support/TestHome.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

class TestSettingsMails final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void cleanup() { modIniFileFunctions::clearConfigSections(); }

    void texts();
    void supportAddressFromConfig();
    void testEmailGoesToTheToAddresses();
    void debugLogGoesToSupport();
};

void TestSettingsMails::texts()
{
    QCOMPARE(SettingsMails::testSubject(), QStringLiteral("Kestrelwatch Test Email"));
    QCOMPARE(SettingsMails::testBody(),
        QStringLiteral("This is a test email from Kestrelwatch\r\n\r\n\r\n"
                       "Congratulations, your email settings are correct.\r\n"));
    QCOMPARE(SettingsMails::debugLogSubject(), QStringLiteral("Debug Log from Kestrelwatch - " KW_VERSION));
}

void TestSettingsMails::supportAddressFromConfig()
{
    QCOMPARE(SettingsMails::supportAddress(), QStringLiteral("support@brackmoor.example"));

    TestHome home;
    QFile ini(home.paths().configIni());
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[GENERAL]\r\nSupportAddress = help@vendor.example \r\n");
    ini.close();
    modIniFileFunctions::loadConfigSections(home.paths().configIni());
    QCOMPARE(SettingsMails::supportAddress(), QStringLiteral("help@vendor.example"));

    // The shipped Config.ini names the maker's address.
    modIniFileFunctions::loadConfigSections(TestHome::sourceDir() + QStringLiteral("/share/Configs/Config.ini"));
    QCOMPARE(SettingsMails::supportAddress(), QStringLiteral("support@brackmoor.example"));
}

void TestSettingsMails::testEmailGoesToTheToAddresses()
{
    SmtpPeer peer;
    QVERIFY(peer.startFake());
    LiveSettings settings;
    settings.txtEmailServer = peer.server();
    settings.txtEmailFrom = QStringLiteral("kw@home.example");
    settings.txtEmailAddresses = QStringLiteral("owner@home.example;deputy@home.example");
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    SettingsMails::sendTestEmail(mail, settings);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
    QTRY_COMPARE(peer.messages().size(), 1);
    QVERIFY(peer.messages().at(0).endsWith("To: owner@home.example;deputy@home.example\r\n"
                                           "Subject: Kestrelwatch Test Email\r\n\r\n"
                                           "This is a test email from Kestrelwatch\r\n\r\n\r\n"
                                           "Congratulations, your email settings are correct.\r\n\r\n\r\n.\r\n"));
    QCOMPARE(peer.received().filter(QStringLiteral("rcpt to:")),
        (QStringList {"rcpt to: <owner@home.example>", "rcpt to: <deputy@home.example>"}));
}

void TestSettingsMails::debugLogGoesToSupport()
{
    SmtpPeer peer;
    QVERIFY(peer.startFake());
    LiveSettings settings;
    settings.txtEmailServer = peer.server();
    settings.txtEmailFrom = QStringLiteral("kw@home.example");
    DebugLog debugLog(settings, QString());
    debugLog.Log(QStringLiteral("Load_Registry - first line"));
    debugLog.Log(QStringLiteral("CEmail:  Socket Error"));

    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    SettingsMails::sendDebugLog(mail, debugLog);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 15000);
    QTRY_COMPARE(peer.messages().size(), 1);
    QVERIFY(peer.messages().at(0).endsWith(("To: support@brackmoor.example\r\n"
                                            "Subject: Debug Log from Kestrelwatch - " KW_VERSION "\r\n\r\n"
        + debugLog.text() + "\r\n\r\n.\r\n")
                                               .toUtf8()));
    QCOMPARE(peer.received().filter(QStringLiteral("rcpt to:")),
        QStringList {QStringLiteral("rcpt to: <support@brackmoor.example>")});
}

QTEST_GUILESS_MAIN(TestSettingsMails)
#include "tst_settingsmails.moc"
