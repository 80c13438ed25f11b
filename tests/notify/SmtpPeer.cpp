#include "SmtpPeer.h"

#include "platform/DebugSink.h"

#include <QDeadlineTimer>
#include <algorithm>

SmtpPeer::SmtpPeer()
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardErrorFile(QProcess::nullDevice());
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SmtpPeer::readOutput);
}

SmtpPeer::~SmtpPeer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString SmtpPeer::scriptDir()
{
    return QStringLiteral(KW_NOTIFY_SCRIPT_DIR);
}

QString SmtpPeer::server() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

bool SmtpPeer::startFake(const QString& scriptJson)
{
    m_fake = true;
    return start({scriptDir() + QStringLiteral("/fake_smtp.py"), QStringLiteral("--script"), scriptJson});
}

bool SmtpPeer::startSink(const QString& dir, const QString& user, const QString& password)
{
    QStringList arguments {scriptDir() + QStringLiteral("/smtp_sink.py"), QStringLiteral("--dir"), dir};
    if (!user.isNull())
        arguments << QStringLiteral("--user") << user << QStringLiteral("--password") << password;
    return start(arguments);
}

bool SmtpPeer::start(const QStringList& arguments)
{
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!m_process.waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(10000);
    while (m_port == 0 && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(deadline.remainingTime())))
            break;
        readOutput();
    }
    return m_port != 0;
}

void SmtpPeer::readOutput()
{
    m_pending += m_process.readAllStandardOutput();
    qsizetype lf;
    while ((lf = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(lf));
        m_pending.remove(0, lf + 1);
        m_events << line;
        if (line.startsWith(QLatin1String("PORT ")))
            m_port = quint16(line.mid(5).toUInt());
        else if (line.startsWith(QLatin1String("MSG ")))
            m_messages << (m_fake ? QByteArray::fromBase64(line.section(QLatin1Char(' '), 2, 2).toLatin1())
                                  : line.mid(4).toUtf8());
    }
}

void SmtpPeer::clearRecords()
{
    m_events.clear();
    m_messages.clear();
}

int SmtpPeer::countEvents(QLatin1String kind) const
{
    return int(
        std::count_if(m_events.cbegin(), m_events.cend(), [kind](const QString& e) { return e.startsWith(kind); }));
}

int SmtpPeer::connections() const
{
    return countEvents(QLatin1String("CONNECT "));
}

int SmtpPeer::closed() const
{
    return countEvents(QLatin1String("CLOSED "));
}

QStringList SmtpPeer::received(int connection) const
{
    QStringList out;
    for (const QString& e : m_events) {
        if (!e.startsWith(QLatin1String("RECV ")))
            continue;
        const int number = e.section(QLatin1Char(' '), 1, 1).toInt();
        if (connection == 0 || connection == number)
            out << e.section(QLatin1Char(' '), 2, -1);
    }
    return out;
}

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
