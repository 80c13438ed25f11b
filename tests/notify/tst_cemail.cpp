// CEmail against real peers: the stock aiosmtpd server (plain, STARTTLS, implicit TLS, good and bad
// certificates) and a scripted server that answers line by line or byte by byte, as real ones do.
#include "notify/CEmail.h"

#include "Skip.h"
#include "SmtpPeer.h"
#include "TestHome.h"
#include "store/Base64Class.h"
#include "store/LiveSettings.h"

#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QTest>

namespace {
const QString kFrom = QStringLiteral("kw@home.example");
const QString kUser = QStringLiteral("watcher@home.example");
// Outside Latin-1: the login travels as UTF-8.
const QString kPassword = QStringLiteral("Tr0ub4dor&3 €");
const QString kAnn = QStringLiteral("ann@x.example");
constexpr int kWait = 20000;

// The lines of a message that fails every attempt the same way; a line ending in "*" matches by prefix.
QStringList threeFailures(const QStringList& perAttempt)
{
    const QString resend = QStringLiteral("Resending Email to ann@x.example etc...");
    return perAttempt + QStringList {resend} + perAttempt + QStringList {resend} + perAttempt
        + QStringList {QStringLiteral("Failed to send email3 times. Dumping email")};
}

bool matches(const QString& line, const QString& expected)
{
    return expected.endsWith(QLatin1Char('*')) ? line.startsWith(expected.chopped(1)) : line == expected;
}

// "auth", "plain-only", "starttls:NAME", "smtps:NAME" become smtp_sink.py's options.
QStringList sinkOptions(const QString& setup)
{
    QStringList options;
    for (const QString& word : setup.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString name = word.section(QLatin1Char(':'), 1);
        if (word == QLatin1String("auth"))
            options << QStringLiteral("--user") << kUser << QStringLiteral("--password") << kPassword;
        else if (word == QLatin1String("plain-only"))
            options << QStringLiteral("--mechanisms") << QStringLiteral("PLAIN");
        else
            options << QStringLiteral("--") + word.section(QLatin1Char(':'), 0, 0)
                    << TestCertificates::certificate(name) << TestCertificates::key(name);
    }
    return options;
}

LiveSettings mailSettings(const QString& server, bool authenticate, const QString& security = QStringLiteral("None"))
{
    LiveSettings s;
    s.txtEmailServer = server;
    s.txtEmailFrom = kFrom;
    s.txtEmailAddresses = kAnn;
    s.chkEmailAuthenticate = authenticate ? 1 : 0;
    s.cboEmailSecurity = security;
    s.txtEmailUsername = kUser;
    s.txtEmailPassword = kPassword;
    return s;
}
} // namespace

class TestCEmail final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void replyChunking();
    void serverBehaviours_data();
    void serverBehaviours();
    void incompleteSettingsQueueNothing();
    void queueFillsWrapsAndFlows();
    void silentServerDropsThenNextStarts();
    void floodingServer();
    void loginNeverLogged();
};

void TestCEmail::initTestCase()
{
    pinTestEnvironment();
    QVERIFY2(!TestCertificates::caFile().isEmpty(), "openssl could not make the test certificates");
    qputenv("SSL_CERT_FILE", TestCertificates::caFile().toLocal8Bit());
    if (!QSslSocket::supportsSsl())
        KW_SKIP("Qt has no TLS backend here");
}

void TestCEmail::replyChunking()
{
    // Every way of cutting a multi-line reply: nothing is judged before its final line is whole.
    const QByteArray ehlo = "250-sink.example\r\n250-SIZE 33554432\r\n250-STARTTLS\r\n250 AUTH PLAIN login\r\n";
    for (qsizetype cut = 0; cut < ehlo.size(); ++cut)
        QVERIFY2(!SmtpReply::take(ehlo.first(cut)), qPrintable(QString::number(cut)));
    const auto whole = SmtpReply::take(ehlo + "221 later\r\n");
    QVERIFY(whole);
    QCOMPARE(whole->code, 250);
    QCOMPARE(whole->length, ehlo.size());
    QCOMPARE(whole->firstLine(), QStringLiteral("250-sink.example"));
    const SmtpReply::Extensions offered = SmtpReply::extensions(*whole);
    QVERIFY(offered.startTls);
    QCOMPARE(offered.authMechanisms, (QStringList {"PLAIN", "LOGIN"}));
    // Bare LF ends lines too; a line that is no reply at all is final and judged, code -1.
    QCOMPARE(SmtpReply::take("250-a\n250 b\n")->lines.size(), 2);
    QCOMPARE(SmtpReply::take("hello there\r\n")->code, -1);
    QCOMPARE(SmtpReply::take("250\r\n")->code, 250);
}

void TestCEmail::serverBehaviours_data()
{
    QTest::addColumn<QString>("peer"); // scripted, bytes (scripted, byte by byte), aiosmtpd, closed
    QTest::addColumn<QString>("setup"); // the scripted scenarios, or the aiosmtpd options
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("authenticate");
    QTest::addColumn<bool>("silent"); // the attempts end by time-out: Poll is driven
    QTest::addColumn<QStringList>("expectedLog");
    QTest::addColumn<bool>("sent");

    const QString none = QStringLiteral("None"), starttls = QStringLiteral("STARTTLS"), tls = QStringLiteral("TLS");
    const QString ehloTls = QStringLiteral(R"("ehlo": "250-fake.example\r\n250-STARTTLS\r\n250 HELP")");
    const QStringList ok;
    const auto add = [](const char* name, const QString& peer, const QString& setup, const QString& security, bool auth,
                         bool silent, const QStringList& log, bool sent) {
        QTest::newRow(name) << peer << setup << security << auth << silent << log << sent;
    };
    add("aiosmtpd plain, AUTH LOGIN", "aiosmtpd", "auth", none, true, false, ok, true);
    add("aiosmtpd plain, no login", "aiosmtpd", "", none, false, false, ok, true);
    add("aiosmtpd offers only AUTH PLAIN", "aiosmtpd", "auth plain-only", none, true, false, ok, true);
    add("aiosmtpd STARTTLS", "aiosmtpd", "auth starttls:valid", starttls, true, false, ok, true);
    add("aiosmtpd implicit TLS", "aiosmtpd", "auth smtps:valid", tls, true, false, ok, true);
    add("untrusted certificate", "aiosmtpd", "auth starttls:untrusted", starttls, true, false,
        threeFailures({"TLS failure with 127.0.0.1: untrusted certificate (*", "Socket Error"}), false);
    add("certificate for another name", "aiosmtpd", "smtps:wrongname", tls, false, false,
        threeFailures({"TLS failure with 127.0.0.1: host name mismatch (*", "Socket Error"}), false);
    add("expired certificate", "aiosmtpd", "auth starttls:expired", starttls, true, false,
        threeFailures({"TLS failure with 127.0.0.1: expired certificate (*", "Socket Error"}), false);
    add("STARTTLS chosen, not offered", "scripted", "[{}]", starttls, true, false,
        threeFailures({"TLS failure with 127.0.0.1: the server does not offer STARTTLS, and nothing is sent "
                       "unencrypted"}),
        false);
    add("STARTTLS refused", "scripted", "[{" + ehloTls + "}]", starttls, true, false,
        threeFailures({"Server error on STARTTLS. Reply > 454 4.7.0 TLS not available"}), false);
    add("TLS handshake never completes", "scripted", R"([{"greeting": null}])", tls, false, true,
        threeFailures({"TLS failure with 127.0.0.1: handshake timed out", "Mail Server Timeout"}), false);
    add("STARTTLS handshake never completes", "scripted",
        "[{" + ehloTls + R"(, "starttls": {"reply": "220 Go ahead", "hang": true}}])", starttls, false, true,
        threeFailures({"TLS failure with 127.0.0.1: handshake timed out", "Mail Server Timeout"}), false);
    add("nobody listens", "closed", "", none, false, false, threeFailures({"Socket Error"}), false);

    add("line by line, AUTH LOGIN", "scripted", "[{}]", none, true, false, ok, true);
    add("byte by byte, AUTH LOGIN", "bytes", "[{}]", none, true, false, ok, true);
    add("byte by byte, AUTH PLAIN", "bytes", R"([{"ehlo": "250-fake.example\r\n250 AUTH PLAIN"}])", none, true, false,
        ok, true);
    add("greeting refused", "bytes", R"([{"greeting": "554 5.3.2 No service"}])", none, false, false,
        threeFailures({"Server error on 220. Reply > 554 5.3.2 No service"}), false);
    add("garbled greeting", "scripted", R"([{"greeting": "hello there"}])", none, false, false,
        threeFailures({"Server error on 220. Reply > hello there"}), false);
    add("EHLO refused", "scripted", R"([{"ehlo": "502-5.5.1 EHLO\r\n502 5.5.1 not here"}])", none, false, false,
        threeFailures({"Server error on 250a. Reply > 502-5.5.1 EHLO"}), false);
    add("EHLO refused while authenticating", "scripted", R"([{"ehlo": "502 5.5.1 no"}])", none, true, false,
        threeFailures({"Server error on 250e. Reply > 502 5.5.1 no"}), false);
    add("AUTH LOGIN refused", "bytes", R"([{"auth": "504 5.5.4 Unrecognized"}])", none, true, false,
        threeFailures({"Server error on 334a. Reply > 504 5.5.4 Unrecognized"}), false);
    add("user name refused", "scripted", R"([{"user": "535 5.7.8 Bad user"}])", none, true, false,
        threeFailures({"Server error on 334u. Reply > 535 5.7.8 Bad user"}), false);
    add("wrong password at aiosmtpd", "aiosmtpd", "--user " + kUser + " --password other", none, true, false,
        threeFailures({"Server error on 250a. Reply > 535 5.7.8 Authentication credentials invalid"}), false);
    add("every recipient refused", "scripted", R"([{"rcpt": "550 5.1.1 unknown", "data": "554 5.5.1 none"}])", none,
        false, false,
        threeFailures({"Email Address Rejected > ann@x.example", "Server error on 354. Reply > 554 5.5.1 none"}),
        false);
    add("sender and recipient refused", "scripted", R"([{"mail": "553 5.7.1 no", "rcpt": "550 5.1.1 no"}])", none,
        false, false,
        threeFailures({"Email Address Rejected > kw@home.example", "Email Address Rejected > ann@x.example",
            "Server Rejected all email addresses"}),
        false);
    add("DATA deferred", "bytes", R"([{"data": "451 4.3.0 Try later"}])", none, false, false,
        threeFailures({"Server error on 354. Reply > 451 4.3.0 Try later"}), false);
    add("message refused", "scripted", R"([{"message": "552 5.3.4 Too big"}])", none, false, false,
        threeFailures({"Server error on 250d. Reply > 552 5.3.4 Too big"}), false);
    add("server closes during DATA", "scripted", R"([{"data": {"reply": "354 go", "close": true}}])", none, false,
        false, threeFailures({"Server connection lost"}), false);
    add("second attempt succeeds", "scripted", R"([{"greeting": "421 4.3.2 Busy"}, {}])", none, false, false,
        {"Server error on 220. Reply > 421 4.3.2 Busy", "Resending Email to ann@x.example etc..."}, true);
    add("250 answers QUIT", "bytes", R"([{"quit": "250 2.0.0 Ok"}])", none, false, false,
        {"Server error on 221. Reply > 250 2.0.0 Ok"}, true);
}

void TestCEmail::serverBehaviours()
{
    QFETCH(QString, peer);
    QFETCH(QString, setup);
    QFETCH(QString, security);
    QFETCH(bool, authenticate);
    QFETCH(bool, silent);
    QFETCH(QStringList, expectedLog);
    QFETCH(bool, sent);

    SmtpPeer server;
    QString address;
    if (peer == QLatin1String("closed")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        address = QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
    } else {
        QVERIFY(peer == QLatin1String("aiosmtpd") ? server.startAiosmtpd(
                    setup.startsWith(QLatin1String("--")) ? setup.split(QLatin1Char(' ')) : sinkOptions(setup))
                                                  : server.startScripted(setup, peer == QLatin1String("bytes")));
        address = server.server();
    }
    const LiveSettings settings = mailSettings(address, authenticate, security);
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    const quint64 id = mail.SendEmail(kAnn, QStringLiteral("Subject"), QStringLiteral("Body"));
    QCOMPARE(id, quint64(1));
    if (silent) {
        for (int attempt = 1; attempt <= CEmail::MaxAttempts; ++attempt) {
            QTRY_VERIFY(mail.handshaking());
            for (int i = 0; i < CEmail::TimeoutPolls; ++i)
                mail.Poll();
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);
    const QStringList lines = log.mailLines();
    QVERIFY2(finished.at(0).at(0).toBool() == sent, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(finished.at(0).at(1).toULongLong(), id);
    QVERIFY2(lines.size() == expectedLog.size(), qPrintable(lines.join(QLatin1Char('\n'))));
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(matches(lines.at(i), expectedLog.at(i)), qPrintable(lines.at(i)));
    // The reason given to the caller is what ended the last attempt; a TLS cause wins over its socket error.
    const QString cause = finished.at(0).at(2).toString();
    QCOMPARE(cause.isEmpty(), sent);
    if (!sent && expectedLog.first().startsWith(QLatin1String("TLS")))
        QVERIFY2(matches(cause, expectedLog.first()), qPrintable(cause));
    QVERIFY(mail.isIdle());

    // Never a login on a connection that encryption was chosen for and that is not encrypted.
    if (security != QLatin1String("None"))
        QCOMPARE(server.received().filter(QStringLiteral("AUTH")), QStringList());
    if (sent) {
        QTRY_COMPARE(server.messages().size(), 1);
        QVERIFY(server.messages().at(0).contains("\r\nSubject: Subject\r\n"));
        QVERIFY(server.messages().at(0).contains("\r\n\r\nBody\r\n"));
    }
    if (peer == QLatin1String("scripted") && sent && authenticate) {
        const Base64Class codec;
        QCOMPARE(server.received(),
            (QStringList {"EHLO kestrelwatch_MailServer", "AUTH LOGIN", codec.Encodestring(kUser),
                codec.Encodestring(kPassword), "MAIL FROM:<kw@home.example>", "RCPT TO:<ann@x.example>", "DATA",
                "QUIT"}));
    }
}

void TestCEmail::incompleteSettingsQueueNothing()
{
    for (const int blank : {0, 1, 2}) {
        LiveSettings settings = mailSettings(QStringLiteral("127.0.0.1"), false);
        (blank == 0 ? settings.txtEmailServer : settings.txtEmailFrom).clear();
        LogCapture log;
        CEmail mail(settings);
        QCOMPARE(mail.SendEmail(blank == 2 ? QString() : kAnn, QStringLiteral("s"), QStringLiteral("b")), quint64(0));
        QCOMPARE(mail.queuedCount(), 0);
        mail.Poll();
        QCOMPARE(log.lines(), QStringList());
    }
}

void TestCEmail::queueFillsWrapsAndFlows()
{
    SmtpPeer peer;
    QVERIFY(peer.startScripted());
    const LiveSettings settings = mailSettings(peer.server(), false);
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    // No event is handled in between: the first message is still connecting while 98 more wait.
    for (int i = 0; i < 99; ++i)
        mail.SendEmail(kAnn, QStringLiteral("Message %1").arg(i), QString());
    QCOMPARE(mail.queuedCount(), 99);
    QCOMPARE(mail.SendEmail(kAnn, QStringLiteral("one too many"), QString()), quint64(0));
    QCOMPARE(log.mailLines(), QStringList {QStringLiteral("Mail Que is full, dumping email")});

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 99, 90000);
    for (int i = 99; i < 120; ++i)
        mail.SendEmail(kAnn, QStringLiteral("Message %1").arg(i), QString());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 120, 60000);
    QCOMPARE(mail.readIndex(), 20);
    QCOMPARE(mail.writeIndex(), 20);
    QTRY_COMPARE(peer.messages().size(), 120);
    for (int i = 0; i < 120; ++i)
        QVERIFY2(peer.messages().at(i).contains(QStringLiteral("Subject: Message %1\r\n").arg(i).toUtf8()),
            qPrintable(QString::number(i)));
}

void TestCEmail::silentServerDropsThenNextStarts()
{
    SmtpPeer peer;
    QVERIFY(peer.startScripted(R"([{"greeting": null}])"));
    const LiveSettings settings = mailSettings(peer.server(), false);
    LogCapture log;
    CEmail mail(settings);
    mail.SendEmail(kAnn, QStringLiteral("first"), QStringLiteral("b"));
    mail.SendEmail(QStringLiteral("bob@y.example"), QStringLiteral("second"), QStringLiteral("b"));
    for (int attempt = 1; attempt <= 3; ++attempt) {
        QVERIFY(peer.waitFor(QStringLiteral("CONNECT %1").arg(attempt), 0));
        for (int i = 1; i < CEmail::TimeoutPolls; ++i)
            mail.Poll();
        QCOMPARE(log.mailLines().size(), (attempt - 1) * 2); // the counter is not reset by anything but a new attempt
        mail.Poll();
    }
    QCOMPARE(log.mailLines(), threeFailures({"Mail Server Timeout"}));
    QCOMPARE(mail.readIndex(), 1);
    QCOMPARE(mail.attemptCounter(), qint16(0));
    QVERIFY(peer.waitFor(QStringLiteral("CONNECT 4"), 0));
}

void TestCEmail::floodingServer()
{
    // Three attempts flood without ever ending a line; the next message finds a proper server.
    SmtpPeer peer;
    QVERIFY(peer.startScripted(R"([{"greeting": {"flood": true}}, {"greeting": {"flood": true}},
        {"greeting": {"flood": true}}, {}])"));
    const LiveSettings settings = mailSettings(peer.server(), false);
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    mail.SendEmail(kAnn, QStringLiteral("flooded"), QStringLiteral("b"));
    mail.SendEmail(kAnn, QStringLiteral("after"), QStringLiteral("b"));
    qsizetype largest = 0;
    QTRY_VERIFY_WITH_TIMEOUT((largest = qMax(largest, mail.replyBufferSize()), finished.count() == 2), 30000);
    QVERIFY(largest <= CEmail::MaxReply + 65536);
    QCOMPARE(log.mailLines(),
        threeFailures({"sktEmail_DataArrival - the server sent more than 8192 characters in one reply"}));
    QCOMPARE(finished.at(1).at(0).toBool(), true);
}

void TestCEmail::loginNeverLogged()
{
    // A server that quotes the credentials back in its refusals, as they came and decoded.
    SmtpPeer peer;
    QVERIFY(peer.startScripted(R"([{"ehlo": "250 AUTH PLAIN", "pass": "535 5.7.8 {line} rejected"},
        {"user": "334 {line}", "pass": "535 5.7.8 {decoded} rejected"}])"));
    const LiveSettings settings = mailSettings(peer.server(), true);
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    mail.SendEmail(kAnn, QStringLiteral("s"), QStringLiteral("b"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);
    const Base64Class codec;
    for (const QString& line : log.lines()) {
        QVERIFY2(!line.contains(kPassword), qPrintable(line));
        QVERIFY2(!line.contains(codec.Encodestring(kPassword)), qPrintable(line));
    }
    QVERIFY(log.mailLines().contains(QStringLiteral("Server error on 250a. Reply > 535 5.7.8 ******** rejected")));
}

KW_TEST_GUILESS_MAIN(TestCEmail)
#include "tst_cemail.moc"
