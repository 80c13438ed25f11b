#include "notify/MailText.h"
#include "notify/SmtpReply.h"

#include "Skip.h"
#include "TestHome.h"
#include "store/Base64.h"

#include <QRegularExpression>
#include <QTest>

class TestSmtpText final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void wholeReplies()
    {
        // Every way of cutting a multi-line reply: nothing is judged before its final line is whole.
        const QByteArray ehlo = "250-sink.example\r\n250-SIZE 33554432\r\n250-STARTTLS\r\n250 AUTH PLAIN login\r\n";
        for (qsizetype cut = 0; cut < ehlo.size(); ++cut)
            QVERIFY2(!SmtpReply::take(ehlo.first(cut)), qPrintable(QString::number(cut)));
        const auto whole = SmtpReply::take(ehlo + "221 later\r\n");
        QVERIFY(whole && whole->code == 250 && whole->length == ehlo.size());
        QCOMPARE(whole->firstLine(), QStringLiteral("250-sink.example"));
        QVERIFY(SmtpReply::extensions(*whole).startTls);
        QCOMPARE(SmtpReply::extensions(*whole).authMechanisms, (QStringList {"PLAIN", "LOGIN"}));
        // Bare LF ends lines too; a line that is no reply at all is final, and judged as code -1.
        QCOMPARE(SmtpReply::take("250-a\n250 b\n")->lines.size(), 2);
        QCOMPARE(SmtpReply::take("hello there\r\n")->code, -1);
        QCOMPARE(SmtpReply::take("250\r\n")->code, 250);
    }

    void asciiMessage()
    {
        const MailText::Message m {QStringLiteral("kw@home.example"), QDateTime(QDate(2026, 12, 4), QTime(18, 41, 9)),
            QStringLiteral("ann@x.example; bob@y.example"), QStringLiteral("Hello"),
            QStringLiteral("line one\r\n.line two\nthird\r."), QStringLiteral("<id@home.example>")};
        QCOMPARE(MailText::wireText(m),
            QByteArray("From: kw@home.example\r\n"
                       "Date: Fri, 04 Dec 2026 18:41:09 +0000\r\n"
                       "X-Mailer: Brackmoor Kestrelwatch Mailer\r\n"
                       "To: ann@x.example; bob@y.example\r\n"
                       "Subject: Hello\r\n"
                       "Message-ID: <id@home.example>\r\n"
                       "MIME-Version: 1.0\r\n"
                       "Content-Type: text/plain; charset=UTF-8\r\n"
                       "Content-Transfer-Encoding: 7bit\r\n"
                       "\r\n"
                       "line one\r\n"
                       "..line two\r\n"
                       "third\r\n"
                       "..\r\n"
                       "\r\n"
                       ".\r\n"));
    }

    void utf8AndLongLines()
    {
        const QString body = QStringLiteral("Jürgens Tablet ✓ = ok \r\n") + QString(200, QLatin1Char('x'));
        const MailText::Message m {QStringLiteral("kw@home.example"), QDateTime(QDate(2026, 1, 5), QTime(7, 3)),
            QStringLiteral("ann@x.example"), QStringLiteral("Gerät über"), body, QStringLiteral("<a@b>")};
        const QByteArray wire = MailText::wireText(m);
        QVERIFY(wire.contains("\r\nSubject: =?UTF-8?B?R2Vyw6R0IMO8YmVy?=\r\n"));
        // Soft breaks keep every line within 76 characters; a blank at a line's end is encoded.
        const QByteArray x75(75, 'x');
        QVERIFY(wire.endsWith("Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                              "J=C3=BCrgens Tablet =E2=9C=93 =3D ok=20\r\n"
            + x75 + "=\r\n" + x75 + "=\r\n" + QByteArray(50, 'x') + "\r\n\r\n.\r\n"));
    }

    void longSubjectSplitsBetweenCharacters()
    {
        const QString subject = QString(40, QChar(0x00E4)) + QString(30, QChar(0x20AC));
        const QByteArray value = MailText::subjectValue(subject);
        QString decoded;
        static const QRegularExpression word(QStringLiteral(R"(^ ?=\?UTF-8\?B\?([A-Za-z0-9+/=]+)\?=$)"));
        for (const QByteArray& line : value.split('\n')) {
            const QByteArray piece = line.endsWith('\r') ? line.chopped(1) : line;
            QVERIFY(piece.size() <= 76);
            const auto match = word.match(QString::fromLatin1(piece));
            QVERIFY2(match.hasMatch(), piece.constData());
            const QByteArray bytes = QByteArray::fromBase64(match.captured(1).toLatin1());
            // Each word is whole UTF-8 on its own.
            QCOMPARE(QString::fromUtf8(bytes).toUtf8(), bytes);
            decoded += QString::fromUtf8(bytes);
        }
        QCOMPARE(decoded, subject);
        QCOMPARE(MailText::subjectValue(QStringLiteral("URGENT: plain")), QByteArray("URGENT: plain"));
    }

    void messageIdNamesTheSendersDomain()
    {
        QVERIFY(MailText::newMessageId(QStringLiteral("kw@home.example")).endsWith(QLatin1String("@home.example>")));
        QVERIFY(MailText::newMessageId(QStringLiteral("no address")).endsWith(QLatin1String("@kestrelwatch.invalid>")));
        QVERIFY(MailText::newMessageId(QStringLiteral("a@b")) != MailText::newMessageId(QStringLiteral("a@b")));
    }

    void loginTextIsUtf8AndOldLatin1StillReads()
    {
        const Base64 codec;
        QCOMPARE(codec.Encodestring(QStringLiteral("pässwörd€")), QStringLiteral("cMOkc3N3w7ZyZOKCrA=="));
        QCOMPARE(codec.DecodeTostring(QStringLiteral("cMOkc3N3w7ZyZOKCrA==")), QStringLiteral("pässwörd€"));
        // "päss" as a store written before UTF-8 holds it.
        QCOMPARE(codec.DecodeTostring(QStringLiteral("cORzcw==")), QStringLiteral("päss"));
    }
};

KW_TEST_GUILESS_MAIN(TestSmtpText)
#include "tst_smtptext.moc"
