#include "notify/AlertMails.h"

#include "Devices.h"
#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"
#include "logging/DeviceLog.h"
#include "notify/CEmail.h"
#include "platform/Clock.h"
#include "store/DeviceTable.h"
#include "store/LiveSettings.h"

#include <QSignalSpy>
#include <QTest>

namespace {
const QString kMac = QStringLiteral("00-0C-41-A2-3B-7F");
const QString kHistory = QStringLiteral("12/4/2026 6:41:08 PM\t** WARNING - NEW DEVICE **\r\n"
                                        "12/4/2026 6:41:08 PM\tConnected ( 198.18.0.23 )\r\n");
const QString kLogHeader = QStringLiteral("\r\nLog File\r\n========\r\n");
} // namespace

class TestAlertMails final : public QObject
{
    Q_OBJECT

    ManualClock m_clock {QDateTime(QDate(2026, 12, 4), QTime(18, 41, 9))};
    TestHome m_home;
    LiveSettings m_settings;
    DeviceTable m_table;
    DeviceLog m_log {m_table, m_home.paths().devices()};
    CEmail m_mail {m_settings};
    QStringList m_lookups;
    AlertMails m_alerts {m_mail, m_table, m_log, m_settings, [this](const QString& mac) {
                             m_lookups << mac;
                             return mac == kMac ? QStringLiteral("Cisco-Linksys LLC") : QString();
                         }};

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init()
    {
        kwclock::install(&m_clock);
        m_settings.txtEmailFrom = QStringLiteral("kw@home.example");
        m_settings.txtEmailAddresses = QStringLiteral("owner@home.example");
        m_table = DeviceTable();
        m_table[appendDevice(m_table, kMac, QStringLiteral("198.18.0.23"))].LogText = kHistory;
        m_lookups.clear();
    }
    void cleanup() { kwclock::install(nullptr); }

    void bodies_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("friendlyName");
        QTest::addColumn<QString>("text"); // after the date line
        const QString fields =
            QStringLiteral("Host Name = Unknown Device\r\nIP Address = 198.18.0.23\r\n"
                           "MAC Address = 00-0C-41-A2-3B-7F\r\nMAC Manufacturer = Cisco-Linksys LLC\r\n");
        const QString online = "First Seen = 11/30/2026 7:05:00 AM\r\nLast Offline = 1/1/1980\r\n";
        // A friendly name never shows in the new-intruder mail.
        QTest::newRow("new intruder") << false << 0 << "Kitchen tablet" << fields + kLogHeader + kHistory;
        QTest::newRow("online, friendly name")
            << true << 0 << "Kitchen tablet"
            << QString(fields).insert(28, "Friendly Name = Kitchen tablet\r\n") + online + kLogHeader + kHistory;
        QTest::newRow("online, no friendly name") << true << 0 << "" << fields + online + kLogHeader + kHistory;
        QTest::newRow("slot past the end") << false << 1 << "" << kLogHeader;
        QTest::newRow("slot -1, online") << true << -1 << "" << kLogHeader;
    }

    void bodies()
    {
        QFETCH(bool, online);
        QFETCH(int, slot);
        QFETCH(QString, text);
        QFETCH(QString, friendlyName);
        m_table[0].FriendlyName = friendlyName;
        QCOMPARE(online ? m_alerts.onlineEmailBody(slot) : m_alerts.newEmailBody(slot),
            "Date/Time = 12/4/2026 6:41:09 PM\r\n" + text);
        QCOMPARE(m_lookups, slot ? QStringList() : QStringList {kMac});
    }

    void historyKeepsNewestHundredWithoutBlanks()
    {
        QString history, expected;
        for (int i = 1; i <= 150; ++i) {
            history += QStringLiteral("entry %1\r\n").arg(i) + (i == 120 ? QStringLiteral("\r\n") : QString());
            if (i > 51) // the blank line among the newest hundred is left out, so one more entry fits
                expected += QStringLiteral("entry %1\r\n").arg(i);
        }
        m_table[0].LogText = history;
        QVERIFY(m_alerts.newEmailBody(0).endsWith(kLogHeader + expected));
    }

    void mailsGoOutWithTheirSubjects()
    {
        SmtpPeer peer;
        QVERIFY(peer.startScripted());
        m_settings.txtEmailServer = peer.server();
        QSignalSpy finished(&m_mail, &CEmail::mailFinished);
        m_alerts.SendNewEmail(0);
        m_alerts.SendOnlineEmail(0);
        // A new device answering for the gateway: the new-intruder mail with its own subject.
        const QString newBody = m_alerts.newEmailBody(0), onlineBody = m_alerts.onlineEmailBody(0);
        m_alerts.SendNewEmail(0, true);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, 15000);
        const auto check = [&](int i, const char* subject, const QString& body) {
            QVERIFY(peer.messages().at(i).contains(QByteArray("\r\nTo: owner@home.example\r\nSubject: ") + subject));
            QVERIFY(peer.messages().at(i).endsWith("\r\n\r\n" + body.toUtf8() + "\r\n\r\n.\r\n"));
        };
        check(0, "URGENT: A New Device has been detected on your Wireless Network\r\n", newBody);
        check(1, "URGENT: An existing intruder is online on your Wireless Network\r\n", onlineBody);
        check(2, "URGENT: A device is impersonating your network gateway\r\n", newBody);
        m_settings.txtEmailServer.clear();
    }
};

KW_TEST_GUILESS_MAIN(TestAlertMails)
#include "tst_alertmails.moc"
