#include "SmtpPeer.h"

#include <QFile>
#include <QRegularExpression>

bool SmtpPeer::startScripted(const QString& scriptJson, bool bytewise)
{
    return start(QStringLiteral("fake_smtp.py"),
        bytewise ? QStringList {"--script", scriptJson, "--bytewise"} : QStringList {"--script", scriptJson}, {});
}

bool SmtpPeer::startAiosmtpd(const QStringList& options, const QString& netns)
{
    return start(QStringLiteral("smtp_sink.py"), QStringList {"--dir", m_spool.path()} + options, netns);
}

bool SmtpPeer::start(const QString& script, const QStringList& arguments, const QString& netns)
{
    const QStringList command =
        QStringList {QStringLiteral("/usr/bin/python3"), QStringLiteral(KW_SMTP_SCRIPTS "/") + script} + arguments;
    if (netns.isEmpty())
        m_process.start(command.first(), command.mid(1));
    else
        m_process.start(QStringLiteral("ip"), QStringList {"netns", "exec", netns} + command);
    const QString port = m_process.waitForLine(QRegularExpression(QStringLiteral("^PORT ")), 0, 15000);
    m_port = quint16(port.mid(5).toUInt());
    return m_port != 0;
}

bool SmtpPeer::waitFor(const QString& prefix, qsizetype cursor, int timeoutMs)
{
    const QRegularExpression line(QLatin1Char('^') + QRegularExpression::escape(prefix));
    return !m_process.waitForLine(line, cursor, timeoutMs).isEmpty();
}

QList<QByteArray> SmtpPeer::messages() const
{
    QList<QByteArray> out;
    for (const QString& line : m_process.lines()) {
        // The scripted server prints the text itself, aiosmtpd the file that holds it.
        const QString what = line.section(QLatin1Char(' '), -1);
        QFile file(what);
        if (line.startsWith(QLatin1String("MSG ")))
            out << (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray::fromBase64(what.toLatin1()));
    }
    return out;
}

QStringList SmtpPeer::received() const
{
    QStringList out;
    for (const QString& line : m_process.lines()) {
        if (line.startsWith(QLatin1String("RECV ")))
            out << line.section(QLatin1Char(' '), 2);
    }
    return out;
}

namespace TestCertificates {
namespace {
QString folder()
{
    static QTemporaryDir dir;
    static const bool made = [] {
        const auto openssl = [](const QString& arguments) {
            QProcess p;
            p.setWorkingDirectory(dir.path());
            p.setStandardOutputFile(QProcess::nullDevice());
            p.setStandardErrorFile(QProcess::nullDevice());
            p.start(QStringLiteral("openssl"), arguments.split(QLatin1Char(' ')));
            return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        };
        const QString key = QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ");
        const auto ca = [&](const QString& n) {
            return openssl("req -x509 " + key + n + ".key -out " + n + ".pem -days 2 -subj /CN=" + n);
        };
        // A negative validity ends before it begins: expired from the start.
        const auto leaf = [&](const QString& n, const QString& issuer, const QString& names, int days) {
            QFile ext(dir.filePath(n + ".ext"));
            return ext.open(QIODevice::WriteOnly) && ext.write("subjectAltName=" + names.toUtf8() + "\n") > 0
                && (ext.close(), openssl("req " + key + n + ".key -out " + n + ".csr -subj /CN=" + n))
                && openssl("x509 -req -in " + n + ".csr -CA " + issuer + ".pem -CAkey " + issuer
                    + ".key -CAcreateserial -out " + n + ".pem -extfile " + n + ".ext -days " + QString::number(days));
        };
        const QString local = QStringLiteral("DNS:localhost,IP:127.0.0.1");
        return ca("ca") && ca("rogue") && leaf("valid", "ca", local, 2) && leaf("expired", "ca", local, -1)
            && leaf("wrongname", "ca", QStringLiteral("DNS:wrong.example"), 2) && leaf("untrusted", "rogue", local, 2);
    }();
    return made ? dir.path() + QLatin1Char('/') : QString();
}
} // namespace

QString caFile()
{
    return folder().isEmpty() ? QString() : folder() + QStringLiteral("ca.pem");
}

QStringList serverOptions(const QString& flag, const QString& name)
{
    return {flag, folder() + name + QStringLiteral(".pem"), folder() + name + QStringLiteral(".key")};
}
} // namespace TestCertificates
