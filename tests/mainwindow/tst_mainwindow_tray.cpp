// The tray's side of the window: the tip cut, the three menus, the external programs (read from
// Programs.ini, started without a shell), the page and settings buttons, and centring.
#include "WindowRig.h"

#include "engine/frmClient.h"
#include "mainwindow/ExternalPrograms.h"
#include "mainwindow/frmMenu.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using Device = WindowRig::Device;

namespace {

Device dev(int i, bool intruder = true, bool isNew = false)
{
    Device d;
    d.mac = QStringLiteral("02-00-00-00-00-%1").arg(i, 2, 10, QLatin1Char('0'));
    d.ip = QStringLiteral("198.18.0.%1").arg(i);
    d.intruder = intruder;
    d.isNew = isNew;
    return d;
}

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

} // namespace

class TestTray final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

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
        WindowRig rig;
        rig.store({});
        QCOMPARE(rig.start(), -1);
        frmMain& w = rig.w();
        QMenu* tray = w.trayIcon()->contextMenu();
        QCOMPARE(tray, w.menus()->mnuToolTip());
        QCOMPARE(tray->actions().size(), 1);
        QCOMPARE(tray->actions().first()->text(), QStringLiteral("Exit"));
        QSignalSpy down(&w, &frmMain::shuttingDown);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        if (way == 0) {
            tray->actions().first()->trigger();
        } else if (way == 1) {
            QAction* exit = w.windowMenuButton()->menu()->findChild<QAction*>(QStringLiteral("mnuWindowExit"));
            QVERIFY(exit);
            QVERIFY(w.windowMenuButton()->menu()->actions().contains(exit));
            exit->trigger();
        } else {
            w.activateWindow();
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
        QTest::newRow("empty section") << 1 << QStringLiteral("[PROGRAMS]\n; nothing\n") << QStringList {} << false;
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
        WindowRig rig;
        rig.store({});
        QCOMPARE(rig.start(), -1);
        writeFile(rig.paths.programsIni(), ini);
        rig.core->settings().chkExternalPrograms = option;
        rig.w().Load_ExternalProgs();
        frmMenu* menus = rig.w().menus();
        QCOMPARE(captions(menus->mnuPrograms()), items);
        QCOMPARE(captions(menus->mnuPrograms2()), items);
        QCOMPARE(menus->mnuPrograms().first()->isVisible(), separator);
        QCOMPARE(menus->mnuPrograms2().first()->isVisible(), separator);
        // Loading again replaces the items rather than adding to them.
        rig.w().Load_ExternalProgs();
        QCOMPARE(captions(menus->mnuPrograms()), items);
    }

    void aProgramStartsWithTheDeviceAddressAndNoShell()
    {
        WindowRig rig;
        rig.store({dev(4), dev(5, false)});
        QCOMPARE(rig.start(), -1);
        const QString dir = rig.home.dir() + QStringLiteral("/launch");
        QVERIFY(QDir().mkpath(dir));
        // A ";" or "$(...)" in an argument is a file name character here, not a shell's.
        writeFile(rig.paths.programsIni(),
            QStringLiteral("[PROGRAMS]\nTouch=/usr/bin/touch,%1/a;b-%2 %1/$(id)-%2\n").arg(dir, QStringLiteral("%1")));
        rig.core->settings().chkExternalPrograms = 1;
        rig.w().Load_ExternalProgs();
        frmMenu* menus = rig.w().menus();
        menus->setPopupsEnabled(false);
        rig.w().RightClickIntruder(0);
        menus->mnuPrograms().at(1)->trigger();
        QTRY_VERIFY(QFile::exists(dir + QStringLiteral("/a;b-198.18.0.4")));
        QTRY_VERIFY(QFile::exists(dir + QStringLiteral("/$(id)-%1")));

        // From the safe list's menu too; not while monitoring is stopped.
        rig.w().RightClickAllowed(0);
        menus->mnuPrograms2().at(1)->trigger();
        QTRY_VERIFY(QFile::exists(dir + QStringLiteral("/a;b-198.18.0.5")));
        rig.core->engine()->StopSystem();
        QVERIFY(QFile::remove(dir + QStringLiteral("/a;b-198.18.0.4")));
        rig.w().mnuPrograms_Click(1);
        QTest::qWait(300);
        QVERIFY(!QFile::exists(dir + QStringLiteral("/a;b-198.18.0.4")));
    }

    // Help and Donate open the installed site and step aside; without a browser the window stays and says so.
    void pageButtonsOpenTheInstalledSite_data()
    {
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("browser");
        QTest::addColumn<QString>("page");
        QTest::newRow("help") << true << true << QStringLiteral("help.htm");
        QTest::newRow("donate") << false << true << QStringLiteral("donate.htm");
        QTest::newRow("help, no browser") << true << false << QStringLiteral("help.htm");
        QTest::newRow("donate, no browser") << false << false << QStringLiteral("donate.htm");
    }
    void pageButtonsOpenTheInstalledSite()
    {
        QFETCH(bool, help);
        QFETCH(bool, browser);
        QFETCH(QString, page);
        WindowRig rig;
        rig.store({});
        QCOMPARE(rig.start(), -1);
        frmMain& w = rig.w();
        w.show();
        rig.openedUrls.clear();
        rig.browserOpens = browser;
        help ? w.pctHelp_Click() : w.cmdDonate_Click();
        QCOMPARE(rig.openedUrls.size(), 1);
        QCOMPARE(rig.openedUrls.first().toLocalFile(), rig.paths.site() + page);
        QVERIFY(QFile::exists(rig.openedUrls.first().toLocalFile()));
        QCOMPARE(w.isVisible(), !browser);
        QCOMPARE(w.noticeVisible(), !browser);
        if (!browser)
            QVERIFY(w.noticeText().contains(QLatin1String("No web browser")));
    }
};

KW_TEST_MAIN(TestTray)
#include "tst_mainwindow_tray.moc"
