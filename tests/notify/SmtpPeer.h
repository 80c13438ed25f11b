#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>

// An SMTP peer on 127.0.0.1 in a child process, for the mail tests and benchmarks: either the scripted fake
// server (fake_smtp.py) or the real aiosmtpd server (smtp_sink.py). The process ends with the object.
class SmtpPeer final : public QObject
{
    Q_OBJECT

public:
    SmtpPeer();
    ~SmtpPeer() override;

    // scriptJson: the per-connection scenarios of fake_smtp.py.
    bool startFake(const QString& scriptJson = QStringLiteral("[{}]"));
    bool startSink(const QString& dir, const QString& user = {}, const QString& password = {});

    quint16 port() const { return m_port; }
    // The server setting that reaches this peer.
    QString server() const;

    int connections() const;
    int closed() const;
    // The client's command lines, in arrival order (connection 0: all connections).
    QStringList received(int connection = 0) const;
    // Fake server: the message texts after DATA; sink: the paths of the accepted messages.
    QList<QByteArray> messages() const { return m_messages; }
    QStringList events() const { return m_events; }
    // Forgets what has been recorded so far (long benchmark runs).
    void clearRecords();

    static QString scriptDir();

private:
    bool start(const QStringList& arguments);
    void readOutput();
    int countEvents(QLatin1String kind) const;

    QProcess m_process;
    QByteArray m_pending;
    QStringList m_events;
    QList<QByteArray> m_messages;
    quint16 m_port = 0;
    bool m_fake = false;
};

// Collects every debug line written through Log() while it lives.
class LogCapture final
{
public:
    LogCapture();
    ~LogCapture();

    QStringList lines() const { return m_lines; }
    // The mail client's lines without their "CEmail:  " prefix (each is checked to carry it).
    QStringList mailLines() const;
    void clear() { m_lines.clear(); }

private:
    QStringList m_lines;
};
