#include "Process.h"

#include "TestHome.h"

#include <QDeadlineTimer>
#include <QTest>
#include <csignal>

namespace kwtest {

Run run(const QString& program, const QStringList& args, int timeoutMs, const QByteArray& input)
{
    QProcess p;
    p.start(program, args);
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return Run {-1, QString::fromUtf8(p.readAllStandardOutput()),
            QStringLiteral("timed out: ") + program + QLatin1Char(' ') + args.join(QLatin1Char(' '))};
    }
    return Run {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
        QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString binary(const QString& name)
{
    return TestHome::binDir() + QLatin1Char('/') + name;
}

Process::Process(QObject* parent)
    : QObject(parent)
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this, [this] { readLines(Out); });
    connect(&m_process, &QProcess::readyReadStandardError, this, [this] { readLines(Err); });
}

Process::~Process()
{
    if (running())
        stop(3000);
}

void Process::start(const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    m_process.setProcessEnvironment(env);
    m_process.start(program, args);
}

void Process::readLines(Channel channel)
{
    m_process.setReadChannel(channel == Out ? QProcess::StandardOutput : QProcess::StandardError);
    QByteArray& pending = m_pending[channel];
    pending += m_process.readAll();
    QStringList& into = channel == Out ? m_out : m_err;
    qsizetype nl = 0;
    while ((nl = pending.indexOf('\n')) >= 0) {
        into.append(QString::fromUtf8(pending.left(nl)));
        pending.remove(0, nl + 1);
    }
}

QString Process::waitForLine(const QRegularExpression& re, qsizetype from, int timeoutMs, Channel channel)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (qsizetype checked = from;;) {
        const QStringList& all = lines(channel);
        for (; checked < all.size(); ++checked) {
            if (re.match(all[checked]).hasMatch())
                return all[checked];
        }
        if (deadline.hasExpired() || !running())
            return {};
        QTest::qWait(50);
    }
}

QStringList Process::linesAfter(qsizetype from, const QString& text, Channel channel) const
{
    return lines(channel).mid(from).filter(text);
}

int Process::stop(int timeoutMs)
{
    if (running()) {
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(timeoutMs)) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
    }
    readLines(Out);
    readLines(Err);
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void Process::kill()
{
    ::kill(pid_t(m_process.processId()), SIGKILL);
    m_process.waitForFinished();
    readLines(Out);
    readLines(Err);
}

} // namespace kwtest
