// The window on the desktop: start-up and shutdown (first run, the fatal store, the close box
// with and without a notification area), the tray and window menus, the external programs, the page buttons,
// and the alerts (alarm look, reminder, the gates of both alerts driven through the engine, desktop
// notifications, always-on-top after the settings dialog).
#include "WindowRig.h"

#include "engine/DiscoveryEngine.h"
#include "mainwindow/AboutDialog.h"
#include "mainwindow/DesktopNotifier.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/SkinPictures.h"
#include "mainwindow/Theme.h"
#include "mainwindow/WavePlayer.h"
#include "mainwindow/WindowMenu.h"
#include "notify/AlertNameWait.h"
#include "platform/Autostart.h"
#include "settings/SettingsDialog.h"
#include "store/Settings.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

const auto dev = [](int i) { return WindowRig::device(i); };
constexpr auto devices = WindowRig::deviceList;

namespace {

const QString kAlarmTitle = QStringLiteral("Kestrelwatch v1.0.0 ! INTRUDER ONLINE !");
const QString kTitle = QStringLiteral("Kestrelwatch v1.0.0");

void writeFile(const QString& path, const QString& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

QStringList captions(const QList<QAction*>& actions)
{
    QStringList out;
    for (qsizetype i = 1; i < actions.size(); ++i)
        out << actions[i]->text();
    return out;
}

// Runs the engine's 100 ms ticks (the clock moving with them) until the condition holds; false after a
// minute of sweeping without it.
template<typename Done> bool sweepUntil(WindowRig& rig, Done done)
{
    for (int i = 0; i < 600; ++i) {
        rig.clock.advanceMSecs(100);
        rig.core->engine()->sweepTick();
        if (done())
            return true;
    }
    return false;
}

} // namespace

class TestDesktop final : public QObject
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
        WindowRig rig(devices("i1 i2"));
        MainWindow& w = rig.w();
        w.alarmTick();
        QCOMPARE(w.alarm().trayLook(), 0);
        // Nothing is "all clear" before the first sweep has ended.
        QCOMPARE(w.statusPicture()->caption(), QStringLiteral("Starting\u2026"));
        QVERIFY(sweepUntil(rig, [&] { return w.statusPicture()->caption().isEmpty(); }));
        // Several intruders online are counted, one is not.
        rig.setOnline(dev(2).mac, true);
        rig.setOnline(dev(1).mac, true);
        w.alarmTick();
        QCOMPARE(w.statusPicture()->caption(), QStringLiteral("2 INTRUDERS ONLINE"));
        QCOMPARE(w.windowTitle(), kTitle + QStringLiteral(" ! 2 INTRUDERS ONLINE !"));
        rig.setOnline(dev(2).mac, false);
        w.alarmTick();
        QCOMPARE(w.statusPicture()->caption(), QString());
        QList<int> looks;
        for (int tick = 0; tick < 4; ++tick) {
            w.alarmTick();
            QCOMPARE(w.alarm().trayTip(), kAlarmTitle);
            looks << w.alarm().trayLook();
        }
        QCOMPARE(looks, (QList<int> {2, 1, 2, 1}));

        // Moving the intruder to the safe list ends the alarm on the next tick.
        w.intruderRowClicked(0);
        w.allowedClicked();
        w.alarmTick();
        QCOMPARE(w.windowTitle(), kTitle);
        QCOMPARE(w.alarm().trayTip(), kTitle);
        QCOMPARE(w.alarm().trayLook(), 0);
        QCOMPARE(w.statusPicture()->picture(), Pic::StatusNormal);
    }

    // One missed sweep is tolerated: while the next sweep runs, the intruder's countdown reads 0 but no harvest
    // has found it gone, so its row and the alarm both still say online; the harvest that finds it gone ends both.
    void alarmLastsAsLongAsTheRowShowsTheIntruderOnline()
    {
        WindowRig rig(devices("i1"));
        MainWindow& w = rig.w();
        const DeviceRecord& d = *rig.devices().find(dev(1).mac);
        rig.net->addNeighbour(dev(1).mac, dev(1).ip); // found by the first harvest only
        QVERIFY(sweepUntil(rig, [&] { return d.PresenceCountdown == 2; }));
        QVERIFY(sweepUntil(rig, [&] { return d.PresenceCountdown == 0; }));
        w.alarmTick();
        QVERIFY(w.alarm().trayLook() != 0 && w.statusPicture()->picture() != Pic::StatusNormal);
        QVERIFY(w.intruderList()->row(0).online);
        QVERIFY(sweepUntil(rig, [&] { return !w.intruderList()->row(0).online; }));
        w.alarmTick();
        QCOMPARE(w.statusPicture()->picture(), Pic::StatusNormal);
    }

    void reminderPlaysAtMostOncePerFiveMinutes()
    {
        WindowRig rig(devices("i1"));
        MainWindow& w = rig.w();
        rig.core->settings().alerts.reminder = true; // off until the user asks for it
        w.alarmTick();
        QCOMPARE(w.alarm().trayLook(), 0);
        rig.setOnline(dev(1).mac, true);
        const QDateTime started = w.alarm().lastIntruderWarning();
        rig.clock.advanceSeconds(300);
        w.alarmTick();
        QCOMPARE(w.alarm().playCount(2), 0); // 300 s is not more than 300 s
        rig.clock.advanceSeconds(1);
        w.alarmTick();
        QCOMPARE(w.alarm().playCount(2), 1);
        QCOMPARE(w.alarm().lastIntruderWarning(), started.addSecs(301));

        // With the reminder off the time still moves on, so switching it on brings no sound at once.
        rig.core->settings().alerts.reminder = false;
        rig.clock.advanceSeconds(400);
        w.alarmTick();
        QCOMPARE(w.alarm().playCount(2), 1);
        QCOMPARE(w.alarm().lastIntruderWarning(), rig.clock.now());
        rig.core->settings().alerts.reminder = true;
        rig.clock.advanceSeconds(10);
        w.alarmTick();
        QCOMPARE(w.alarm().playCount(2), 1);
    }

    // A stranger joining is admitted at the top of the intruders (selected when the window pops up for it), and alerts
    // as its settings say; a known intruder coming back online plays the online sound instead. The pop-up only ever
    // shows a hidden window.
    void intruderAlertsFollowTheirSettings_data()
    {
        QTest::addColumn<bool>("known");
        QTest::addColumn<bool>("visibleBefore");
        QTest::addColumn<int>("sound");
        QTest::addColumn<int>("popup");
        QTest::addColumn<int>("notify");
        QTest::newRow("new: all on") << false << false << 1 << 1 << 1;
        QTest::newRow("new: sound only") << false << false << 1 << 0 << 0;
        QTest::newRow("new: popup only") << false << false << 0 << 1 << 0;
        QTest::newRow("new: notification only") << false << false << 0 << 0 << 1;
        QTest::newRow("known, hidden, popup on") << true << false << 1 << 1 << 0;
        QTest::newRow("known, hidden, popup off") << true << false << 1 << 0 << 0;
        QTest::newRow("known, shown stays shown") << true << true << 1 << 1 << 0;
    }
    void intruderAlertsFollowTheirSettings()
    {
        QFETCH(bool, known);
        QFETCH(bool, visibleBefore);
        QFETCH(int, sound);
        QFETCH(int, popup);
        QFETCH(int, notify);
        WindowRig rig(devices("i1 n2 i3"));
        MainWindow& w = rig.w();
        LiveSettings& s = rig.core->settings();
        (known ? s.alerts.onlineIntruder.sound : s.alerts.newIntruder.sound) = sound;
        (known ? s.alerts.onlineIntruder.popup : s.alerts.newIntruder.popup) = popup;
        s.alerts.newIntruder.notify = notify;
        if (visibleBefore)
            w.show();
        w.intruderRowClicked(1);
        const int clicks = w.alarm().playCount(3);
        const QString stranger = QStringLiteral("02-AA-00-00-00-07");
        rig.net->addNeighbour(known ? dev(3).mac : stranger, known ? dev(3).ip : QStringLiteral("198.18.0.7"));
        QVERIFY(
            sweepUntil(rig, [&] { return known ? w.alarm().playCount(1) > 0 : qint32(rig.devices().size()) == 4; }));
        QCOMPARE(w.alarm().playCount(known ? 1 : 0), sound);
        QCOMPARE(w.alarm().playCount(known ? 0 : 1), 0);
        QCOMPARE(w.isVisible(), visibleBefore || popup == 1);
        w.alarmTick();
        QCOMPARE(w.windowTitle(), kAlarmTitle);
        if (known)
            return;
        QCOMPARE(rig.intruderMacs(), (QStringList {stranger, dev(2).mac, dev(1).mac, dev(3).mac}));
        QCOMPARE(rig.selectedMac(), popup == 1 ? stranger : dev(1).mac);
        QCOMPARE(rig.inconsistency(), QString());
        w.intruderRowClicked(0);
        QCOMPARE(w.fgLog()->item(0, 1)->text(), QStringLiteral("** WARNING - NEW DEVICE **"));
        QCOMPARE(w.fgLog()->item(1, 1)->text(), QStringLiteral("Connected at 198.18.0.7"));
        // The pop-up clicks; the alert's own sound is the new-intruder player.
        QCOMPARE(w.alarm().playCount(3), clicks + popup);
        // The alert time is the harvest's, whatever the settings say.
        QVERIFY(w.alarm().lastIntruderWarning().msecsTo(rig.clock.now()) < 1000);
        QVERIFY(w.alarm().player(0)->fileName().endsWith(QStringLiteral("Sounds/New_Intruder.wav")));
        // This session bus has no notification service: one log line says so, a second alert adds none.
        const auto missing = [&rig] {
            return rig.core->debugLog().text().count(QLatin1String("no desktop notification service"));
        };
        // The notification waits for the stranger's name, 3 s at most.
        rig.clock.advanceMSecs(AlertNameWait::WaitMs);
        rig.core->alertNameWait()->tick();
        QCOMPARE(missing(), notify);
        if (notify)
            w.alarm().notifyDesktop(0, true);
        QCOMPARE(missing(), notify);
    }

    // A service that reads markup in bodies (dunst, GNOME, KDE) gets device text escaped; one that does not,
    // the text as it is.
    void notificationBodiesAreEscapedForMarkup()
    {
        const QString body = QStringLiteral("<img src=/dev/zero> & <b>PC</b>");
        QCOMPARE(DesktopNotifier::bodyText({QStringLiteral("body"), QStringLiteral("body-markup")}, body),
            QStringLiteral("&lt;img src=/dev/zero&gt; &amp; &lt;b&gt;PC&lt;/b&gt;"));
        QCOMPARE(DesktopNotifier::bodyText({QStringLiteral("body")}, body), body);
    }

    // One alert, or the count of those that came together, by kind.
    void notificationSummaries_data()
    {
        using T = DesktopNotifier::Topic;
        QTest::addColumn<QList<DesktopNotifier::Topic>>("topics");
        QTest::addColumn<QString>("summary");
        QTest::newRow("one new") << QList<T> {T::NewIntruder} << QStringLiteral("New intruder on your network");
        QTest::newRow("six new") << QList<T>(6, T::NewIntruder) << QStringLiteral("6 new intruders on your network");
        QTest::newRow("two online") << QList<T>(2, T::IntruderOnline) << QStringLiteral("2 intruders online");
        QTest::newRow("one of each") << QList<T> {T::Impersonation, T::IntruderOnline}
                                     << QStringLiteral("1 new intruder and 1 intruder online");
    }
    void notificationSummaries()
    {
        QFETCH(QList<DesktopNotifier::Topic>, topics);
        QFETCH(QString, summary);
        QCOMPARE(DesktopNotifier::summary(topics), summary);
    }

    // The first start asks once whether to start at login (default no) and opens nothing unasked. Yes writes an
    // entry that starts the installed program with this store (this test runs from a build tree, which an entry
    // never names); with no installed copy nothing is asked, so the installed program asks later.
    void firstStartAsksAboutLogin_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("answer");
        QTest::newRow("no") << true << false;
        QTest::newRow("yes") << true << true;
        QTest::newRow("build tree only") << false << true;
    }
    void firstStartAsksAboutLogin()
    {
        QFETCH(bool, installed);
        QFETCH(bool, answer);
        QTemporaryDir bin;
        const QString program = bin.path() + QStringLiteral("/kestrelwatch");
        if (installed) {
            writeFile(program, QStringLiteral("#!/bin/sh\n"));
            QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        }
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":/usr/bin:/bin");
        const auto restore = qScopeGuard([&path] { qputenv("PATH", path); });

        WindowRig rig;
        rig.confirmAnswer = answer;
        QCOMPARE(rig.start(), -1);
        QVERIFY(rig.w().firstRun());
        QVERIFY(!rig.w().isVisible());
        QVERIFY(rig.openedUrls.isEmpty());
        QCOMPARE(rig.questions, installed ? QStringList {MainWindow::StartAtLoginQuestion} : QStringList());
        QCOMPARE(QFile::exists(autostartFile()), installed && answer);
        QCOMPARE(rig.core->settings().window.startAtLogin, installed && answer ? 1 : 0);
        if (installed && answer) {
            QFile entry(autostartFile());
            QVERIFY(entry.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(entry.readAll());
            QVERIFY2(
                text.contains(QStringLiteral("Exec=%1 --home %2\n").arg(program, QDir(rig.paths.home).absolutePath())),
                qPrintable(text));
        }
        QCOMPARE(rig.stored(Keys::General, MainWindow::StartAtLoginAsked),
            installed ? std::optional<QString>(QStringLiteral("Yes")) : std::nullopt);

        // Asked once: the next start asks nothing, and an entry the user removed stays removed.
        rig.window.reset();
        rig.core.reset();
        QFile::remove(autostartFile());
        rig.questions.clear();
        QCOMPARE(rig.start(), -1);
        QVERIFY(!rig.w().firstRun());
        QVERIFY(rig.questions.isEmpty());
        QVERIFY(!QFile::exists(autostartFile()));
        QVERIFY(rig.core->engine()->isRunning());
        QVERIFY(rig.criticals.isEmpty());
    }

    void aThrowAwayStoreNeverStartsAtLogin()
    {
        qputenv("KESTRELWATCH_NO_AUTOSTART", "1");
        WindowRig rig;
        QCOMPARE(rig.start(), -1);
        qunsetenv("KESTRELWATCH_NO_AUTOSTART");
        QVERIFY(rig.w().firstRun());
        QVERIFY(!QFile::exists(autostartFile()));
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
        rig.store(devices("i1"));
        rig.trayHost = false;
        QCOMPARE(rig.start(false), -1);
        MainWindow& w = rig.w();
        QVERIFY(w.isVisible());
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());
        QVERIFY(w.isMinimized());
        QCOMPARE(rig.quits, 0);

        rig.trayHost = true; // a tray appears: the system's hide-to-tray comes back
        w.alarm().refreshTrayPresence();
        w.alarm().popUp();
        QVERIFY(w.isVisible() && !w.isMinimized());
        QVERIFY(!w.close());
        QVERIFY(!w.isVisible());
        QVERIFY(rig.core->engine()->isRunning());

        rig.trayHost = false; // the panel goes away while the window is hidden
        for (int tick = 0; tick < 16; ++tick)
            w.alarmTick();
        QVERIFY(w.isVisible());
    }

    void shutdownEndsTwoSecondsLaterWithTheStoreIntact()
    {
        WindowRig rig;
        rig.store(devices("i1 s2"));
        QCOMPARE(rig.start(false), -1);
        MainWindow& w = rig.w();
        w.show();
        w.intruderRowClicked(0);
        w.allowedClicked();
        w.exitClicked();
        QVERIFY(!w.isVisible());
        QVERIFY(!w.animationTimer().isActive());
        QVERIFY(!w.alarmTimer().isActive());
        QVERIFY(!rig.core->engine()->isRunning());
        QVERIFY(!rig.net->icmpSocketOpen());
        QCOMPARE(w.CloseTimer().interval(), 2000);
        QCOMPARE(rig.quits, 0);
        w.Shutdown(); // once only
        w.CloseTimer_Timer(); // the CloseTimer's tick ends the process
        QCOMPARE(rig.quits, 1);
        QCOMPARE(rig.stored(dev(1).mac, QStringLiteral("Intruder")), std::optional<QString>(QStringLiteral("False")));
        QVERIFY(rig.storedKey(dev(2).mac));
        QCOMPARE(rig.stored(Keys::General, QStringLiteral("Installed")), std::optional<QString>(QStringLiteral("Yes")));
    }

    // The host opens the tray menu itself; Exit is also in the window's own menu and on Ctrl+Q.
    void exitFromTheTrayMenuTheWindowMenuAndCtrlQ_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("tray menu") << 0;
        QTest::newRow("window menu") << 1;
        QTest::newRow("Ctrl+Q") << 2;
    }
    void exitFromTheTrayMenuTheWindowMenuAndCtrlQ()
    {
        QFETCH(int, way);
        WindowRig rig(devices(""));
        MainWindow& w = rig.w();
        QMenu* tray = w.alarm().trayIcon()->contextMenu();
        QCOMPARE(tray->actions().size(), 1);
        QSignalSpy down(&w, &MainWindow::shuttingDown);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        if (way == 0) {
            tray->actions().first()->trigger();
        } else if (way == 1) {
            QAction* exit = w.windowMenuButton()->menu()->findChild<QAction*>(QStringLiteral("windowExitAction"));
            QVERIFY(exit);
            exit->trigger();
        } else {
            // Without a window manager the window takes the keys under the pointer but is never active.
            QWidget other;
            other.show();
            other.activateWindow();
            QTRY_VERIFY(!w.isActiveWindow());
            QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        }
        QCOMPARE(down.count(), 1);
        QVERIFY(w.CloseTimer().isActive());
    }

    void externalProgramsFollowTheOptionAndTheFile_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<bool>("separator");
        const QString two =
            QStringLiteral("[PROGRAMS]\nPing=/bin/ping,-c 4 %1\nbroken line\nWeb=xdg-open,http://%1/\n");
        QTest::newRow("option off") << 0 << two << QStringList {} << false;
        QTest::newRow("two entries") << 1 << two << QStringList {QStringLiteral("Ping"), QStringLiteral("Web")} << true;
        QTest::newRow("no section") << 1 << QStringLiteral("[OTHER]\nA=b,c\n") << QStringList {} << false;
        QTest::newRow("no comma keeps the item")
            << 1 << QStringLiteral("[PROGRAMS]\nOdd=/bin/true\n") << QStringList {QStringLiteral("Odd")} << true;
    }
    void externalProgramsFollowTheOptionAndTheFile()
    {
        QFETCH(int, option);
        QFETCH(QString, ini);
        QFETCH(QStringList, items);
        QFETCH(bool, separator);
        WindowRig rig(devices(""));
        writeFile(rig.paths.programsIni(), ini);
        rig.core->settings().window.externalPrograms = option;
        rig.w().Load_ExternalProgs();
        WindowMenu* menus = rig.w().menus();
        QCOMPARE(captions(menus->programsAction()), items);
        QCOMPARE(captions(menus->programs2Action()), items);
        QCOMPARE(menus->programsAction().first()->isVisible(), separator);
        QCOMPARE(menus->programs2Action().first()->isVisible(), separator);
        // Loading again replaces the items rather than adding to them.
        rig.w().Load_ExternalProgs();
        QCOMPARE(captions(menus->programsAction()), items);
    }

    void aProgramStartsWithTheDeviceAddressAndNoShell()
    {
        WindowRig rig(devices("i4 s5"));
        const QString dir = rig.home.dir() + QStringLiteral("/launch");
        QVERIFY(QDir().mkpath(dir));
        // A ";" or "$(...)" in an argument is a file name character here, not a shell's.
        writeFile(rig.paths.programsIni(),
            QStringLiteral("[PROGRAMS]\nTouch=/usr/bin/touch,%1/a;b-%2 %1/$(id)-%2\n").arg(dir, QStringLiteral("%1")));
        rig.core->settings().window.externalPrograms = true;
        rig.w().Load_ExternalProgs();
        WindowMenu* menus = rig.w().menus();
        menus->setPopupsEnabled(false);
        rig.w().RightClickIntruder(0);
        menus->programsAction().at(1)->trigger();
        QTRY_VERIFY(QFile::exists(dir + QStringLiteral("/a;b-198.18.0.4")));
        QTRY_VERIFY(QFile::exists(dir + QStringLiteral("/$(id)-%1")));

        // From the safe list's menu too; not while monitoring is stopped.
        rig.w().RightClickAllowed(0);
        menus->programs2Action().at(1)->trigger();
        QTRY_VERIFY(QFile::exists(dir + QStringLiteral("/a;b-198.18.0.5")));
        rig.core->engine()->StopSystem();
        QVERIFY(QFile::remove(dir + QStringLiteral("/a;b-198.18.0.4")));
        rig.w().programsClicked(1);
        QTest::qWait(300);
        QVERIFY(!QFile::exists(dir + QStringLiteral("/a;b-198.18.0.4")));
    }

    // Help opens the installed page and the window stays; without a browser About shows where the page is.
    // Donate shows only when the installation names a donation page.
    void helpKeepsTheWindowAndDonateWaitsForAPage()
    {
        WindowRig rig(devices(""));
        MainWindow& w = rig.w();
        w.show();
        rig.openedUrls.clear();
        w.helpClicked();
        const QUrl help = QUrl::fromLocalFile(rig.paths.site() + QStringLiteral("help.htm"));
        QCOMPARE(rig.openedUrls, QList<QUrl> {help});
        QVERIFY(QFile::exists(help.toLocalFile()));
        QVERIFY(w.isVisible());
        QVERIFY(!w.aboutDialog());
        rig.browserOpens = false;
        w.helpClicked();
        QVERIFY(w.isVisible());
        QVERIFY(w.noticeText().contains(QLatin1String("No web browser")));
        QVERIFY(w.aboutDialog() && w.aboutDialog()->isVisible());
        const QString about = w.aboutDialog()->text();
        for (const QString& part : {help.toLocalFile(), QStringLiteral("GPL-3.0-or-later"), QStringLiteral(KW_VERSION),
                 AboutDialog::ProjectPage, QStringLiteral("IEEE")})
            QVERIFY2(about.contains(part), qPrintable(part));
        QVERIFY(!w.donateButton()->isVisibleTo(&w));
    }

    // What the help page names in bold is what the window says: its menus' items, the skin's buttons, the
    // details' rows and the settings' pages and buttons (a renamed item once left the page naming an old one).
    void helpNamesTheWindowsOwnTexts()
    {
        WindowRig rig(devices("i1"));
        MainWindow& w = rig.w();
        w.show();
        w.intruderRowClicked(0);
        w.settingsClicked();
        QStringList texts {QStringLiteral("intruder"), QStringLiteral("safe list"), QStringLiteral("private address")};
        for (int pic = 0; pic < int(Pic::Count); ++pic)
            texts.append(Theme::captionOf(Pic(pic)).remove(QStringLiteral("\u2715 ")));
        for (const QAction* a : w.findChildren<QAction*>())
            texts.append(a->text());
        for (const QMenu* m : w.findChildren<QMenu*>())
            texts.append(m->title());
        for (int r = 0; r < w.fgDetails()->rowCount(); ++r)
            texts.append(w.fgDetails()->item(r, 0)->text());
        for (const QPushButton* b : w.settingsDialog()->findChildren<QPushButton*>())
            texts.append(b->text());
        for (const QTabWidget* tabs : w.settingsDialog()->findChildren<QTabWidget*>()) {
            for (int t = 0; t < tabs->count(); ++t)
                texts.append(tabs->tabText(t));
        }
        QFile page(rig.paths.site() + QStringLiteral("help.htm"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        int named = 0;
        for (const QRegularExpressionMatch& bold :
            QRegularExpression(QStringLiteral("<b>(.*?)</b>")).globalMatch(html)) {
            const QString name = bold.captured(1).replace(QStringLiteral("&gt;"), QStringLiteral(">"));
            QVERIFY2(texts.contains(name, Qt::CaseInsensitive), qPrintable(name));
            ++named;
        }
        QVERIFY(named > 20);
    }
};

KW_TEST_MAIN(TestDesktop)
#include "tst_mainwindow_desktop.moc"
