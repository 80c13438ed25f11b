#pragma once

#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <optional>

// A private X display (Xvfb) with trayer as its notification area, the windowed kestrelwatch in a network
// namespace drawing on it (through the display's socket in /tmp/.X11-unix, which the namespace shares), and
// the X tools that look at it and click on it.
namespace gui {

// Empty when Xvfb, trayer, xdotool, xwininfo and import are all installed, else the reason to skip.
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
    // A screenshot of a screen rectangle (ImageMagick's import).
    QImage grab(const QRect& area) const;

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

// kestrelwatch (windowed) with --home HOME in a network namespace, on the display.
class WindowedMonitor final
{
public:
    WindowedMonitor(QString home, const XServer& x);
    ~WindowedMonitor();
    // wrapper runs first inside the namespace and is handed the monitor's command line (e.g. a private
    // session bus from dbus-run-session).
    void start(const QString& ns, const QStringList& wrapper = {});
    bool waitStarted() { return m_process.waitForStarted(10000); }
    int stop(int timeoutMs = 10000);
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }

private:
    QString m_home;
    const XServer& m_x;
    QProcess m_process;
};

} // namespace gui
