// The details, log and probe panels: toggling by click and key, the slide, the details rows and caption, the
// log grid with its shading and bound, and the probe's check of one device.
#include "WindowRig.h"

#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/ReachabilityProbe.h"
#include "store/TextForms.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTcpServer>
#include <QTest>

using Device = WindowRig::Device;

namespace {

QString mac(int i)
{
    return QStringLiteral("02-00-00-00-00-%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
}

Device dev(int i, bool intruder = true)
{
    Device d;
    d.mac = mac(i);
    d.ip = QStringLiteral("198.18.0.%1").arg(i);
    d.intruder = intruder;
    d.isNew = false;
    return d;
}

QColor shade(QTableWidget* grid, int row)
{
    return grid->item(row, 0)->background().color();
}

} // namespace

class TestPanels final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void buttonsToggleTheirPanels()
    {
        WindowRig rig;
        rig.store({dev(1)});
        rig.start();
        frmMain& w = rig.w();
        QCOMPARE(w.intPanelState, 1); // details open at first
        w.pctLogButton_Click(); // one click switches
        QCOMPARE(w.intPanelState, 2);
        QCOMPARE(w.button(frmMain::Button::Log)->picture(), Pic::LogSelectedNormal);
        QCOMPARE(w.button(frmMain::Button::Details)->picture(), Pic::DetailsUnSelectedNormal);
        w.pctLogButton_Click(); // a second click closes
        QCOMPARE(w.intPanelState, 0);
        QCOMPARE(w.button(frmMain::Button::Log)->picture(), Pic::LogUnSelectedNormal);
        w.show();
        QTest::mouseClick(w.button(frmMain::Button::Probe), Qt::LeftButton);
        QCOMPARE(w.intPanelState, 3);
        QCOMPARE(w.button(frmMain::Button::Probe)->picture(), Pic::ProbeSelectedNormal);
    }

    void controlKeysToggleEvenWhileTyping()
    {
        WindowRig rig;
        rig.store({dev(1)});
        rig.start();
        frmMain& w = rig.w();
        w.show();
        QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(w.intPanelState, 3);
        QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(w.intPanelState, 0);
        QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(w.intPanelState, 1);
        // In the name box the keys still reach the window and type nothing.
        w.txtFriendlyName()->setFocus();
        QTest::keyClick(w.txtFriendlyName(), Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(w.intPanelState, 2);
        QCOMPARE(w.txtFriendlyName()->text(), QString());
        QCOMPARE(rig.stored(mac(1), QStringLiteral("Friendly_Name")), std::optional<QString>(QString()));
        // Other characters do nothing here.
        w.Form_KeyPress(1);
        QCOMPARE(w.intPanelState, 2);
    }

    void panelsSlideOutOneAfterTheOther()
    {
        WindowRig rig;
        rig.store({dev(1)});
        rig.start();
        frmMain& w = rig.w();
        using namespace Geometry;
        for (int tick = 1; tick <= 11; ++tick) {
            w.tmr100ms_Timer();
            QCOMPARE(w.panelLeft(1), PanelClosedLeft - tick * PanelStep);
            QCOMPARE(w.lblSelected_Details()->isVisibleTo(&w), tick == 11);
        }
        QCOMPARE(w.panelLeft(1), PanelOpenLeft);
        QCOMPARE(w.panel(1)->width(), px(PanelOpenWidth));
        QCOMPARE(w.panel(1)->x(), 0);
        w.tmr100ms_Timer(); // no overshoot
        QCOMPARE(w.panelLeft(1), PanelOpenLeft);

        w.pctLogButton_Click();
        for (int tick = 1; tick <= 10; ++tick) {
            w.tmr100ms_Timer();
            QCOMPARE(w.panelLeft(1), PanelOpenLeft + tick * PanelStep);
            QCOMPARE(w.panelLeft(2), PanelClosedLeft); // waits until the other is shut
            QVERIFY(!w.lblSelected_Details()->isVisibleTo(&w));
        }
        w.tmr100ms_Timer(); // the old one shuts and the new one starts in the same tick
        QCOMPARE(w.panelLeft(1), PanelClosedLeft);
        QCOMPARE(w.panelLeft(2), PanelClosedLeft - PanelStep);
        for (int tick = 1; tick <= 10; ++tick)
            w.tmr100ms_Timer();
        QCOMPARE(w.panelLeft(2), PanelOpenLeft);
        QVERIFY(w.lblSelected_Details()->isVisibleTo(&w));
        // The right edge never moves.
        QCOMPARE(w.panel(2)->x() + w.panel(2)->width(), px(PanelOpenWidth));

        w.pctLogButton_Click();
        for (int tick = 0; tick < 11; ++tick)
            w.tmr100ms_Timer();
        QCOMPARE(w.panelLeft(2), PanelClosedLeft);
        QVERIFY(!w.panel(2)->isVisibleTo(&w));
        QVERIFY(!w.lblSelected_Details()->isVisibleTo(&w));
    }

    void aVanishedSelectionClosesDetailsButNotTheProbe()
    {
        WindowRig rig;
        rig.store({dev(1), dev(2, false)});
        rig.start();
        frmMain& w = rig.w();
        w.pctAD_Click(0);
        w.pctRemove_Click(1); // the selection moves to the intruder list, which has rows
        QCOMPARE(w.SelectionInAllowed(), false);
        w.pctRemove_Click(0); // now both lists are empty
        QCOMPARE(rig.devices().DeviceCount, 0);
        w.tmr100ms_Timer();
        QCOMPARE(w.intPanelState, 0);
        QCOMPARE(w.button(frmMain::Button::Details)->picture(), Pic::DetailsUnSelectedNormal);
        w.pctProbeButton_Click();
        w.tmr100ms_Timer();
        QCOMPARE(w.intPanelState, 3);
    }

    void detailsRowsAndCaption()
    {
        WindowRig rig;
        Device d = dev(7);
        d.mac = QStringLiteral("00-0C-41-A2-3B-7F");
        d.host = QStringLiteral("printer.lab");
        d.firstSeen = QDateTime(QDate(2024, 2, 29), QTime(8, 5, 9));
        d.lastOnline = QDateTime(QDate(2024, 3, 4), QTime(18, 30, 5));
        d.lastOffline = TextForms::NeverDate();
        rig.store({d});
        rig.start();
        QTableWidget* grid = rig.w().fgDetails();
        QCOMPARE(grid->rowCount(), 10);
        QCOMPARE(grid->columnCount(), 2);
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("Detail"));
        QCOMPARE(grid->horizontalHeaderItem(1)->text(), QStringLiteral("Value"));
        QCOMPARE(grid->columnWidth(0), 1410 / 15);
        QCOMPARE(grid->columnWidth(1), 2790 / 15);
        const QStringList titles {QStringLiteral("First Seen on"), QStringLiteral("Last Online"),
            QStringLiteral("Last Offline"), QStringLiteral("State"), QStringLiteral("Friendly Name"),
            QStringLiteral("Host Name"), QStringLiteral("Classification"), QStringLiteral("IP Address"),
            QStringLiteral("MAC Address"), QStringLiteral("Manufacturer")};
        for (int r = 0; r < 10; ++r)
            QCOMPARE(grid->item(r, 0)->text(), titles[r]);
        const QLocale locale;
        QCOMPARE(grid->item(0, 1)->text(),
            locale.toString(QDate(2024, 2, 29), QLocale::LongFormat) + QStringLiteral(" at ")
                + locale.toString(QTime(8, 5, 9), QLocale::LongFormat));
        QVERIFY(grid->item(0, 1)->text().startsWith(QLatin1String("Thursday, February 29, 2024 at 8:05:09")));
        QCOMPARE(grid->item(2, 1)->text(), QStringLiteral("UNKNOWN"));
        QCOMPARE(grid->item(3, 1)->text(), QStringLiteral("Offline"));
        QCOMPARE(grid->item(4, 1)->text(), QString());
        QCOMPARE(grid->item(5, 1)->text(), QStringLiteral("printer.lab"));
        QCOMPARE(grid->item(6, 1)->text(), QStringLiteral("Intruder"));
        QCOMPARE(grid->item(7, 1)->text(), QStringLiteral("198.18.0.7"));
        QCOMPARE(grid->item(8, 1)->text(), QStringLiteral("00-0C-41-A2-3B-7F"));
        QCOMPARE(grid->item(9, 1)->text(), rig.core->vendorName(QStringLiteral("00-0C-41-A2-3B-7F")));
        // Without a friendly name the host name stands in the caption.
        QCOMPARE(rig.w().lblSelected_Details()->text(), QStringLiteral("printer.lab ( 198.18.0.7 )"));

        rig.setOnline(d.mac, true);
        QCOMPARE(grid->item(3, 1)->text(), QStringLiteral("Online"));
        rig.w().pctID_Click(0);
        rig.w().pctAllowed_Click();
        QCOMPARE(grid->item(6, 1)->text(), QStringLiteral("Safe List"));
        rig.w().txtFriendlyName()->setText(QStringLiteral("Office printer"));
        QCOMPARE(grid->item(4, 1)->text(), QStringLiteral("Office printer"));
        QCOMPARE(rig.w().lblSelected_Details()->text(), QStringLiteral("Office printer ( 198.18.0.7 )"));
    }

    void noSelectionShowsOnlyTheHeaders()
    {
        WindowRig rig;
        rig.start();
        QCOMPARE(rig.w().fgDetails()->rowCount(), 0);
        QCOMPARE(rig.w().fgLog()->rowCount(), 0);
        QVERIFY(!rig.w().txtFriendlyName()->isVisibleTo(&rig.w()));
    }

    void logGridShowsTheSelectedDevicesHistory()
    {
        WindowRig rig;
        rig.store({dev(1), dev(2)});
        rig.start();
        frmMain& w = rig.w();
        QTableWidget* grid = w.fgLog();
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("Date/Time"));
        QCOMPARE(grid->horizontalHeaderItem(1)->text(), QStringLiteral("Event"));
        QCOMPARE(grid->columnWidth(0), 1740 / 15);
        QCOMPARE(grid->columnWidth(1), 2460 / 15);
        QCOMPARE(grid->rowCount(), 0); // no log file yet
        const qint32 first = rig.slotOf(mac(1));
        w.AddLogEntry(first, QStringLiteral("3/5/2024 10:00:00 AM\tConnected ( 198.18.0.1 )"));
        w.AddLogEntry(first, QStringLiteral("3/5/2024 10:05:00 AM\tDisconnected"));
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("3/5/2024 10:00:00 AM"));
        QCOMPARE(grid->item(1, 1)->text(), QStringLiteral("Disconnected"));
        QCOMPARE(shade(grid, 0), QColor(0xE0, 0xE0, 0xE0));
        QCOMPARE(shade(grid, 1), QColor(0xF0, 0xF0, 0xF0));
        QCOMPARE(grid->item(1, 1)->background().color(), QColor(0xF0, 0xF0, 0xF0));
        QCOMPARE(grid->rowHeight(1), 20);
        // An entry for a device that is not selected changes its history, not the grid.
        w.AddLogEntry(rig.slotOf(mac(2)), QStringLiteral("t\tName found"));
        QCOMPARE(grid->rowCount(), 2);
        QVERIFY(rig.devices()[rig.slotOf(mac(2))].LogText.contains(QLatin1String("Name found")));
        w.pctID_Click(1);
        QCOMPARE(grid->rowCount(), 1);
        QCOMPARE(grid->item(0, 1)->text(), QStringLiteral("Name found"));
        w.pctID_Click(0);
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(shade(grid, 1), QColor(0xF0, 0xF0, 0xF0));
    }

    void logGridKeepsAtMostAHundredRows()
    {
        WindowRig rig;
        rig.store({dev(1)});
        rig.start();
        frmMain& w = rig.w();
        for (int i = 1; i <= 100; ++i)
            w.AddLogEntry(0, QStringLiteral("t%1\tevent %1").arg(i));
        QCOMPARE(w.fgLog()->rowCount() + 1, 100); // header included
        w.Display_Log();
        QCOMPARE(w.fgLog()->rowCount(), 100); // the whole history of 100 lines
        w.AddLogEntry(0, QStringLiteral("t101\tevent 101"));
        QCOMPARE(w.fgLog()->rowCount() + 1, 100);
        QCOMPARE(w.fgLog()->item(0, 1)->text(), QStringLiteral("event 3"));
        QCOMPARE(w.fgLog()->item(98, 1)->text(), QStringLiteral("event 101"));
        // The shading still alternates at the end.
        QVERIFY(shade(w.fgLog(), 98) != shade(w.fgLog(), 97));
    }

    void theProbeChecksOnlyALocalDevice()
    {
        ScriptedProbe::targets.clear();
        WindowRig rig;
        Device outside = dev(2);
        outside.ip = QStringLiteral("203.0.113.9");
        rig.store({dev(1), outside});
        rig.start();
        frmMain& w = rig.w();
        ProbePanel* probe = w.probePanel();
        QCOMPARE(probe->target()->ip, QStringLiteral("198.18.0.1"));
        QVERIFY(probe->target()->local); // judged once the engine sweeps its ranges
        QVERIFY(!probe->isChecking());
        w.pctProbeButton_Click();
        for (int tick = 0; tick < 22; ++tick)
            w.tmr100ms_Timer();
        QCOMPARE(w.panelLeft(3), Geometry::PanelOpenLeft);
        QCOMPARE(ScriptedProbe::targets, QStringList({QStringLiteral("198.18.0.1")}));
        QVERIFY(probe->isChecking());
        QCOMPARE(probe->ports()->item(2, 2)->text(), QStringLiteral("\u25CF open \u00B7 3 ms")); // port 80
        QCOMPARE(probe->ports()->item(0, 2)->text(), QStringLiteral("\u25CB closed \u00B7 5 ms")); // port 22
        ScriptedProbe::last->finish();
        QVERIFY(!probe->isChecking());
        QCOMPARE(probe->summary(), QStringLiteral("Reachable: answered on 3 of 8 ports, first after 3 ms."));
        QCOMPARE(probe->ports()->item(1, 2)->text(), QStringLiteral("\u2013 no answer"));
        w.tmr100ms_Timer(); // checked already: no second run
        QCOMPARE(ScriptedProbe::targets.size(), 1);

        // A device outside the swept ranges is never probed.
        w.pctID_Click(1);
        QCOMPARE(probe->target()->ip, QStringLiteral("203.0.113.9"));
        QVERIFY(!probe->target()->local);
        for (int tick = 0; tick < 3; ++tick)
            w.tmr100ms_Timer();
        QVERIFY(!probe->startCheck());
        QVERIFY(!probe->checkButton()->isEnabled());
        QCOMPARE(ScriptedProbe::targets.size(), 1);
        QVERIFY(probe->summary().contains(QLatin1String("outside the local ranges")));
        QCOMPARE(probe->ports()->item(2, 2)->text(), QString());
    }

    void tcpProbeOnLoopback()
    {
        // The real check, against a listener of this test on the loopback address only.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QTcpServer closedProbe;
        QVERIFY(closedProbe.listen(QHostAddress::LocalHost));
        const quint16 closedPort = closedProbe.serverPort();
        closedProbe.close();
        TcpReachabilityProbe probe;
        QSignalSpy checked(&probe, &ReachabilityProbe::portChecked);
        QSignalSpy finished(&probe, &ReachabilityProbe::finished);
        probe.start(QStringLiteral("127.0.0.1"), {server.serverPort(), closedPort}, 1500);
        QVERIFY(finished.wait(5000));
        QCOMPARE(checked.count(), 2);
        QMap<quint16, ReachabilityProbe::PortState> states;
        for (const auto& call : checked)
            states[quint16(call.at(0).toUInt())] = call.at(1).value<ReachabilityProbe::PortState>();
        QCOMPARE(states.value(server.serverPort()), ReachabilityProbe::PortState::Open);
        QCOMPARE(states.value(closedPort), ReachabilityProbe::PortState::Closed);
    }
};

QTEST_MAIN(TestPanels)
#include "tst_mainwindow_panels.moc"
