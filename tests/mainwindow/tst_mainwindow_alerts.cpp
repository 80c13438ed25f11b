// The window's 333 ms clockwork and the alerts: the flash, the alarm and normal looks, the still-online
// reminder, the pop-up gates of both alerts driven through the engine, the idle 33 ms timer, and the settings
// dialog the window hosts.
#include "WindowRig.h"

#include "engine/frmClient.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/PictureBox.h"
#include "notify/clsMedia.h"
#include "settings/LogTextBox.h"
#include "settings/frmSettings.h"

#include <QPlainTextEdit>
#include <QTest>

using Device = WindowRig::Device;

namespace {

const QString kAlarmTitle = QStringLiteral("Kestrelwatch v1.0.0 ! INTRUDERS ONLINE !");
const QString kTitle = QStringLiteral("Kestrelwatch v1.0.0");

Device dev(int i, bool intruder = true, bool isNew = false)
{
    Device d;
    d.mac = QStringLiteral("02-00-00-00-00-%1").arg(i, 2, 10, QLatin1Char('0'));
    d.ip = QStringLiteral("198.18.0.%1").arg(i);
    d.intruder = intruder;
    d.isNew = isNew;
    return d;
}

// Runs the engine's 100 ms ticks (the clock moving with them) until the condition holds; false after a
// minute of sweeping without it.
template<typename Done> bool sweepUntil(WindowRig& rig, Done done)
{
    for (int i = 0; i < 600; ++i) {
        rig.clock.advanceMSecs(100);
        rig.core->engine()->tmrPingTimer_Timer();
        if (done())
            return true;
    }
    return false;
}

} // namespace

class TestAlerts final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        // A bus with nobody on it: the desktop notifications find no service.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kw-bus");
    }

    void alarmLookAlternatesAndEndsOnTheFirstQuietTick()
    {
        WindowRig rig;
        rig.store({dev(1)});
        QCOMPARE(rig.start(), -1);
        frmMain& w = rig.w();
        w.tmr333ms_Timer();
        QCOMPARE(w.windowTitle(), kTitle);
        QCOMPARE(w.trayLook(), 0);

        rig.setOnline(dev(1).mac, true);
        QList<int> looks;
        QList<Pic> lamps;
        for (int tick = 0; tick < 4; ++tick) {
            w.tmr333ms_Timer();
            QCOMPARE(w.windowTitle(), kAlarmTitle);
            QCOMPARE(w.trayTip(), kAlarmTitle);
            looks << w.trayLook();
            lamps << w.pctStatus()->picture();
        }
        QCOMPARE(looks, (QList<int> {2, 1, 2, 1}));
        QCOMPARE(lamps, (QList<Pic> {Pic::StatusAlarm2, Pic::StatusAlarm1, Pic::StatusAlarm2, Pic::StatusAlarm1}));

        // Moving the intruder to the safe list ends the alarm on the next tick.
        w.pctID_Click(0);
        w.pctAllowed_Click();
        w.tmr333ms_Timer();
        QCOMPARE(w.windowTitle(), kTitle);
        QCOMPARE(w.trayTip(), kTitle);
        QCOMPARE(w.trayLook(), 0);
        QCOMPARE(w.pctStatus()->picture(), Pic::StatusNormal);
    }

    void reminderPlaysAtMostOncePerFiveMinutes()
    {
        WindowRig rig;
        rig.store({dev(1)});
        QCOMPARE(rig.start(), -1);
        frmMain& w = rig.w();
        rig.setOnline(dev(1).mac, true);
        const QDateTime started = w.datLastIntruderWarning;
        rig.clock.advanceSeconds(300);
        w.tmr333ms_Timer();
        QCOMPARE(w.playCount(2), 0); // 300 s is not more than 300 s
        rig.clock.advanceSeconds(1);
        w.tmr333ms_Timer();
        QCOMPARE(w.playCount(2), 1);
        QCOMPARE(w.datLastIntruderWarning, started.addSecs(301));

        // With the reminder off the time still moves on, so switching it on brings no sound at once.
        rig.core->settings().chkOnlineIntruderReminder = 0;
        rig.clock.advanceSeconds(400);
        w.tmr333ms_Timer();
        QCOMPARE(w.playCount(2), 1);
        QCOMPARE(w.datLastIntruderWarning, rig.clock.now());
        rig.core->settings().chkOnlineIntruderReminder = 1;
        rig.clock.advanceSeconds(10);
        w.tmr333ms_Timer();
        QCOMPARE(w.playCount(2), 1);
    }

    void newIntruderAlertFollowsItsSettings_data()
    {
        QTest::addColumn<int>("sound");
        QTest::addColumn<int>("popup");
        QTest::addColumn<int>("notify");
        QTest::newRow("all on") << 1 << 1 << 1;
        QTest::newRow("sound only") << 1 << 0 << 0;
        QTest::newRow("popup only") << 0 << 1 << 0;
        QTest::newRow("notification only") << 0 << 0 << 1;
    }
    void newIntruderAlertFollowsItsSettings()
    {
        QFETCH(int, sound);
        QFETCH(int, popup);
        QFETCH(int, notify);
        WindowRig rig;
        rig.store({});
        QCOMPARE(rig.start(), -1);
        frmMain& w = rig.w();
        rig.core->settings().chkNewIntruderSound = sound;
        rig.core->settings().chkNewIntruderPopup = popup;
        rig.core->settings().chkNewIntruderNotify = notify;
        QVERIFY(!w.isVisible());
        const int clicks = w.playCount(3);
        rig.net->addNeighbour(QStringLiteral("02-AA-00-00-00-07"), QStringLiteral("198.18.0.7"));
        QVERIFY(sweepUntil(rig, [&] { return rig.devices().DeviceCount == 1; }));
        QCOMPARE(rig.intruderMacs(), QStringList {QStringLiteral("02-AA-00-00-00-07")});
        QCOMPARE(w.playCount(0), sound);
        QCOMPARE(w.isVisible(), popup == 1);
        // The pop-up clicks; the alert's own sound is the new-intruder player.
        QCOMPARE(w.playCount(3), clicks + popup);
        QCOMPARE(w.playCount(1), 0);
        // The alert time is the harvest's, whatever the settings say.
        QVERIFY(w.datLastIntruderWarning > WindowRig::kStart);
        QVERIFY(w.datLastIntruderWarning.msecsTo(rig.clock.now()) < 1000);
        QVERIFY(w.player(0)->isOpen());
        QVERIFY(w.player(0)->fileName().endsWith(QStringLiteral("Sounds/New_Intruder.wav")));
        // This session bus has no notification service: one log line says so, a second alert adds none.
        const auto missing = [&rig] {
            return rig.core->debugLog().text().count(QLatin1String("no desktop notification service"));
        };
        QCOMPARE(missing(), notify);
        if (notify)
            w.notifyDesktop(0, true);
        QCOMPARE(missing(), notify);
    }

    void knownIntruderComingOnlineAlerts_data()
    {
        QTest::addColumn<bool>("visibleBefore");
        QTest::addColumn<int>("popup");
        QTest::newRow("hidden, popup on") << false << 1;
        QTest::newRow("hidden, popup off") << false << 0;
        QTest::newRow("shown stays shown") << true << 1;
    }
    void knownIntruderComingOnlineAlerts()
    {
        QFETCH(bool, visibleBefore);
        QFETCH(int, popup);
        WindowRig rig;
        rig.store({dev(3)});
        QCOMPARE(rig.start(), -1);
        frmMain& w = rig.w();
        rig.core->settings().chkOnlineIntruderPopup = popup;
        if (visibleBefore)
            w.show();
        rig.net->addNeighbour(dev(3).mac, dev(3).ip);
        QVERIFY(sweepUntil(rig, [&] { return w.playCount(1) > 0; }));
        QCOMPARE(w.playCount(1), 1);
        QCOMPARE(w.playCount(0), 0);
        // The pop-up only ever shows a hidden window.
        QCOMPARE(w.isVisible(), visibleBefore || popup == 1);
        w.tmr333ms_Timer();
        QCOMPARE(w.windowTitle(), kAlarmTitle);
    }

    // The settings dialog hides the window; a changed always-on-top applies when the dialog closes.
    void alwaysOnTopAppliesWhenTheDialogCloses()
    {
        WindowRig rig;
        rig.store({});
        QCOMPARE(rig.start(), -1);
        frmMain& w = rig.w();
        w.show();
        w.pctSettings_Click();
        QVERIFY(!w.isVisible());
        for (int onTop : {0, 1}) {
            rig.core->settings().chkAlwaysOnTop = onTop;
            w.applyAlwaysOnTop(onTop == 1);
            w.settingsDialog()->close();
            QVERIFY(w.isVisible());
            QCOMPARE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop == 1);
            w.pctSettings_Click();
        }
    }
};

KW_TEST_MAIN(TestAlerts)
#include "tst_mainwindow_alerts.moc"
