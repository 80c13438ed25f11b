// SmtpClient against the stock aiosmtpd server and a scripted server that answers line by line or byte by byte.
#include "notify/SmtpClient.h"

#include "LogCapture.h"
#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"
#include "store/Base64.h"
#include "store/LiveSettings.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QTest>

namespace {
const QString kUser = QStringLiteral("watcher@home.example");
const QString kPassword = QStringLiteral("Tr0ub4dor&3 €"); // outside Latin-1: the login travels as UTF-8
const QString kAnn = QStringLiteral("ann@x.example");
const QString kTag = QStringLiteral("SmtpClient:  ");
const QString kDropped = QStringLiteral("Failed to send email3 times. Dumping email");

// The lines of a message that fails every attempt the same way; a line ending in "*" matches by prefix.
QStringList threeFailures(const QStringList& perAttempt)
{
    const QStringList resend {QStringLiteral("Resending Email to ann@x.example etc...")};
    return perAttempt + resend + perAttempt + resend + perAttempt + QStringList {kDropped};
}

// Waits in an event loop that wakes on each socket event until the spy holds count signals. QTRY_ sleeps 10 ms
// between its looks, and each of a mail's eight round trips waited for one: 80 ms a mail, mostly asleep.
bool waitForCount(QSignalSpy& spy, int count, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (spy.count() < count && !deadline.hasExpired())
        spy.wait(int(std::max<qint64>(1, deadline.remainingTime())));
    return spy.count() >= count;
}

bool matches(const QString& line, const QString& expected)
{
    return expected.endsWith(QLatin1Char('*')) ? line.startsWith(expected.chopped(1)) : line == expected;
}

// "aiosmtpd" with words for smtp_sink.py (auth, plain-only, starttls:CERT, smtps:CERT, "--" options), or
// "scripted"/"bytes" with fake_smtp.py's scenarios.
bool startPeer(SmtpPeer& peer, const QString& words)
{
    const QString kind = words.section(QLatin1Char(' '), 0, 0), rest = words.section(QLatin1Char(' '), 1);
    if (kind != QLatin1String("aiosmtpd"))
        return peer.startScripted(rest, kind == QLatin1String("bytes"));
    QStringList options;
    for (const QString& word : rest.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (word == QLatin1String("auth"))
            options << QStringLiteral("--user") << kUser << QStringLiteral("--password") << kPassword;
        else if (word == QLatin1String("plain-only"))
            options << QStringLiteral("--mechanisms") << QStringLiteral("PLAIN");
        else if (word.contains(QLatin1Char(':')))
            options << TestCertificates::serverOptions("--" + word.section(':', 0, 0), word.section(':', 1));
        else
            options << word;
    }
    return peer.startAiosmtpd(options);
}

// settings: the security ("None", "STARTTLS", "TLS"), and "auth" when the server wants a login.
LiveSettings mailSettings(const QString& server, const QString& settings = QStringLiteral("None"))
{
    LiveSettings s;
    s.mail.server = server;
    s.mail.from = QStringLiteral("kw@home.example");
    s.mail.security = settings.section(QLatin1Char(' '), 0, 0);
    s.mail.authenticate = settings.contains(QLatin1String("auth")) ? 1 : 0;
    s.mail.username = kUser;
    s.mail.password = kPassword;
    return s;
}
} // namespace

class TestCEmail final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void serverBehaviours_data();
    void serverBehaviours();
    void queueFillsWrapsAndFlows();
};

void TestCEmail::initTestCase()
{
    pinTestEnvironment();
    QVERIFY2(!TestCertificates::caFile().isEmpty(), "openssl could not make the test certificates");
    qputenv("SSL_CERT_FILE", TestCertificates::caFile().toLocal8Bit());
    if (!QSslSocket::supportsSsl())
        KW_SKIP("Qt has no TLS backend here");
}

void TestCEmail::serverBehaviours_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QStringList>("expectedLog"); // a message is sent unless it ends dropped
    const auto sends = [](const char* name, const QString& peer, const char* settings, const QStringList& log = {}) {
        QTest::newRow(name) << peer << QString::fromLatin1(settings) << log;
    };
    const auto fails = [](const char* name, const QString& peer, const char* settings, const QStringList& attempt) {
        QTest::newRow(name) << peer << QString::fromLatin1(settings) << threeFailures(attempt);
    };
    const QString tlsEhlo = QStringLiteral(R"("ehlo": "250-fake.example\r\n250-STARTTLS\r\n250 HELP")");
    const QString tls = QStringLiteral("TLS failure with 127.0.0.1: ");
    const QStringList timeout {tls + "handshake timed out", "Mail Server Timeout"};

    sends("aiosmtpd, plain AUTH LOGIN", "aiosmtpd auth", "None auth");
    sends("aiosmtpd offers only PLAIN", "aiosmtpd auth plain-only", "None auth");
    sends("aiosmtpd STARTTLS", "aiosmtpd auth starttls:valid", "STARTTLS auth");
    sends("aiosmtpd implicit TLS", "aiosmtpd auth smtps:valid", "TLS auth");
    fails("untrusted certificate", "aiosmtpd auth starttls:untrusted", "STARTTLS auth",
        {tls + "untrusted certificate (*", "Socket Error"});
    fails("certificate for another name", "aiosmtpd smtps:wrongname", "TLS",
        {tls + "host name mismatch (*", "Socket Error"});
    fails("expired certificate", "aiosmtpd auth starttls:expired", "STARTTLS auth",
        {tls + "expired certificate (*", "Socket Error"});
    fails("STARTTLS chosen, not offered", "scripted [{}]", "STARTTLS auth",
        {tls + "the server does not offer STARTTLS, and nothing is sent unencrypted"});
    fails("STARTTLS refused", "scripted [{" + tlsEhlo + "}]", "STARTTLS auth",
        {"Server error on STARTTLS. Reply > 454 4.7.0 TLS not available"});
    fails("TLS handshake never completes", R"(scripted [{"greeting": null}])", "TLS", timeout);
    fails("STARTTLS handshake never completes",
        "scripted [{" + tlsEhlo + R"(, "starttls": {"reply": "220 Go ahead", "hang": true}}])", "STARTTLS", timeout);
    fails("nobody listens", "closed", "None", {"Socket Error"});
    // Hostile servers: endless or huge replies are cut at MaxReply, a reply cut off midway ends the attempt.
    const QString tooLong =
        QStringLiteral("sktEmail_DataArrival - the server sent more than 8192 characters in one reply");
    fails("endless reply", R"(scripted [{"greeting": {"flood": true}}])", "None", {tooLong});
    fails("endless lines of one reply", R"(scripted [{"ehlo": {"lines": true}}])", "None", {tooLong});
    fails("a line of 1 MB", R"(scripted [{"greeting": {"big": 1048576}}])", "None", {tooLong});
    fails("stops mid-reply", R"(scripted [{"ehlo": {"partial": "250-fake.example\r\n250-SIZE"}}])", "None",
        {"Server connection lost"});
    // The server quotes the login back, as it came and decoded: the log never shows it.
    fails("login quoted back, LOGIN", R"(scripted [{"user": "334 {line}", "pass": "535 5.7.8 {decoded} no"}])",
        "None auth", {"Server error on 250a. Reply > 535 5.7.8 ******** no"});
    fails("login quoted back, PLAIN",
        R"(scripted [{"ehlo": "250-x\r\n250 AUTH PLAIN", "pass": "535 5.7.8 {line} no"}])", "None auth",
        {"Server error on 250a. Reply > 535 5.7.8 AUTH PLAIN ******** no"});

    sends("line by line, AUTH LOGIN", "scripted [{}]", "None auth");
    sends("byte by byte, AUTH LOGIN", "bytes [{}]", "None auth");
    fails("greeting refused", R"(bytes [{"greeting": "554 5.3.2 No service"}])", "None",
        {"Server error on 220. Reply > 554 5.3.2 No service"});
    fails("garbled greeting", R"(scripted [{"greeting": "hello there"}])", "None",
        {"Server error on 220. Reply > hello there"});
    fails("EHLO refused", R"(scripted [{"ehlo": "502-5.5.1 EHLO\r\n502 5.5.1 not here"}])", "None",
        {"Server error on 250a. Reply > 502-5.5.1 EHLO"});
    fails("EHLO refused, login wanted", R"(scripted [{"ehlo": "502 5.5.1 no"}])", "None auth",
        {"Server error on 250e. Reply > 502 5.5.1 no"});
    fails("AUTH LOGIN refused", R"(bytes [{"auth": "504 5.5.4 Unrecognized"}])", "None auth",
        {"Server error on 334a. Reply > 504 5.5.4 Unrecognized"});
    fails("user name refused", R"(scripted [{"user": "535 5.7.8 Bad user"}])", "None auth",
        {"Server error on 334u. Reply > 535 5.7.8 Bad user"});
    fails("wrong password at aiosmtpd", "aiosmtpd --user " + kUser + " --password other", "None auth",
        {"Server error on 250a. Reply > 535 5.7.8 Authentication credentials invalid"});
    fails("every recipient refused", R"(scripted [{"rcpt": "550 5.1.1 unknown", "data": "554 5.5.1 none"}])", "None",
        {"Email Address Rejected > ann@x.example", "Server error on 354. Reply > 554 5.5.1 none"});
    fails("sender and recipient refused", R"(scripted [{"mail": "553 5.7.1 no", "rcpt": "550 5.1.1 no"}])", "None",
        {"Email Address Rejected > kw@home.example", "Email Address Rejected > ann@x.example",
            "Server Rejected all email addresses"});
    fails("DATA deferred", R"(bytes [{"data": "451 4.3.0 Try later"}])", "None",
        {"Server error on 354. Reply > 451 4.3.0 Try later"});
    fails("message refused", R"(scripted [{"message": "552 5.3.4 Too big"}])", "None",
        {"Server error on 250d. Reply > 552 5.3.4 Too big"});
    fails("server closes during DATA", R"(scripted [{"data": {"reply": "354 go", "close": true}}])", "None",
        {"Server connection lost"});
    sends("second attempt succeeds", R"(scripted [{"greeting": "421 4.3.2 Busy"}, {}])", "None",
        {"Server error on 220. Reply > 421 4.3.2 Busy", "Resending Email to ann@x.example etc..."});
    sends("250 answers QUIT", R"(bytes [{"quit": "250 2.0.0 Ok"}])", "None",
        {"Server error on 221. Reply > 250 2.0.0 Ok"});
}

void TestCEmail::serverBehaviours()
{
    QFETCH(QString, peer);
    QFETCH(QString, settings);
    QFETCH(QStringList, expectedLog);
    const bool sent = !expectedLog.contains(kDropped);
    SmtpPeer server;
    QTcpServer probe; // a port where nobody listens
    QVERIFY(peer == QLatin1String("closed") ? probe.listen(QHostAddress::LocalHost) : startPeer(server, peer));
    const LiveSettings live = mailSettings(
        probe.isListening() ? QStringLiteral("127.0.0.1:%1").arg(probe.serverPort()) : server.server(), settings);
    probe.close();
    LogCapture log;
    SmtpClient mail(live);
    QSignalSpy finished(&mail, &SmtpClient::mailFinished);
    const quint64 id = mail.SendEmail(kAnn, QStringLiteral("Subject"), QStringLiteral("Body"));
    if (expectedLog.contains(QStringLiteral("Mail Server Timeout"))) {
        for (int attempt = 1; attempt <= SmtpClient::MaxAttempts; ++attempt) {
            QTRY_VERIFY(mail.handshaking());
            for (int i = 0; i < SmtpClient::TimeoutPolls; ++i)
                mail.Poll();
        }
    }
    QVERIFY(waitForCount(finished, 1, 20000));
    QCOMPARE(finished.count(), 1);
    const QStringList lines = log.tagged(kTag);
    QVERIFY2(lines.size() == expectedLog.size() && finished.at(0).at(0).toBool() == sent,
        qPrintable(lines.join(QLatin1Char('\n'))));
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(matches(lines.at(i), expectedLog.at(i)), qPrintable(lines.at(i)));
    for (const QString& line : log.lines())
        QVERIFY2(!line.contains(kPassword) && !line.contains(Base64().Encodestring(kPassword)), qPrintable(line));
    // The caller learns what ended the message's last attempt; a TLS cause wins over its socket error.
    QCOMPARE(finished.at(0).at(1).toULongLong(), id);
    const QString cause = finished.at(0).at(2).toString();
    QCOMPARE(cause.isEmpty(), sent);
    if (!sent && expectedLog.first().startsWith(QLatin1String("TLS")))
        QVERIFY2(matches(cause, expectedLog.first()), qPrintable(cause));

    // No login on a connection that was to be encrypted and is not.
    if (!settings.startsWith(QLatin1String("None")))
        QCOMPARE(server.received().filter(QStringLiteral("AUTH")), QStringList());
    if (sent) {
        QTRY_COMPARE(server.messages().size(), 1);
        QVERIFY(server.messages().at(0).contains("\r\nSubject: Subject\r\n"));
        QVERIFY(server.messages().at(0).contains("\r\n\r\nBody\r\n"));
    }
    if (peer == QLatin1String("scripted [{}]") && sent) {
        const Base64 codec;
        QCOMPARE(server.received(),
            (QStringList {"EHLO kestrelwatch_MailServer", "AUTH LOGIN", codec.Encodestring(kUser),
                codec.Encodestring(kPassword), "MAIL FROM:<kw@home.example>", "RCPT TO:<ann@x.example>", "DATA",
                "QUIT"}));
    }
}

void TestCEmail::queueFillsWrapsAndFlows()
{
    SmtpPeer peer;
    QVERIFY(peer.startScripted());
    const LiveSettings settings = mailSettings(peer.server());
    LogCapture log;
    SmtpClient mail(settings);
    QSignalSpy finished(&mail, &SmtpClient::mailFinished);
    QCOMPARE(
        SmtpClient(mailSettings(QString())).SendEmail(kAnn, QStringLiteral("s"), QString()), quint64(0)); // no server
    // No event is handled in between: the first message is still connecting while 98 more wait.
    for (int i = 0; i < 99; ++i)
        mail.SendEmail(kAnn, QStringLiteral("Message %1").arg(i), QString());
    QCOMPARE(mail.SendEmail(kAnn, QStringLiteral("one too many"), QString()), quint64(0));
    QCOMPARE(log.tagged(kTag), QStringList {QStringLiteral("Mail Que is full, dumping email")});
    QVERIFY2(waitForCount(finished, 99, 90000), qPrintable(QString::number(finished.count())));
    for (int i = 99; i < 120; ++i)
        mail.SendEmail(kAnn, QStringLiteral("Message %1").arg(i), QString());
    QVERIFY2(waitForCount(finished, 120, 60000), qPrintable(QString::number(finished.count())));
    QCOMPARE(mail.readIndex(), 20);
    QCOMPARE(mail.writeIndex(), 20);
    QCOMPARE(peer.messages().size(), 120);
    for (int i = 0; i < 120; ++i)
        QVERIFY(peer.messages().at(i).contains(QStringLiteral("Subject: Message %1\r\n").arg(i).toUtf8()));
}

KW_TEST_GUILESS_MAIN(TestCEmail)
#include "tst_smtpclient.moc"
