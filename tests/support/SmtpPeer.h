#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// The one SMTP peer of the mail tests, the LAN tests and the benchmarks, in a child process that ends with
// the object: the stock aiosmtpd server (tests/notify/smtp_sink.py), or the scripted server
// (tests/notify/fake_smtp.py) that writes its replies line by line or byte by byte.
class SmtpPeer final : public QObject
{
    Q_OBJECT

public:
    SmtpPeer();
    ~SmtpPeer() override;

    // scriptJson: the per-connection scenarios of fake_smtp.py.
    bool startScripted(const QString& scriptJson = QStringLiteral("[{}]"), bool bytewise = false);
    // options: smtp_sink.py's own (--user U --password P, --mechanisms, --starttls CERT KEY, --smtps CERT KEY,
    // --host). With a namespace the server runs inside it.
    bool startAiosmtpd(const QStringList& options = {}, const QString& netns = {});

    quint16 port() const { return m_port; }
    // The server setting that reaches this peer.
    QString server(const QString& host = QStringLiteral("127.0.0.1")) const;

    int connections() const;
    // The client's command lines (scripted server), in arrival order; connection 0: all connections.
    QStringList received(int connection = 0) const;
    // The text after DATA of every accepted message, in arrival order.
    QList<QByteArray> messages() const { return m_messages; }
    // aiosmtpd: the envelope of message i, {"mail_from", "rcpt_tos"}.
    QByteArray envelope(int i) const;

    // Waits on the peer's output: the first event at or after cursor that starts with prefix.
    qsizetype cursor() const { return m_events.size(); }
    bool waitFor(const QString& prefix, qsizetype cursor, int timeoutMs = 20000);
    // Forgets what has been recorded so far (long benchmark runs).
    void clearRecords();

private:
    bool start(const QString& script, const QStringList& arguments, const QString& netns);
    void readOutput();

    QProcess m_process;
    QTemporaryDir m_spool;
    QByteArray m_pending;
    QStringList m_events;
    QList<QByteArray> m_messages;
    QStringList m_paths;
    quint16 m_port = 0;
};

// Certificates made with openssl at first use, in a folder that lives as long as the process: a test CA and,
// each with its key (name + ".key"), a certificate for localhost and 127.0.0.1 signed by it ("valid"), one
// for another name ("wrongname"), one that has expired ("expired") and one from a CA nobody trusts
// ("untrusted"). Nothing generated is kept.
namespace TestCertificates {
// The CA to name in SSL_CERT_FILE; empty when openssl failed.
QString caFile();
QString certificate(const QString& name);
QString key(const QString& name);
} // namespace TestCertificates

// Collects every debug line written through Log() while it lives.
class LogCapture final
{
public:
    LogCapture();
    ~LogCapture();

    QStringList lines() const { return m_lines; }
    // The mail client's lines without their "CEmail:  " prefix.
    QStringList mailLines() const;

private:
    QStringList m_lines;
};
