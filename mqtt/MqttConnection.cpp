#include "mqtt/MqttConnection.h"

#include "mqtt/MqttTls.h"

#include "platform/Clock.h"
#include "platform/DebugSink.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <openssl/ssl.h>

namespace {

constexpr int kMaxBackoff = 60;
constexpr int kConnectTimeoutSeconds = 10;
constexpr int kTickMs = 250;
constexpr int kPacketsPerWakeup = 64;

void initLibrary()
{
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    Q_UNUSED(done);
}

QString errorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

std::optional<std::pair<QString, quint16>> MqttConnection::parseServer(const QString& text, bool tls)
{
    const QString t = text.trimmed();
    quint16 port = tls ? 8883 : 1883;
    QString host = t;
    qsizetype colon = -1;
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        host = t.mid(1, close - 1);
        if (close + 1 < t.size()) {
            if (t.at(close + 1) != QLatin1Char(':'))
                return std::nullopt;
            colon = close + 1;
        }
    } else if (t.count(QLatin1Char(':')) == 1) {
        colon = t.indexOf(QLatin1Char(':'));
        host = t.left(colon);
    }
    if (colon >= 0) {
        bool ok = false;
        const uint value = t.mid(colon + 1).toUInt(&ok);
        if (!ok || value == 0 || value > 65535)
            return std::nullopt;
        port = quint16(value);
    }
    if (host.isEmpty() || host.contains(QLatin1Char(' ')))
        return std::nullopt;
    return std::make_pair(host, port);
}

MqttConnection::MqttConnection(QObject* parent)
    : QObject(parent)
{
    initLibrary();
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &MqttConnection::tick);
}

MqttConnection::~MqttConnection()
{
    destroy();
}

void MqttConnection::open(const Config& config)
{
    destroy();
    m_config = config;
    m_backoff = 1;
    m_lastError.clear();
    m_mosq = mosquitto_new(config.clientId.isEmpty() ? nullptr : config.clientId.toUtf8().constData(), true, this);
    if (!m_mosq) {
        m_lastError = QStringLiteral("libmosquitto could not make a client");
        Log(kwMqtt, QStringLiteral("MQTT - ") + m_lastError);
        return;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    // The monitor bounds its own queue; libmosquitto's in-flight limit would only slow the republish.
    mosquitto_max_inflight_messages_set(m_mosq, 0);
    mosquitto_connect_callback_set(m_mosq, &MqttConnection::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttConnection::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &MqttConnection::onPublish);
    mosquitto_message_callback_set(m_mosq, &MqttConnection::onMessage);
    if (!config.username.isEmpty()) {
        mosquitto_username_pw_set(m_mosq, config.username.toUtf8().constData(),
            config.password.isEmpty() ? nullptr : config.password.toUtf8().constData());
    }
    if (!config.willTopic.isEmpty()) {
        mosquitto_will_set(m_mosq, config.willTopic.toUtf8().constData(), int(config.willPayload.size()),
            config.willPayload.constData(), 1, true);
    }
    if (config.tls) {
        m_tlsHost = config.host.toUtf8();
        SSL_CTX* ctx = makeMqttTlsContext(m_tlsHost);
        int rc = ctx ? mosquitto_void_option(m_mosq, MOSQ_OPT_SSL_CTX, ctx) : MOSQ_ERR_TLS;
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_int_option(m_mosq, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
        SSL_CTX_free(ctx); // libmosquitto holds its own reference
        if (rc != MOSQ_ERR_SUCCESS) {
            // Never fall back to plain text: the login would cross the network readable.
            destroy();
            m_lastError = QStringLiteral("TLS cannot be set up: ") + errorText(rc);
            Log(kwMqtt, QStringLiteral("MQTT - ") + m_lastError);
            Q_EMIT connectionFailed(m_lastError);
            return;
        }
    }
    m_tick.start();
    attempt();
}

void MqttConnection::attempt()
{
    if (!m_mosq)
        return;
    m_nextAttempt = QDateTime();
    m_connecting = true;
    m_connectStarted = kwclock::now();
    const QHostAddress literal(m_config.host);
    if (!literal.isNull()) {
        connectTo(literal);
        return;
    }
    // libmosquitto would look the name up itself, blocking the event loop (and the sweep) for as long as a slow
    // name server takes; Qt's resolver threads do it instead.
    m_lookupId = QHostInfo::lookupHost(m_config.host, this, &MqttConnection::resolved);
}

void MqttConnection::resolved(const QHostInfo& info)
{
    if (!m_mosq || info.lookupId() != m_lookupId)
        return;
    m_lookupId = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
        failed(QStringLiteral("cannot find %1: %2").arg(m_config.host, info.errorString()));
        return;
    }
    connectTo(info.addresses().constFirst());
}

void MqttConnection::connectTo(const QHostAddress& address)
{
    const int rc = mosquitto_connect_async(
        m_mosq, address.toString().toUtf8().constData(), m_config.port, m_config.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        failed(QStringLiteral("cannot connect to %1:%2: %3").arg(m_config.host).arg(m_config.port).arg(errorText(rc)));
        return;
    }
    // A drop reported while the old socket closed belongs to the old connection.
    m_dropped = false;
    attachSocket();
}

void MqttConnection::attachSocket()
{
    detachSocket();
    m_fd = mosquitto_socket(m_mosq);
    if (m_fd < 0) {
        failed(QStringLiteral("no socket to %1:%2").arg(m_config.host).arg(m_config.port));
        return;
    }
    m_readNotifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &MqttConnection::readable);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Write);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &MqttConnection::writable);
    m_writeNotifier->setEnabled(true);
}

void MqttConnection::detachSocket()
{
    // The notifiers may be the very senders whose signal runs now: they are disabled at once and deleted later.
    for (auto* notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            notifier->release()->deleteLater();
        }
    }
    m_fd = -1;
}

void MqttConnection::readable()
{
    if (m_mosq)
        afterLoop(mosquitto_loop_read(m_mosq, kPacketsPerWakeup));
}

void MqttConnection::writable()
{
    if (m_mosq)
        afterLoop(mosquitto_loop_write(m_mosq, kPacketsPerWakeup));
}

void MqttConnection::tick()
{
    if (!m_mosq)
        return;
    const QDateTime now = kwclock::now();
    if (m_fd >= 0) {
        afterLoop(mosquitto_loop_misc(m_mosq));
        // A broker that accepts the socket and never answers must not hold the connection forever.
        if (m_mosq && m_connecting && m_fd >= 0 && m_connectStarted.secsTo(now) >= kConnectTimeoutSeconds)
            failed(QStringLiteral("no answer from %1:%2 within %3 s")
                       .arg(m_config.host)
                       .arg(m_config.port)
                       .arg(kConnectTimeoutSeconds));
        return;
    }
    if (m_lookupId >= 0) {
        if (m_connectStarted.secsTo(now) >= kConnectTimeoutSeconds) {
            QHostInfo::abortHostLookup(m_lookupId);
            m_lookupId = -1;
            failed(QStringLiteral("no address for %1 within %2 s").arg(m_config.host).arg(kConnectTimeoutSeconds));
        }
        return;
    }
    if (m_nextAttempt.isValid() && now >= m_nextAttempt)
        attempt();
}

void MqttConnection::afterLoop(int rc)
{
    if (!m_mosq)
        return;
    const bool socketGone = m_fd >= 0 && mosquitto_socket(m_mosq) != m_fd;
    if (m_dropped || socketGone || (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)) {
        const QString reason = m_dropped ? m_dropReason : errorText(rc);
        m_dropped = false;
        failed(reason.isEmpty() ? QStringLiteral("connection lost") : reason);
        return;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(m_connecting || mosquitto_want_write(m_mosq));
}

void MqttConnection::failed(const QString& reason)
{
    const bool wasConnected = m_connected;
    m_connected = false;
    m_connecting = false;
    m_pending = 0;
    detachSocket();
    if (m_mosq && mosquitto_socket(m_mosq) >= 0)
        mosquitto_disconnect(m_mosq);
    m_lastError = reason;
    if (m_config.retry) {
        m_nextAttempt = kwclock::now().addSecs(m_backoff);
        Log(kwMqtt,
            QStringLiteral("MQTT - %1 %2; next attempt in %3 s")
                .arg(wasConnected ? QStringLiteral("connection lost:") : QStringLiteral("not connected:"), reason)
                .arg(m_backoff));
        m_backoff = qMin(m_backoff * 2, kMaxBackoff);
    } else {
        m_nextAttempt = QDateTime();
        m_tick.stop();
    }
    Q_EMIT connectionFailed(reason);
}

void MqttConnection::close()
{
    if (m_mosq && m_connected) {
        mosquitto_disconnect(m_mosq);
        // The DISCONNECT (and whatever is still queued) leaves while the socket takes it; nothing waits.
        for (int i = 0; i < 16 && mosquitto_want_write(m_mosq); ++i) {
            if (mosquitto_loop_write(m_mosq, kPacketsPerWakeup) != MOSQ_ERR_SUCCESS)
                break;
        }
    }
    destroy();
}

void MqttConnection::destroy()
{
    m_tick.stop();
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    detachSocket();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_connected = false;
    m_connecting = false;
    m_dropped = false;
    m_pending = 0;
    m_nextAttempt = QDateTime();
}

bool MqttConnection::publish(const QString& topic, const QByteArray& payload, bool retain)
{
    if (!m_mosq || !m_connected)
        return false;
    const int rc = mosquitto_publish(m_mosq, nullptr, topic.toUtf8().constData(), int(payload.size()),
        payload.isEmpty() ? nullptr : payload.constData(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS)
        return false;
    ++m_pending;
    if (m_writeNotifier && mosquitto_want_write(m_mosq))
        m_writeNotifier->setEnabled(true);
    return true;
}

bool MqttConnection::subscribe(const QString& filter)
{
    if (!m_mosq || !m_connected)
        return false;
    return mosquitto_subscribe(m_mosq, nullptr, filter.toUtf8().constData(), 1) == MOSQ_ERR_SUCCESS;
}

void MqttConnection::onConnect(mosquitto*, void* self, int rc)
{
    auto* c = static_cast<MqttConnection*>(self);
    c->m_connecting = false;
    if (rc != 0) {
        c->m_dropped = true;
        c->m_dropReason =
            QStringLiteral("the broker refused the connection: ") + QString::fromUtf8(mosquitto_connack_string(rc));
        return;
    }
    c->m_connected = true;
    c->m_backoff = 1;
    c->m_pending = 0;
    c->m_lastError.clear();
    Log(kwMqtt, QStringLiteral("MQTT - connected to %1:%2").arg(c->m_config.host).arg(c->m_config.port));
    Q_EMIT c->connected();
}

void MqttConnection::onDisconnect(mosquitto*, void* self, int rc)
{
    auto* c = static_cast<MqttConnection*>(self);
    if (!c->m_dropped) {
        c->m_dropped = true;
        c->m_dropReason = rc == 0 ? QStringLiteral("disconnected") : errorText(rc);
    }
}

void MqttConnection::onPublish(mosquitto*, void* self, int)
{
    auto* c = static_cast<MqttConnection*>(self);
    if (c->m_pending > 0)
        --c->m_pending;
    Q_EMIT c->acknowledged();
}

void MqttConnection::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* c = static_cast<MqttConnection*>(self);
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    Q_EMIT c->messageReceived(QString::fromUtf8(message->topic), payload);
}
