#include "notify/AlertMails.h"

#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"
#include "logging/DeviceLog.h"
#include "notify/CEmail.h"
#include "platform/Clock.h"
#include "store/DeviceTable.h"
#include "store/LiveSettings.h"
#include "store/TextForms.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {
const QString kMac = QStringLiteral("00-0C-41-A2-3B-7F");
const QString kHeader = QStringLiteral("\r\nLog File\r\n========\r\n");
} // namespace

class TestAlertMails final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init();
    void cleanup();

    void newIntruderBody();
    void onlineBody_data();
    void onlineBody();
    void historyKeepsNewestHundredWithoutBlanks();
    void slotOutsideTheTable();
    void mailsGoOutWithTheirSubjects();

private:
    ManualClock m_clock {QDateTime(QDate(2026, 12, 4), QTime(18, 41, 9))};
    std::unique_ptr<TestHome> m_home;
    LiveSettings m_settings;
    DeviceTable m_table;
    std::unique_ptr<DeviceLog> m_log;
    std::unique_ptr<CEmail> m_mail;
    std::unique_ptr<AlertMails> m_alerts;
    QStringList m_lookups;
};

void TestAlertMails::init()
{
    kwclock::install(&m_clock);
    m_home = std::make_unique<TestHome>();
    m_settings = LiveSettings();
    m_settings.txtEmailFrom = QStringLiteral("kw@home.example");
    m_settings.txtEmailAddresses = QStringLiteral("owner@home.example");
    m_table = DeviceTable();
    m_table.ResizeDeviceTable(1);
    m_table.DeviceCount = 1;
    DeviceRecord& d = m_table[0];
    d.MacAddress = kMac;
    d.IpAddress = QStringLiteral("198.18.0.23");
    d.HostName = QStringLiteral("Unknown Device");
    d.FirstSeen = QDateTime(QDate(2026, 11, 30), QTime(7, 5, 0));
    d.LastOffline = TextForms::NeverDate();
    d.LogText = QStringLiteral("12/4/2026 6:41:08 PM\t** WARNING - NEW DEVICE **\r\n"
                               "12/4/2026 6:41:08 PM\tConnected ( 198.18.0.23 )\r\n");
    m_table.macChanged();
    m_log = std::make_unique<DeviceLog>(m_table, m_home->paths().devices());
    m_mail = std::make_unique<CEmail>(m_settings);
    m_lookups.clear();
    m_alerts = std::make_unique<AlertMails>(*m_mail, m_table, *m_log, m_settings, [this](const QString& mac) {
        m_lookups << mac;
        return mac == kMac ? QStringLiteral("Cisco-Linksys LLC") : QString();
    });
}

void TestAlertMails::cleanup()
{
    m_alerts.reset();
    m_mail.reset();
    m_log.reset();
    m_home.reset();
    kwclock::install(nullptr);
}

void TestAlertMails::newIntruderBody()
{
    QCOMPARE(m_alerts->newEmailBody(0),
        QStringLiteral("Date/Time = 12/4/2026 6:41:09 PM\r\n"
                       "Host Name = Unknown Device\r\n"
                       "IP Address = 198.18.0.23\r\n"
                       "MAC Address = 00-0C-41-A2-3B-7F\r\n"
                       "MAC Manufacturer = Cisco-Linksys LLC\r\n"
                       "\r\n"
                       "Log File\r\n"
                       "========\r\n"
                       "12/4/2026 6:41:08 PM\t** WARNING - NEW DEVICE **\r\n"
                       "12/4/2026 6:41:08 PM\tConnected ( 198.18.0.23 )\r\n"));
    QCOMPARE(m_lookups, QStringList {kMac});
    // A friendly name never shows in the new-intruder mail.
    m_table[0].FriendlyName = QStringLiteral("Kitchen tablet");
    QVERIFY(!m_alerts->newEmailBody(0).contains(QStringLiteral("Friendly Name")));
}

void TestAlertMails::onlineBody_data()
{
    QTest::addColumn<QString>("friendlyName");
    QTest::addColumn<QString>("friendlyLine");
    QTest::newRow("with friendly name") << "Kitchen tablet"
                                        << "Friendly Name = Kitchen tablet\r\n";
    QTest::newRow("without friendly name") << ""
                                           << "";
}

void TestAlertMails::onlineBody()
{
    QFETCH(QString, friendlyName);
    QFETCH(QString, friendlyLine);
    m_table[0].HostName = QStringLiteral("tablet.lan");
    m_table[0].FriendlyName = friendlyName;
    QCOMPARE(m_alerts->onlineEmailBody(0),
        QStringLiteral("Date/Time = 12/4/2026 6:41:09 PM\r\n"
                       "Host Name = tablet.lan\r\n")
            + friendlyLine
            + QStringLiteral("IP Address = 198.18.0.23\r\n"
                             "MAC Address = 00-0C-41-A2-3B-7F\r\n"
                             "MAC Manufacturer = Cisco-Linksys LLC\r\n"
                             "First Seen = 11/30/2026 7:05:00 AM\r\n"
                             "Last Offline = 1/1/1980\r\n"
                             "\r\n"
                             "Log File\r\n"
                             "========\r\n"
                             "12/4/2026 6:41:08 PM\t** WARNING - NEW DEVICE **\r\n"
                             "12/4/2026 6:41:08 PM\tConnected ( 198.18.0.23 )\r\n"));
}

void TestAlertMails::historyKeepsNewestHundredWithoutBlanks()
{
    QString history;
    QString expected;
    for (int i = 1; i <= 150; ++i) {
        history += QStringLiteral("entry %1\r\n").arg(i);
        if (i == 120)
            history += QStringLiteral("\r\n"); // a blank line among the newest hundred
        if (i > 51)
            expected += QStringLiteral("entry %1\r\n").arg(i);
    }
    m_table[0].LogText = history;
    const QString body = m_alerts->newEmailBody(0);
    QVERIFY(body.endsWith(kHeader + expected));
}

void TestAlertMails::slotOutsideTheTable()
{
    const QString bare = QStringLiteral("Date/Time = 12/4/2026 6:41:09 PM\r\n") + kHeader;
    QCOMPARE(m_alerts->newEmailBody(1), bare);
    QCOMPARE(m_alerts->onlineEmailBody(-1), bare);
    QCOMPARE(m_lookups, QStringList());
}

void TestAlertMails::mailsGoOutWithTheirSubjects()
{
    SmtpPeer peer;
    QVERIFY(peer.startScripted());
    m_settings.txtEmailServer = peer.server();
    QSignalSpy finished(m_mail.get(), &CEmail::mailFinished);
    m_alerts->SendNewEmail(0);
    m_alerts->SendOnlineEmail(0);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 15000);
    QCOMPARE(peer.messages().size(), 2);

    const QByteArray to = "\r\nTo: owner@home.example\r\n";
    const QByteArray newMail = peer.messages().at(0);
    QVERIFY(newMail.contains(to + "Subject: URGENT: A New Device has been detected on your Wireless Network\r\n"));
    QVERIFY(newMail.endsWith("\r\n\r\n" + m_alerts->newEmailBody(0).toUtf8() + "\r\n\r\n.\r\n"));
    const QByteArray onlineMail = peer.messages().at(1);
    QVERIFY(onlineMail.contains(to + "Subject: URGENT: An existing intruder is online on your Wireless Network\r\n"));
    QVERIFY(onlineMail.endsWith("\r\n\r\n" + m_alerts->onlineEmailBody(0).toUtf8() + "\r\n\r\n.\r\n"));
    QCOMPARE(
        peer.received().filter(QStringLiteral("RCPT")), QStringList(2, QStringLiteral("RCPT TO:<owner@home.example>")));
}

KW_TEST_GUILESS_MAIN(TestAlertMails)
#include "tst_alertmails.moc"
