#include "LabHarness.h"

#include "TestHome.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace e2e {

Run run(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return Run {-1, QString::fromUtf8(p.readAllStandardOutput()), QStringLiteral("timed out")};
    }
    return Run {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
        QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString netlabScript()
{
    return TestHome::sourceDir() + QStringLiteral("/scripts/netlab");
}

QString binary(const QString& name)
{
    return TestHome::binDir() + QLatin1Char('/') + name;
}

QString whyNotRunnable()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to build network namespaces");
    if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
        return QStringLiteral("iproute2 (ip) is not installed");
    if (!QFileInfo(netlabScript()).isExecutable())
        return QStringLiteral("scripts/netlab is missing");
    return {};
}

Lab::Lab(const QString& tag)
    : m_name(tag + QString::number(QCoreApplication::applicationPid()))
{
    const Run up = run(netlabScript(),
        {QStringLiteral("up"), m_name, QStringLiteral("--owner"), QString::number(QCoreApplication::applicationPid())});
    m_ok = up.code == 0;
    m_error = up.err;
}

Lab::~Lab()
{
    run(netlabScript(), {QStringLiteral("down"), m_name});
}

Run Lab::netlab(const QString& command, const QStringList& args) const
{
    return run(netlabScript(), QStringList {command, m_name} + args);
}

QString Lab::ns(const QString& host) const
{
    return netlab(QStringLiteral("ns"), {host}).out.trimmed();
}

bool Lab::addDevice(const QString& name, const QString& ip, const QString& mac) const
{
    return netlab(QStringLiteral("add"), {name, ip, mac}).code == 0;
}

Run Lab::inMonitor(const QStringList& command) const
{
    return run(QStringLiteral("ip"), QStringList {QStringLiteral("netns"), QStringLiteral("exec"), ns()} + command);
}

Monitor::Monitor(QString home, QObject* parent)
    : QObject(parent)
    , m_home(std::move(home))
{
    connect(&m_process, &QProcess::readyReadStandardOutput, this,
        [this] { readLines(QProcess::StandardOutput, m_pendingOut, m_events); });
    connect(&m_process, &QProcess::readyReadStandardError, this,
        [this] { readLines(QProcess::StandardError, m_pendingErr, m_debug); });
}

Monitor::~Monitor()
{
    if (running())
        stop(3000);
}

void Monitor::start(const QString& ns, const QStringList& prefix, const QString& program)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/config"));
    m_process.setProcessEnvironment(env);
    // `ip netns exec` execs the program itself, so the process we hold is the monitor.
    m_process.start(QStringLiteral("ip"),
        QStringList {QStringLiteral("netns"), QStringLiteral("exec"), ns} + prefix
            + QStringList {program.isEmpty() ? binary(QStringLiteral("kestrelwatch")) : program,
                QStringLiteral("--headless"), QStringLiteral("--home"), m_home});
}

void Monitor::readLines(QProcess::ProcessChannel channel, QByteArray& pending, QStringList& into)
{
    m_process.setReadChannel(channel);
    pending += m_process.readAll();
    qsizetype nl = 0;
    while ((nl = pending.indexOf('\n')) >= 0) {
        into.append(QString::fromUtf8(pending.left(nl)));
        pending.remove(0, nl + 1);
    }
}

QString Monitor::waitFor(const QStringList& lines, const QRegularExpression& re, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    qsizetype checked = 0;
    for (;;) {
        for (; checked < lines.size(); ++checked) {
            if (re.match(lines[checked]).hasMatch())
                return lines[checked];
        }
        if (deadline.hasExpired() || !running())
            return {};
        QTest::qWait(50);
    }
}

QString Monitor::waitForEvent(const QRegularExpression& re, int timeoutMs)
{
    return waitFor(m_events, re, timeoutMs);
}

QString Monitor::waitForDebug(const QRegularExpression& re, int timeoutMs)
{
    return waitFor(m_debug, re, timeoutMs);
}

int Monitor::stop(int timeoutMs)
{
    if (!running())
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(timeoutMs)) {
        m_process.kill();
        m_process.waitForFinished();
        return -1;
    }
    readLines(QProcess::StandardOutput, m_pendingOut, m_events);
    readLines(QProcess::StandardError, m_pendingErr, m_debug);
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString regGet(const QString& home, const QString& key, const QString& name)
{
    const Run r = run(
        binary(QStringLiteral("kestrelwatch-reg")), {QStringLiteral("--home"), home, QStringLiteral("get"), key, name});
    return r.code == 0 ? r.out.chopped(1) : QString();
}

QStringList regKeys(const QString& home, const QString& key)
{
    return run(
        binary(QStringLiteral("kestrelwatch-reg")), {QStringLiteral("--home"), home, QStringLiteral("keys"), key})
        .out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString regDump(const QString& home, const QString& key)
{
    return run(
        binary(QStringLiteral("kestrelwatch-reg")), {QStringLiteral("--home"), home, QStringLiteral("dump"), key})
        .out;
}

bool regSet(const QString& home, const QString& key, const QString& name, const QString& data)
{
    return run(binary(QStringLiteral("kestrelwatch-reg")),
               {QStringLiteral("--home"), home, QStringLiteral("set"), key, name, data})
               .code
        == 0;
}

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
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(f.readAll());
        if (text.contains(needle))
            return text;
    }
    return {};
}

bool configureAlertMail(const QString& home, int port)
{
    const QString general = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\GENERAL");
    return regSet(home, general, QStringLiteral("EmailServer"), QStringLiteral("127.0.0.1:%1").arg(port))
        && regSet(home, general, QStringLiteral("EmailFrom"), QStringLiteral("kestrel@lab.example"))
        && regSet(home, general, QStringLiteral("EmailAddresses"), QStringLiteral("owner@lab.example"))
        && regSet(home, general, QStringLiteral("NewIntruderEmail"), QStringLiteral("1"));
}

QString deviceKey(const QString& mac)
{
    return QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\DetectedDevices\\") + mac;
}

} // namespace e2e
