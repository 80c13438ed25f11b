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

    void logGridShowsTheSelectedDevicesHistory()
    {
        WindowRig rig;
        rig.store({dev(1), dev(2)});
        rig.start();
        frmMain& w = rig.w();
        QTableWidget* grid = w.fgLog();
        QCOMPARE(grid->horizontalHeaderItem(0)->text(), QStringLiteral("Date/Time"));
        QCOMPARE(grid->horizontalHeaderItem(1)->text(), QStringLiteral("Event"));
        QCOMPARE(grid->rowCount(), 0); // no log file yet
        const qint32 first = rig.slotOf(mac(1));
        w.AddLogEntry(first, QStringLiteral("3/5/2024 10:00:00 AM\tConnected ( 198.18.0.1 )"));
        w.AddLogEntry(first, QStringLiteral("3/5/2024 10:05:00 AM\tDisconnected"));
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("3/5/2024 10:00:00 AM"));
        QCOMPARE(grid->item(1, 1)->text(), QStringLiteral("Disconnected"));
        QVERIFY(shade(grid, 0) != shade(grid, 1)); // rows alternate
        // An entry for a device that is not selected changes its history, not the grid.
        w.AddLogEntry(rig.slotOf(mac(2)), QStringLiteral("t\tName found"));
        QCOMPARE(grid->rowCount(), 2);
        QVERIFY(rig.devices()[rig.slotOf(mac(2))].LogText.contains(QLatin1String("Name found")));
        w.pctID_Click(1);
        QCOMPARE(grid->rowCount(), 1);
        QCOMPARE(grid->item(0, 1)->text(), QStringLiteral("Name found"));
        w.pctID_Click(0);
        QCOMPARE(grid->rowCount(), 2);
    }

    // The probe panel connects only when its check button is pressed, and only to a local device.
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
        // Opening the panel connects to nothing, nor does a change of selection while it is open.
        QVERIFY(ScriptedProbe::targets.isEmpty());
        w.pctID_Click(1);
        w.tmr100ms_Timer();
        w.pctID_Click(0);
        w.tmr100ms_Timer();
        QVERIFY(ScriptedProbe::targets.isEmpty());
        probe->checkButton()->click();
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

KW_TEST_MAIN(TestPanels)
#include "tst_mainwindow_panels.moc"
