#pragma once

#include "helper/HelperProtocol.h"

#include <QByteArray>
#include <QLocalSocket>
#include <QObject>
#include <QProcess>
#include <QString>
#include <functional>

// The monitor's end of the pipe to kestrelwatch-helper: starts the helper as a child with an empty
// environment, waits once for its Ready frame, then writes requests and hands each reply to a callback from
// the event loop. The helper ends when this object closes the pipe. A program "unix:PATH" is a helper the
// service manager starts for each connection to that socket (the headless service's own helper unit): the
// same frames then go over the connection.
class HelperClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelperClient)

public:
    explicit HelperClient(QString program, QObject* parent = nullptr);
    ~HelperClient() override;

    // The helper's own executable: beside the monitor's (a build tree), else in the installed libexec folder.
    // Empty when neither exists; searched lists the places looked at.
    static QString locate(const QString& monitorDir, QStringList* searched = nullptr);

    // Starts the helper and waits (at most timeoutMs, once, at start-up) for its Ready frame.
    bool start(int timeoutMs = 3000);
    bool running() const { return m_ready && alive(); }
    std::uint8_t flags() const { return m_flags; }
    int echoSocketErrno() const { return m_echoErrno; }
    int sendBuffer() const { return m_sendBuffer; }
    int arpSocketErrno() const { return m_arpErrno; }
    int dhcpSocketErrno() const { return m_dhcpErrno; }
    qint64 pid() const { return m_io == &m_process ? m_process.processId() : 0; }
    const QString& program() const { return m_program; }
    QString startError() const { return m_startError; }

    // Writes one request; returns its sequence number, 0 when the helper is not running.
    std::uint32_t send(helperproto::Type type, const std::vector<std::uint8_t>& payload);
    // Waits until every request written so far has had its reply (tests and benchmarks); false on time-out.
    bool waitForReplies(int timeoutMs);
    // Ends the helper: closes its pipe and waits briefly for it to leave.
    void stop();

    std::function<void(const helperproto::Reply&)> onReply;
    std::function<void()> onGone; // the helper ended while it was wanted

private:
    void readReplies();
    bool alive() const;
    void gone();

    QString m_program;
    QProcess m_process;
    QLocalSocket m_socket;
    QIODevice* m_io = &m_process;
    QByteArray m_buffer;
    bool m_ready = false;
    bool m_stopping = false;
    std::uint8_t m_flags = 0;
    int m_echoErrno = 0;
    int m_sendBuffer = 0;
    int m_arpErrno = 0;
    int m_dhcpErrno = 0;
    std::uint32_t m_nextSeq = 1;
    std::uint32_t m_lastAnswered = 0;
    QString m_startError;
};
