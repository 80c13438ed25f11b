// Start-up and shutdown: the first and later runs, a second launch that brings the first window up, the fatal
// store message, the close box with and without a notification area, the orderly shutdown after 2 s with the
// store intact, and stopping and restarting monitoring.
#include "WindowRig.h"

#include "engine/frmClient.h"
#include "platform/Hive.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTableWidget>
#include <QTest>

using Device = WindowRig::Device;

namespace {

Device dev(int i, bool intruder = true)
{
    Device d;
    d.mac = QStringLiteral("02-00-00-00-00-%1").arg(i, 2, 10, QLatin1Char('0'));
    d.ip = QStringLiteral("198.18.0.%1").arg(i);
    d.intruder = intruder;
    d.isNew = false;
    return d;
}

} // namespace

class TestStartup final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void firstRunThenLaterRuns()
    {
        WindowRig rig;
        rig.store({dev(1), dev(2, false)});
        QCOMPARE(rig.start(), -1);
        frmMain& w = rig.w();
        QVERIFY(!w.isVisible()); // the window stays hidden at the end of start-up
        QCOMPARE(w.windowTitle(),
            QStringLiteral("Kestrelwatch v%1.%2.%3").arg(KW_VERSION_MAJOR).arg(KW_VERSION_MINOR).arg(KW_VERSION_PATCH));
        QCOMPARE(w.TitleText(), QStringLiteral("Kestrelwatch v1.0.0"));
        QVERIFY(w.firstRun());
        QCOMPARE(rig.storedGeneral(QStringLiteral("Installed")), std::optional<QString>(QStringLiteral("Yes")));
        // The login entry starts this same store.
        QFile entry(Hive::autostartFile());
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(entry.readAll());
        QVERIFY2(text.contains(QStringLiteral("Exec=%1 --home %2\n")
                                   .arg(QCoreApplication::applicationFilePath(), QDir(rig.paths.home).absolutePath())),
            qPrintable(text));
        QCOMPARE(rig.openedUrls.size(), 1);
        QCOMPARE(rig.openedUrls.first(), QUrl::fromLocalFile(rig.paths.site() + QStringLiteral("gettingstarted.htm")));
        QVERIFY(rig.openedUrls.first().isLocalFile());
        QVERIFY(rig.core->engine()->isRunning());
        QCOMPARE(rig.w().IntruderRowCount(), 1);
        QCOMPARE(rig.w().AllowedRowCount(), 1);
        QVERIFY(rig.criticals.isEmpty());

        // The next start opens no page; a Run value the user removed stays removed.
        rig.window.reset();
        rig.core.reset();
        QVERIFY(QFile::remove(Hive::autostartFile()));
        rig.openedUrls.clear();
        QCOMPARE(rig.start(), -1);
        QVERIFY(!rig.w().firstRun());
        QVERIFY(rig.openedUrls.isEmpty());
        QVERIFY(!QFile::exists(Hive::autostartFile()));
    }

    void aThrowAwayStoreNeverStartsAtLogin()
    {
        qputenv("KESTRELWATCH_NO_AUTOSTART", "1");
        WindowRig rig;
        QCOMPARE(rig.start(), -1);
        qunsetenv("KESTRELWATCH_NO_AUTOSTART");
        QVERIFY(rig.w().firstRun());
        QVERIFY(!QFile::exists(Hive::autostartFile()));
    }

    void aSecondLaunchBringsTheFirstWindowUp()
    {
        WindowRig first;
        QCOMPARE(first.start(), -1);
        QVERIFY(!first.w().isVisible());
        WindowRig second(&first.paths);
        QCOMPARE(second.start(), 0);
        QVERIFY(second.criticals.isEmpty());
        QVERIFY(second.openedUrls.isEmpty());
        QCOMPARE(second.core->engine(), nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(first.w().isVisible(), 5000);
        QVERIFY(first.core->engine()->isRunning());
    }

    void anUnreadableStoreIsFatal()
    {
        WindowRig rig;
        rig.paths.prepareHome();
        QFile hive(rig.paths.hiveFile());
        QVERIFY(hive.open(QIODevice::WriteOnly));
        hive.write(QByteArray(4096, 'x'));
        hive.close();
        QCOMPARE(rig.start(), 1);
        QCOMPARE(rig.criticals.size(), 1);
        QCOMPARE(rig.core->engine(), nullptr);
        QVERIFY(rig.openedUrls.isEmpty());
    }

    // With a notification area the close box hides the window; without one (at start, or once the host has
    // gone) the window stays on the desktop and the close box minimises it.
    void theCloseBoxFollowsTheNotificationArea()
    {
        WindowRig rig;
        rig.store({dev(1)});
        rig.trayHost = false;
        QCOMPARE(rig.start(false), -1);
        frmMain& w = rig.w();
        QVERIFY(w.isVisible());
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QVERIFY(w.isMinimized());
        QCOMPARE(rig.quits, 0);

        rig.trayHost = true; // a tray appears: the system's hide-to-tray comes back
        w.refreshTrayPresence();
        w.SysTrayMouseEventHandlerleft();
        QVERIFY(w.isVisible() && !w.isMinimized());
        QVERIFY(!w.close());
        QVERIFY(!w.isVisible());
        QVERIFY(rig.core->engine()->isRunning());
        QVERIFY(w.tmr333ms().isActive());
        w.SysTrayMouseEventHandlerleft();
        QVERIFY(w.isVisible());
        w.SysTrayMouseEventHandlerleft();
        QVERIFY(!w.isVisible());

        rig.trayHost = false; // the panel goes away while the window is hidden
        w.tmr333ms_Timer();
        for (int tick = 0; tick < 15; ++tick)
            w.tmr333ms_Timer();
        QVERIFY(w.isVisible());
    }

    void shutdownEndsTwoSecondsLaterWithTheStoreIntact()
    {
        WindowRig rig;
        rig.store({dev(1), dev(2, false)});
        QCOMPARE(rig.start(false), -1);
        frmMain& w = rig.w();
        w.show();
        w.pctID_Click(0);
        w.pctAllowed_Click();
        QElapsedTimer clock;
        clock.start();
        w.mnuExit_Click();
        QVERIFY(!w.isVisible());
        QVERIFY(!w.tmr100ms().isActive());
        QVERIFY(!w.tmr333ms().isActive());
        QVERIFY(!rig.core->engine()->isRunning());
        QVERIFY(!rig.net->icmpSocketOpen());
        QVERIFY(w.CloseTimer().isActive());
        QCOMPARE(w.CloseTimer().interval(), 2000);
        QCOMPARE(rig.quits, 0);
        w.Shutdown(); // once only
        QTRY_COMPARE_WITH_TIMEOUT(rig.quits, 1, 5000);
        QVERIFY(clock.elapsed() >= 1900);
        QCOMPARE(rig.stored(dev(1).mac, QStringLiteral("Intruder")), std::optional<QString>(QStringLiteral("False")));
        QVERIFY(rig.storedKey(dev(2).mac));
        QCOMPARE(rig.storedGeneral(QStringLiteral("Installed")), std::optional<QString>(QStringLiteral("Yes")));
    }
};

KW_TEST_MAIN(TestStartup)
#include "tst_mainwindow_startup.moc"
