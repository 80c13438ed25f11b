// The tray icon on a real X notification area (trayer on Xvfb): the icon is docked, a left click on it shows
// and hides the window, and the icon comes back after the tray host is restarted. The monitor runs in a
// namespace LAN of its own, so its sweeps stay inside the lab.
#include "GuiHarness.h"
#include "Lab.h"
#include "Skip.h"
#include "TestHome.h"

#include <QTest>

using namespace gui;

class TestGuiTray : public QObject
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

    void iconDocksTogglesTheWindowAndSurvivesATrayRestart()
    {
        kwtest::Lab lab(QStringLiteral("kwgt"));
        QVERIFY2(lab.ok(), qPrintable(lab.error()));
        XServer x;
        QVERIFY2(x.ok(), "Xvfb did not start");
        Trayer trayer(x);
        trayer.start();
        QVERIFY(trayer.running());
        QTRY_VERIFY_WITH_TIMEOUT(x.tree().contains(QStringLiteral("\"panel\": (\"panel\" \"trayer\")")), 10000);

        TestHome home;
        kwtest::Process monitor;
        monitor.start(QStringLiteral("ip"), inNamespace(lab.ns(), home.paths().home), monitorEnvironment(x));
        QVERIFY(monitor.waitStarted());

        std::optional<XWindow> icon;
        QTRY_VERIFY_WITH_TIMEOUT((icon = trayIcon(x.tree())).has_value(), 20000);
        QVERIFY2(icon->rect.width() > 0 && icon->rect.height() > 0, qPrintable(x.tree()));
        // The window starts hidden in the tray.
        std::optional<XWindow> window = mainWindow(x);
        QVERIFY(!window || !window->viewable);

        x.click(icon->rect.center());
        const auto shown = [&x] {
            const std::optional<XWindow> w = mainWindow(x);
            return w.has_value() && w->viewable;
        };
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 10000);
        window = mainWindow(x);
        QVERIFY(window);
        QCOMPARE(window->rect.size(), QSize(893, 640));
        // A second press within the double-click time is a double click, which does nothing.
        QTest::qWait(800);
        x.click(icon->rect.center());
        QTRY_VERIFY_WITH_TIMEOUT(!shown(), 10000);

        // The panel goes away and a new one starts: the icon docks again by itself.
        trayer.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!trayIcon(x.tree()), 10000);
        trayer.start();
        QTRY_VERIFY_WITH_TIMEOUT((icon = trayIcon(x.tree())).has_value(), 20000);
        QTest::qWait(800);
        x.click(icon->rect.center());
        QTRY_VERIFY_WITH_TIMEOUT(shown(), 10000);

        QCOMPARE(monitor.stop(), 0);
    }
};

KW_TEST_GUILESS_MAIN(TestGuiTray)
#include "tst_gui_tray.moc"
