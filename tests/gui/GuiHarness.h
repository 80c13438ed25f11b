#pragma once

#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <optional>

// A private X display (Xvfb), trayer as its notification area when a test wants one, the windowed
// kestrelwatch in a lab namespace drawing on it (through the display's socket in /tmp/.X11-unix, which the
// namespace shares), and the X tools that look at it and click on it.
namespace gui {

// Empty when Xvfb, trayer, xdotool and xwininfo are all installed, else the reason to skip.
QString whyNoDisplayTools();

class XServer final
{
public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return !m_display.isEmpty(); }
    // ":N"
    QString display() const { return m_display; }
    // A tool run against this display; its standard output.
    QString tool(const QString& program, const QStringList& args, int* code = nullptr) const;
    // The window tree (xwininfo -root -tree).
    QString tree() const
    {
        return tool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    }
    void click(const QPoint& at, int button = 1) const;

private:
    QProcess m_process;
    QString m_display;
};

class Trayer final
{
public:
    explicit Trayer(const XServer& x);
    ~Trayer();
    void start();
    void stop();
    bool running() const { return m_process.state() != QProcess::NotRunning; }

private:
    const XServer& m_x;
    QProcess m_process;
};

// The window ids and geometry xwininfo reports.
struct XWindow
{
    QString id;
    QRect rect; // absolute
    bool viewable = false;
};

// The tray icon: a window named "kestrelwatch" inside trayer's "panel" window, or nothing.
std::optional<XWindow> trayIcon(const QString& tree);
// The main window: the top-level whose name starts with "Kestrelwatch v".
std::optional<XWindow> mainWindow(const XServer& x);

// The environment of a windowed kestrelwatch on this display: the X platform, no desktop bus of the
// caller's, no browser, never a login entry.
QProcessEnvironment monitorEnvironment(const XServer& x);
// The command line that runs kestrelwatch --home HOME in a namespace (after wrapper, e.g. dbus-run-session).
QStringList inNamespace(const QString& ns, const QString& home, const QStringList& wrapper = {});

} // namespace gui
