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

    void tipIsCutAtSixtyThreeCharacters_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("kept");
        QTest::newRow("short") << 20 << 20;
        QTest::newRow("63") << 63 << 63;
        QTest::newRow("64") << 64 << 63;
        QTest::newRow("100") << 100 << 63;
    }
    void tipIsCutAtSixtyThreeCharacters()
    {
        QFETCH(int, length);
        QFETCH(int, kept);
        const QString tip = QString(length, QLatin1Char('x'));
        QCOMPARE(frmMain::trayTipText(tip), tip.left(kept));
        WindowRig rig;
        rig.store({});
        QCOMPARE(rig.start(), -1);
        QCOMPARE(rig.w().trayTip(), QStringLiteral("Kestrelwatch v1.0.0 Running"));
        rig.w().ChangeTrayTip(tip);
        QCOMPARE(rig.w().trayTip().size(), kept);
        QCOMPARE(rig.w().trayIcon()->toolTip().size(), kept);
    }

    void trayMenuHoldsExitOnly()
    {
        WindowRig rig;
        rig.store({});
        QCOMPARE(rig.start(), -1);
        frmMenu* menus = rig.w().menus();
        menus->setPopupsEnabled(false);
        rig.w().SysTrayMouseEventHandlerRight(QPoint(10, 10));
        QCOMPARE(menus->lastPopup(), menus->mnuToolTip());
        QCOMPARE(menus->mnuToolTip()->actions().size(), 1);
        QCOMPARE(menus->mnuToolTip()->actions().first()->text(), QStringLiteral("Exit"));
        QSignalSpy down(&rig.w(), &frmMain::shuttingDown);
        menus->mnuExit()->trigger();
        QCOMPARE(down.count(), 1);
        QVERIFY(rig.w().CloseTimer().isActive());
    }

    void leftClickOnTheIconTogglesTheWindow()
    {
        WindowRig rig;
        rig.store({});
        QCOMPARE(rig.start(), -1);
        QSystemTrayIcon* tray = rig.w().trayIcon();
        QVERIFY(tray);
        Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(rig.w().isVisible());
        Q_EMIT tray->activated(QSystemTrayIcon::DoubleClick); // no action
        QVERIFY(rig.w().isVisible());
        Q_EMIT tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!rig.w().isVisible());
    }

    void rowMenusOfferWhatTheDeviceAllows()
    {
        WindowRig rig;
        rig.store({dev(1, true, true), dev(2, true, false), dev(3, false)});
        QCOMPARE(rig.start(), -1);
        frmMain& w = rig.w();
        frmMenu* menus = w.menus();
        menus->setPopupsEnabled(false);
        const int newRow = rig.intruderMacs().indexOf(dev(1).mac);
        const int ackedRow = rig.intruderMacs().indexOf(dev(2).mac);
        w.RightClickIntruder(newRow);
        QCOMPARE(menus->lastPopup(), menus->mnuIntruderMenu());
        QVERIFY(menus->mnuIntruderAck()->isVisible());
        w.RightClickIntruder(ackedRow);
        QVERIFY(!menus->mnuIntruderAck()->isVisible());
        QCOMPARE(w.lngMenuMac, rig.slotOf(dev(2).mac));
        w.RightClickAllowed(0);
        QCOMPARE(menus->lastPopup(), menus->mnuAllowedMenu());
        QCOMPARE(menus->mnuAllowedMenu()->actions().first()->text(), QStringLiteral("< Move"));

        // The menu's items act on the device the menu was opened for.
        w.RightClickIntruder(newRow);
        menus->mnuIntruderAck()->trigger();
        QVERIFY(!rig.devices()[rig.slotOf(dev(1).mac)].NewDevice);
        w.RightClickIntruder(rig.intruderMacs().indexOf(dev(1).mac));
        menus->mnuIntruderMenu()->actions().at(1)->trigger(); // "Move >"
        QVERIFY(rig.allowedMacs().contains(dev(1).mac));
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

    void shippedProgramsFileHasTheProgramArgumentsForm()
    {
        const QString file =
            QString::fromLocal8Bit(qgetenv("KESTRELWATCH_SHARE")) + QStringLiteral("/Configs/Programs.ini");
        QStringList problems;
        const QList<ExternalProgram> programs = ExternalPrograms::parse(
            QStringLiteral("x") + QChar(0) + QStringLiteral("y"), &problems); // two parts, no entry
        QVERIFY(programs.isEmpty());
        QFile f(file);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(file));
        int entries = 0;
        for (const QByteArray& raw : f.readAll().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('[')))
                continue;
            ++entries;
            const QString value = line.mid(line.indexOf(QLatin1Char('=')) + 1);
            QVERIFY2(value.contains(QLatin1Char(',')), qPrintable(line));
            QVERIFY2(!value.left(value.indexOf(QLatin1Char(','))).contains(QLatin1Char(' ')), qPrintable(line));
        }
        QVERIFY(entries >= 1);
    }

    void onlyTheFirstPercentOneIsTheAddress()
    {
        QCOMPARE(ExternalPrograms::argumentsFor(QStringLiteral("-a %1 -b %1"), QStringLiteral("198.18.0.4")),
            QStringLiteral("-a 198.18.0.4 -b %1"));
        QCOMPARE(ExternalPrograms::argumentList(QStringLiteral("-c \"echo %1; x\" %1"), QStringLiteral("198.18.0.4")),
            (QStringList {QStringLiteral("-c"), QStringLiteral("echo 198.18.0.4; x"), QStringLiteral("%1")}));
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

    void pageButtonsOpenTheInstalledSite_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("page");
        QTest::newRow("help") << QStringLiteral("pctHelp") << QStringLiteral("help.htm");
        QTest::newRow("donate") << QStringLiteral("cmdDonate") << QStringLiteral("donate.htm");
    }
    void pageButtonsOpenTheInstalledSite()
    {
        QFETCH(QString, which);
        QFETCH(QString, page);
        WindowRig rig;
        rig.store({});
        QCOMPARE(rig.start(), -1);
        frmMain& w = rig.w();
        w.show();
        rig.openedUrls.clear();
        if (which == QStringLiteral("pctHelp"))
            w.pctHelp_Click();
        else
            w.cmdDonate_Click();
        QVERIFY(!w.isVisible());
        QCOMPARE(rig.openedUrls.size(), 1);
        QCOMPARE(rig.openedUrls.first().scheme(), QStringLiteral("file"));
        QCOMPARE(rig.openedUrls.first().toLocalFile(), rig.paths.site() + page);
        QVERIFY(QFile::exists(rig.openedUrls.first().toLocalFile()));
        QCOMPARE(w.playCount(3), 1);
    }

    void centreUsesTheWorkAreasRightAndBottomEdges()
    {
        WindowRig rig;
        rig.store({});
        QCOMPARE(rig.start(), -1);
        QWidget form;
        form.resize(300, 200);
        frmMain::Centre(form);
        const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(form.x(), (work.x() + work.width() - form.frameGeometry().width()) / 2);
        QCOMPARE(form.y(), (work.y() + work.height() - form.frameGeometry().height()) / 2);
    }
};

QTEST_MAIN(TestTray)
#include "tst_mainwindow_tray.moc"
