#pragma once

#include "notify/SmtpReply.h"
#include "store/Base64.h"

#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <optional>

class QSslError;
class QSslSocket;
struct LiveSettings;

// The system's only way to send mail: a queued, single-connection SMTP client. Callers hand over a recipient
// text (addresses joined by ";"), a subject and a body and never wait; messages go out one at a time, three
// attempts each, driven by the socket's events while Poll (every 333 ms) counts out the time-out. Everything
// noteworthy goes to the debug log as "SmtpClient:  ..."; nothing is reported back to the caller beyond the
// mailFinished signal.
//
// The server setting may carry a port ("mail.example.net:587", "[2001:db8::1]:2525"); without one the client
// connects to the port of the chosen security: 25 plain, 587 STARTTLS, 465 TLS. With STARTTLS or TLS the
// server's certificate and name are checked against the system's trust store (and OpenSSL's SSL_CERT_FILE and
// SSL_CERT_DIR), and the login never travels unencrypted.
class SmtpClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SmtpClient)

public:
    // The ring holds 100 slots; at most 99 messages wait, the one being sent included.
    static constexpr qint32 QueueSlots = 100;
    // Polls (333 ms apart) allowed for one whole attempt: about a minute.
    static constexpr qint16 TimeoutPolls = 180;
    static constexpr qint16 MaxAttempts = 3;
    // No SMTP reply comes near this; a peer that sends more without finishing a reply is not a mail server.
    static constexpr qsizetype MaxReply = 8192;

    // The steps of the dialogue, in the numbering the debug log and the documentation use; 10 to 12 are the
    // steps that switch a plain connection to TLS.
    enum ProtocolState : qint16 {
        Greeting = 0,
        EhloReply = 1, // or the result of the authentication
        RecipientPhase = 2,
        LastRecipient = 3,
        DataReply = 4,
        MessageAccepted = 5,
        QuitReply = 6,
        AuthEhloReply = 7,
        UserPrompt = 8,
        PasswordPrompt = 9,
        TlsEhloReply = 10, // EHLO on the plain connection, looking for STARTTLS
        StartTlsReply = 11,
        TlsHandshake = 12, // no reply is due: the handshake runs
    };

    enum class Verdict {
        Positive,
        Negative,
        UnknownState,
    };

    enum class Security { None, StartTls, Tls };

    struct Endpoint
    {
        QString host;
        quint16 port = 25;
    };

    explicit SmtpClient(const LiveSettings& settings, QObject* parent = nullptr);
    ~SmtpClient() override;

    // Queues a message; its number (for mailFinished) or 0 when nothing was queued.
    quint64 SendEmail(const QString& recipients, const QString& subject, const QString& body);
    void Poll();
    // The client's own 333 ms timer that calls Poll; tests that call Poll themselves leave it stopped.
    void startPolling() { m_pollTimer.start(); }
    void stopPolling() { m_pollTimer.stop(); }

    // The socket's events; the client's own socket delivers them through the event loop.
    void sktEmail_Connect();
    void sktEmail_DataArrival(qint32 bytesTotal);
    void sktEmail_Close();
    void sktEmail_Error();

    // The ring's ends, for the tests.
    qint32 writeIndex() const { return m_writeIndex; }
    qint32 readIndex() const { return m_readIndex; }
    // A TLS handshake has started and not yet finished.
    bool handshaking() const;

    // The pure parts of the dialogue.
    static Verdict judgeReply(qint16 state, const SmtpReply::Reply& reply);
    // "None", "STARTTLS", "TLS" in any case; anything else is nothing.
    static std::optional<Security> securityOf(const QString& text);
    static quint16 defaultPort(Security security);
    // The host and port named by the server setting; nothing when its port is not a number from 1 to 65535.
    static std::optional<Endpoint> serverEndpoint(const QString& setting, quint16 defaultPort = 25);
    // The words a TLS failure is logged with: "untrusted certificate", "host name mismatch", ...
    static QString tlsCause(const QList<QSslError>& errors);
    // The certificates a server's is checked against: the system's, or those SSL_CERT_FILE and SSL_CERT_DIR
    // name (the push channels trust the same).
    static QList<QSslCertificate> trustedCertificates();

Q_SIGNALS:
    // A message has left the queue: sent (the server took it) or dropped after its last attempt, with the
    // failure that ended its last attempt.
    void mailFinished(bool sent, quint64 id, const QString& cause);

private:
    void SendNextMail();
    void RetryMail();
    void LogEmail(const QString& text);
    // A failure line: logged, and remembered as the reason the current message may end with.
    void LogFailure(const QString& text);

    void handleReply(const SmtpReply::Reply& reply);
    void serverError(const char* step, const SmtpReply::Reply& reply);
    void afterEhlo(const SmtpReply::Reply& reply);
    void sendText(const QByteArray& text);
    void sendCommand(const QString& command);
    QString base64(const QByteArray& bytes) const;
    void connectServer(const QString& failurePrefix);
    QSslSocket* socket();
    void startAttempt();
    void closeSocket();
    bool socketClosed() const;
    bool queueEmpty() const { return m_writeIndex == m_readIndex; }
    void finishMessage(bool sent);
    // The server's text as it may stand in the log: the login never does.
    QString quoted(const QString& serverText) const;
    template<typename Handler> void post(Handler handler);

    // TLS (SmtpClientTls.cpp).
    void setUpTls();
    void tlsErrors(const QList<QSslError>& errors);
    void sktEmail_Encrypted();

    const LiveSettings& m_settings;
    QTimer m_pollTimer;
    QSslSocket* m_socket = nullptr; // made by socket(), at the first connection
    Base64 m_codec;

    qint16 m_state = Greeting;
    std::array<QString, QueueSlots + 1> m_recipientQueue;
    std::array<QString, QueueSlots + 1> m_subjectQueue;
    std::array<QString, QueueSlots + 1> m_bodyQueue;
    std::array<quint64, QueueSlots + 1> m_idQueue {};
    QStringList m_recipients;
    qint16 m_currentRecipient = 0;
    QByteArray m_buffer;
    qint16 m_attempts = 0;
    qint16 m_activity = -1;
    qint32 m_writeIndex = 0;
    qint32 m_readIndex = 0;
    bool m_accepted = false;
    quint64 m_lastId = 0;

    // The security and host of the attempt under way, fixed when it connects.
    Security m_security = Security::None;
    QString m_host;
    QString m_cause; // why the current message's latest attempt failed
    bool m_tlsFailureLogged = false; // this attempt's TLS failure has its line already

    // Socket events travel through the event loop tagged with the connection they belong to; the events of
    // a connection the client has already ended are dropped.
    quint64 m_generation = 0;
    quint64 m_liveGeneration = ~quint64(0); // the connection that reached the server
};
