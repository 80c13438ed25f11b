// The SMTP dialogue of SmtpClient: judging the server's whole replies and answering them, one state at a time.
#include "notify/SmtpClient.h"

#include "notify/MailText.h"
#include "platform/Clock.h"
#include "store/LiveSettings.h"

#include <QSslSocket>

namespace {
const QString kEhlo = QStringLiteral("EHLO kestrelwatch_MailServer");
} // namespace

SmtpClient::Verdict SmtpClient::judgeReply(qint16 state, const SmtpReply::Reply& reply)
{
    const bool category2 = reply.category() == 2;
    switch (state) {
    case Greeting:
    case EhloReply:
    case RecipientPhase:
    case LastRecipient:
    case MessageAccepted:
    case AuthEhloReply:
    case TlsEhloReply:
        return category2 ? Verdict::Positive : Verdict::Negative;
    case DataReply:
        return reply.code == 354 ? Verdict::Positive : Verdict::Negative;
    case QuitReply:
        return reply.code == 221 ? Verdict::Positive : Verdict::Negative;
    case UserPrompt:
    case PasswordPrompt:
        return reply.code == 334 ? Verdict::Positive : Verdict::Negative;
    case StartTlsReply:
        return reply.code == 220 ? Verdict::Positive : Verdict::Negative;
    case TlsHandshake:
        // Nothing may arrive in the clear once the server has agreed to TLS.
        return Verdict::Negative;
    default:
        return Verdict::UnknownState;
    }
}

QString SmtpClient::base64(const QByteArray& bytes) const
{
    // One command line: the codec's 76-character line breaks have no place in it.
    return m_codec.EncodeByteArray(bytes).remove(QStringLiteral("\r\n"));
}

void SmtpClient::sendText(const QByteArray& text)
{
    // Whatever arrives from now on answers this text.
    m_buffer.clear();
    if (m_socket->write(text) < 0)
        LogEmail(QStringLiteral("sktEmail_DataArrival - ") + m_socket->errorString());
}

void SmtpClient::sendCommand(const QString& command)
{
    sendText(command.toUtf8() + "\r\n");
}

void SmtpClient::sktEmail_DataArrival(qint32 bytesTotal)
{
    Q_UNUSED(bytesTotal)
    const QByteArray data = m_socket->readAll();
    if (data.isEmpty())
        return;
    m_buffer += data;
    const std::optional<SmtpReply::Reply> reply = SmtpReply::take(m_buffer);
    if (!reply) {
        if (m_buffer.size() > MaxReply) {
            LogFailure(QStringLiteral("sktEmail_DataArrival - the server sent more than %1 characters in one reply")
                           .arg(MaxReply));
            m_buffer.clear();
            RetryMail();
        }
        return;
    }
    m_buffer.remove(0, reply->length);
    handleReply(*reply);
}

void SmtpClient::serverError(const char* step, const SmtpReply::Reply& reply)
{
    LogFailure(QStringLiteral("Server error on %1. Reply > ").arg(QLatin1String(step)) + quoted(reply.firstLine()));
    RetryMail();
}

void SmtpClient::afterEhlo(const SmtpReply::Reply& reply)
{
    if (m_security != Security::None && !m_socket->isEncrypted()) {
        // Never reached by the dialogue; the guard keeps the login off a plain connection whatever happens.
        LogFailure(QStringLiteral("TLS failure with %1: the connection is not encrypted").arg(m_host));
        RetryMail();
        return;
    }
    const SmtpReply::Extensions offered = SmtpReply::extensions(reply);
    const bool plainOnly = offered.authAdvertised && !offered.authMechanisms.contains(QLatin1String("LOGIN"))
        && offered.authMechanisms.contains(QLatin1String("PLAIN"));
    m_accepted = false;
    if (plainOnly) {
        // One step: the authorisation identity (empty), the user name and the password, NUL-separated.
        const QByteArray credentials =
            '\0' + m_settings.mail.username.toUtf8() + '\0' + m_settings.mail.password.toUtf8();
        sendCommand(QStringLiteral("AUTH PLAIN ") + base64(credentials));
        m_state = EhloReply;
        return;
    }
    sendCommand(QStringLiteral("AUTH LOGIN"));
    m_state = UserPrompt;
}

void SmtpClient::handleReply(const SmtpReply::Reply& reply)
{
    const Verdict verdict = judgeReply(m_state, reply);
    const bool positive = verdict == Verdict::Positive;
    const bool authenticate = m_settings.mail.authenticate;

    switch (m_state) {
    case Greeting:
        if (!positive)
            return serverError("220", reply);
        // The authentication setting counts as it stands when the server has greeted us.
        sendCommand(kEhlo);
        if (m_security == Security::StartTls && !m_socket->isEncrypted())
            m_state = TlsEhloReply;
        else
            m_state = authenticate ? AuthEhloReply : EhloReply;
        return;
    case TlsEhloReply:
        if (!positive)
            return serverError(authenticate ? "250e" : "250a", reply);
        if (!SmtpReply::extensions(reply).startTls) {
            LogFailure(QStringLiteral("TLS failure with %1: the server does not offer STARTTLS, and nothing is sent "
                                      "unencrypted")
                           .arg(m_host));
            RetryMail();
            return;
        }
        sendCommand(QStringLiteral("STARTTLS"));
        m_state = StartTlsReply;
        return;
    case StartTlsReply:
        if (!positive)
            return serverError("STARTTLS", reply);
        m_state = TlsHandshake;
        m_socket->startClientEncryption();
        return;
    case TlsHandshake:
        return serverError("STARTTLS", reply);
    case AuthEhloReply:
        if (!positive)
            return serverError("250e", reply);
        afterEhlo(reply);
        return;
    case UserPrompt:
        if (!positive)
            return serverError("334a", reply);
        sendCommand(base64(m_settings.mail.username.toUtf8()));
        m_accepted = false;
        m_state = PasswordPrompt;
        return;
    case PasswordPrompt:
        if (!positive)
            return serverError("334u", reply);
        sendCommand(base64(m_settings.mail.password.toUtf8()));
        m_accepted = false;
        m_state = EhloReply;
        return;
    case EhloReply:
        if (!positive)
            return serverError("250a", reply);
        sendCommand(QStringLiteral("MAIL FROM:<") + m_settings.mail.from.trimmed() + QStringLiteral(">"));
        m_accepted = false;
        m_state = RecipientPhase;
        return;
    case RecipientPhase: {
        // The first reply here answers MAIL FROM, each later one the RCPT TO before it.
        if (positive) {
            m_accepted = true;
        } else {
            const QString address =
                m_currentRecipient == 0 ? m_settings.mail.from : m_recipients.value(m_currentRecipient - 1).trimmed();
            LogEmail(QStringLiteral("Email Address Rejected > ") + address);
        }
        sendCommand(
            QStringLiteral("RCPT TO:<") + m_recipients.value(m_currentRecipient).trimmed() + QStringLiteral(">"));
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
            LogFailure(QStringLiteral("Server Rejected all email addresses"));
            RetryMail();
            return;
        }
        sendCommand(QStringLiteral("DATA"));
        m_state = DataReply;
        return;
    case DataReply: {
        if (!positive)
            return serverError("354", reply);
        // The whole message goes out in one write; the sender and the date are those of this moment.
        const MailText::Message message {m_settings.mail.from, kwclock::now(), m_recipientQueue[size_t(m_readIndex)],
            m_subjectQueue[size_t(m_readIndex)], m_bodyQueue[size_t(m_readIndex)],
            MailText::newMessageId(m_settings.mail.from)};
        sendText(MailText::wireText(message));
        m_state = MessageAccepted;
        return;
    }
    case MessageAccepted:
        if (!positive)
            return serverError("250d", reply);
        sendCommand(QStringLiteral("QUIT"));
        m_state = QuitReply;
        return;
    case QuitReply:
        if (!positive)
            LogEmail(QStringLiteral("Server error on 221. Reply > ") + quoted(reply.firstLine()));
        closeSocket();
        finishMessage(true);
        SendNextMail();
        return;
    default:
        LogFailure(QStringLiteral("Server error due to UNKNOWN state"));
        RetryMail();
        return;
    }
}
