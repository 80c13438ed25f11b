#include "NetlabSupport.h"

#include "TestHome.h"

#include <QProcess>
#include <QStandardPaths>

namespace netlab {

QString scriptPath()
{
    return TestHome::sourceDir() + QStringLiteral("/scripts/netlab");
}

QString ipTool()
{
    return QStandardPaths::findExecutable(QStringLiteral("ip"), {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
}

Result run(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    Result r;
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

Result runNetlab(const QStringList& args)
{
    return run(scriptPath(), args);
}

} // namespace netlab
