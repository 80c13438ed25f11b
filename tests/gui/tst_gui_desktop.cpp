// The desktop without a notification area (Xvfb with no trayer), as a new user on a stock session meets it:
// the window comes up by itself, the new intruder is announced through the session's notification service
// (dunst on a private bus from dbus-run-session, the Notify call watched with dbus-monitor), and a second
// launch brings the window back instead of ending silently.
#include "../e2e/LabHarness.h"
#include "GuiHarness.h"
#include "Skip.h"
#include "TestHome.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

using namespace gui;

namespace {

// kestrelwatch once more with the same store, inside the namespace; its exit code and standard error.
int launchAgain(const QString& ns, const QString& home, const XServer& x, const QStringList& extra, QString* err)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("ip"),
        QStringList {QStringLiteral("netns"), QStringLiteral("exec"), ns, e2e::binary(QStringLiteral("kestrelwatch")),
            QStringLiteral("--home"), home}
            + extra);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestGuiDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        QString why = whyNoDisplayTools();
        if (why.isEmpty())
            why = e2e::whyNotRunnable();
        for (const char* tool : {"dunst", "dbus-run-session", "dbus-monitor"}) {
            if (why.isEmpty() && QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                why = QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
        }
        if (!why.isEmpty())
            KW_SKIP(qPrintable(why));
    }

    void withoutATrayTheWindowStaysReachable()
    {
        e2e::Lab lab(QStringLiteral("kwgd"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        QVERIFY(lab.addDevice(
            QStringLiteral("stranger"), QStringLiteral("198.18.0.23"), QStringLiteral("02:5a:00:00:00:23")));
        XServer x;
        QVERIFY2(x.ok(), "Xvfb did not start");
        TestHome home;
        const QString watch = home.dir() + QStringLiteral("/notify.log");
        // dunst and dbus-monitor on the bus dbus-run-session makes, then the monitor itself ("$0" "$@").
        const QString script = QStringLiteral("dunst >/dev/null 2>&1 & "
                                              "dbus-monitor \"interface='org.freedesktop.Notifications'\" >'%1' 2>&1 & "
                                              "sleep 1; exec \"$0\" \"$@\"")
                                   .arg(watch);
        WindowedMonitor monitor(home.paths().home, x);
        monitor.start(lab.ns(),
            {QStringLiteral("dbus-run-session"), QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                script});
        QVERIFY(monitor.waitStarted());

        const auto shown = [&x] {
            const std::optional<XWindow> w = mainWindow(x);
            return w.has_value() && w->viewable;
        };
        // No notification area: the window is on the desktop from the start.
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 20000);

        // The stranger is announced with its two actions.
        QTRY_VERIFY_WITH_TIMEOUT(readAll(watch).contains(QLatin1String("member=Notify")), 60000);
        const QString call = readAll(watch).section(QStringLiteral("member=Notify"), 1);
        QVERIFY2(call.contains(QLatin1String("New intruder on the network")), qPrintable(call));
        QVERIFY(call.contains(QLatin1String("198.18.0.23")));
        QVERIFY(call.contains(QLatin1String("\"Show\"")));
        QVERIFY(call.contains(QLatin1String("\"Acknowledge\"")));

        // Put away, then launched again from the menu: the running window comes back, the launch ends with 0.
        const QString id = mainWindow(x)->id;
        x.tool(QStringLiteral("xdotool"), {QStringLiteral("windowunmap"), id});
        QTRY_VERIFY_WITH_TIMEOUT(!shown(), 10000);
        QString err;
        QCOMPARE(launchAgain(lab.ns(), home.paths().home, x, {}, &err), 0);
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 10000);
        // A second headless copy of the same store says why it ends.
        const int code = launchAgain(lab.ns(), home.paths().home, x, {QStringLiteral("--headless")}, &err);
        QVERIFY2(code == 0 && err.contains(QLatin1String("already runs")), qPrintable(err));

        // The signal reaches dbus-run-session, which ends the bus with the monitor: its code is not the monitor's.
        monitor.stop();
    }
};

KW_TEST_MAIN_WITH(QCoreApplication, TestGuiDesktop)
#include "tst_gui_desktop.moc"
