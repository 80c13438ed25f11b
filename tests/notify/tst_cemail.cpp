#include "notify/CEmail.h"

#include "SmtpPeer.h"
#include "platform/Clock.h"
#include "store/Base64Class.h"
#include "store/LiveSettings.h"
#include "tests/support/TestHome.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {
const QString kFrom = QStringLiteral("kw@home.example");
const QString kUser = QStringLiteral("watcher");
const QString kPassword = QStringLiteral("Tr0ub4dor&3");
constexpr int kWait = 15000;

LiveSettings mailSettings(const QString& server, bool authenticate = false)
{
    LiveSettings s;
    s.txtEmailServer = server;
    s.txtEmailFrom = kFrom;
    s.txtEmailAddresses = QStringLiteral("ann@x.example");
    s.chkEmailAuthenticate = authenticate ? 1 : 0;
    s.txtEmailUsername = kUser;
    s.txtEmailPassword = kPassword;
    return s;
}

// What a message that fails every attempt with the same complaint leaves in the log.
QStringList threeFailures(
    const QStringList& perAttempt, const QString& firstRecipient = QStringLiteral("ann@x.example"))
{
    const QStringList resend {QStringLiteral("Resending Email to %1 etc...").arg(firstRecipient)};
    return perAttempt + resend + perAttempt + resend + perAttempt
        + QStringList {QStringLiteral("Failed to send email3 times. Dumping email")};
}

QString closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

void pollTimes(CEmail& mail, int times)
{
    for (int i = 0; i < times; ++i)
        mail.Poll();
}
} // namespace

class TestCEmail final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void judgeReply_data();
    void judgeReply();
    void replyLine();
    void dateHeader();
    void messageText();
    void serverEndpoint_data();
    void serverEndpoint();

    void incompleteSettingsQueueNothing_data();
    void incompleteSettingsQueueNothing();
    void fullQueueDropsTheHundredth();
    void queueWrapsAndMailFlows();

    void dialogue_data();
    void dialogue();
    void commandsAndHeaders();
    void authenticationDialogue();
    void greetingInPieces();
    void silentServerTimesOut();
    void refusedConnection();
    void floodingServer();
    void loginNeverLogged();
};

void TestCEmail::judgeReply_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<CEmail::Verdict>("verdict");

    using V = CEmail::Verdict;
    QTest::newRow("nothing yet") << 0 << QString() << V::Incomplete;
    QTest::newRow("two characters wait") << 0 << QStringLiteral("22") << V::Incomplete;
    QTest::newRow("greeting") << 0 << QStringLiteral("220") << V::Positive;
    QTest::newRow("greeting refused") << 0 << QStringLiteral("554 no") << V::Negative;
    QTest::newRow("any 2 passes EHLO") << 1 << QStringLiteral("235 2.7.0 ok") << V::Positive;
    QTest::newRow("EHLO refused") << 1 << QStringLiteral("502 no") << V::Negative;
    QTest::newRow("recipient refused") << 2 << QStringLiteral("550 5.1.1") << V::Negative;
    QTest::newRow("last recipient") << 3 << QStringLiteral("251 forward") << V::Positive;
    QTest::newRow("DATA wants 354") << 4 << QStringLiteral("354 go") << V::Positive;
    QTest::newRow("DATA with 250") << 4 << QStringLiteral("250 ok") << V::Negative;
    QTest::newRow("message taken") << 5 << QStringLiteral("250 queued") << V::Positive;
    QTest::newRow("QUIT wants 221") << 6 << QStringLiteral("221 bye") << V::Positive;
    QTest::newRow("QUIT with 250") << 6 << QStringLiteral("250 ok") << V::Negative;
    QTest::newRow("auth EHLO") << 7 << QStringLiteral("250-x") << V::Positive;
    QTest::newRow("user prompt") << 8 << QStringLiteral("334 VXNlcm5hbWU6") << V::Positive;
    QTest::newRow("no user prompt") << 8 << QStringLiteral("504 no") << V::Negative;
    QTest::newRow("3 is not 334") << 9 << QStringLiteral("335") << V::Negative;
    QTest::newRow("password prompt") << 9 << QStringLiteral("334") << V::Positive;
    QTest::newRow("state 10") << 10 << QStringLiteral("220") << V::UnknownState;
    QTest::newRow("state -1") << -1 << QStringLiteral("220") << V::UnknownState;
}

void TestCEmail::judgeReply()
{
    QFETCH(int, state);
    QFETCH(QString, buffer);
    QFETCH(CEmail::Verdict, verdict);
    QCOMPARE(CEmail::judgeReply(qint16(state), buffer), verdict);
}

void TestCEmail::replyLine()
{
    QCOMPARE(CEmail::replyLine(u"550 5.1.1 unknown\r\n250 later\r\n"), QStringLiteral("550 5.1.1 unknown"));
    QCOMPARE(CEmail::replyLine(u"554 no crlf yet"), QStringLiteral("554 no crlf yet"));
    QCOMPARE(CEmail::replyLine(u"\r\n"), QString());
}

void TestCEmail::dateHeader()
{
    const QDateTime friday(QDate(2026, 12, 4), QTime(18, 41, 9));
    QCOMPARE(CEmail::dateHeader(friday), QStringLiteral("Fri, 04 Dec 2026 18:41:09 +0000"));
    // The wall-clock time is labelled +0000 whatever the zone.
    const QDateTime eastern(QDate(2026, 1, 5), QTime(7, 3, 0), Qt::OffsetFromUTC, -5 * 3600);
    QCOMPARE(CEmail::dateHeader(eastern), QStringLiteral("Mon, 05 Jan 2026 07:03:00 +0000"));
}

void TestCEmail::messageText()
{
    const QDateTime when(QDate(2026, 12, 4), QTime(18, 41, 9));
    const QString text = CEmail::messageText(kFrom, when, QStringLiteral("ann@x.example; bob@y.example"),
        QStringLiteral("Hello"), QStringLiteral("one\r\n  two\n"));
    QCOMPARE(text,
        QStringLiteral("From: kw@home.example\r\n"
                       "Date: Fri, 04 Dec 2026 18:41:09 +0000\r\n"
                       "X-Mailer: Brackmoor Kestrelwatch Mailer\r\n"
                       "To: ann@x.example; bob@y.example\r\n"
                       "Subject: Hello\r\n"
                       "\r\n"
                       "one\r\n  two\n\r\n\r\n.\r\n"));
}

void TestCEmail::serverEndpoint_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("name") << "mail.example.net" << true << "mail.example.net" << 25;
    QTest::newRow("name and port") << "mail.example.net:587" << true << "mail.example.net" << 587;
    QTest::newRow("address and port") << "127.0.0.1:2525" << true << "127.0.0.1" << 2525;
    QTest::newRow("blanks around") << " 10.0.0.1 " << true << "10.0.0.1" << 25;
    QTest::newRow("bracketed v6 and port") << "[::1]:2525" << true << "::1" << 2525;
    QTest::newRow("bracketed v6") << "[::1]" << true << "::1" << 25;
    QTest::newRow("bare v6") << "2001:db8::1" << true << "2001:db8::1" << 25;
    QTest::newRow("port 0") << "host:0" << false << "" << 0;
    QTest::newRow("port too big") << "host:70000" << false << "" << 0;
    QTest::newRow("port not a number") << "host:smtp" << false << "" << 0;
    QTest::newRow("empty port") << "host:" << false << "" << 0;
    QTest::newRow("unclosed bracket") << "[::1:25" << false << "" << 0;
}

void TestCEmail::serverEndpoint()
{
    QFETCH(QString, setting);
    QFETCH(bool, valid);
    const auto endpoint = CEmail::serverEndpoint(setting);
    QCOMPARE(endpoint.has_value(), valid);
    if (valid) {
        QTEST(endpoint->host, "host");
        QTEST(int(endpoint->port), "port");
    }
}

void TestCEmail::incompleteSettingsQueueNothing_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("recipients");
    QTest::newRow("no server") << ""
                               << "kw@home.example"
                               << "ann@x.example";
    QTest::newRow("no sender") << "127.0.0.1"
                               << ""
                               << "ann@x.example";
    QTest::newRow("no recipients") << "127.0.0.1"
                                   << "kw@home.example"
                                   << "";
}

void TestCEmail::incompleteSettingsQueueNothing()
{
    QFETCH(QString, server);
    QFETCH(QString, from);
    QFETCH(QString, recipients);
    LiveSettings settings = mailSettings(server);
    settings.txtEmailFrom = from;
    LogCapture log;
    CEmail mail(settings);
    mail.SendEmail(recipients, QStringLiteral("s"), QStringLiteral("b"));
    QCOMPARE(mail.queuedCount(), 0);
    QCOMPARE(mail.writeIndex(), 0);
    QVERIFY(mail.isIdle());
    mail.Poll();
    QTest::qWait(50);
    QCOMPARE(log.lines(), QStringList());
}

void TestCEmail::fullQueueDropsTheHundredth()
{
    const LiveSettings settings = mailSettings(closedPort());
    LogCapture log;
    CEmail mail(settings);
    // No event is handled in between, so the first message is still connecting while the rest wait.
    for (int i = 0; i < 99; ++i)
        mail.SendEmail(QStringLiteral("ann@x.example"), QString::number(i), QStringLiteral("b"));
    QCOMPARE(mail.queuedCount(), 99);
    QCOMPARE(mail.writeIndex(), 99);
    QCOMPARE(log.mailLines(), QStringList());

    mail.SendEmail(QStringLiteral("ann@x.example"), QStringLiteral("100"), QStringLiteral("b"));
    QCOMPARE(mail.queuedCount(), 99);
    QCOMPARE(mail.writeIndex(), 99);
    QCOMPARE(log.mailLines(), QStringList {QStringLiteral("Mail Que is full, dumping email")});
}

void TestCEmail::queueWrapsAndMailFlows()
{
    SmtpPeer peer;
    QVERIFY(peer.startFake());
    const LiveSettings settings = mailSettings(peer.server());
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);

    int total = 0;
    for (int batch = 0; batch < 3; ++batch) {
        for (int i = 0; i < 40; ++i, ++total)
            mail.SendEmail(QStringLiteral("ann@x.example"), QStringLiteral("Message %1").arg(total), QString());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), total, 60000);
    }
    QCOMPARE(mail.writeIndex(), 20);
    QCOMPARE(mail.readIndex(), 20);
    QVERIFY(mail.isIdle());
    QCOMPARE(log.mailLines(), QStringList());
    QTRY_COMPARE(peer.messages().size(), total);
    for (int i = 0; i < total; ++i)
        QVERIFY2(peer.messages().at(i).contains(QStringLiteral("\r\nSubject: Message %1\r\n").arg(i).toUtf8()),
            qPrintable(QString::number(i)));
    for (const QVariantList& args : finished)
        QCOMPARE(args.at(0).toBool(), true);
}

void TestCEmail::dialogue_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("authenticate");
    QTest::addColumn<QString>("recipients");
    QTest::addColumn<QStringList>("expectedLog");
    QTest::addColumn<bool>("sent");

    const QString ann = QStringLiteral("ann@x.example");
    const QString three = QStringLiteral("ann@x.example;bob@y.example;cy@z.example");
    QTest::newRow("greeting refused") << R"([{"greeting": "554 5.3.2 No service"}])" << false << ann
                                      << threeFailures({"Server error on 220. Reply > 554 5.3.2 No service"}) << false;
    QTest::newRow("refusal without CR LF quoted whole")
        << R"([{"greeting": {"pieces": [["421 closing down", 0]]}}])" << false << ann
        << threeFailures({"Server error on 220. Reply > 421 closing down"}) << false;
    QTest::newRow("EHLO refused") << R"([{"ehlo": "502 5.5.1 EHLO not implemented"}])" << false << ann
                                  << threeFailures({"Server error on 250a. Reply > 502 5.5.1 EHLO not implemented"})
                                  << false;
    QTest::newRow("EHLO refused while authenticating")
        << R"([{"ehlo": "502 5.5.1 EHLO not implemented"}])" << true << ann
        << threeFailures({"Server error on 250e. Reply > 502 5.5.1 EHLO not implemented"}) << false;
    QTest::newRow("AUTH LOGIN without 334")
        << R"([{"auth": "504 5.5.4 Unrecognized authentication type"}])" << true << ann
        << threeFailures({"Server error on 334a. Reply > 504 5.5.4 Unrecognized authentication type"}) << false;
    QTest::newRow("user name without 334")
        << R"([{"user": "535 5.7.8 Bad user"}])" << true << ann
        << threeFailures({"Server error on 334u. Reply > 535 5.7.8 Bad user"}) << false;
    QTest::newRow("password refused")
        << R"([{"pass": "535 5.7.8 Authentication credentials invalid"}])" << true << ann
        << threeFailures({"Server error on 250a. Reply > 535 5.7.8 Authentication credentials invalid"}) << false;
    QTest::newRow("every recipient refused, sender accepted")
        << R"([{"rcpt": "550 5.1.1 User unknown", "data": "554 5.5.1 Error: no valid recipients"}])" << false << ann
        << threeFailures({"Email Address Rejected > ann@x.example",
               "Server error on 354. Reply > 554 5.5.1 Error: no valid recipients"})
        << false;
    QTest::newRow("sender and every recipient refused")
        << R"([{"mail": "553 5.7.1 Sender rejected", "rcpt": "550 5.1.1 User unknown"}])" << false << ann
        << threeFailures({"Email Address Rejected > kw@home.example", "Email Address Rejected > ann@x.example",
               "Server Rejected all email addresses"})
        << false;
    QTest::newRow("DATA refused") << R"([{"data": "451 4.3.0 Try again later"}])" << false << ann
                                  << threeFailures({"Server error on 354. Reply > 451 4.3.0 Try again later"}) << false;
    QTest::newRow("message refused") << R"([{"message": "552 5.3.4 Message too big"}])" << false << ann
                                     << threeFailures({"Server error on 250d. Reply > 552 5.3.4 Message too big"})
                                     << false;
    QTest::newRow("server closes mid-dialogue")
        << R"([{"mail": {"close": true}}])" << false << ann << threeFailures({"Server connection lost"}) << false;
    QTest::newRow("second attempt succeeds")
        << R"([{"greeting": "421 4.3.2 Busy"}, {}])" << false << ann
        << QStringList {"Server error on 220. Reply > 421 4.3.2 Busy", "Resending Email to ann@x.example etc..."}
        << true;
    QTest::newRow("one recipient refused among accepted")
        << R"([{"rcpt": ["250 2.1.5 Ok", "550 5.1.1 <bob@y.example>: unknown", "250 2.1.5 Ok"]}])" << false << three
        << QStringList {"Email Address Rejected > bob@y.example"} << true;
    QTest::newRow("last recipient refused") << R"([{"rcpt": ["250 2.1.5 Ok", "550 5.1.1 unknown"]}])" << false
                                            << QStringLiteral("ann@x.example; bob@y.example")
                                            << QStringList {"Email Address Rejected > bob@y.example"} << true;
    QTest::newRow("250 answers QUIT") << R"([{"quit": "250 2.0.0 Ok"}])" << false << ann
                                      << QStringList {"Server error on 221. Reply > 250 2.0.0 Ok"} << true;
    QTest::newRow("all well with authentication") << "[{}]" << true << ann << QStringList() << true;
}

void TestCEmail::dialogue()
{
    QFETCH(QString, scenario);
    QFETCH(bool, authenticate);
    QFETCH(QString, recipients);
    QFETCH(QStringList, expectedLog);
    QFETCH(bool, sent);

    SmtpPeer peer;
    QVERIFY(peer.startFake(scenario));
    const LiveSettings settings = mailSettings(peer.server(), authenticate);
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    mail.SendEmail(recipients, QStringLiteral("Subject"), QStringLiteral("Body"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);
    QCOMPARE(finished.at(0).at(0).toBool(), sent);
    QCOMPARE(log.mailLines(), expectedLog);
    QVERIFY(mail.isIdle());
    QCOMPARE(mail.queuedCount(), 0);
    if (sent) {
        QTRY_COMPARE(peer.messages().size(), 1);
        QVERIFY(peer.messages().at(0).contains(("To: " + recipients + "\r\n").toUtf8()));
    } else {
        QTRY_COMPARE(peer.connections(), 3);
    }
}

void TestCEmail::commandsAndHeaders()
{
    SmtpPeer peer;
    QVERIFY(peer.startFake());
    ManualClock clock(QDateTime(QDate(2026, 12, 4), QTime(18, 41, 9)));
    kwclock::install(&clock);
    const LiveSettings settings = mailSettings(peer.server());
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    mail.SendEmail(QStringLiteral("ann@x.example; bob@y.example"), QStringLiteral("Hello"),
        QStringLiteral("line one\r\n.line two"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);
    kwclock::install(nullptr);

    QCOMPARE(peer.received(),
        (QStringList {"EHLO kestrelwatch_MailServer", "mail from: <kw@home.example>", "rcpt to: <ann@x.example>",
            "rcpt to: <bob@y.example>", "data", "quit"}));
    QTRY_COMPARE(peer.messages().size(), 1);
    QCOMPARE(peer.messages().at(0),
        QByteArray("From: kw@home.example\r\n"
                   "Date: Fri, 04 Dec 2026 18:41:09 +0000\r\n"
                   "X-Mailer: Brackmoor Kestrelwatch Mailer\r\n"
                   "To: ann@x.example; bob@y.example\r\n"
                   "Subject: Hello\r\n"
                   "\r\n"
                   "line one\r\n.line two\r\n\r\n.\r\n"));
}

void TestCEmail::authenticationDialogue()
{
    SmtpPeer peer;
    QVERIFY(peer.startFake());
    const LiveSettings settings = mailSettings(peer.server(), true);
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    mail.SendEmail(QStringLiteral("ann@x.example"), QStringLiteral("s"), QStringLiteral("b"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);
    const Base64Class codec;
    QCOMPARE(peer.received(),
        (QStringList {"EHLO kestrelwatch_MailServer", "auth login", codec.Encodestring(kUser),
            codec.Encodestring(kPassword), "mail from: <kw@home.example>", "rcpt to: <ann@x.example>", "data",
            "quit"}));
}

void TestCEmail::greetingInPieces()
{
    SmtpPeer peer;
    QVERIFY(peer.startFake(R"([{"greeting": {"pieces": [["2", 0.5], ["2", 0.5], ["0 fake ready\r\n", 0]]}}])"));
    const LiveSettings settings = mailSettings(peer.server());
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    mail.SendEmail(QStringLiteral("ann@x.example"), QStringLiteral("s"), QStringLiteral("b"));
    QTRY_COMPARE(mail.replyBufferSize(), 1);
    QCOMPARE(mail.protocolState(), qint16(CEmail::Greeting));
    QTRY_COMPARE(mail.replyBufferSize(), 2);
    QCOMPARE(mail.protocolState(), qint16(CEmail::Greeting));
    QCOMPARE(peer.received(), QStringList());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(log.mailLines(), QStringList());
}

void TestCEmail::silentServerTimesOut()
{
    SmtpPeer peer;
    QVERIFY(peer.startFake(R"([{"greeting": null}])"));
    const LiveSettings settings = mailSettings(peer.server());
    LogCapture log;
    CEmail mail(settings);
    mail.SendEmail(QStringLiteral("ann@x.example"), QStringLiteral("first"), QStringLiteral("b"));
    mail.SendEmail(QStringLiteral("bob@y.example"), QStringLiteral("second"), QStringLiteral("b"));

    const QStringList timeoutAndResend {"Mail Server Timeout", "Resending Email to ann@x.example etc..."};
    for (int attempt = 1; attempt <= 3; ++attempt) {
        QTRY_COMPARE(peer.connections(), attempt);
        pollTimes(mail, CEmail::TimeoutPolls - 1);
        QCOMPARE(log.mailLines().size(), (attempt - 1) * 2);
        QCOMPARE(mail.activityCounter(), qint16(CEmail::TimeoutPolls - 1));
        mail.Poll();
    }
    const QStringList dropped {"Mail Server Timeout", "Failed to send email3 times. Dumping email"};
    QCOMPARE(log.mailLines(), timeoutAndResend + timeoutAndResend + dropped);
    // The second message starts at once, on a fresh attempt.
    QCOMPARE(mail.readIndex(), 1);
    QCOMPARE(mail.activityCounter(), qint16(0));
    QCOMPARE(mail.attemptCounter(), qint16(0));
    QTRY_COMPARE(peer.connections(), 4);
}

void TestCEmail::refusedConnection()
{
    const LiveSettings settings = mailSettings(closedPort());
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    mail.SendEmail(QStringLiteral("ann@x.example"), QStringLiteral("s"), QStringLiteral("b"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(log.mailLines(), threeFailures({"Socket Error"}));
}

void TestCEmail::floodingServer()
{
    // Three connections flood, the fourth is a proper server: the flooded message is dropped, the next goes.
    const QString flood = R"({"greeting": {"flood": "x", "prefix": "2", "pause": 0.5}})";
    SmtpPeer peer;
    QVERIFY(peer.startFake(QStringLiteral("[%1, %1, %1, {}]").arg(flood)));
    const LiveSettings settings = mailSettings(peer.server());
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    mail.SendEmail(QStringLiteral("ann@x.example"), QStringLiteral("flooded"), QStringLiteral("b"));
    mail.SendEmail(QStringLiteral("bob@y.example"), QStringLiteral("after"), QStringLiteral("b"));
    qsizetype largestBuffer = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        (largestBuffer = qMax(largestBuffer, mail.replyBufferSize()), finished.count() == 2), 30000);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(finished.at(1).at(0).toBool(), true);
    QVERIFY(largestBuffer <= CEmail::MaxReply);

    const QStringList lines = log.mailLines();
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.last(), QStringLiteral("Failed to send email3 times. Dumping email"));
    for (int i : {0, 2, 4}) {
        // However the flood is cut into reads, the attempt ends on a bounded line.
        const bool tooLong = lines.at(i)
            == QStringLiteral("sktEmail_DataArrival - the server sent more than 8192 "
                              "characters in one reply");
        const bool refused = lines.at(i).startsWith(QStringLiteral("Server error on 250a. Reply > 2xxx"))
            || lines.at(i).startsWith(QStringLiteral("Server error on 250a. Reply > xxx"));
        QVERIFY2(tooLong || refused, qPrintable(lines.at(i).left(100)));
        QVERIFY(lines.at(i).size() <= CEmail::MaxReply + 64);
    }
    QTRY_COMPARE(peer.messages().size(), 1);
    QVERIFY(peer.messages().at(0).contains("Subject: after\r\n"));
}

void TestCEmail::loginNeverLogged()
{
    // A server that quotes the credentials back, encoded and decoded, in its refusals.
    SmtpPeer peer;
    QVERIFY(peer.startFake(
        R"([{"user": "334 {line}", "pass": "535 5.7.8 {line} ({decoded}) rejected"}, {"user": "535 5.7.8 {line} no"}])"));
    const LiveSettings settings = mailSettings(peer.server(), true);
    LogCapture log;
    CEmail mail(settings);
    QSignalSpy finished(&mail, &CEmail::mailFinished);
    mail.SendEmail(QStringLiteral("ann@x.example"), QStringLiteral("s"), QStringLiteral("b"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWait);

    const QString encoded = Base64Class().Encodestring(kPassword);
    QCOMPARE(log.mailLines().first(),
        QStringLiteral("Server error on 250a. Reply > 535 5.7.8 ******** (********) rejected"));
    for (const QString& line : log.lines()) {
        QVERIFY2(!line.contains(kPassword), qPrintable(line));
        QVERIFY2(!line.contains(encoded), qPrintable(line));
    }
}

QTEST_GUILESS_MAIN(TestCEmail)
#include "tst_cemail.moc"
