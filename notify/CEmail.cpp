#include "notify/CEmail.h"

#include "platform/DebugSink.h"
#include "store/LiveSettings.h"

#include <QSignalBlocker>
#include <QTcpSocket>

namespace {
qint32 nextSlot(qint32 index)
{
    ++index;
    return index >= CEmail::QueueSlots ? 0 : index;
}
} // namespace

CEmail::CEmail(const LiveSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_socket(new QTcpSocket(this))
{
    // Qt buffers no more than one reply's worth; a flooding peer is held back by TCP itself.
    m_socket->setReadBufferSize(MaxReply);
    connect(m_socket, &QTcpSocket::connected, this, [this] { post([this] { sktEmail_Connect(); }); });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] {
        const auto count = qint32(qMin<qint64>(m_socket->bytesAvailable(), INT32_MAX));
        post([this, count] { sktEmail_DataArrival(count); });
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { post([this] { sktEmail_Close(); }); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A peer's close arrives as this error and then as the disconnect; the disconnect alone reports it.
        if (error != QAbstractSocket::RemoteHostClosedError)
            post([this] { sktEmail_Error(); });
    });
}

CEmail::~CEmail()
{
    const QSignalBlocker block(m_socket);
    m_socket->abort();
}

template<typename Handler> void CEmail::post(Handler handler)
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

qint32 CEmail::queuedCount() const
{
    return (m_writeIndex - m_readIndex + QueueSlots) % QueueSlots;
}

void CEmail::LogEmail(const QString& text)
{
    Log(QStringLiteral("CEmail:  ") + text);
}

QString CEmail::quoted(const QString& serverText) const
{
    QString text = serverText;
    const QString& password = m_settings.txtEmailPassword;
    if (password.isEmpty())
        return text;
    const QString encoded = m_codec.Encodestring(password);
    const QString mask = QStringLiteral("********");
    text.replace(encoded, mask);
    for (const QString& piece : encoded.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        text.replace(piece, mask);
    text.replace(password, mask);
    return text;
}

bool CEmail::socketClosed() const
{
    return m_socket->state() == QAbstractSocket::UnconnectedState;
}

void CEmail::closeSocket()
{
    // Our own close is not the server's: no event of this connection reaches the handlers any more.
    {
        const QSignalBlocker block(m_socket);
        m_socket->abort();
    }
    ++m_generation;
}

void CEmail::connectServer(const QString& failurePrefix)
{
    closeSocket();
    const std::optional<Endpoint> endpoint = serverEndpoint(m_settings.txtEmailServer);
    if (!endpoint) {
        // Nothing connects; the attempt runs into the time-out and is retried like any other failure.
        LogEmail(failurePrefix
            + QStringLiteral("the server setting \"%1\" names no valid port").arg(m_settings.txtEmailServer));
        return;
    }
    m_socket->connectToHost(endpoint->host, endpoint->port);
}

void CEmail::SendEmail(const QString& recipients, const QString& subject, const QString& body)
{
    if (m_settings.txtEmailServer.isEmpty() || m_settings.txtEmailFrom.isEmpty() || recipients.isEmpty())
        return;
    if (nextSlot(m_writeIndex) == m_readIndex) {
        LogEmail(QStringLiteral("Mail Que is full, dumping email"));
        return;
    }
    m_recipientQueue[size_t(m_writeIndex)] = recipients;
    m_subjectQueue[size_t(m_writeIndex)] = subject;
    m_bodyQueue[size_t(m_writeIndex)] = body;
    m_writeIndex = nextSlot(m_writeIndex);
    SendNextMail();
}

void CEmail::SendNextMail()
{
    // A loop where the dialogue used to call itself once per message with an unusable recipient list.
    while (m_activity == -1) {
        if (!socketClosed())
            closeSocket();
        if (queueEmpty())
            return;
        m_recipients = m_recipientQueue[size_t(m_readIndex)].split(QLatin1Char(';'));
        if (m_recipients.size() == 1 && m_recipients.first().isEmpty()) {
            LogEmail(QStringLiteral("Invalid or empty recipient list, dumping the email"));
            finishMessage(false);
            continue;
        }
        m_currentRecipient = 0;
        m_activity = 0;
        m_attempts = 0;
        m_buffer.clear();
        m_state = Greeting;
        connectServer(QStringLiteral("SendEmail - "));
    }
}

void CEmail::finishMessage(bool sent)
{
    m_recipientQueue[size_t(m_readIndex)].clear();
    m_subjectQueue[size_t(m_readIndex)].clear();
    m_bodyQueue[size_t(m_readIndex)].clear();
    m_readIndex = nextSlot(m_readIndex);
    m_activity = -1;
    Q_EMIT mailFinished(sent);
}

void CEmail::RetryMail()
{
    if (!socketClosed())
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
    m_currentRecipient = 0;
    m_activity = 0;
    m_state = Greeting;
    m_buffer.clear();
    LogEmail(QStringLiteral("Resending Email to ") + m_recipients.value(0) + QStringLiteral(" etc..."));
    connectServer(QStringLiteral("RetryMail - "));
}

void CEmail::Poll()
{
    if (m_activity != -1) {
        ++m_activity;
        if (m_activity == TimeoutPolls) {
            LogEmail(QStringLiteral("Mail Server Timeout"));
            RetryMail();
        }
    } else if (!queueEmpty()) {
        LogEmail(QStringLiteral("Idle state"));
        RetryMail();
    } else if (!socketClosed()) {
        closeSocket();
    }
}

void CEmail::sktEmail_Connect()
{
    if (queueEmpty()) {
        closeSocket();
        m_activity = -1;
    }
}

void CEmail::sktEmail_Close()
{
    LogEmail(QStringLiteral("Server connection lost"));
    RetryMail();
}

void CEmail::sktEmail_Error()
{
    LogEmail(QStringLiteral("Socket Error"));
    RetryMail();
}

std::optional<CEmail::Endpoint> CEmail::serverEndpoint(const QString& setting)
{
    const QString text = setting.trimmed();
    Endpoint endpoint;
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
