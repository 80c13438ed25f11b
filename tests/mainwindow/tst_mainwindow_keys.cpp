// The window without a mouse: where the focus starts, the list keys, the Tab order through the skin buttons
// with their focus ring and accessible names; the window's texts (and the network header's choice, kept as a
// picture in bin/screenshots) at the desktop's scale factor; the panels following the chosen device; the probe
// panel's check.
#include "WindowRig.h"

#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/NetworkHeader.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/ReachabilityProbe.h"
#include "settings/SettingsDialog.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTcpServer>
#include <QTest>

using Device = WindowRig::Device;
const auto dev = [](int i) { return WindowRig::device(i); };
constexpr auto devices = WindowRig::deviceList;
constexpr auto mac = WindowRig::mac;

namespace {

void showActive(MainWindow& w)
{
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
}

// Every shown label, button and grid heading under top fits its box; no two sibling texts overlap.
void checkTexts(QWidget* top)
{
    QHash<QWidget*, QList<QPair<QString, QRect>>> bySibling;
    for (QWidget* widget : top->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(top))
            continue;
        QString text;
        QSize need;
        QRect box = widget->contentsRect();
        if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
            text = label->text();
            need = label->fontMetrics()
                       .boundingRect(box, int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0), text)
                       .size();
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget); button && !button->text().isEmpty()) {
            text = button->text();
            need = button->fontMetrics().size(Qt::TextShowMnemonic, text);
            box = widget->rect();
        } else if (auto* grid = qobject_cast<QTableWidget*>(widget); grid && !grid->horizontalHeader()->isHidden()) {
            for (int c = 0; c < grid->columnCount(); ++c) {
                const QString heading = grid->horizontalHeaderItem(c)->text();
                QVERIFY2(grid->horizontalHeader()->fontMetrics().horizontalAdvance(heading) <= grid->columnWidth(c),
                    qPrintable(QStringLiteral("\"%1\" is cut").arg(heading)));
            }
            continue;
        } else {
            continue;
        }
        QVERIFY2(need.width() <= box.width() && need.height() <= box.height(),
            qPrintable(QStringLiteral("\"%1\" is cut").arg(text)));
        bySibling[widget->parentWidget()].append({text, widget->geometry()});
    }
    for (const auto& texts : std::as_const(bySibling)) {
        for (qsizetype i = 0; i < texts.size(); ++i) {
            for (qsizetype j = i + 1; j < texts.size(); ++j)
                QVERIFY2(!texts[i].second.intersects(texts[j].second),
                    qPrintable(QStringLiteral("\"%1\" overlaps \"%2\"").arg(texts[i].first, texts[j].first)));
        }
    }
}

} // namespace

class TestKeys final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // The first key a new user presses lands on the intruder list, never on a button that sends the window
    // away; the list shows where the focus is.
    void focusStartsOnTheIntruderList()
    {
        WindowRig rig(devices("n1 i2"));
        rig.openedUrls.clear(); // the first run's getting-started page
        showActive(rig.w());
        QCOMPARE(QApplication::focusWidget(), rig.w().intruderList());
        // Nothing is selected yet, so nothing acts: the first arrow selects the top row.
        QCOMPARE(rig.selectedMac(), QString());
        QVERIFY(!rig.w().button(MainWindow::Button::MoveToAllowed)->isEnabled());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(rig.openedUrls.isEmpty());
        QVERIFY(rig.w().isVisible());
        QVERIFY(!rig.devices().find(mac(1))->NewDevice); // Space acknowledged the selected intruder
    }

    void listKeys_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("selected");
        QTest::newRow("down twice") << QList<int> {Qt::Key_Down, Qt::Key_Down} << mac(2);
        QTest::newRow("down past the end") << QList<int>(6, Qt::Key_Down) << mac(4);
        QTest::newRow("end then up") << QList<int> {Qt::Key_End, Qt::Key_Up} << mac(3);
        QTest::newRow("home, then up at the top") << QList<int> {Qt::Key_End, Qt::Key_Home, Qt::Key_Up} << mac(1);
    }
    void listKeys()
    {
        QFETCH(QList<int>, keys);
        WindowRig rig(devices("i1 i2 i3 i4"));
        rig.w().show();
        for (int key : keys)
            QTest::keyClick(rig.w().intruderList(), Qt::Key(key));
        QTEST(rig.selectedMac(), "selected");
        QCOMPARE(rig.w().intruderList()->row(rig.w().SelectedRow()).selected, true);
    }

    void enterF2DeleteAndSpaceActOnTheSelection()
    {
        WindowRig rig(devices("n1 s2 s3"));
        MainWindow& w = rig.w();
        showActive(w);
        DeviceListView* safe = w.allowedList();
        // Focus coming to the other list selects its first row.
        QTest::keyClick(safe, Qt::Key_Down);
        QCOMPARE(rig.selectedMac(), mac(2));
        w.detailsButtonClicked(); // details closed
        QTest::keyClick(safe, Qt::Key_Return);
        QCOMPARE(w.panelStage().open(), int(MainWindow::DetailsPanel));
        QTest::keyClick(safe, Qt::Key_F2);
        QCOMPARE(QApplication::focusWidget(), w.friendlyNameEdit());

        // Delete asks first; No keeps the device, Yes removes it.
        rig.confirmAnswer = false;
        QTest::keyClick(safe, Qt::Key_Delete);
        QCOMPARE(rig.questions.size(), 1);
        QVERIFY(rig.questions.first().contains(QLatin1String("(198.18.0.2)")));
        QVERIFY(rig.storedKey(mac(2)));
        rig.confirmAnswer = true;
        QTest::keyClick(safe, Qt::Key_Delete);
        QVERIFY(!rig.storedKey(mac(2)));
        QCOMPARE(rig.allowedMacs(), QStringList {mac(3)});
        // Space is no action in the safe list.
        QTest::keyClick(safe, Qt::Key_Space);
        QCOMPARE(rig.allowedMacs(), QStringList {mac(3)});
    }

    // Tab reaches every skin button; each shows a focus ring, says what it is, and presses with Space.
    void everyButtonIsInTheTabOrderWithANameAndARing()
    {
        WindowRig rig(devices("i1 s2"));
        MainWindow& w = rig.w();
        w.intruderRowClicked(0);
        showActive(w);
        QSet<QWidget*> reached;
        for (int i = 0; i < 40; ++i) {
            reached.insert(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        const QList<SkinButton*> buttons = w.findChildren<SkinButton*>();
        QCOMPARE(buttons.size(), 9);
        for (SkinButton* b : buttons) {
            // A disabled button is passed over, as every disabled control is.
            QVERIFY2(reached.contains(b) != !b->isEnabled(), qPrintable(b->objectName()));
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
            QVERIFY(a);
            QVERIFY2(!a->text(QAccessible::Name).isEmpty(), qPrintable(b->objectName()));
            QVERIFY2(a->text(QAccessible::Description).size() > a->text(QAccessible::Name).size(),
                qPrintable(b->objectName()));
            if (!b->isEnabled())
                continue;
            w.setFocus();
            const QImage plain = b->grab().toImage();
            b->setFocus(Qt::TabFocusReason);
            QVERIFY2(b->grab().toImage() != plain, qPrintable(b->objectName() + QStringLiteral(" shows no focus")));
        }
        // Donate is a stop only when the installation names a donation page.
        QCOMPARE(reached.contains(static_cast<QWidget*>(w.donateButton())), w.donateButton()->isVisibleTo(&w));
        QVERIFY(reached.contains(static_cast<QWidget*>(w.allowedList())));
        QCOMPARE(QAccessible::queryAccessibleInterface(w.intruderList())->text(QAccessible::Name),
            QStringLiteral("Intruders"));

        SkinButton* log = w.button(MainWindow::Button::Log);
        log->setFocus(Qt::TabFocusReason);
        QTest::keyClick(log, Qt::Key_Space);
        QCOMPARE(w.panelStage().open(), int(MainWindow::LogPanel));
    }

    // At the scale factor the test runs under (QT_SCALE_FACTOR, on a 1366 x 768 screen) and at each desktop
    // font size: every text of the window, its three panels, its rows and the settings dialog fits its box, no
    // two sibling texts overlap, and the window (the dialog too, down to 125 %) fits the screen's work area.
    void textsFitAndDoNotOverlap_data()
    {
        QTest::addColumn<qreal>("points");
        QTest::newRow("9 pt") << 9.0;
        QTest::newRow("11 pt") << 11.0;
        QTest::newRow("14 pt") << 14.0;
    }
    void textsFitAndDoNotOverlap()
    {
        QFETCH(qreal, points);
        const QFont desktop = QApplication::font();
        QFont font = desktop;
        font.setPointSizeF(points);
        QApplication::setFont(font);
        const auto restore = qScopeGuard([&] { QApplication::setFont(desktop); });
        QList<Device> stored = devices("n1 i2 s3 s4");
        stored[0].friendly = QStringLiteral("Living-room media server with a long name");
        stored[2].ip = QStringLiteral("198.18.255.255");
        // Two networks known: the header above the lists is a choice.
        const NetworkBook::Network home {"02-00-C6-12-00-01 198.18.0.0/24", "198.18.0.0/24", "02-00-C6-12-00-01",
            "198.18.0.1", NetworkBook::Watch::Watched, {}, "Home network"};
        const NetworkBook::Network office {"02-00-C6-33-64-01 198.51.100.0/24", "198.51.100.0/24", "02-00-C6-33-64-01",
            "198.51.100.1", NetworkBook::Watch::Watched, {},
            "The office on the third floor, by the window with the plants and the old printer"};
        for (Device& d : stored)
            d.network = home.id;
        WindowRig rig;
        rig.storeNetworks({home, office});
        rig.store(stored);
        rig.start();
        MainWindow& w = rig.w();
        rig.setOnline(mac(1), true);
        rig.setOnline(mac(3), true);
        w.deviceLists().networksSeen({home.id});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // The header's words whole in its box, clear of the titles below; a picture of the band to look at.
        QComboBox* choice = w.deviceLists().header().choiceBox();
        QVERIFY(choice->isVisibleTo(&w));
        QVERIFY(choice->width() >= choice->sizeHint().width());
        QVERIFY(w.deviceLists().header().rect().contains(choice->geometry()));
        const QRect band = choice->geometry().translated(w.deviceLists().header().pos());
        for (const QLabel* label : w.findChildren<QLabel*>()) {
            if (label->isVisibleTo(&w) && !label->text().isEmpty() && label->parentWidget() == &w)
                QVERIFY2(!band.intersects(label->geometry()), qPrintable(label->text()));
        }
        if (points == 9.0) {
            const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
            QDir().mkpath(dir);
            const QString file =
                dir + QStringLiteral("/network-header-%1.png").arg(qEnvironmentVariable("QT_SCALE_FACTOR", "1"));
            QVERIFY(w.grab(QRect(0, 0, w.width(), band.bottom() + band.height() * 3)).save(file));
            qInfo("picture: %s", qPrintable(file));
        }
        const QRect work = w.screen()->availableGeometry();
        const auto fits = [&](QWidget* window) {
            QVERIFY2(work.contains(window->frameGeometry()),
                qPrintable(QStringLiteral("%1 x %2 on %3 x %4")
                               .arg(window->frameGeometry().width())
                               .arg(window->frameGeometry().height())
                               .arg(work.width())
                               .arg(work.height())));
        };
        fits(&w);
        checkTexts(&w);
        for (DeviceListView* list : {w.intruderList(), w.allowedList()}) {
            for (int r = 0; r < list->rowCount(); ++r) {
                const RowView& row = list->row(r);
                const QRect name = DeviceListView::lineRect(r, 1, row.ack);
                const QRect address = DeviceListView::lineRect(r, 2, row.ack);
                // The name gives way (elided) to a long name; the address always shows whole.
                QVERIFY(QFontMetrics(DeviceRowDelegate::lineFont(2, false)).horizontalAdvance(row.line2)
                    <= address.width());
                QVERIFY(DeviceListView::rowRect(r).contains(name.united(address)) && !name.intersects(address));
            }
        }
        for (void (MainWindow::*open)() : {&MainWindow::logButtonClicked, &MainWindow::probeButtonClicked}) {
            (w.*open)();
            for (int tick = 0; tick < 23; ++tick)
                w.animationTick();
            checkTexts(&w);
        }
        w.settingsClicked();
        QVERIFY(QTest::qWaitForWindowExposed(w.settingsDialog()));
        checkTexts(w.settingsDialog());
        if (work.height() >= 614) // the dialog keeps its least size: it fits down to 1366 x 768 at 125 %
            fits(w.settingsDialog());
    }

    // The window's looks at the scale factor the test runs under, kept in bin/screenshots: the lists, a device's
    // details, its log, both phases of the alarm. With KW_PICTURES_BEFORE naming a folder of earlier pictures,
    // each must match its namesake pixel for pixel (a change of the window's code that should look the same).
    void windowPictures()
    {
        QList<Device> stored = devices("n1 i2 n3 s4 s5");
        stored[1].friendly = QStringLiteral("Kitchen printer");
        WindowRig rig(stored);
        MainWindow& w = rig.w();
        rig.setOnline(mac(4), true);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
        const QString before = qEnvironmentVariable("KW_PICTURES_BEFORE");
        QDir().mkpath(dir);
        const auto shoot = [&](const char* state) {
            for (int tick = 0; tick < 30; ++tick)
                w.animationTick();
            const QString name = QStringLiteral("/window-%1-%2.png")
                                     .arg(QLatin1String(state), qEnvironmentVariable("QT_SCALE_FACTOR", "1"));
            const QImage now = w.grab().toImage().convertToFormat(QImage::Format_ARGB32);
            QVERIFY(now.save(dir + name));
            if (before.isEmpty())
                return;
            const QImage earlier = QImage(before + name).convertToFormat(QImage::Format_ARGB32);
            QVERIFY2(!earlier.isNull(), qPrintable(QStringLiteral("no earlier picture ") + before + name));
            QVERIFY2(earlier == now, qPrintable(name + QStringLiteral(" differs from the earlier picture")));
        };
        shoot("lists");
        QVERIFY(w.selectMac(mac(2)));
        w.Set_Selection();
        shoot("details");
        w.logButtonClicked();
        shoot("log");
        rig.setOnline(mac(1), true);
        w.alarmTick();
        shoot("alarm1");
        w.alarmTick();
        shoot("alarm2");
    }

    // A panel that shows a device closes when no device is chosen and opens again with the next one chosen;
    // the probe panel stays out. The tabs show which panel is open.
    void panelsFollowTheChoice_data()
    {
        QTest::addColumn<int>("panel");
        QTest::addColumn<int>("whileNone");
        QTest::newRow("details") << int(MainWindow::DetailsPanel) << int(MainWindow::NoPanel);
        QTest::newRow("log") << int(MainWindow::LogPanel) << int(MainWindow::NoPanel);
        QTest::newRow("probe") << int(MainWindow::ProbePanelState) << int(MainWindow::ProbePanelState);
    }
    void panelsFollowTheChoice()
    {
        QFETCH(int, panel);
        QFETCH(int, whileNone);
        WindowRig rig(devices("i1 i2"));
        MainWindow& w = rig.w();
        const auto settle = [&w] {
            for (int tick = 0; tick < 30; ++tick)
                w.animationTick();
        };
        settle(); // nothing chosen at start: the details wait for a device
        w.intruderRowClicked(0);
        if (panel != MainWindow::DetailsPanel)
            panel == MainWindow::LogPanel ? w.logButtonClicked() : w.probeButtonClicked();
        settle();
        QCOMPARE(w.panelStage().left(panel), Geometry::PanelOpenLeft);
        QVERIFY(w.selectedDetailsLabel()->isVisibleTo(&w));
        w.clearSelection();
        settle();
        QCOMPARE(w.panelStage().open(), whileNone);
        QCOMPARE(w.panelStage().left(panel) == Geometry::PanelOpenLeft, whileNone == panel);
        QCOMPARE(w.selectedDetailsLabel()->isVisibleTo(&w), whileNone == panel);
        w.intruderRowClicked(1);
        settle();
        QCOMPARE(w.panelStage().open(), panel);
        QVERIFY(w.panelStage().atRest());
        QCOMPARE(w.button(MainWindow::Button::Log)->normalPicture(),
            panel == MainWindow::LogPanel ? Pic::LogSelectedNormal : Pic::LogUnSelectedNormal);
    }

    // The probe panel connects only when its check button is pressed, and only to a local device.
    void theProbeChecksOnlyALocalDevice()
    {
        ScriptedProbe::targets.clear();
        QList<Device> stored = devices("i1 i2");
        stored[1].ip = QStringLiteral("203.0.113.9");
        WindowRig rig(stored);
        MainWindow& w = rig.w();
        w.intruderRowClicked(0);
        ProbePanel* probe = w.probePanel();
        QCOMPARE(probe->target()->ip, QStringLiteral("198.18.0.1"));
        QVERIFY(probe->target()->local); // judged once the engine sweeps its ranges
        QVERIFY(!probe->isChecking());
        w.probeButtonClicked();
        for (int tick = 0; tick < 22; ++tick)
            w.animationTick();
        QCOMPARE(w.panelStage().left(3), Geometry::PanelOpenLeft);
        // Opening the panel connects to nothing, nor does a change of selection while it is open.
        QVERIFY(ScriptedProbe::targets.isEmpty());
        for (int row : {1, 0}) {
            w.intruderRowClicked(row);
            w.animationTick();
        }
        QVERIFY(ScriptedProbe::targets.isEmpty());
        probe->checkButton()->click();
        QCOMPARE(ScriptedProbe::targets, QStringList({QStringLiteral("198.18.0.1")}));
        QVERIFY(probe->isChecking());
        ScriptedProbe::last->finish();
        QVERIFY(!probe->isChecking());
        QCOMPARE(probe->summary(), ProbePanel::summaryText(2, 1, 8, 3));
        w.animationTick(); // checked already: no second run
        QCOMPARE(ScriptedProbe::targets.size(), 1);

        // A device outside the swept ranges is never probed.
        w.intruderRowClicked(1);
        QCOMPARE(probe->target()->ip, QStringLiteral("203.0.113.9"));
        QVERIFY(!probe->target()->local);
        for (int tick = 0; tick < 3; ++tick)
            w.animationTick();
        QVERIFY(!probe->startCheck());
        QVERIFY(!probe->checkButton()->isEnabled());
        QCOMPARE(ScriptedProbe::targets.size(), 1);
        QVERIFY(probe->summary().contains(QLatin1String("outside the local ranges")));
    }

    // The summary says what really happened: closed ports are answers that refuse, not open services.
    void probeWords_data()
    {
        QTest::addColumn<int>("open");
        QTest::addColumn<int>("closed");
        QTest::addColumn<QString>("words");
        QTest::newRow("all closed") << 0 << 8
                                    << "Reachable, but every service is closed: all 8 ports refused (first answer "
                                       "after 4 ms).";
        QTest::newRow("some closed, the rest silent")
            << 0 << 3 << "Reachable, but no service is open: 3 of 8 ports refused, 5 silent (first answer after 4 ms).";
        QTest::newRow("open and closed") << 2 << 6
                                         << "Reachable: 2 of 8 ports open, 6 closed (first answer after 4 ms).";
        QTest::newRow("open, closed, silent")
            << 2 << 1 << "Reachable: 2 of 8 ports open, 1 closed, 5 silent (first answer after 4 ms).";
        QTest::newRow("nothing") << 0 << 0 << "No answer within 1.5 s: offline, or every port filtered.";
    }
    void probeWords()
    {
        QFETCH(int, open);
        QFETCH(int, closed);
        QTEST(ProbePanel::summaryText(open, closed, 8, 4), "words");
    }

    // The real check, against listeners of this test on the loopback address only.
    void tcpProbeOnLoopback()
    {
        QTcpServer open, closed;
        QVERIFY(open.listen(QHostAddress::LocalHost) && closed.listen(QHostAddress::LocalHost));
        const quint16 closedPort = closed.serverPort();
        closed.close();
        TcpReachabilityProbe probe;
        QSignalSpy checked(&probe, &ReachabilityProbe::portChecked);
        QSignalSpy finished(&probe, &ReachabilityProbe::finished);
        probe.start(QStringLiteral("127.0.0.1"), {open.serverPort(), closedPort}, 1500);
        QVERIFY(finished.wait(5000));
        QMap<quint16, ReachabilityProbe::PortState> states;
        for (const auto& call : checked)
            states[quint16(call.at(0).toUInt())] = call.at(1).value<ReachabilityProbe::PortState>();
        using State = ReachabilityProbe::PortState;
        QCOMPARE(states, (QMap<quint16, State> {{open.serverPort(), State::Open}, {closedPort, State::Closed}}));
    }
};

KW_TEST_MAIN(TestKeys)
#include "tst_mainwindow_keys.moc"
