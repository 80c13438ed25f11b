#pragma once

#include "Process.h"

#include <QRect>
#include <optional>

// A private X display (Xvfb) and the X tools that look at it and click on it. The windowed kestrelwatch runs
// in a lab namespace and draws on the display through its socket in /tmp/.X11-unix, which the namespace shares.
namespace gui {

// Empty when every program these tests drive is installed, else the reason to skip.
QString whyNoDisplayTools();

class XServer final
{
public:
    XServer();
    bool ok() const { return !m_display.isEmpty(); }
    QString display() const { return m_display; }
    // The caller's environment on this display.
    QProcessEnvironment environment() const;
    // A tool run against this display; its standard output.
    QString tool(const QString& program, const QStringList& args) const;
    QString tree() const
    {
        return tool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    }
    void click(const QPoint& at) const;
    // trayer as this display's notification area.
    void startTrayer(kwtest::Process& trayer) const;

private:
    kwtest::Process m_xvfb;
    QString m_display;
};

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
bool mainWindowShown(const XServer& x);

// A windowed kestrelwatch on this display: the X platform, no desktop bus of the caller's, no browser, never
// a login entry; run with --home in the namespace (after wrapper, e.g. dbus-run-session).
void startMonitor(kwtest::Process& monitor, const XServer& x, const QString& ns, const QString& home,
    const QStringList& wrapper = {});

} // namespace gui
