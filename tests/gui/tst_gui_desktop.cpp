// The desktop without a notification area (Xvfb with no trayer), as a new user on a stock session meets it:
// the window comes up by itself, the new intruder is announced through the session's notification service
// (dunst on a private bus from dbus-run-session, the Notify call watched with dbus-monitor), and a second
// launch brings the window back instead of ending silently.
#include "GuiHarness.h"
#include "Lab.h"
#include "TestHome.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

using namespace gui;

namespace {

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
        KW_REQUIRE_LAB();
        QString why = whyNoDisplayTools();
        for (const char* tool : {"dunst", "dbus-run-session", "dbus-monitor"}) {
            if (why.isEmpty() && QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                why = QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
        }
        if (!why.isEmpty())
            KW_SKIP(qPrintable(why));
    }

    void withoutATrayTheWindowStaysReachable()
    {
        kwtest::Lab lab(QStringLiteral("kwgd"));
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
        kwtest::Process monitor;
        monitor.start(QStringLiteral("ip"),
            inNamespace(lab.ns(), home.paths().home,
                {QStringLiteral("dbus-run-session"), QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                    script}),
            monitorEnvironment(x));
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
        // The second copy reaches the first over the store's folder; no bus or tray is needed for that.
        const QStringList again = {QStringLiteral("env"), QStringLiteral("DISPLAY=") + x.display(),
            QStringLiteral("QT_QPA_PLATFORM=xcb"), kwtest::binary(QStringLiteral("kestrelwatch")),
            QStringLiteral("--home"), home.paths().home};
        QCOMPARE(lab.exec(again).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 10000);
        // A second headless copy of the same store says why it ends.
        const kwtest::Run headless = lab.exec(again + QStringList {QStringLiteral("--headless")});
        QVERIFY2(headless.code == 0 && headless.err.contains(QLatin1String("already runs")), qPrintable(headless.err));

        // The signal reaches dbus-run-session, which ends the bus with the monitor: its code is not the monitor's.
        monitor.stop();
    }
};

KW_TEST_MAIN_WITH(QCoreApplication, TestGuiDesktop)
#include "tst_gui_desktop.moc"
