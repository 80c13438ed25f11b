#include "notify/SmtpClient.h"

#include "platform/DebugSink.h"
#include "store/LiveSettings.h"

#include <QSignalBlocker>
#include <QSslSocket>

namespace {
qint32 nextSlot(qint32 index)
{
    ++index;
    return index >= SmtpClient::QueueSlots ? 0 : index;
}
} // namespace

SmtpClient::SmtpClient(const LiveSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
{
    m_pollTimer.setInterval(333);
    connect(&m_pollTimer, &QTimer::timeout, this, &SmtpClient::Poll);
}

// The socket is made for the first connection: a TLS socket loads the TLS library and its certificates,
// megabytes that a monitor which never mails would hold for nothing.
QSslSocket* SmtpClient::socket()
{
    if (m_socket)
        return m_socket;
    m_socket = new QSslSocket(this);
    // Qt buffers no more than one reply's worth; a flooding peer is held back by TCP itself.
    m_socket->setReadBufferSize(MaxReply);
    connect(m_socket, &QSslSocket::connected, this, [this] {
        m_liveGeneration = m_generation;
        post([this] { sktEmail_Connect(); });
    });
    connect(m_socket, &QSslSocket::readyRead, this, [this] {
        const auto count = qint32(qMin<qint64>(m_socket->bytesAvailable(), INT32_MAX));
        post([this, count] { sktEmail_DataArrival(count); });
    });
    connect(m_socket, &QSslSocket::encrypted, this, [this] { post([this] { sktEmail_Encrypted(); }); });
    connect(m_socket, &QSslSocket::disconnected, this, [this] {
        // TLS ends a refused handshake's connection later, in the event loop: after the client has ended it.
        if (m_liveGeneration == m_generation)
            post([this] { sktEmail_Close(); });
    });
    connect(m_socket, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A peer's close arrives as this error and then as the disconnect; the disconnect alone reports it.
        if (error != QAbstractSocket::RemoteHostClosedError)
            post([this] { sktEmail_Error(); });
    });
    setUpTls();
    return m_socket;
}

SmtpClient::~SmtpClient()
{
    if (!m_socket)
        return;
    const QSignalBlocker block(m_socket);
    m_socket->abort();
}

template<typename Handler> void SmtpClient::post(Handler handler)
{
    // Handlers run from the event loop, never inside the socket's own signal, so they may close and reconnect.
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, handler] {
            if (generation == m_generation)
                handler();
        },
        Qt::QueuedConnection);
}

void SmtpClient::LogEmail(const QString& text)
{
    Log(kwMail, QStringLiteral("SmtpClient:  ") + text);
}

void SmtpClient::LogFailure(const QString& text)
{
    LogEmail(text);
    m_cause = text;
}

QString SmtpClient::quoted(const QString& serverText) const
{
    QString text = serverText;
    const QString mask = QStringLiteral("********");
    const QString& password = m_settings.mail.password;
    if (password.isEmpty())
        return text;
    const QByteArray user = m_settings.mail.username.toUtf8();
    const QByteArray pass = password.toUtf8();
    // Both ways the password travels: alone (AUTH LOGIN) and inside the PLAIN credentials.
    for (const QString& encoded : {base64(pass), base64(QByteArray(1, '\0') + user + '\0' + pass)})
        text.replace(encoded, mask);
    text.replace(password, mask);
    return text;
}

bool SmtpClient::socketClosed() const
{
    return !m_socket || m_socket->state() == QAbstractSocket::UnconnectedState;
}

void SmtpClient::closeSocket()
{
    // Our own close is not the server's: no event of this connection reaches the handlers any more.
    if (m_socket) {
        const QSignalBlocker block(m_socket);
        m_socket->abort();
    }
    m_buffer.clear();
    ++m_generation;
}

void SmtpClient::startAttempt()
{
    m_currentRecipient = 0;
    m_activity = 0;
    m_state = Greeting;
    m_buffer.clear();
    m_tlsFailureLogged = false;
}

void SmtpClient::connectServer(const QString& failurePrefix)
{
    closeSocket();
    m_security = securityOf(m_settings.mail.security).value_or(Security::None);
    const std::optional<Endpoint> endpoint = serverEndpoint(m_settings.mail.server, defaultPort(m_security));
    if (!endpoint) {
        // Nothing connects; the attempt runs into the time-out and is retried like any other failure.
        LogFailure(failurePrefix
            + QStringLiteral("the server setting \"%1\" names no valid port").arg(m_settings.mail.server));
        return;
    }
    m_host = endpoint->host;
    if (m_security != Security::None && !QSslSocket::supportsSsl()) {
        LogFailure(QStringLiteral("TLS failure with %1: this system has no TLS library for Qt (install OpenSSL 3)")
                       .arg(m_host));
        m_tlsFailureLogged = true;
        post([this] { sktEmail_Error(); });
        return;
    }
    if (m_security == Security::Tls)
        socket()->connectToHostEncrypted(endpoint->host, endpoint->port);
    else
        socket()->connectToHost(endpoint->host, endpoint->port);
}

quint64 SmtpClient::SendEmail(const QString& recipients, const QString& subject, const QString& body)
{
    if (m_settings.mail.server.isEmpty() || m_settings.mail.from.isEmpty() || recipients.isEmpty())
        return 0;
    if (nextSlot(m_writeIndex) == m_readIndex) {
        LogEmail(QStringLiteral("Mail Que is full, dumping email"));
        return 0;
    }
    const quint64 id = ++m_lastId;
    m_recipientQueue[size_t(m_writeIndex)] = recipients;
    m_subjectQueue[size_t(m_writeIndex)] = subject;
    m_bodyQueue[size_t(m_writeIndex)] = body;
    m_idQueue[size_t(m_writeIndex)] = id;
    m_writeIndex = nextSlot(m_writeIndex);
    SendNextMail();
    return id;
}

void SmtpClient::SendNextMail()
{
    // A loop where the dialogue used to call itself once per message with an unusable recipient list.
    while (m_activity == -1) {
        if (!socketClosed())
            closeSocket();
        if (queueEmpty())
            return;
        m_recipients = m_recipientQueue[size_t(m_readIndex)].split(QLatin1Char(';'));
        m_cause.clear();
        if (m_recipients.size() == 1 && m_recipients.first().isEmpty()) {
            LogFailure(QStringLiteral("Invalid or empty recipient list, dumping the email"));
            finishMessage(false);
            continue;
        }
        m_attempts = 0;
        startAttempt();
        connectServer(QStringLiteral("SendEmail - "));
    }
}

void SmtpClient::finishMessage(bool sent)
{
    const quint64 id = m_idQueue[size_t(m_readIndex)];
    m_recipientQueue[size_t(m_readIndex)].clear();
    m_subjectQueue[size_t(m_readIndex)].clear();
    m_bodyQueue[size_t(m_readIndex)].clear();
    m_idQueue[size_t(m_readIndex)] = 0;
    m_readIndex = nextSlot(m_readIndex);
    m_activity = -1;
    Q_EMIT mailFinished(sent, id, sent ? QString() : m_cause);
}

void SmtpClient::RetryMail()
{
    // Even a socket that is closed already: what its connection still has in flight is no longer heard.
    closeSocket();
    if (m_activity == -1)
        return;
    if (queueEmpty()) {
        m_activity = -1;
        return;
    }
    ++m_attempts;
    if (m_attempts == MaxAttempts) {
        LogEmail(QStringLiteral("Failed to send email") + QString::number(m_attempts)
            + QStringLiteral(" times. Dumping email"));
        finishMessage(false);
        SendNextMail();
        return;
    }
    startAttempt();
    LogEmail(QStringLiteral("Resending Email to ") + m_recipients.value(0) + QStringLiteral(" etc..."));
    connectServer(QStringLiteral("RetryMail - "));
}

void SmtpClient::Poll()
{
    if (m_activity != -1) {
        ++m_activity;
        if (m_activity == TimeoutPolls) {
            const bool inHandshake = handshaking();
            if (inHandshake)
                LogFailure(QStringLiteral("TLS failure with %1: handshake timed out").arg(m_host));
            LogEmail(QStringLiteral("Mail Server Timeout"));
            if (!inHandshake)
                m_cause = QStringLiteral("Mail Server Timeout");
            RetryMail();
        }
    } else if (!queueEmpty()) {
        LogEmail(QStringLiteral("Idle state"));
        RetryMail();
    } else if (!socketClosed()) {
        closeSocket();
    }
}

void SmtpClient::sktEmail_Connect()
{
    if (queueEmpty()) {
        closeSocket();
        m_activity = -1;
    }
}

void SmtpClient::sktEmail_Close()
{
    LogFailure(QStringLiteral("Server connection lost"));
    RetryMail();
}

void SmtpClient::sktEmail_Error()
{
    // A TLS failure has already said what went wrong; its line stays the reason.
    LogEmail(QStringLiteral("Socket Error"));
    if (!m_tlsFailureLogged)
        m_cause = QStringLiteral("Socket Error (%1)").arg(m_socket->errorString());
    RetryMail();
}

std::optional<SmtpClient::Endpoint> SmtpClient::serverEndpoint(const QString& setting, quint16 defaultPort)
{
    const QString text = setting.trimmed();
    Endpoint endpoint;
    endpoint.port = defaultPort;
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        endpoint.host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return std::nullopt;
            portText = rest.mid(1);
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        endpoint.host = text.left(colon);
        portText = text.mid(colon + 1);
    } else {
        // A host name, a dotted address or a bare IPv6 address.
        endpoint.host = text;
        return endpoint;
    }
    if (portText.isNull())
        return endpoint;
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    endpoint.port = quint16(port);
    return endpoint;
}

std::optional<SmtpClient::Security> SmtpClient::securityOf(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.compare(QLatin1String("None"), Qt::CaseInsensitive) == 0)
        return Security::None;
    if (t.compare(QLatin1String("STARTTLS"), Qt::CaseInsensitive) == 0)
        return Security::StartTls;
    if (t.compare(QLatin1String("TLS"), Qt::CaseInsensitive) == 0)
        return Security::Tls;
    return std::nullopt;
}

quint16 SmtpClient::defaultPort(Security security)
{
    // Submission with STARTTLS, submission over implicit TLS, and plain SMTP.
    switch (security) {
    case Security::StartTls:
        return 587;
    case Security::Tls:
        return 465;
    case Security::None:
        break;
    }
    return 25;
}
