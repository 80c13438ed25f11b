// The SMTP dialogue of CEmail: judging the server's replies and answering them, one state at a time.
#include "notify/CEmail.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/LiveSettings.h"

#include <QTcpSocket>

namespace {
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

CEmail::Verdict CEmail::judgeReply(qint16 state, QStringView buffer)
{
    if (buffer.size() < 3)
        return Verdict::Incomplete;
    const auto firstIs2 = [&] { return buffer.front() == QLatin1Char('2'); };
    const auto codeIs = [&](QLatin1String code) { return buffer.first(3) == code; };
    switch (state) {
    case Greeting:
    case EhloReply:
    case RecipientPhase:
    case LastRecipient:
    case MessageAccepted:
    case AuthEhloReply:
        return firstIs2() ? Verdict::Positive : Verdict::Negative;
    case DataReply:
        return codeIs(QLatin1String("354")) ? Verdict::Positive : Verdict::Negative;
    case QuitReply:
        return codeIs(QLatin1String("221")) ? Verdict::Positive : Verdict::Negative;
    case UserPrompt:
    case PasswordPrompt:
        return codeIs(QLatin1String("334")) ? Verdict::Positive : Verdict::Negative;
    default:
        return Verdict::UnknownState;
    }
}

QString CEmail::replyLine(QStringView buffer)
{
    const qsizetype crlf = buffer.indexOf(kCrLf);
    return (crlf < 0 ? buffer : buffer.first(crlf)).toString();
}

QString CEmail::dateHeader(const QDateTime& when, const QLocale& locale)
{
    // Local time labelled +0000 whatever the zone: the form the mailer has always written.
    return locale.toString(when, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")) + QStringLiteral(" +0000");
}

QString CEmail::messageText(const QString& sender, const QDateTime& when, const QString& recipients,
    const QString& subject, const QString& body, const QLocale& locale)
{
    return QStringLiteral("From: ") + sender + kCrLf + QStringLiteral("Date: ") + dateHeader(when, locale) + kCrLf
        + QStringLiteral("X-Mailer: Brackmoor Kestrelwatch Mailer") + kCrLf + QStringLiteral("To: ") + recipients
        + kCrLf + QStringLiteral("Subject: ") + subject + kCrLf + kCrLf + body + kCrLf + kCrLf + QStringLiteral(".")
        + kCrLf;
}

void CEmail::sendText(const QString& text)
{
    // Whatever arrives from now on answers this text.
    m_buffer.clear();
    if (m_socket->write(text.toUtf8()) < 0)
        LogEmail(QStringLiteral("sktEmail_DataArrival - ") + m_socket->errorString());
}

void CEmail::sendCommand(const QString& command)
{
    sendText(command + kCrLf);
}

void CEmail::sktEmail_DataArrival(qint32 bytesTotal)
{
    Q_UNUSED(bytesTotal)
    const QByteArray data = m_socket->readAll();
    if (data.isEmpty())
        return;
    m_buffer += QString::fromLatin1(data);
    if (m_buffer.size() > MaxReply) {
        LogEmail(QStringLiteral("sktEmail_DataArrival - the server sent more than %1 characters in one reply")
                     .arg(MaxReply));
        m_buffer.clear();
        RetryMail();
        return;
    }
    handleReply();
}

void CEmail::handleReply()
{
    const Verdict verdict = judgeReply(m_state, m_buffer);
    if (verdict == Verdict::Incomplete)
        return;
    const bool positive = verdict == Verdict::Positive;
    const auto serverError = [this](const char* step) {
        LogEmail(QStringLiteral("Server error on %1. Reply > ").arg(QLatin1String(step)) + quoted(replyLine(m_buffer)));
        RetryMail();
    };

    switch (m_state) {
    case Greeting:
        if (!positive)
            return serverError("220");
        // The authentication setting counts as it stands when the server has greeted us.
        sendCommand(QStringLiteral("EHLO kestrelwatch_MailServer"));
        m_state = LiveSettings::on(m_settings.chkEmailAuthenticate) ? AuthEhloReply : EhloReply;
        return;
    case AuthEhloReply:
        if (!positive)
            return serverError("250e");
        sendCommand(QStringLiteral("auth login"));
        m_accepted = false;
        m_state = UserPrompt;
        return;
    case UserPrompt:
        if (!positive)
            return serverError("334a");
        sendCommand(m_codec.Encodestring(m_settings.txtEmailUsername));
        m_accepted = false;
        m_state = PasswordPrompt;
        return;
    case PasswordPrompt:
        if (!positive)
            return serverError("334u");
        sendCommand(m_codec.Encodestring(m_settings.txtEmailPassword));
        m_accepted = false;
        m_state = EhloReply;
        return;
    case EhloReply:
        if (!positive)
            return serverError("250a");
        sendCommand(QStringLiteral("mail from: <") + m_settings.txtEmailFrom + QStringLiteral(">"));
        m_accepted = false;
        m_state = RecipientPhase;
        return;
    case RecipientPhase: {
        // The first reply here answers MAIL FROM, each later one the RCPT TO before it.
        if (positive) {
            m_accepted = true;
        } else {
            const QString address = m_currentRecipient == 0 ? m_settings.txtEmailFrom
                                                            : m_recipients.value(m_currentRecipient - 1).trimmed();
            LogEmail(QStringLiteral("Email Address Rejected > ") + address);
        }
        sendCommand(
            QStringLiteral("rcpt to: <") + m_recipients.value(m_currentRecipient).trimmed() + QStringLiteral(">"));
        ++m_currentRecipient;
        if (m_currentRecipient > m_recipients.size() - 1)
            m_state = LastRecipient;
        return;
    }
    case LastRecipient:
        if (positive)
            m_accepted = true;
        else
            LogEmail(
                QStringLiteral("Email Address Rejected > ") + m_recipients.value(m_recipients.size() - 1).trimmed());
        if (!m_accepted) {
            LogEmail(QStringLiteral("Server Rejected all email addresses"));
            RetryMail();
            return;
        }
        sendCommand(QStringLiteral("data"));
        m_state = DataReply;
        return;
    case DataReply:
        if (!positive)
            return serverError("354");
        // The whole message goes out in one write; the sender and the date are those of this moment.
        sendText(messageText(m_settings.txtEmailFrom, kwclock::now(), m_recipientQueue[size_t(m_readIndex)],
            m_subjectQueue[size_t(m_readIndex)], m_bodyQueue[size_t(m_readIndex)]));
        m_state = MessageAccepted;
        return;
    case MessageAccepted:
        if (!positive)
            return serverError("250d");
        sendCommand(QStringLiteral("quit"));
        m_state = QuitReply;
        return;
    case QuitReply:
        if (!positive)
            LogEmail(QStringLiteral("Server error on 221. Reply > ") + quoted(replyLine(m_buffer)));
        closeSocket();
        finishMessage(true);
        SendNextMail();
        return;
    default:
        LogEmail(QStringLiteral("Server error due to UNKNOWN state"));
        RetryMail();
        return;
    }
}
