// CEmail against a real SMTP server (aiosmtpd) on loopback.
#include "notify/CEmail.h"

#include "SmtpPeer.h"
#include "platform/Clock.h"
#include "store/Base64Class.h"
#include "store/LiveSettings.h"
#include "tests/support/TestHome.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString kUser = QStringLiteral("watcher@home.example");
const QString kPassword = QStringLiteral("c0rrect horse");
constexpr int kWait = 20000;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject envelopeOf(const QString& emlPath)
{
    QString json = emlPath;
    json.replace(QStringLiteral(".eml"), QStringLiteral(".json"));
    return QJsonDocument::fromJson(readFile(json)).object();
}
} // namespace

class TestCEmailSmtp final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init();
    void cleanup();

    void mailArrives_data();
    void mailArrives();
    void wrongPasswordIsRetriedThenDropped();

private:
    ManualClock m_clock {QDateTime(QDate(2026, 12, 4), QTime(18, 41, 9))};
};

void TestCEmailSmtp::init()
{
    kwclock::install(&m_clock);
}

void TestCEmailSmtp::cleanup()
{
    kwclock::install(nullptr);
}

void TestCEmailSmtp::mailArrives_data()
{
    QTest::addColumn<bool>("authenticate");
    QTest::newRow("without authentication") << false;
    QTest::newRow("AUTH LOGIN") << true;
}

void TestCEmailSmtp::mailArrives()
{
    QFETCH(bool, authenticate);
    QTemporaryDir spool;
    SmtpPeer peer;
    QVERIFY(authenticate ? peer.startSink(spool.path(), kUser, kPassword) : peer.startSink(spool.path()));

    LiveSettings settings;
    settings.txtEmailServer = peer.server();
    settings.txtEmailFrom = QStringLiteral("kw@home.example");
    settings.chkEmailAuthenticate = authenticate ? 1 : 0;
    settings.txtEmailUsername = kUser;
    settings.txtEmailPassword = kPassword;
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);

    mail.SendEmail(QStringLiteral("ann@x.example; bob@y.example"), QStringLiteral("Kestrelwatch Test Email"),
        QStringLiteral("This is a test email from Kestrelwatch\r\n\r\n\r\n"
                       "Congratulations, your email settings are correct.\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(log.mailLines(), QStringList());

    QTRY_COMPARE(peer.messages().size(), 1);
    const QString eml = QString::fromUtf8(peer.messages().at(0));
    QCOMPARE(readFile(eml),
        QByteArray("From: kw@home.example\r\n"
                   "Date: Fri, 04 Dec 2026 18:41:09 +0000\r\n"
                   "X-Mailer: Brackmoor Kestrelwatch Mailer\r\n"
                   "To: ann@x.example; bob@y.example\r\n"
                   "Subject: Kestrelwatch Test Email\r\n"
                   "\r\n"
                   "This is a test email from Kestrelwatch\r\n\r\n\r\n"
                   "Congratulations, your email settings are correct.\r\n"
                   "\r\n\r\n"));
    const QJsonObject envelope = envelopeOf(eml);
    QCOMPARE(envelope.value(QStringLiteral("mail_from")).toString(), QStringLiteral("kw@home.example"));
    QCOMPARE(envelope.value(QStringLiteral("rcpt_tos")).toArray(),
        (QJsonArray {QStringLiteral("ann@x.example"), QStringLiteral("bob@y.example")}));
}

void TestCEmailSmtp::wrongPasswordIsRetriedThenDropped()
{
    QTemporaryDir spool;
    SmtpPeer peer;
    QVERIFY(peer.startSink(spool.path(), kUser, kPassword));

    LiveSettings settings;
    settings.txtEmailServer = peer.server();
    settings.txtEmailFrom = QStringLiteral("kw@home.example");
    settings.chkEmailAuthenticate = 1;
    settings.txtEmailUsername = kUser;
    settings.txtEmailPassword = QStringLiteral("hunter2 wrong");
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    mail.SendEmail(QStringLiteral("ann@x.example"), QStringLiteral("s"), QStringLiteral("b"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);
    QCOMPARE(finished.at(0).at(0).toBool(), false);

    const QString refused =
        QStringLiteral("Server error on 250a. Reply > 535 5.7.8 Authentication credentials invalid");
    const QString resend = QStringLiteral("Resending Email to ann@x.example etc...");
    QCOMPARE(log.mailLines(),
        (QStringList {
            refused, resend, refused, resend, refused, QStringLiteral("Failed to send email3 times. Dumping email")}));
    QCOMPARE(peer.messages().size(), 0);

    const QString encoded = Base64Class().Encodestring(settings.txtEmailPassword);
    for (const QString& line : log.lines()) {
        QVERIFY2(!line.contains(settings.txtEmailPassword), qPrintable(line));
        QVERIFY2(!line.contains(encoded), qPrintable(line));
    }
}

QTEST_GUILESS_MAIN(TestCEmailSmtp)
#include "tst_cemailsmtp.moc"
