#include "SmtpPeer.h"

#include "platform/DebugSink.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <algorithm>

namespace {
QString script(const QString& name)
{
    return QStringLiteral(KW_SMTP_SCRIPTS "/") + name;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

SmtpPeer::SmtpPeer()
{
    // aiosmtpd reports every refused handshake with a traceback; kept beside the spool, out of the test output.
    m_process.setStandardErrorFile(m_spool.filePath(QStringLiteral("peer.log")));
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SmtpPeer::readOutput);
}

SmtpPeer::~SmtpPeer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString SmtpPeer::server(const QString& host) const
{
    return QStringLiteral("%1:%2").arg(host).arg(m_port);
}

bool SmtpPeer::startScripted(const QString& scriptJson, bool bytewise)
{
    QStringList arguments {QStringLiteral("--script"), scriptJson};
    if (bytewise)
        arguments << QStringLiteral("--bytewise");
    return start(script(QStringLiteral("fake_smtp.py")), arguments, {});
}

bool SmtpPeer::startAiosmtpd(const QStringList& options, const QString& netns)
{
    return start(
        script(QStringLiteral("smtp_sink.py")), QStringList {QStringLiteral("--dir"), m_spool.path()} + options, netns);
}

bool SmtpPeer::start(const QString& scriptPath, const QStringList& arguments, const QString& netns)
{
    const QStringList command = QStringList {QStringLiteral("/usr/bin/python3"), scriptPath} + arguments;
    if (netns.isEmpty())
        m_process.start(command.first(), command.mid(1));
    else
        m_process.start(
            QStringLiteral("ip"), QStringList {QStringLiteral("netns"), QStringLiteral("exec"), netns} + command);
    if (!m_process.waitForStarted(5000))
        return false;
    return waitFor(QStringLiteral("PORT "), 0, 15000);
}

void SmtpPeer::readOutput()
{
    m_pending += m_process.readAllStandardOutput();
    qsizetype lf;
    while ((lf = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(lf));
        m_pending.remove(0, lf + 1);
        if (line.startsWith(QLatin1String("PORT ")))
            m_port = quint16(line.mid(5).toUInt());
        if (line.startsWith(QLatin1String("MSG "))) {
            // The scripted server prints the text itself, aiosmtpd the file that holds it.
            const QString what = line.section(QLatin1Char(' '), -1);
            m_paths << what;
            m_messages << (what.startsWith(QLatin1Char('/')) ? readFile(what)
                                                             : QByteArray::fromBase64(what.toLatin1()));
        }
        m_events << line;
    }
}

bool SmtpPeer::waitFor(const QString& prefix, qsizetype cursor, int timeoutMs)
{
    const auto seen = [&] {
        return std::any_of(m_events.cbegin() + qMin(cursor, m_events.size()), m_events.cend(),
            [&](const QString& e) { return e.startsWith(prefix); });
    };
    return QTest::qWaitFor(seen, timeoutMs);
}

QByteArray SmtpPeer::envelope(int i) const
{
    QString path = m_paths.value(i);
    return readFile(path.replace(QStringLiteral(".eml"), QStringLiteral(".json")));
}

void SmtpPeer::clearRecords()
{
    m_events.clear();
    m_messages.clear();
    m_paths.clear();
}

int SmtpPeer::connections() const
{
    return int(std::count_if(
        m_events.cbegin(), m_events.cend(), [](const QString& e) { return e.startsWith(QLatin1String("CONNECT ")); }));
}

QStringList SmtpPeer::received(int connection) const
{
    QStringList out;
    for (const QString& e : m_events) {
        if (e.startsWith(QLatin1String("RECV "))
            && (connection == 0 || e.section(QLatin1Char(' '), 1, 1).toInt() == connection))
            out << e.section(QLatin1Char(' '), 2);
    }
    return out;
}

namespace TestCertificates {
namespace {
QString folder()
{
    static QTemporaryDir dir;
    static const bool made = [] {
        const auto openssl = [](const QStringList& arguments) {
            QProcess p;
            p.setWorkingDirectory(dir.path());
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(QStringLiteral("openssl"), arguments);
            return p.waitForFinished(30000) && p.exitCode() == 0;
        };
        const auto ca = [&](const QString& name) {
            return openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-keyout", name + ".key", "-out", name + ".pem", "-days", "2", "-subj", "/CN=Kestrelwatch " + name});
        };
        const auto leaf = [&](const QString& name, const QString& caName, const QString& san, const QString& days) {
            QFile ext(dir.filePath(name + ".ext"));
            if (!ext.open(QIODevice::WriteOnly) || ext.write(("subjectAltName=" + san + "\n").toUtf8()) < 0)
                return false;
            ext.close();
            return openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                       name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name})
                && openssl({"x509", "-req", "-in", name + ".csr", "-CA", caName + ".pem", "-CAkey", caName + ".key",
                    "-CAcreateserial", "-out", name + ".pem", "-days", days, "-extfile", name + ".ext"});
        };
        const QString local = QStringLiteral("DNS:localhost,IP:127.0.0.1");
        // A negative validity ends before it begins: expired from the start.
        return ca(QStringLiteral("ca")) && ca(QStringLiteral("rogue"))
            && leaf(QStringLiteral("valid"), QStringLiteral("ca"), local, QStringLiteral("2"))
            && leaf(QStringLiteral("wrongname"), QStringLiteral("ca"), QStringLiteral("DNS:wrong.example"),
                QStringLiteral("2"))
            && leaf(QStringLiteral("expired"), QStringLiteral("ca"), local, QStringLiteral("-1"))
            && leaf(QStringLiteral("untrusted"), QStringLiteral("rogue"), local, QStringLiteral("2"));
    }();
    return made ? dir.path() : QString();
}
} // namespace

QString caFile()
{
    return folder().isEmpty() ? QString() : folder() + QStringLiteral("/ca.pem");
}

QString certificate(const QString& name)
{
    return folder() + QLatin1Char('/') + name + QStringLiteral(".pem");
}

QString key(const QString& name)
{
    return folder() + QLatin1Char('/') + name + QStringLiteral(".key");
}
} // namespace TestCertificates

LogCapture::LogCapture()
{
    installLogSink([this](const QString& text) { m_lines << text; });
}

LogCapture::~LogCapture()
{
    installLogSink({});
}

QStringList LogCapture::mailLines() const
{
    QStringList out;
    const QString prefix = QStringLiteral("CEmail:  ");
    for (const QString& line : m_lines) {
        if (line.startsWith(prefix))
            out << line.mid(prefix.size());
    }
    return out;
}
