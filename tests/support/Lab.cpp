#include "Lab.h"

#include "TestHome.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

namespace kwtest {

QString netlabScript()
{
    return TestHome::sourceDir() + QStringLiteral("/scripts/netlab");
}

QString whyNoLab()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root to build network namespaces");
    if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
        return QStringLiteral("iproute2 (ip) is not installed");
    if (!QFileInfo(netlabScript()).isExecutable())
        return QStringLiteral("scripts/netlab is missing");
    return {};
}

Lab::Lab(const QString& tag, const QString& subnet)
    : m_name(tag + QString::number(QCoreApplication::applicationPid()))
{
    QStringList args {
        QStringLiteral("up"), m_name, QStringLiteral("--owner"), QString::number(QCoreApplication::applicationPid())};
    if (!subnet.isEmpty())
        args << QStringLiteral("--subnet") << subnet;
    const Run up = run(netlabScript(), args);
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

QRegularExpression eventLine(const QString& mac, const QString& event)
{
    return QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d\\t")
        + QRegularExpression::escape(mac) + QStringLiteral("\\t[^\\t]+\\t[^\\t]+\\t[^\\t]+\\t")
        + QRegularExpression::escape(event));
}

QString Lab::ns(const QString& host) const
{
    return netlab(QStringLiteral("ns"), {host}).out.trimmed();
}

bool Lab::addDevice(const QString& name, const QString& ip, const QString& mac) const
{
    return netlab(QStringLiteral("add"), {name, ip, mac}).code == 0;
}

Run Lab::exec(const QStringList& command, const QString& host) const
{
    return run(QStringLiteral("ip"), QStringList {QStringLiteral("netns"), QStringLiteral("exec"), ns(host)} + command);
}

Monitor::Monitor(QString home, QObject* parent)
    : Process(parent)
    , m_home(std::move(home))
{ }

void Monitor::start(const QString& ns, const QStringList& prefix, const QString& program)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/config"));
    // `ip netns exec` execs the program itself, so the process held is the monitor.
    Process::start(QStringLiteral("ip"),
        QStringList {QStringLiteral("netns"), QStringLiteral("exec"), ns} + prefix
            + QStringList {program.isEmpty() ? binary(QStringLiteral("kestrelwatch")) : program,
                QStringLiteral("--headless"), QStringLiteral("--home"), m_home}
            + m_extra,
        env);
}

} // namespace kwtest
