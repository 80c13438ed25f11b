// TLS for SmtpClient: which certificates it trusts, and what it logs when the server's certificate or the
// handshake fails.
#include "notify/SmtpClient.h"

#include "platform/DebugSink.h"
#include "store/LiveSettings.h"

#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

// OpenSSL's own variables name the trust store when they are set (Qt reads only its fixed folders): the file
// adds to the store, the folders replace the system's.
QList<QSslCertificate> SmtpClient::trustedCertificates()
{
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    const QString dirs = qEnvironmentVariable("SSL_CERT_DIR");
    QList<QSslCertificate> certificates;
    if (dirs.isEmpty()) {
        certificates = QSslConfiguration::systemCaCertificates();
    } else {
        for (const QString& dir : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
            certificates += QSslCertificate::fromPath(
                dir + QStringLiteral("/*"), QSsl::Pem, QSslCertificate::PatternSyntax::Wildcard);
    }
    if (!file.isEmpty()) {
        const QList<QSslCertificate> fromFile = QSslCertificate::fromPath(file, QSsl::Pem);
        if (fromFile.isEmpty())
            Log(kwMail, QStringLiteral("SmtpClient:  SSL_CERT_FILE %1 holds no certificate").arg(file));
        certificates += fromFile;
    }
    return certificates;
}

void SmtpClient::setUpTls()
{
    connect(m_socket, &QSslSocket::sslErrors, this, &SmtpClient::tlsErrors);
    connect(m_socket, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A handshake that fails without a certificate complaint (no common protocol, garbage from the peer).
        if ((error == QAbstractSocket::SslHandshakeFailedError || error == QAbstractSocket::SslInternalError)
            && !m_tlsFailureLogged) {
            LogFailure(
                QStringLiteral("TLS failure with %1: handshake failed (%2)").arg(m_host, m_socket->errorString()));
            m_tlsFailureLogged = true;
        }
    });
    if (qEnvironmentVariableIsSet("SSL_CERT_FILE") || qEnvironmentVariableIsSet("SSL_CERT_DIR")) {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setCaCertificates(trustedCertificates());
        m_socket->setSslConfiguration(config);
    }
    m_socket->setPeerVerifyMode(QSslSocket::VerifyPeer);
}

bool SmtpClient::handshaking() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState
        && m_socket->mode() != QSslSocket::UnencryptedMode && !m_socket->isEncrypted();
}

void SmtpClient::tlsErrors(const QList<QSslError>& errors)
{
    // The errors are not ignored: the handshake fails and the attempt ends as a socket error.
    if (m_tlsFailureLogged)
        return;
    LogFailure(QStringLiteral("TLS failure with %1: %2").arg(m_host, tlsCause(errors)));
    m_tlsFailureLogged = true;
}

void SmtpClient::sktEmail_Encrypted()
{
    // With STARTTLS the dialogue starts again on the encrypted connection; with TLS the greeting follows.
    if (m_state != TlsHandshake)
        return;
    sendCommand(QStringLiteral("EHLO kestrelwatch_MailServer"));
    m_state = m_settings.mail.authenticate ? AuthEhloReply : EhloReply;
}

QString SmtpClient::tlsCause(const QList<QSslError>& errors)
{
    bool untrusted = false;
    bool expired = false;
    bool notYetValid = false;
    bool mismatch = false;
    bool revoked = false;
    for (const QSslError& e : errors) {
        switch (e.error()) {
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
        case QSslError::CertificateRejected:
        case QSslError::InvalidCaCertificate:
            untrusted = true;
            break;
        case QSslError::CertificateExpired:
            expired = true;
            break;
        case QSslError::CertificateNotYetValid:
            notYetValid = true;
            break;
        case QSslError::HostNameMismatch:
            mismatch = true;
            break;
        case QSslError::CertificateRevoked:
            revoked = true;
            break;
        default:
            break;
        }
    }
    QStringList causes;
    if (untrusted)
        causes << QStringLiteral("untrusted certificate");
    if (expired)
        causes << QStringLiteral("expired certificate");
    if (notYetValid)
        causes << QStringLiteral("certificate not yet valid");
    if (revoked)
        causes << QStringLiteral("revoked certificate");
    if (mismatch)
        causes << QStringLiteral("host name mismatch");
    if (causes.isEmpty())
        causes << QStringLiteral("certificate refused");
    QString text = causes.join(QStringLiteral(", "));
    if (!errors.isEmpty())
        text += QStringLiteral(" (") + errors.first().errorString() + QLatin1Char(')');
    return text;
}
