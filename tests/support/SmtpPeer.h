#pragma once

#include "Process.h"

#include <QTemporaryDir>

// The one SMTP peer, a child process that ends with the object: the stock aiosmtpd server
// (tests/notify/smtp_sink.py) or the scripted server (tests/notify/fake_smtp.py).
class SmtpPeer final
{
public:
    // scriptJson: fake_smtp.py's scenarios, one per connection.
    bool startScripted(const QString& scriptJson = QStringLiteral("[{}]"), bool bytewise = false);
    // options: smtp_sink.py's (--user U --password P, --mechanisms, --starttls CERT KEY, --smtps CERT KEY);
    // with a namespace the server runs inside it, on its loopback.
    bool startAiosmtpd(const QStringList& options = {}, const QString& netns = {});

    QString server() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    // The scripted server's record of the client's command lines, all connections in order.
    QStringList received() const;
    // The text after DATA of every accepted message, in order.
    QList<QByteArray> messages() const;

    // Waits for an output line from cursor on that starts with prefix.
    qsizetype cursor() const { return m_process.cursor(); }
    bool waitFor(const QString& prefix, qsizetype cursor, int timeoutMs = 20000);

private:
    bool start(const QString& script, const QStringList& arguments, const QString& netns);

    QTemporaryDir m_spool;
    kwtest::Process m_process;
    quint16 m_port = 0;
};

// Made with openssl at first use, for the life of the process: a test CA (for SSL_CERT_FILE) and certificates
// for localhost and 127.0.0.1: "valid", "expired", "wrongname" and "untrusted" (from a CA nobody trusts).
// caFile() is empty when openssl failed.
namespace TestCertificates {
QString caFile();
QStringList serverOptions(const QString& flag, const QString& name); // e.g. {"--starttls", cert, key}
} // namespace TestCertificates
