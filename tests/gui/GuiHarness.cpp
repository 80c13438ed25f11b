#include "GuiHarness.h"

#include "Process.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

namespace gui {

QString whyNoDisplayTools()
{
    for (const char* tool : {"Xvfb", "trayer", "xdotool", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
    }
    return {};
}

XServer::XServer()
{
    // -displayfd picks a free display and tells its number on the given descriptor (here standard output).
    m_process.start(QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_process.waitForStarted(5000))
        return;
    QDeadlineTimer deadline(10000);
    QByteArray out;
    while (!deadline.hasExpired() && !out.contains('\n')) {
        m_process.waitForReadyRead(200);
        out += m_process.readAllStandardOutput();
    }
    const QString number = QString::fromLatin1(out).trimmed();
    if (!number.isEmpty())
        m_display = QLatin1Char(':') + number;
}

XServer::~XServer()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished();
}

QString XServer::tool(const QString& program, const QStringList& args, int* code) const
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished();
    }
    if (code)
        *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

void XServer::click(const QPoint& at, int button) const
{
    tool(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
            QString::number(button)});
}

Trayer::Trayer(const XServer& x)
    : m_x(x)
{ }

Trayer::~Trayer()
{
    stop();
}

void Trayer::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_x.display());
    m_process.setProcessEnvironment(env);
    m_process.start(QStringLiteral("trayer"),
        {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right"),
            QStringLiteral("--widthtype"), QStringLiteral("request"), QStringLiteral("--height"), QStringLiteral("24"),
            QStringLiteral("--transparent"), QStringLiteral("false")});
    m_process.waitForStarted(5000);
}

void Trayer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished();
}

namespace {

// One xwininfo -tree line: indentation, id, "name": (class) WxH+x+y  +absX+absY
const QRegularExpression kLine(QString::fromLatin1(
    R"re(^(\s*)(0x[0-9a-f]+) (?:"([^"]*)"|\(has no name\)):.*?\s(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+?(-?\d+)\+?(-?\d+)\s*$)re"));

} // namespace

std::optional<XWindow> trayIcon(const QString& tree)
{
    int panelIndent = -1;
    for (const QString& line : tree.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = kLine.match(line);
        if (!m.hasMatch())
            continue;
        const int indent = int(m.capturedLength(1));
        if (panelIndent >= 0 && indent <= panelIndent)
            panelIndent = -1; // left the panel's subtree
        if (m.captured(3) == QStringLiteral("panel") && line.contains(QStringLiteral("\"trayer\""))) {
            panelIndent = indent;
            continue;
        }
        if (panelIndent >= 0 && m.captured(3) == QStringLiteral("kestrelwatch")) {
            XWindow w;
            w.id = m.captured(2);
            w.rect = QRect(m.captured(6).toInt(), m.captured(7).toInt(), m.captured(4).toInt(), m.captured(5).toInt());
            w.viewable = true;
            return w;
        }
    }
    return std::nullopt;
}

std::optional<XWindow> mainWindow(const XServer& x)
{
    const QStringList ids =
        x.tool(QStringLiteral("xdotool"),
             {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^Kestrelwatch v")})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (ids.isEmpty())
        return std::nullopt;
    XWindow w;
    w.id = ids.first().trimmed();
    const QString info = x.tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), w.id});
    const auto number = [&info](const char* label) {
        const QRegularExpression re(QLatin1String(label) + QString::fromLatin1(R"(:\s*(-?\d+))"));
        return re.match(info).captured(1).toInt();
    };
    w.rect = QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"), number("Height"));
    w.viewable = info.contains(QStringLiteral("Map State: IsViewable"));
    return w;
}

QProcessEnvironment monitorEnvironment(const XServer& x)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.insert(QStringLiteral("BROWSER"), QStringLiteral("true"));
    env.insert(QStringLiteral("KESTRELWATCH_NO_AUTOSTART"), QStringLiteral("1"));
    return env;
}

QStringList inNamespace(const QString& ns, const QString& home, const QStringList& wrapper)
{
    return QStringList {QStringLiteral("netns"), QStringLiteral("exec"), ns} + wrapper
        + QStringList {kwtest::binary(QStringLiteral("kestrelwatch")), QStringLiteral("--home"), home};
}

} // namespace gui
