#include "notify/AlertMails.h"
#include "notify/AlertNameWait.h"

#include "Devices.h"
#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"
#include "logging/DeviceLog.h"
#include "notify/SmtpClient.h"
#include "platform/Clock.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"

#include <QDir>
#include <QFile>
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
    DeviceStore m_table;
    DeviceLog m_log {m_table, m_home.paths().devices()};
    SmtpClient m_mail {m_settings};
    QStringList m_lookups;
    AlertMails m_alerts {m_mail, m_table, m_log, m_settings, [this](const QString& mac) {
                             m_lookups << mac;
                             return mac == kMac ? QStringLiteral("Cisco-Linksys LLC") : QString();
                         }};

    void setHistory(const QString& mac, const QString& text)
    {
        QDir().mkpath(m_home.paths().devices());
        QFile f(m_log.fileFor(mac));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) == text.toUtf8().size());
    }

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init()
    {
        kwclock::install(&m_clock);
        m_settings.mail.from = QStringLiteral("kw@home.example");
        m_settings.mail.addresses = QStringLiteral("owner@home.example");
        m_table.clear();
        appendDevice(m_table, kMac, QStringLiteral("198.18.0.23"));
        setHistory(kMac, kHistory);
        m_lookups.clear();
    }
    void cleanup() { kwclock::install(nullptr); }

    void bodies_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<bool>("known");
        QTest::addColumn<QString>("friendlyName");
        QTest::addColumn<QString>("text"); // after the date line
        const QString fields =
            QStringLiteral("Host Name = Unknown Device\r\nIP Address = 198.18.0.23\r\n"
                           "MAC Address = 00-0C-41-A2-3B-7F\r\nMAC Manufacturer = Cisco-Linksys LLC\r\n");
        const QString online = "First Seen = 11/30/2026 7:05:00 AM\r\nLast Offline = 1/1/1980\r\n";
        // A friendly name never shows in the new-intruder mail.
        QTest::newRow("new intruder") << false << true << "Kitchen tablet" << fields + kLogHeader + kHistory;
        QTest::newRow("online, friendly name")
            << true << true << "Kitchen tablet"
            << QString(fields).insert(28, "Friendly Name = Kitchen tablet\r\n") + online + kLogHeader + kHistory;
        QTest::newRow("online, no friendly name") << true << true << "" << fields + online + kLogHeader + kHistory;
        QTest::newRow("a device gone meanwhile") << false << false << "" << kLogHeader;
        QTest::newRow("a device gone meanwhile, online") << true << false << "" << kLogHeader;
    }

    void bodies()
    {
        QFETCH(bool, online);
        QFETCH(bool, known);
        QFETCH(QString, text);
        QFETCH(QString, friendlyName);
        nth(m_table, 0).FriendlyName = friendlyName;
        const QString mac = known ? kMac : QStringLiteral("02-00-00-00-00-99");
        QCOMPARE(online ? m_alerts.onlineEmailBody(mac) : m_alerts.newEmailBody(mac),
            "Date/Time = 12/4/2026 6:41:09 PM\r\n" + text);
        QCOMPARE(m_lookups, known ? QStringList {kMac} : QStringList());
    }

    // What the device is, and whom it is likely, follow the manufacturer in both mails.
    void whatTheDeviceIs()
    {
        DeviceRecord& earlier =
            appendDevice(m_table, QStringLiteral("02-00-00-00-00-0A"), QStringLiteral("198.18.0.9"));
        earlier.FriendlyName = QStringLiteral("Anna's phone");
        DeviceRecord& d = *m_table.find(kMac);
        std::tie(d.Type, d.TypeSource, d.Os, d.OsSource, d.LikelyReturnOf) = std::tuple(
            DeviceType::Phone, FactSource::Dhcp, QStringLiteral("Android"), FactSource::Dhcp, earlier.MacAddress);
        const QString facts = "MAC Manufacturer = Cisco-Linksys LLC\r\nDevice = Unknown Android phone, probably Anna's "
                              "phone, with a new private address\r\nType = phone (from DHCP)\r\nOS = Android (from "
                              "DHCP)\r\n";
        QVERIFY2(m_alerts.newEmailBody(kMac).contains(facts), qPrintable(m_alerts.newEmailBody(kMac)));
        QVERIFY(m_alerts.onlineEmailBody(kMac).contains(facts + "First Seen = "));
    }

    void historyKeepsNewestHundredWithoutBlanks()
    {
        QString history, expected;
        for (int i = 1; i <= 150; ++i) {
            history += QStringLiteral("entry %1\r\n").arg(i) + (i == 120 ? QStringLiteral("\r\n") : QString());
            if (i > 51) // the blank line among the newest hundred is left out, so one more entry fits
                expected += QStringLiteral("entry %1\r\n").arg(i);
        }
        setHistory(kMac, history);
        QVERIFY(m_alerts.newEmailBody(kMac).endsWith(kLogHeader + expected));
    }

    // Mail and notification wait for the device's name, at most 3 s. Steps: "+MS" moves the clock and ticks,
    // "name" gives the waiting device (B) a host name with its event, "ended" ends its lookup without one,
    // "remove A" removes another device; "storm" and "hold" raise alerts (for B). Out: "MS:B" or "MS:storm".
    void nameWait_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("ready");
        const QStringList held {"hold"};
        QTest::newRow("the name comes after 1 s: at once")
            << held + QStringList {"+1000", "name"} << QStringList {"1000:B"};
        QTest::newRow("no name: after 3 s") << held + QStringList {"+2800", "+199", "+1"} << QStringList {"3000:B"};
        QTest::newRow("the lookup ends without a name")
            << held + QStringList {"+400", "ended", "+200"} << QStringList {"600:B"};
        QTest::newRow("named already") << QStringList {"name", "hold"} << QStringList {"0:B"};
        QTest::newRow("a storm digest names no device") << QStringList {"storm"} << QStringList {"0:storm"};
        QTest::newRow("another device's removal leaves it waiting")
            << held + QStringList {"+500", "remove A", "+500", "name"} << QStringList {"1000:B"};
        QTest::newRow("its own removal lets it go") << held + QStringList {"+500", "remove B"} << QStringList {"500:B"};
    }

    void nameWait()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, ready);
        const QDateTime start = m_clock.now();
        const QString b = QStringLiteral("02-00-00-00-00-0B");
        appendDevice(m_table, b, QStringLiteral("198.18.0.24")).NameLookupPending = true;
        AlertNameWait wait(m_table);
        QStringList out;
        connect(&wait, &AlertNameWait::ready, this, [&](const Alert& a) {
            out << QStringLiteral("%1:%2").arg(start.msecsTo(m_clock.now())).arg(a.mac.isEmpty() ? "storm" : "B");
        });
        for (const QString& step : steps) {
            DeviceEvent e;
            e.kind = step == QLatin1String("name") ? DeviceEvent::Kind::NameChanged : DeviceEvent::Kind::Removed;
            Alert a;
            a.kind = step == QLatin1String("storm") ? Alert::Kind::Storm : Alert::Kind::NewIntruder;
            if (a.kind != Alert::Kind::Storm)
                a.mac = b;
            if (step.startsWith(QLatin1Char('+'))) {
                m_clock.advanceMSecs(step.mid(1).toInt());
                wait.tick();
            } else if (step == QLatin1String("name") || step.startsWith(QLatin1String("remove"))) {
                if (e.kind == DeviceEvent::Kind::Removed)
                    m_table.remove(step.endsWith(QLatin1Char('A')) ? kMac : b);
                else
                    m_table.find(b)->HostName = QStringLiteral("pixel.lan");
                wait.deviceEvent(e);
            } else if (step == QLatin1String("ended")) {
                m_table.find(b)->NameLookupPending = false;
            } else {
                wait.hold(a);
            }
        }
        QCOMPARE(out, ready);
        QCOMPARE(wait.waiting(), 0);
    }

    void mailsGoOutWithTheirSubjects()
    {
        SmtpPeer peer;
        QVERIFY(peer.startScripted());
        m_settings.mail.server = peer.server();
        QSignalSpy finished(&m_mail, &SmtpClient::mailFinished);
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
        check(0, "URGENT: A New Device has been detected on your network\r\n", newBody);
        check(1, "URGENT: An existing intruder is online on your network\r\n", onlineBody);
        check(2, "URGENT: A device is impersonating your network gateway\r\n", newBody);
        m_settings.mail.server.clear();
    }
};

KW_TEST_GUILESS_MAIN(TestAlertMails)
#include "tst_alertmails.moc"
