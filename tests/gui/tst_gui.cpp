// The windowed monitor on a private X display, in a namespace LAN of its own so its sweeps stay inside the
// lab. With a notification area (trayer): the icon docks, a left click shows and hides the window, and the
// icon comes back after the tray host restarts. Without one, as a stock session meets it: the window comes up
// by itself, the new intruder is announced through the session's notification service (dunst on a private
// bus from dbus-run-session, the Notify call watched with dbus-monitor), and a second launch brings the
// window back instead of ending silently.
#include "GuiHarness.h"
#include "Lab.h"
#include "Skip.h"
#include "TestHome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QTest>

using namespace gui;

namespace {
// Starting Xvfb, a panel or the monitor under a loaded machine (CI builds the sanitizer tree beside the tests)
// takes seconds, not milliseconds: the waits for a start are long, and end as soon as it happened.
constexpr int kStartMs = 90000;

QString tail(const kwtest::Process& process)
{
    const QStringList lines = process.lines(kwtest::Process::Out) + process.lines(kwtest::Process::Err);
    return lines.mid(std::max<qsizetype>(0, lines.size() - 40)).join(QLatin1Char('\n'));
}
} // namespace

class TestGui : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        KW_REQUIRE_LAB();
        const QString why = whyNoDisplayTools();
        if (!why.isEmpty())
            KW_SKIP(qPrintable(why));
    }

    void trayIconDocksTogglesTheWindowAndSurvivesATrayRestart()
    {
        kwtest::Lab lab(QStringLiteral("kwgt"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        XServer x;
        QVERIFY2(x.ok(), "Xvfb did not start");
        auto trayer = std::make_unique<kwtest::Process>();
        x.startTrayer(*trayer);
        QTRY_VERIFY2_WITH_TIMEOUT(x.tree().contains(QStringLiteral("\"panel\": (\"panel\" \"trayer\")")),
            qPrintable(trayer->lines(kwtest::Process::Err).join(QLatin1Char('\n'))), kStartMs);

        TestHome home;
        kwtest::Process monitor;
        startMonitor(monitor, x, lab.ns(), home.paths().home);
        // The icon is pressed where it stays between two looks (trayer may still be sizing its panel), and once
        // twice Qt's double-click time has passed since the last press: each press is a single click.
        QElapsedTimer sinceClick;
        const auto clickIcon = [&x, &sinceClick] {
            std::optional<XWindow> seen;
            const bool settled = QTest::qWaitFor(
                [&] {
                    const std::optional<XWindow> now = trayIcon(x.tree());
                    const bool same = now && seen && now->rect == seen->rect;
                    seen = now;
                    return same && (!sinceClick.isValid() || sinceClick.hasExpired(800));
                },
                30000);
            if (settled)
                x.click(seen->rect.center());
            sinceClick.start();
            return settled && seen->rect.width() > 0 && seen->rect.height() > 0;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(trayIcon(x.tree()).has_value(), qPrintable(tail(monitor)), kStartMs);
        QVERIFY(!mainWindowShown(x)); // the window starts hidden in the tray
        QVERIFY2(clickIcon(), qPrintable(x.tree()));
        QTRY_VERIFY_WITH_TIMEOUT(mainWindowShown(x), 30000);
        QCOMPARE(mainWindow(x)->rect.size(), QSize(893, 640));
        QVERIFY(clickIcon());
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindowShown(x), 30000);

        // The panel goes away and a new one starts: the icon docks again by itself.
        trayer.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!trayIcon(x.tree()), 30000);
        trayer = std::make_unique<kwtest::Process>();
        x.startTrayer(*trayer);
        // A press that lands while the new panel is still embedding the icon is lost (X gives no sign of when
        // the embedding ends): a press that showed nothing within 8 s is made again, at most three in all.
        for (int press = 0; press < 3; ++press) {
            QVERIFY(clickIcon());
            if (QTest::qWaitFor([&x] { return mainWindowShown(x); }, 8000))
                break;
        }
        QVERIFY(mainWindowShown(x));
        QCOMPARE(monitor.stop(), 0);
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
        const auto readAll = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        // dunst and dbus-monitor on the bus dbus-run-session makes, then, once dunst owns its name and
        // dbus-monitor has written its first line, the monitor itself ("$0" "$@").
        const QString script =
            QStringLiteral("dunst >/dev/null 2>&1 & "
                           "dbus-monitor \"interface='org.freedesktop.Notifications'\" >'%1' 2>&1 & "
                           "until [ -s '%1' ] && dbus-send --session --print-reply --dest=org.freedesktop.DBus "
                           "/org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "
                           "string:org.freedesktop.Notifications | grep -q true; do sleep 0.05; done; "
                           "exec \"$0\" \"$@\"")
                .arg(watch);
        kwtest::Process monitor;
        startMonitor(monitor, x, lab.ns(), home.paths().home,
            {QStringLiteral("dbus-run-session"), QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                script});
        // No notification area: the window is on the desktop from the start.
        QTRY_VERIFY2_WITH_TIMEOUT(mainWindowShown(x), qPrintable(tail(monitor)), kStartMs);

        // The stranger is announced with its two actions.
        QTRY_VERIFY_WITH_TIMEOUT(readAll(watch).contains(QLatin1String("member=Notify")), 60000);
        const QString call = readAll(watch).section(QStringLiteral("member=Notify"), 1);
        QVERIFY2(call.contains(QLatin1String("New intruder on your network")), qPrintable(call));
        // At normal urgency, and it expires.
        QVERIFY2(
            call.contains(QRegularExpression(QStringLiteral("\"urgency\"\\s+variant\\s+byte 1"))), qPrintable(call));
        QVERIFY2(call.contains(QLatin1String("int32 15000")), qPrintable(call));
        QVERIFY(call.contains(QLatin1String("198.18.0.23")) && call.contains(QLatin1String("\"Show\""))
            && call.contains(QLatin1String("\"Acknowledge\"")));

        // Put away, then asked back at once the way a second copy asks, while Qt may still count the window as
        // active (it does for a moment after the focus goes, and hears of the unmap later): it comes back.
        const auto putAway = [&x] {
            x.tool(QStringLiteral("xdotool"), {QStringLiteral("windowunmap"), mainWindow(x)->id});
            return QTest::qWaitFor([&x] { return !mainWindowShown(x); }, 30000);
        };
        QVERIFY(putAway());
        QLocalSocket peer;
        peer.connectToServer(home.paths().home + QStringLiteral("kestrelwatch.sock"));
        QVERIFY(peer.waitForConnected(5000));
        peer.write("raise\n");
        QVERIFY(peer.waitForBytesWritten(5000));
        peer.disconnectFromServer();
        QTRY_VERIFY_WITH_TIMEOUT(mainWindowShown(x), 30000);

        // Put away again, then launched again from the menu: the running window comes back, the launch ends with 0.
        QVERIFY(putAway());
        // The second copy reaches the first over the store's folder; no bus or tray is needed for that.
        const QStringList again = {QStringLiteral("env"), QStringLiteral("DISPLAY=") + x.display(),
            QStringLiteral("QT_QPA_PLATFORM=xcb"), kwtest::binary(QStringLiteral("kestrelwatch")),
            QStringLiteral("--home"), home.paths().home};
        QCOMPARE(lab.exec(again).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(mainWindowShown(x), 30000);
        // A second headless copy of the same store says why it ends.
        const kwtest::Run headless = lab.exec(again + QStringList {QStringLiteral("--headless")});
        QVERIFY2(headless.code == 0 && headless.err.contains(QLatin1String("already runs")), qPrintable(headless.err));
        // The signal reaches dbus-run-session, which ends the bus with the monitor: its code is not the monitor's.
        monitor.stop();
    }
};

KW_TEST_GUILESS_MAIN(TestGui)
#include "tst_gui.moc"
