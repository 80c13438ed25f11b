#pragma once

#include "Lab.h"
#include "Reg.h"

#include <QProcess>
#include <QTemporaryDir>

// The aiosmtpd server of the alert-mail LAN tests inside a lab namespace, and the old names of the shared
// lab helper (tests/support/Lab.h, Reg.h), until those tests move to them and to the shared SMTP peer.
namespace e2e {

using kwtest::binary;
using kwtest::Lab;
using kwtest::Monitor;
using kwtest::netlabScript;
using kwtest::Run;
using kwtest::run;
inline QString deviceKey(const QString& mac)
{
    return Reg::device(mac);
}
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
