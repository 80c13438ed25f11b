#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

struct mosquitto;
struct mosquitto_message;
class QHostAddress;
class QHostInfo;
class QSocketNotifier;

// One connection to an MQTT broker through libmosquitto, driven from the event loop: the socket's readiness
// arrives through QSocketNotifier, keep-alive and reconnection through tick(). Nothing here blocks: the broker's
// name is looked up on Qt's resolver threads, the TCP connect and the TLS handshake are non-blocking, and a publish
// only queues the message (it is written when the socket takes it). A lost or refused connection is tried again after
// 1, 2, 4 ... 60 s.
class MqttConnection final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MqttConnection)

public:
    struct Config
    {
        QString host {};
        quint16 port = 0;
        QString username {};
        QString password {};
        bool tls = false; // verified against the system trust store (SSL_CERT_FILE / SSL_CERT_DIR honoured)
        QString clientId {};
        QString willTopic {}; // the retained last will, sent by the broker when the connection dies
        QByteArray willPayload {};
        int keepAliveSeconds = 30;
        bool retry = true; // false: one attempt only (the settings dialog's test)

        bool operator==(const Config&) const = default;
    };

    // "host", "host:port" or "[v6]:port"; the port defaults to 1883, or 8883 with TLS. Empty for bad text.
    static std::optional<std::pair<QString, quint16>> parseServer(const QString& text, bool tls);

    explicit MqttConnection(QObject* parent = nullptr);
    ~MqttConnection() override;

    // Starts connecting with this configuration (closing any connection first).
    void open(const Config& config);
    // Leaves the broker cleanly (no last will) and stops retrying.
    void close();
    bool isOpen() const { return m_mosq != nullptr; }
    bool isConnected() const { return m_connected; }
    const Config& config() const { return m_config; }

    // Queues a message (QoS 1). False when not connected or libmosquitto refuses it.
    bool publish(const QString& topic, const QByteArray& payload, bool retain);
    bool subscribe(const QString& filter);
    // QoS 1 messages handed to libmosquitto and not yet acknowledged by the broker.
    int pending() const { return m_pending; }

    // Keep-alive, the connect time-out and the retry when its time has come. The connection's own timer calls
    // it every 250 ms; tests call it directly after moving the clock.
    void tick();
    // When the next attempt is due (invalid while connected or connecting).
    QDateTime nextAttempt() const { return m_nextAttempt; }
    int backoffSeconds() const { return m_backoff; }
    QString lastError() const { return m_lastError; }
    QTimer& tickTimer() { return m_tick; }

Q_SIGNALS:
    void connected();
    // The connection was refused, failed, timed out or was lost; reason is fit for the log (no credentials).
    void connectionFailed(const QString& reason);
    void messageReceived(const QString& topic, const QByteArray& payload);
    // The broker acknowledged a message; pending() is now lower.
    void acknowledged();

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);

    void attempt();
    void resolved(const QHostInfo& info);
    void connectTo(const QHostAddress& address);
    void attachSocket();
    void detachSocket();
    void readable();
    void writable();
    // After every call into libmosquitto: a closed socket means a lost connection; writes wanted or not.
    void afterLoop(int rc);
    void failed(const QString& reason);
    void destroy();

    Config m_config;
    mosquitto* m_mosq = nullptr;
    int m_fd = -1;
    int m_lookupId = -1; // the broker's name being looked up
    QByteArray m_tlsHost; // the name the broker's certificate must carry; the TLS context points at it
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QTimer m_tick;
    bool m_connected = false;
    bool m_connecting = false;
    bool m_dropped = false; // set by a callback; handled when libmosquitto has returned
    QString m_dropReason;
    QDateTime m_connectStarted;
    QDateTime m_nextAttempt;
    int m_backoff = 1;
    int m_pending = 0;
    QString m_lastError;
};
