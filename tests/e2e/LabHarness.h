#pragma once

#include "Lab.h"
#include "Reg.h"

#include <QProcess>
#include <QTemporaryDir>

// The aiosmtpd server of the alert-mail LAN test inside a lab namespace, until the shared SMTP peer
// launcher (tests/support/SmtpPeer) takes its place.
namespace e2e {

using kwtest::Lab;
using kwtest::Monitor;
using kwtest::run;
inline QString whyNotRunnable()
{
    return kwtest::whyNoLab();
}

class MailSink final
{
public:
    explicit MailSink(const QString& ns);
    ~MailSink();
    int port() const { return m_port; } // 0 when it did not start
    QString messageContaining(const QString& needle) const;
    bool anyMessage() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

// Points the store at the sink and switches the new-intruder mail on.
bool configureAlertMail(const QString& home, int port);

} // namespace e2e
