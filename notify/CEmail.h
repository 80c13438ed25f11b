#pragma once

#include "store/Base64Class.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

class QTcpSocket;
struct LiveSettings;

// The system's only way to send mail: a queued, single-connection SMTP client. Callers hand over a recipient
// text (addresses joined by ";"), a subject and a body and never wait; messages go out one at a time, three
// attempts each, driven by the socket's events while Poll (every 333 ms) counts out the time-out. Everything
// noteworthy goes to the debug log as "CEmail:  ..."; nothing is reported back to the caller.
//
// The server setting may carry a port ("mail.example.net:587", "[2001:db8::1]:2525"); without one the client
// connects to port 25.
class CEmail final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CEmail)

public:
    // The ring holds 100 slots; at most 99 messages wait, the one being sent included.
    static constexpr qint32 QueueSlots = 100;
    // Polls (333 ms apart) allowed for one whole attempt: about a minute.
    static constexpr qint16 TimeoutPolls = 180;
    static constexpr qint16 MaxAttempts = 3;
    static constexpr quint16 DefaultPort = 25;
    // No SMTP reply comes near this; a peer that sends more without our next command is not a mail server.
    static constexpr qsizetype MaxReply = 8192;

    // The steps of the dialogue, in the numbering the debug log and the documentation use.
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
    };

    enum class Verdict {
        Incomplete, // fewer than three characters so far: wait for more
        Positive,
        Negative,
        UnknownState,
    };

    struct Endpoint
    {
        QString host;
        quint16 port = DefaultPort;
    };

    explicit CEmail(const LiveSettings& settings, QObject* parent = nullptr);
    ~CEmail() override;

    void SendEmail(const QString& recipients, const QString& subject, const QString& body);
    void Poll();

    // The socket's events; the client's own socket delivers them through the event loop.
    void sktEmail_Connect();
    void sktEmail_DataArrival(qint32 bytesTotal);
    void sktEmail_Close();
    void sktEmail_Error();

    // State, for the status display and tests.
    qint16 protocolState() const { return m_state; }
    qint16 activityCounter() const { return m_activity; }
    qint16 attemptCounter() const { return m_attempts; }
    qint32 writeIndex() const { return m_writeIndex; }
    qint32 readIndex() const { return m_readIndex; }
    qint32 queuedCount() const;
    bool isIdle() const { return m_activity == -1; }
    qsizetype replyBufferSize() const { return m_buffer.size(); }

    // The pure parts of the dialogue.
    static Verdict judgeReply(qint16 state, QStringView buffer);
    // The buffer up to its first CR LF, or all of it.
    static QString replyLine(QStringView buffer);
    static QString dateHeader(const QDateTime& when, const QLocale& locale = QLocale());
    static QString messageText(const QString& sender, const QDateTime& when, const QString& recipients,
        const QString& subject, const QString& body, const QLocale& locale = QLocale());
    // The host and port named by the server setting; nothing when its port is not a number from 1 to 65535.
    static std::optional<Endpoint> serverEndpoint(const QString& setting);

Q_SIGNALS:
    // A message has left the queue: sent (the server took it) or dropped after its last attempt.
    void mailFinished(bool sent);

private:
    void SendNextMail();
    void RetryMail();
    static void LogEmail(const QString& text);

    void handleReply();
    void sendText(const QString& text);
    void sendCommand(const QString& command);
    void connectServer(const QString& failurePrefix);
    void closeSocket();
    bool socketClosed() const;
    bool queueEmpty() const { return m_writeIndex == m_readIndex; }
    void finishMessage(bool sent);
    // The server's text as it may stand in the log: the login never does.
    QString quoted(const QString& serverText) const;
    template<typename Handler> void post(Handler handler);

    const LiveSettings& m_settings;
    QTcpSocket* m_socket = nullptr;
    Base64Class m_codec;

    qint16 m_state = Greeting;
    std::array<QString, QueueSlots + 1> m_recipientQueue;
    std::array<QString, QueueSlots + 1> m_subjectQueue;
    std::array<QString, QueueSlots + 1> m_bodyQueue;
    QStringList m_recipients;
    qint16 m_currentRecipient = 0;
    QString m_buffer;
    qint16 m_attempts = 0;
    qint16 m_activity = -1;
    qint32 m_writeIndex = 0;
    qint32 m_readIndex = 0;
    bool m_accepted = false;

    // Socket events travel through the event loop tagged with the connection they belong to; the events of
    // a connection the client has already ended are dropped.
    quint64 m_generation = 0;
};
