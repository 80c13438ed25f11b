#include "GuiHarness.h"

#include <QRegularExpression>
#include <QStandardPaths>

namespace gui {

QString whyNoDisplayTools()
{
    for (const char* tool : {"Xvfb", "trayer", "xdotool", "xwininfo", "dunst", "dbus-run-session", "dbus-monitor"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
    }
    return {};
}

XServer::XServer()
{
    // -displayfd picks a free display and tells its number on the given descriptor (here standard output).
    m_xvfb.start(QStringLiteral("Xvfb"),
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    const QString number = m_xvfb.waitForLine(QRegularExpression(QStringLiteral("^\\d+$")), 0, 30000);
    if (!number.isEmpty())
        m_display = QLatin1Char(':') + number;
}

QProcessEnvironment XServer::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    return env;
}

QString XServer::tool(const QString& program, const QStringList& args) const
{
    return kwtest::run(
        QStringLiteral("env"), QStringList {QStringLiteral("DISPLAY=") + m_display, program} + args, 15000)
        .out;
}

void XServer::click(const QPoint& at) const
{
    tool(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
            QStringLiteral("1")});
}

void XServer::startTrayer(kwtest::Process& trayer) const
{
    trayer.start(QStringLiteral("trayer"),
        {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right"),
            QStringLiteral("--widthtype"), QStringLiteral("request"), QStringLiteral("--height"), QStringLiteral("24"),
            QStringLiteral("--transparent"), QStringLiteral("false")},
        environment());
    trayer.waitStarted();
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
        } else if (panelIndent >= 0 && m.captured(3) == QStringLiteral("kestrelwatch")) {
            const QRect rect(
                m.captured(6).toInt(), m.captured(7).toInt(), m.captured(4).toInt(), m.captured(5).toInt());
            return XWindow {m.captured(2), rect, true};
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

bool mainWindowShown(const XServer& x)
{
    const std::optional<XWindow> w = mainWindow(x);
    return w && w->viewable;
}

void startMonitor(
    kwtest::Process& monitor, const XServer& x, const QString& ns, const QString& home, const QStringList& wrapper)
{
    QProcessEnvironment env = x.environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.insert(QStringLiteral("BROWSER"), QStringLiteral("true"));
    env.insert(QStringLiteral("KESTRELWATCH_NO_AUTOSTART"), QStringLiteral("1"));
    monitor.start(QStringLiteral("ip"),
        QStringList {QStringLiteral("netns"), QStringLiteral("exec"), ns} + wrapper
            + QStringList {kwtest::binary(QStringLiteral("kestrelwatch")), QStringLiteral("--home"), home},
        env);
    monitor.waitStarted();
}

} // namespace gui
