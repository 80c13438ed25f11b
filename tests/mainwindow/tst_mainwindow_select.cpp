// Choosing many devices at once: the model and its two filtered lists under Qt's model tester while devices
// arrive, change list and leave and the networks shown change; Shift and Ctrl with the mouse and the keyboard; and
// acknowledge, move, watch and remove acting on every chosen device, each asking once where it asks at all. Trusting
// everything online and its undo; renaming while events arrive.
#include "Devices.h"
#include "WindowRig.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "app/StoreFollower.h"
#include "mainwindow/DeviceCommands.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/NetworkHeader.h"
#include "mainwindow/NetworkView.h"
#include "mainwindow/NoteBox.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/WatchMenu.h"
#include "mainwindow/WindowMenu.h"
#include "store/DeviceWatch.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using Device = WindowRig::Device;
constexpr auto mac = WindowRig::mac;
constexpr auto macs = WindowRig::macs;
constexpr auto devices = WindowRig::deviceList;

class TestSelect final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    // The tester checks every signal and answer of the model and of both filters while the table changes
    // under them in every way the monitor changes it.
    void modelAndFiltersPassTheModelTester()
    {
        // Two networks, and a device from before networks: the header's choice narrows and widens the lists.
        NetworkBook::Network home {"02-00-C6-12-00-01 198.18.0.0/24", "198.18.0.0/24", "02-00-C6-12-00-01",
            "198.18.0.1", NetworkBook::Watch::Watched, {}, "Home"};
        NetworkBook::Network other = home;
        other.id = "- 198.51.100.0/24";
        other.subnet = "198.51.100.0/24";
        QList<Device> stored = devices("n1 i2 s3 i4 s5");
        for (int i = 0; i < 4; ++i)
            stored[i].network = i % 2 ? other.id : home.id;
        WindowRig rig;
        rig.storeNetworks({home, other});
        rig.store(stored);
        rig.start();
        MainWindow& w = rig.w();
        NetworkHeader& header = w.deviceLists().header();
        using Mode = QAbstractItemModelTester::FailureReportingMode;
        QAbstractItemModelTester model(&w.deviceModel(), Mode::QtTest);
        QAbstractItemModelTester intruders(&w.listRows(0), Mode::QtTest);
        QAbstractItemModelTester safe(&w.listRows(1), Mode::QtTest);
        DeviceActions& act = rig.core->actions();
        for (int i = 6; i < 9; ++i) {
            DeviceRecord& added = appendDevice(rig.devices(), mac(i), QStringLiteral("198.18.0.%1").arg(i));
            added.Intruder = added.NewDevice = true;
            DeviceEvent admitted;
            admitted.kind = DeviceEvent::Kind::Admitted;
            admitted.mac = mac(i);
            w.deviceEvent(admitted);
        }
        w.deviceLists().networksSeen({other.id});
        act.Acknowledge(mac(7));
        header.choose(home.id);
        act.MoveToSafe(mac(6));
        act.MoveToIntruders(mac(3));
        act.Rename(mac(2), QStringLiteral("Kitchen radio"));
        rig.setOnline(mac(4), true);
        w.filterBox(0)->setText(QStringLiteral("kitchen"));
        header.choose(NetworkHeader::AllNetworks);
        act.Remove(mac(5));
        w.filterBox(0)->clear();
        act.Remove(mac(1));
        w.Setup_Display();
        QCOMPARE(rig.inconsistency(), QString());
        QCOMPARE(w.IntruderRowCount() + w.AllowedRowCount(), rig.devices().size());
        header.choose(other.id);
        QCOMPARE(rig.inconsistency(), QString());
        QVERIFY(w.IntruderRowCount() + w.AllowedRowCount() < rig.devices().size());
    }

    // Shift and Ctrl choose with the mouse and the arrows; one list holds the choice at a time.
    void shiftAndCtrlChoose()
    {
        WindowRig rig(devices("i1 i2 i3 i4 s5"));
        MainWindow& w = rig.w();
        w.show();
        QWidget* rows = w.intruderList()->body();
        const auto click = [rows](int r, Qt::KeyboardModifiers mods = {}) {
            QTest::mouseClick(rows, Qt::LeftButton, mods, DeviceListView::rowRect(r).center());
        };
        click(0);
        QTest::keyClick(w.intruderList(), Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(w.selectedMacs(), macs({1, 2}));
        click(3, Qt::ShiftModifier);
        QCOMPARE(w.selectedMacs(), macs({1, 2, 3, 4}));
        click(1, Qt::ControlModifier);
        QCOMPARE(w.selectedMacs(), macs({1, 3, 4}));
        click(2);
        QCOMPARE(w.selectedMacs(), macs({3}));
        QTest::keyClick(w.intruderList(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(w.selectedMacs(), macs({1, 2, 3, 4}));
        QVERIFY(w.button(MainWindow::Button::MoveToAllowed)->isEnabled());
        QTest::mouseClick(w.allowedList()->body(), Qt::LeftButton, {}, DeviceListView::rowRect(0).center());
        QVERIFY(w.SelectionInAllowed());
        QCOMPARE(w.selectedMacs(), macs({5}));
        QVERIFY(!w.intruderList()->row(0).selected);
        QVERIFY(!w.button(MainWindow::Button::MoveToAllowed)->isEnabled());
    }

    // Each action on three chosen devices: what the store holds afterwards for each, where they stand, and
    // that they are still the choice.
    void actionsTakeEveryChosenDevice_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("intruders");
        QTest::addColumn<QStringList>("safe");
        QTest::addColumn<QStringList>("chosen");
        QTest::newRow("move to the safe list") << "n1 i2 n3 i4"
                                               << "move" << macs({4}) << macs({1, 3, 2}) << macs({1, 3, 2});
        QTest::newRow("move back") << "i1 s2 s3 s4"
                                   << "back" << macs({2, 3, 4, 1}) << QStringList() << macs({2, 3, 4});
        QTest::newRow("acknowledge with Space") << "n1 n2 n3 n4"
                                                << "space" << macs({4, 1, 2, 3}) << QStringList() << macs({1, 2, 3});
        QTest::newRow("remove with the button") << "i1 i2 i3 i4"
                                                << "remove" << macs({4}) << QStringList() << macs({4});
        QTest::newRow("remove with Delete") << "i1 i2 i3 i4"
                                            << "delete" << macs({4}) << QStringList() << macs({4});
    }
    void actionsTakeEveryChosenDevice()
    {
        QFETCH(QString, layout);
        QFETCH(QString, action);
        WindowRig rig(devices(layout));
        MainWindow& w = rig.w();
        const bool safe = action == QLatin1String("back");
        const int list = safe ? 1 : 0;
        const QStringList before = safe ? rig.allowedMacs() : rig.intruderMacs();
        QCOMPARE(w.selectMacs(before.mid(0, 3)), 3);
        if (action == QLatin1String("move"))
            w.allowedClicked();
        else if (action == QLatin1String("back"))
            w.intruderClicked();
        else if (action == QLatin1String("space"))
            QTest::keyClick(w.intruderList(), Qt::Key_Space);
        else if (action == QLatin1String("remove"))
            w.removeClicked(list);
        else
            QTest::keyClick(w.intruderList(), Qt::Key_Delete);
        QTEST(rig.intruderMacs(), "intruders");
        QTEST(rig.allowedMacs(), "safe");
        QTEST(w.selectedMacs(), "chosen");
        QCOMPARE(rig.inconsistency(), QString());
        if (action == QLatin1String("space")) {
            for (const QString& m : before.mid(0, 3))
                QCOMPARE(rig.stored(m, QStringLiteral("New_Device")), std::optional<QString>(QStringLiteral("False")));
            QCOMPARE(
                rig.stored(before[3], QStringLiteral("New_Device")), std::optional<QString>(QStringLiteral("True")));
        }
        // Removing asks once, naming each device; the store lets them go.
        if (action == QLatin1String("remove") || action == QLatin1String("delete")) {
            QCOMPARE(rig.questions.size(), 1);
            for (const QString& m : before.mid(0, 3)) {
                QVERIFY(!rig.storedKey(m));
                QVERIFY2(rig.questions[0].contains(QStringLiteral("198.18.0.%1").arg(m.right(2).toInt(nullptr, 16))),
                    qPrintable(rig.questions[0]));
            }
        }
    }

    // Removing a choice with a device online among it: the online one stays, and the question says so; a
    // "no" keeps all of them.
    void removingAChoiceAsksOnceAndKeepsTheOnlineOne()
    {
        WindowRig rig(devices("i1 i2 i3"));
        MainWindow& w = rig.w();
        rig.setOnline(mac(2), true);
        w.selectMacs(macs({1, 2, 3}));
        rig.confirmAnswer = false;
        w.removeClicked(0);
        QCOMPARE(rig.intruderMacs().size(), 3);
        QCOMPARE(rig.questions.size(), 1);
        QVERIFY2(rig.questions[0].contains(QLatin1String("these 2 devices"))
                && rig.questions[0].contains(QLatin1String("The one online stays")),
            qPrintable(rig.questions[0]));
        rig.confirmAnswer = true;
        w.removeClicked(0);
        QCOMPARE(rig.intruderMacs(), macs({2}));
        QCOMPARE(rig.questions.size(), 2);
        QCOMPARE(w.selectedMac(), mac(2));
    }

    // The Watch menu opened on a choice sets each chosen device's watch.
    void watchTakesEveryChosenDevice()
    {
        WindowRig rig(devices("i1 i2 i3"));
        MainWindow& w = rig.w();
        w.menus()->setPopupsEnabled(false);
        w.selectMacs(macs({1, 3}));
        w.RightClickIntruder(w.listRows(0).rowOfMac(mac(3)));
        QCOMPARE(w.selectedMacs().size(), 2); // a right click inside the choice keeps it
        const auto* menu = w.menus()->findChild<WatchMenu*>();
        QVERIFY(menu);
        QMenu* watch = menu->intruderWatchMenu();
        watch->actions().at(3)->trigger(); // both
        QCOMPARE(rig.devices().find(mac(1))->Watch, quint8(DeviceWatch::Both));
        QCOMPARE(rig.devices().find(mac(3))->Watch, quint8(DeviceWatch::Both));
        QCOMPARE(rig.devices().find(mac(2))->Watch, quint8(DeviceWatch::None));
    }

    // "Trust everything here now": one question naming how many, then every intruder online now is on the safe
    // list, acknowledged, with a history line; the offline one and the safe ones stay as they were. Undo puts
    // back each as it was (new again where it was new), but not a device the user moved back by hand meanwhile.
    void trustEverythingHereAndUndo()
    {
        WindowRig rig(devices("n1 n2 i3 n4 s5 n6"));
        MainWindow& w = rig.w();
        for (int i : {1, 2, 3, 5, 6})
            rig.setOnline(mac(i), true);
        rig.confirmAnswer = false;
        w.trustEverythingHere();
        QCOMPARE(rig.questions.size(), 1);
        QCOMPARE(rig.questions[0], MainWindow::trustQuestion(4));
        QCOMPARE(rig.allowedMacs(), macs({5}));
        QVERIFY(!w.canUndoTrust());

        rig.confirmAnswer = true;
        w.trustEverythingHere();
        QCOMPARE(rig.questions.size(), 2);
        QCOMPARE(rig.intruderMacs(), macs({4}));
        QCOMPARE(rig.allowedMacs().size(), 5);
        for (int i : {1, 2, 3, 6}) {
            QCOMPARE(rig.stored(mac(i), QStringLiteral("Intruder")), std::optional<QString>(QStringLiteral("False")));
            QCOMPARE(rig.stored(mac(i), QStringLiteral("New_Device")), std::optional<QString>(QStringLiteral("False")));
            QVERIFY(rig.core->deviceLog().history(mac(i)).contains(DeviceActions::TrustedLine));
        }
        QVERIFY(!rig.core->deviceLog().history(mac(5)).contains(DeviceActions::TrustedLine));
        QVERIFY(w.canUndoTrust());
        QVERIFY(w.noticeText().contains(QLatin1String("4 devices moved")));

        // The user takes one back by hand; the undo leaves it be.
        w.selectMac(mac(6));
        w.intruderClicked();
        w.undoTrust();
        QCOMPARE(rig.allowedMacs(), macs({5}));
        QCOMPARE(rig.stored(mac(1), QStringLiteral("New_Device")), std::optional<QString>(QStringLiteral("True")));
        QCOMPARE(rig.stored(mac(3), QStringLiteral("New_Device")), std::optional<QString>(QStringLiteral("False")));
        QCOMPARE(rig.stored(mac(6), QStringLiteral("New_Device")), std::optional<QString>(QStringLiteral("False")));
        QVERIFY(rig.core->deviceLog().history(mac(2)).contains(DeviceActions::TrustUndoneLine));
        QVERIFY(!rig.core->deviceLog().history(mac(6)).contains(DeviceActions::TrustUndoneLine));
        QVERIFY(!w.canUndoTrust());
        QCOMPARE(rig.inconsistency(), QString());
        // Nothing online to trust: no question, a word why.
        for (int i = 1; i <= 6; ++i)
            rig.setOnline(mac(i), false);
        w.trustEverythingHere();
        QCOMPARE(rig.questions.size(), 2);
        QVERIFY(w.noticeText().contains(QLatin1String("nothing to trust")));
    }

    // The first start's words show on the bare stage, once: trusting puts them away for good.
    void firstStartExplainsAndOffersTrust()
    {
        WindowRig rig(devices("n1 n2"));
        MainWindow& w = rig.w();
        QVERIFY(w.firstRun());
        w.show();
        w.animationTick();
        QVERIFY(w.welcome()->isVisible());
        QVERIFY(MainWindow::WelcomeText.contains(QLatin1String("intruder until you vouch for it")));
        rig.setOnline(mac(1), true);
        auto* button = w.welcome()->findChild<QPushButton*>(QStringLiteral("trustAllButton"));
        QVERIFY(button);
        button->click();
        QCOMPARE(rig.allowedMacs(), macs({1}));
        w.animationTick();
        QVERIFY(!w.welcome()->isVisible());
    }

    // The friendly-name box and the note box keep every letter typed at 60 ms a key while the device's events
    // (presence, host name, address, a note another process stored), the store follower's looks and the
    // window's ticks arrive between the keys: the name by the details panel (Enter) and by F2, the note kept by
    // Enter, and kept for its own device when the selection moves on while it is being typed.
    void editsKeepEveryLetterWhileEventsArrive_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("typed");
        QTest::newRow("details") << int(Qt::Key_Return) << "Office printer";
        QTest::newRow("F2") << int(Qt::Key_F2) << "Living room TV";
        QTest::newRow("note") << 0 << "Anna's, from the loft <b>2nd</b>";
    }
    void editsKeepEveryLetterWhileEventsArrive()
    {
        QFETCH(int, key);
        QFETCH(QString, typed);
        WindowRig rig(devices("i1 i2"));
        MainWindow& w = rig.w();
        w.show();
        w.intruderRowClicked(0);
        const QString m = w.selectedMac();
        if (key)
            QTest::keyClick(w.intruderList(), Qt::Key(key));
        for (int tick = 0; tick < 11; ++tick)
            w.animationTick();
        QLineEdit* box = key ? w.friendlyNameEdit() : w.findChild<NoteBox*>();
        QVERIFY(box && box->isVisibleTo(&w));
        box->setFocus();
        if (key == Qt::Key_Return)
            box->selectAll();
        // Events every 20 ms, from the engine's side of the device and the window's clockwork.
        int n = 0;
        QTimer events;
        connect(&events, &QTimer::timeout, this, [&] {
            ++n;
            DeviceRecord& d = *rig.devices().find(m);
            DeviceEvent e;
            e.mac = m;
            switch (n % 4) {
            case 0:
                rig.setOnline(m, n % 8 == 0);
                break;
            case 1:
                // Once, early: what memory holds lags the box (a refresh in the middle of a key's handling), or
                // another process's note arrives.
                if (n == 5 && key)
                    d.FriendlyName.chop(1);
                else if (n == 9 && !key) // two keys at least have been typed by now
                    rig.core->actions().adoptNote(m, QStringLiteral("from kestrelwatch-ctl"));
                d.HostName = QStringLiteral("host-%1").arg(n);
                e.kind = DeviceEvent::Kind::NameChanged;
                w.deviceEvent(e);
                break;
            case 2:
                e.kind = DeviceEvent::Kind::AddressChanged;
                w.deviceEvent(e);
                break;
            default:
                w.alarmTick();
                rig.core->storeFollower()->poll();
                break;
            }
        });
        events.start(20);
        QTest::keyClicks(box, typed, Qt::NoModifier, 60);
        events.stop();
        QVERIFY(n > typed.size());
        QCOMPARE(box->text(), typed);
        if (key) {
            QCOMPARE(rig.stored(m, QStringLiteral("Friendly_Name")), std::optional<QString>(typed));
            QCOMPARE(w.intruderList()->row(w.SelectedRow()).line1, typed);
            return;
        }
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(rig.stored(m, QStringLiteral("Note")), std::optional<QString>(typed));
        QVERIFY(rig.core->deviceLog().history(m).contains(QLatin1String("Note changed (in the window)")));
        // Escape gives the stored note back; a selection that moves on mid-note keeps it for its own device.
        QTest::keyClicks(box, QStringLiteral(" and more"));
        QTest::keyClick(box, Qt::Key_Escape);
        QCOMPARE(box->text(), typed);
        QTest::keyClicks(box, QStringLiteral(", by the door"));
        w.intruderRowClicked(1);
        QCOMPARE(
            rig.stored(m, QStringLiteral("Note")), std::optional<QString>(typed + QStringLiteral(", by the door")));
        QCOMPARE(box->text(), QString());
        QCOMPARE(rig.stored(w.selectedMac(), QStringLiteral("Note")), std::nullopt);
    }

    // The buttons under the lists and the lists' menus are one set of commands: one state, one act on the
    // chosen devices.
    void buttonsAndMenusShareTheirCommands()
    {
        WindowRig rig(devices("n1 i2 i3"));
        MainWindow& w = rig.w();
        w.show();
        DeviceCommands& commands = w.commands();
        QCOMPARE(w.menus()->removeAction(true), commands.remove(0));
        QVERIFY(w.menus()->intruderMenuAction()->actions().contains(commands.moveToSafe()));
        QVERIFY(!commands.moveToSafe()->isEnabled() && !w.button(MainWindow::Button::MoveToAllowed)->isEnabled());
        w.selectMacs(macs({2, 3}));
        QVERIFY(commands.moveToSafe()->isEnabled() && w.button(MainWindow::Button::MoveToAllowed)->isEnabled());
        QVERIFY(!commands.acknowledge()->isEnabled()); // nothing new among them
        rig.setOnline(mac(2), true);
        rig.setOnline(mac(3), true);
        QVERIFY(!commands.remove(0)->isEnabled() && !w.button(MainWindow::Button::RemoveIntruder)->isEnabled());

        w.RightClickIntruder(w.listRows(0).rowOfMac(mac(3)));
        QTRY_VERIFY(w.menus()->deviceMenuOpen());
        QCOMPARE(w.selectedMacs(), macs({2, 3})); // a right click inside the choice keeps it
        commands.moveToSafe()->trigger();
        w.menus()->intruderMenuAction()->hide();
        QCOMPARE(rig.allowedMacs(), macs({2, 3}));
        QCOMPARE(rig.intruderMacs(), macs({1}));
    }

    // The Network view says which span it shows and follows a move made while it is open.
    void networkViewSaysItsSpanAndFollowsMoves()
    {
        WindowRig rig(devices("i1 s2"));
        MainWindow& w = rig.w();
        showNetworkView(&w, rig.devices(), rig.core->presence());
        auto* view = w.findChild<NetworkView*>();
        QVERIFY(view);
        QVERIFY2(view->spanText().startsWith(QLatin1String("Showing the last 24 hours")), qPrintable(view->spanText()));
        QTest::keyClick(view->timeline(), Qt::Key_2);
        QVERIFY(view->spanText().startsWith(QLatin1String("Showing the last 7 days")));
        const auto intruders = [view] {
            int n = 0;
            for (const NetworkTimeline::Row& row : view->timeline()->rows())
                n += row.intruder ? 1 : 0;
            return n;
        };
        QCOMPARE(intruders(), 1);
        w.selectMac(mac(1));
        w.allowedClicked();
        QCOMPARE(intruders(), 0);
    }
};

KW_TEST_MAIN(TestSelect)
#include "tst_mainwindow_select.moc"
