#include "LabHarness.h"

#include "TestHome.h"

#include <QDir>

namespace e2e {

MailSink::MailSink(const QString& ns)
{
    m_process.start(QStringLiteral("ip"),
        {QStringLiteral("netns"), QStringLiteral("exec"), ns, QStringLiteral("/usr/bin/python3"),
            TestHome::sourceDir() + QStringLiteral("/tests/notify/smtp_sink.py"), QStringLiteral("--dir"),
            m_dir.path()});
    if (!m_process.waitForReadyRead(15000))
        return;
    const QString first = QString::fromUtf8(m_process.readLine()).trimmed();
    if (first.startsWith(QStringLiteral("PORT ")))
        m_port = first.mid(5).toInt();
}

MailSink::~MailSink()
{
    m_process.kill();
    m_process.waitForFinished();
}

bool MailSink::anyMessage() const
{
    return !QDir(m_dir.path()).entryList({QStringLiteral("*.eml")}).isEmpty();
}

QString MailSink::messageContaining(const QString& needle) const
{
    const QDir dir(m_dir.path());
    for (const QString& name : dir.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        const QString text = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        if (text.contains(needle))
            return text;
    }
    return {};
}

bool configureAlertMail(const QString& home, int port)
{
    return Reg::set(home, Reg::general(), QStringLiteral("EmailServer"), QStringLiteral("127.0.0.1:%1").arg(port))
        && Reg::set(home, Reg::general(), QStringLiteral("EmailFrom"), QStringLiteral("kestrel@lab.example"))
        && Reg::set(home, Reg::general(), QStringLiteral("EmailAddresses"), QStringLiteral("owner@lab.example"))
        && Reg::set(home, Reg::general(), QStringLiteral("NewIntruderEmail"), QStringLiteral("1"));
}

} // namespace e2e
