// The device lists and the user's actions on them: order, flashing, selection, scrolling, clicks, the filter
// boxes, the skin buttons' press look, what acknowledge, move, remove and rename do to the lists and the selection,
// and (once, for every caller) what DeviceActions does to the store and which event it emits; the menu's export
// and import.
#include "Devices.h"
#include "WindowRig.h"

#include "app/DeviceActions.h"
#include "app/MonitorCore.h"
#include "devicefile/DeviceExport.h"
#include "engine/DiscoveryEngine.h"
#include "mainwindow/DeviceListModel.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/NetworkHeader.h"
#include "mainwindow/NoteBox.h"
#include "mainwindow/PictureBox.h"
#include "mainwindow/WatchMenu.h"
#include "mainwindow/WindowMenu.h"
#include "notify/AlertPolicy.h"
#include "store/DeviceWatch.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

using Device = WindowRig::Device;
constexpr auto mac = WindowRig::mac;
constexpr auto macs = WindowRig::macs;

constexpr auto devices = WindowRig::deviceList;

class TestLists final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void onlyOnlineNewIntrudersFlash()
    {
        WindowRig rig(devices("n1 n2 i3")); // 1 and 3 online, 2 offline
        rig.setOnline(mac(1), true);
        rig.setOnline(mac(3), true);
        rig.w().intruderRowClicked(2); // selection away from the flashing row
        QList<bool> flashes, others;
        for (int tick = 0; tick < 4; ++tick) {
            rig.w().alarmTick();
            flashes << rig.w().intruderList()->row(0).flash;
            others << (rig.w().intruderList()->row(1).flash || rig.w().intruderList()->row(2).flash);
        }
        QCOMPARE(flashes, QList<bool>({true, false, true, false}));
        QCOMPARE(others, QList<bool>(4, false));
    }

    // Whatever row is selected ends up inside the viewport, at its nearest edge.
    void selectionScrollsIntoView()
    {
        WindowRig rig(devices("i1-20"));
        DeviceListView* list = rig.w().intruderList();
        list->setViewportHeight(3 * Geometry::RowHeight);
        rig.w().Set_ListSizes();
        const auto visibleRows = [list] {
            QList<int> rows;
            for (int r = 0; r < 20; ++r) {
                const QRect place = list->visualRect(list->rows().index(r, 0));
                if (place.top() >= 0 && place.bottom() < list->height())
                    rows << r;
            }
            return rows;
        };
        rig.w().intruderRowClicked(10);
        QCOMPARE(visibleRows(), QList<int>({8, 9, 10}));
        rig.w().intruderRowClicked(9); // already in view: nothing moves
        QCOMPARE(visibleRows(), QList<int>({8, 9, 10}));
        rig.w().intruderRowClicked(2);
        QCOMPARE(visibleRows(), QList<int>({2, 3, 4}));
        // The skin's scroll bar moves the list, down to its last row.
        rig.w().scrlI()->setValue(rig.w().scrlI()->maximum());
        QCOMPARE(visibleRows(), QList<int>({17, 18, 19}));
    }

    void clicksSelectAndRightClickAsksForTheMenu()
    {
        WindowRig rig(devices("n1 i2 s3"));
        rig.w().show();
        QWidget* intruderBody = rig.w().intruderList()->body();
        QTest::mouseClick(intruderBody, Qt::LeftButton, {}, DeviceListView::rowRect(1).center());
        QCOMPARE(rig.selectedMac(), mac(2));
        QVERIFY(rig.w().intruderList()->row(1).selected && !rig.w().intruderList()->row(0).selected);
        // A click below the last row selects nothing new.
        QTest::mouseClick(rig.w().intruderList(), Qt::LeftButton, {}, QPoint(100, 400));
        QCOMPARE(rig.selectedMac(), mac(2));
        QTest::mouseClick(rig.w().allowedList()->body(), Qt::LeftButton, {}, DeviceListView::rowRect(0).center());
        QVERIFY(rig.w().SelectionInAllowed());
        QCOMPARE(rig.selectedMac(), mac(3));
        QVERIFY(!rig.w().intruderList()->row(1).selected);

        QSignalSpy menu(&rig.w(), &MainWindow::intruderMenuRequested);
        QTest::mouseRelease(intruderBody, Qt::RightButton, {}, DeviceListView::rowRect(1).center());
        QCOMPARE(menu.count(), 1);
        QCOMPARE(menu.at(0).at(0).toString(), mac(2));
        QCOMPARE(menu.at(0).at(2).toBool(), false); // acknowledged: no "Acknowledge" entry
        QCOMPARE(rig.w().menuMac(), mac(2));
        QCOMPARE(rig.selectedMac(), mac(2));
        QTest::mouseRelease(intruderBody, Qt::RightButton, {}, DeviceListView::rowRect(0).center());
        QCOMPARE(menu.at(1).at(2).toBool(), true); // new: the menu offers "Acknowledge"
        QSignalSpy safeMenu(&rig.w(), &MainWindow::allowedMenuRequested);
        QTest::mouseRelease(rig.w().allowedList()->body(), Qt::RightButton, {}, DeviceListView::rowRect(0).center());
        QCOMPARE(safeMenu.count(), 1);
        QCOMPARE(rig.w().menuMac(), mac(3));
    }

    void buttonsShowDownOnlyWhileHeld()
    {
        WindowRig rig(devices("i1"));
        rig.w().show();
        rig.w().intruderRowClicked(0);
        SkinButton* move = rig.w().button(MainWindow::Button::MoveToAllowed);
        QSignalSpy clicked(move, &SkinButton::clicked);
        QTest::mousePress(move, Qt::LeftButton);
        QCOMPARE(move->picture(), Pic::MoveToAllowedDown);
        QCOMPARE(clicked.count(), 0);
        QTest::mouseRelease(move, Qt::LeftButton);
        QCOMPARE(move->picture(), Pic::MoveToAllowedNormal);
        QCOMPARE(clicked.count(), 1);
        // Released outside: no click.
        QTest::mousePress(move, Qt::LeftButton);
        QTest::mouseRelease(move, Qt::LeftButton, {}, QPoint(-5, -5));
        QCOMPARE(move->picture(), Pic::MoveToAllowedNormal);
        QCOMPARE(clicked.count(), 1);
    }

    // The filter box narrows its own list by name, MAC (either form), address or vendor, in any case; a
    // selection it hides goes to the first row left, or to the other list.
    void filterNarrowsItsList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("intruders");
        QTest::addColumn<QString>("selected");
        QTest::newRow("empty shows all") << "" << macs({1, 2, 3}) << mac(2);
        QTest::newRow("host name, any case") << "LAPTOP" << macs({2}) << mac(2);
        QTest::newRow("friendly name") << "kitchen" << macs({3}) << mac(3);
        QTest::newRow("MAC with colons") << "00:01" << macs({1}) << mac(1);
        QTest::newRow("MAC with dashes") << "00-03" << macs({3}) << mac(3);
        QTest::newRow("address") << "198.18.0.3" << macs({3}) << mac(3);
        QTest::newRow("vendor") << "randomised" << macs({1, 2, 3}) << mac(2);
        QTest::newRow("nothing") << "zzz" << QStringList() << mac(4);
    }
    void filterNarrowsItsList()
    {
        QList<Device> stored = devices("n1 i2 i3 s4");
        stored[1].host = QStringLiteral("laptop.lan");
        stored[2].friendly = QStringLiteral("Kitchen radio");
        WindowRig rig(stored);
        rig.w().intruderRowClicked(1);
        QFETCH(QString, text);
        QTest::keyClicks(rig.w().filterBox(0), text);
        QTEST(rig.intruderMacs(), "intruders");
        QTEST(rig.selectedMac(), "selected");
        QCOMPARE(rig.allowedMacs(), macs({4}));
        QCOMPARE(rig.w().button(MainWindow::Button::MoveToAllowed)->isEnabled(), !rig.w().SelectionInAllowed());
        // A new device the filter does not match stays out of sight; clearing shows everything.
        DeviceRecord& added = appendDevice(rig.devices(), mac(9), QStringLiteral("198.18.0.9"));
        added.Intruder = added.NewDevice = true;
        DeviceEvent admitted;
        admitted.kind = DeviceEvent::Kind::Admitted;
        admitted.mac = mac(9);
        rig.w().deviceEvent(admitted);
        QCOMPARE(rig.intruderMacs().contains(mac(9)), text.isEmpty() || text == "randomised");
        rig.w().filterBox(0)->clear();
        QCOMPARE(rig.intruderMacs(), macs({9, 1, 2, 3}));
        QCOMPARE(rig.inconsistency(), QString());
    }

    // The lists show the watched networks in view (a device from before networks everywhere), the header names
    // them and, with several known, offers each and "All networks"; away from them the last one stays, out of sight.
    void listsFollowTheWatchedNetworks_data()
    {
        QTest::addColumn<QList<QStringList>>("seen"); // the networks in view, sweep after sweep (A, B, C)
        QTest::addColumn<QString>("choice"); // picked from the header's box afterwards: A, B, *, or none
        QTest::addColumn<QStringList>("intruders");
        QTest::addColumn<QStringList>("safe");
        QTest::addColumn<QString>("header");
        const QString home = QStringLiteral("Home network \u2014 198.18.0.0/24");
        const QString other = QStringLiteral("198.51.100.0/24 \u00B7 gateway 198.51.100.1");
        const QString away = QStringLiteral(" \u00B7 out of sight");
        using L = QList<QStringList>;
        QTest::newRow("before a sweep: where it was") << L {} << "" << macs({1, 5}) << macs({3, 4}) << home;
        QTest::newRow("at home") << L {{"A"}} << "" << macs({1, 5}) << macs({3, 4}) << home;
        QTest::newRow("on the other") << L {{"B"}} << "" << macs({2}) << macs({3}) << other;
        QTest::newRow("on both") << L {{"A", "B"}} << "" << macs({1, 2, 5}) << macs({3, 4}) << home + " + " + other;
        QTest::newRow("café after the other") << L {{"B"}, {"C"}} << "" << macs({2}) << macs({3}) << other + away;
        QTest::newRow("blind after the other") << L {{"B"}, {}} << "" << macs({2}) << macs({3}) << other + away;
        QTest::newRow("café at start: the last seen") << L {{"C"}} << "" << macs({1, 5}) << macs({3, 4}) << home + away;
        QTest::newRow("other chosen at home") << L {{"A"}} << "B" << macs({2}) << macs({3}) << other + away;
        QTest::newRow("all chosen") << L {{"A"}} << "*" << macs({1, 2, 5}) << macs({3, 4}) << "All networks";
    }
    void listsFollowTheWatchedNetworks()
    {
        QFETCH(QList<QStringList>, seen);
        QFETCH(QString, choice);
        const QHash<QString, NetworkBook::Network> networks {
            {"A",
                {"02-00-C6-12-00-01 198.18.0.0/24", "198.18.0.0/24", "02-00-C6-12-00-01", "198.18.0.1",
                    NetworkBook::Watch::Watched, {}, "Home network"}},
            {"B",
                {"02-00-C6-33-64-01 198.51.100.0/24", "198.51.100.0/24", "02-00-C6-33-64-01", "198.51.100.1",
                    NetworkBook::Watch::Watched, {}, {}}},
            {"C",
                {"02-00-CB-00-71-01 203.0.113.0/24", "203.0.113.0/24", "02-00-CB-00-71-01", "203.0.113.1",
                    NetworkBook::Watch::NotNow, {}, {}}},
            {"D", {"- 192.0.2.0/24", "192.0.2.0/24", {}, {}, NetworkBook::Watch::Never, {}, {}}},
        };
        QList<Device> stored = devices("i1 i2 s3 s4 i5");
        for (int i : {0, 3, 4})
            stored[i].network = networks["A"].id;
        stored[1].network = networks["B"].id;
        stored[4].lastOnline = stored[4].lastOnline.addDays(1); // the last seen of all: its network is the last
        WindowRig rig;
        rig.storeNetworks(networks.values());
        rig.store(stored);
        rig.start();
        MainWindow& w = rig.w();
        w.intruderRowClicked(1); // device 2, hidden wherever B is not shown
        for (const QStringList& names : std::as_const(seen)) {
            QStringList ids;
            for (const QString& name : names)
                ids << networks[name].id;
            w.deviceLists().networksSeen(ids);
        }
        NetworkHeader& header = w.deviceLists().header();
        QComboBox* box = header.choiceBox();
        // Each network but the one never watched, and all of them.
        QVERIFY(box->isVisibleTo(&w));
        QCOMPARE(box->count(), 4);
        QCOMPARE(box->itemData(3).toString(), NetworkHeader::AllNetworks);
        if (!choice.isEmpty()) {
            const int item = box->findData(choice == "*" ? NetworkHeader::AllNetworks : networks[choice].id);
            QVERIFY(item >= 0);
            Q_EMIT box->activated(item);
        }
        QTEST(rig.intruderMacs(), "intruders");
        QTEST(rig.allowedMacs(), "safe");
        QTEST(header.text(), "header");
        QCOMPARE(box->itemData(box->currentIndex(), Qt::ToolTipRole).toString(), header.text());
        // A selection the choice hid passes to a row that shows.
        const QString selected = rig.selectedMac();
        QVERIFY(rig.intruderMacs().contains(selected) || rig.allowedMacs().contains(selected));
        QCOMPARE(rig.inconsistency(), QString());
        // A notification's Show brings its device into view whatever network is shown.
        w.showDevice(mac(2));
        QCOMPARE(rig.selectedMac(), mac(2));
    }

    // The acknowledge button, the Space key and the menu: the device goes below the last new one and stays
    // selected.
    void acknowledge_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("selected");
        QTest::newRow("top of four new moves below the last new")
            << "n1 n2 n3 n4 i5" << 0 << "call" << macs({2, 3, 4, 1, 5}) << 3;
        QTest::newRow("its button clicked") << "n1 n2 n3 n4 i5" << 0 << "click" << macs({2, 3, 4, 1, 5}) << 3;
        QTest::newRow("Space") << "n1 n2 n3 n4 i5" << 1 << "space" << macs({1, 3, 4, 2, 5}) << 3;
        QTest::newRow("the menu") << "n1 n2 i3" << 0 << "menu" << macs({2, 1, 3}) << 1;
        QTest::newRow("the last new stays in place") << "n1 n2 i3" << 1 << "call" << macs({1, 2, 3}) << 1;
        QTest::newRow("an acknowledged row is only selected") << "n1 i2 i3" << 2 << "call" << macs({1, 2, 3}) << 2;
    }
    void acknowledge()
    {
        QFETCH(QString, stored);
        QFETCH(int, row);
        QFETCH(QString, how);
        QFETCH(QStringList, after);
        QFETCH(int, selected);
        WindowRig rig(devices(stored));
        rig.w().show();
        const QString acknowledged = rig.intruderMacs()[row];
        if (how == "click") {
            QTest::mouseClick(
                rig.w().intruderList()->body(), Qt::LeftButton, {}, DeviceListView::ackRect(row).center());
        } else if (how == "space") {
            rig.w().intruderRowClicked(row);
            QTest::keyClick(rig.w().intruderList(), Qt::Key_Space);
        } else if (how == "menu") {
            rig.w().RightClickIntruder(row);
            rig.w().intruderAckClicked();
        } else {
            rig.w().acknowledgeRow(row);
        }
        QCOMPARE(rig.intruderMacs(), after);
        QCOMPARE(rig.inconsistency(), QString());
        QCOMPARE(rig.w().SelectedRow(), selected);
        QCOMPARE(rig.selectedMac(), acknowledged);
        QVERIFY(!rig.w().intruderList()->row(selected).ack);
        // An acknowledged row no longer flashes.
        rig.setOnline(acknowledged, true);
        rig.w().alarmTick();
        rig.w().alarmTick();
        QVERIFY(!rig.w().intruderList()->row(selected).flash);
    }

    // A device moved to the safe list arrives at its top; one moved back arrives below the new intruders.
    // Either way it is selected.
    void moveBetweenTheLists_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("fromSafe");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("intruders");
        QTest::addColumn<QStringList>("safe");
        QTest::addColumn<int>("selected");
        QTest::newRow("to the safe list") << "n1 i2 i3 s8 s9" << false << 1 << macs({1, 3}) << macs({2, 8, 9}) << 0;
        QTest::newRow("a new intruder to the safe list")
            << "n1 i2 i3 s8 s9" << false << 0 << macs({2, 3}) << macs({1, 8, 9}) << 0;
        QTest::newRow("back below the new intruders")
            << "n1 n2 i3 s8" << true << 0 << macs({1, 2, 8, 3}) << QStringList() << 2;
    }
    void moveBetweenTheLists()
    {
        QFETCH(QString, stored);
        QFETCH(bool, fromSafe);
        QFETCH(int, row);
        QFETCH(int, selected);
        WindowRig rig(devices(stored));
        rig.w().setLastIntruderWarning(WindowRig::kStart.addDays(-1));
        const QString moved = fromSafe ? rig.allowedMacs()[row] : rig.intruderMacs()[row];
        if (fromSafe) {
            rig.w().safeRowClicked(row);
            rig.w().intruderClicked();
        } else {
            rig.w().intruderRowClicked(row);
            rig.w().allowedClicked();
        }
        QTEST(rig.intruderMacs(), "intruders");
        QTEST(rig.allowedMacs(), "safe");
        QCOMPARE(rig.inconsistency(), QString());
        QCOMPARE(rig.selectedMac(), moved);
        QCOMPARE(rig.w().SelectedRow(), selected);
        QCOMPARE(rig.w().SelectionInAllowed(), !fromSafe);
        // No intruder was online: the reminder time stays.
        QCOMPARE(rig.w().alarm().lastIntruderWarning(), WindowRig::kStart.addDays(-1));
    }

    void removeOfflineDeviceDeletesItsKeyAndClosesTheGap()
    {
        WindowRig rig(devices("i1 i2 s3 i4"));
        rig.core->deviceLog().AddLogEntry(mac(2), QStringLiteral("x\tseen"));
        const QString logFile = rig.core->deviceLog().fileFor(mac(2));
        rig.w().intruderRowClicked(1);
        rig.w().removeClicked(0);
        QCOMPARE(rig.intruderMacs(), macs({1, 4}));
        QCOMPARE(rig.allowedMacs(), macs({3}));
        QVERIFY(!rig.devices().contains(mac(2)));
        QCOMPARE(rig.inconsistency(), QString());
        QVERIFY(!rig.storedKey(mac(2)));
        QVERIFY(QFile::exists(logFile)); // the history stays on disk
        // The selection stays on row 1, now the next device.
        QCOMPARE(rig.selectedMac(), mac(4));
        // The last row removed: the selection moves up one.
        rig.w().removeClicked(0);
        QCOMPARE(rig.selectedMac(), mac(1));
        // The only device of the list: the selection moves to the other list.
        rig.w().removeClicked(0);
        QVERIFY(rig.w().SelectionInAllowed());
        QCOMPARE(rig.selectedMac(), mac(3));
        rig.w().removeClicked(1);
        QCOMPARE(qint32(rig.devices().size()), 0);
        QCOMPARE(rig.selectedMac(), QString());
        QVERIFY(!rig.w().button(MainWindow::Button::RemoveAllowed)->isEnabled());
    }

    // A likely return offers "Same device — merge" and "Not mine"; any device can be typed by hand and merged.
    void typeAndMergeFromTheMenu()
    {
        QList<Device> stored = devices("n1 s2 i3");
        stored[1].friendly = QStringLiteral("Anna's phone");
        WindowRig rig(stored);
        rig.devices().find(mac(1))->LikelyReturnOf = mac(2);
        QMenu* menu = rig.w().menus()->intruderMenuAction();
        const auto item = [menu](const char* name) { return menu->findChild<QAction*>(QLatin1String(name)); };
        const auto offered = [&](int row) {
            rig.w().RightClickIntruder(row);
            Q_EMIT menu->aboutToShow();
            return item("sameDeviceAction")->isVisible() && item("notMineAction")->isVisible();
        };
        QVERIFY(offered(0));
        QVERIFY(!offered(1));
        // Typed by hand: stored as the user's, shown with its source and an icon.
        rig.w().RightClickIntruder(1);
        QMenu* types = rig.w().findChild<QMenu*>(QStringLiteral("IntruderMenuType"));
        types->actions().at(int(DeviceType::Printer))->trigger();
        QCOMPARE(rig.stored(mac(3), QStringLiteral("Type_Source")), std::optional<QString>(QStringLiteral("user")));
        QCOMPARE(rig.w().fgDetails()->item(11, 1)->text(), QStringLiteral("printer (set by hand)"));
        QVERIFY(!rig.w().fgDetails()->item(11, 1)->icon().isNull());
        QCOMPARE(rig.w().intruderList()->row(1).type, DeviceType::Printer);
        // "Not mine" drops the link and offers it no more; merging joins the two under the new MAC.
        QVERIFY(offered(0));
        item("notMineAction")->trigger();
        QVERIFY(!offered(0));
        rig.devices().find(mac(1))->LikelyReturnOf = mac(2);
        QVERIFY(offered(0));
        item("sameDeviceAction")->trigger();
        QVERIFY(!rig.storedKey(mac(2)));
        QCOMPARE(rig.allowedMacs(), macs({1}));
        QCOMPARE(rig.devices().find(mac(1))->FriendlyName, QStringLiteral("Anna's phone"));
        QCOMPARE(rig.inconsistency(), QString());
    }

    // Remove is disabled while the device is online; the Delete key and the menu say why.
    void removingAnOnlineDeviceIsRefused()
    {
        WindowRig rig(devices("i1 i2"));
        rig.w().intruderRowClicked(1);
        SkinButton* remove = rig.w().button(MainWindow::Button::RemoveIntruder);
        QVERIFY(remove->isEnabled());
        rig.setOnline(mac(2), true);
        QVERIFY(!remove->isEnabled());
        rig.w().RightClickIntruder(1);
        QVERIFY(!rig.w().menus()->removeAction(true)->isEnabled());
        rig.w().removeClicked(0);
        QCOMPARE(rig.intruderMacs(), macs({1, 2}));
        QVERIFY(rig.storedKey(mac(2)));
        QCOMPARE(rig.selectedMac(), mac(2));
        QCOMPARE(
            rig.w().noticeText(), QStringLiteral("Online devices cannot be removed:\nremove it once it is offline"));
        // Three seconds of 333 ms ticks hide it.
        for (int tick = 0; tick < 8; ++tick)
            rig.w().alarmTick();
        QVERIFY(rig.w().noticeVisible());
        rig.w().alarmTick();
        QVERIFY(!rig.w().noticeVisible());
    }

    void renameStoresEveryKeystroke()
    {
        QList<Device> stored = devices("i1 i2");
        stored[0].host = QStringLiteral("android-5f2c");
        WindowRig rig(stored);
        rig.w().show();
        rig.w().intruderRowClicked(0);
        for (int tick = 0; tick < 11; ++tick)
            rig.w().animationTick(); // the details panel slides out
        QLineEdit* box = rig.w().friendlyNameEdit();
        QVERIFY(box->isVisibleTo(&rig.w()));
        QStringList seen;
        const auto typed = [&](int key) {
            QTest::keyClick(box, Qt::Key(key));
            seen << rig.stored(mac(1), QStringLiteral("Friendly_Name")).value_or(QStringLiteral("?"));
        };
        for (int key : {Qt::Key_T, Qt::Key_A, Qt::Key_B})
            typed(key);
        QCOMPARE(seen, QStringList({"t", "ta", "tab"}));
        QCOMPARE(rig.w().intruderList()->row(0).line1, QStringLiteral("tab"));
        QCOMPARE(rig.w().selectedDetailsLabel()->text(), QStringLiteral("tab (198.18.0.1)"));
        // A private address names no manufacturer and says what it means; IPv6 addresses have a row of their own.
        nth(rig.devices(), positionOf(rig.devices(), mac(1))).Ipv6Addresses = QStringList({"2001:db8::1", "fe80::1"});
        rig.w().Display_Details();
        const QTableWidget* grid = rig.w().fgDetails();
        QCOMPARE(grid->item(9, 1)->text(), QStringLiteral("Private address (randomised by the device)"));
        QCOMPARE(grid->item(10, 0)->text(), NoteBox::RowTitle);
        // What the device is, with the source of each value.
        QCOMPARE(grid->item(11, 1)->text(), QStringLiteral("Not known"));
        QCOMPARE(grid->item(13, 0)->text(), QStringLiteral("OS"));
        QCOMPARE(grid->item(14, 1)->text(), QStringLiteral("This device may return under another address."));
        QCOMPARE(grid->item(15, 1)->text(), QStringLiteral("2001:db8::1\nfe80::1"));
        // The last row watches the device: a click opens the watch menu, a choice is stored and shown.
        QCOMPARE(grid->item(16, 1)->text(), WatchMenu::caption(DeviceWatch::None));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(16, 1)).center());
        QMenu* watch = rig.w().findChild<QMenu*>(QStringLiteral("IntruderMenuWatch"));
        QTRY_VERIFY(watch && watch->isVisible());
        watch->actions().at(DeviceWatch::Offline)->trigger();
        QCOMPARE(rig.stored(mac(1), DeviceWatch::Value), std::optional<QString>(QStringLiteral("offline")));
        QCOMPARE(grid->item(16, 1)->text(), WatchMenu::caption(DeviceWatch::Offline));
        watch->hide();
        seen.clear();
        for (int i = 0; i < 3; ++i)
            typed(Qt::Key_Backspace);
        QCOMPARE(seen, QStringList({"ta", "t", ""}));
        QCOMPARE(rig.w().intruderList()->row(0).line1, QStringLiteral("android-5f2c"));
        // Showing another device fills the box without renaming anything.
        rig.w().intruderRowClicked(1);
        QCOMPARE(box->text(), QString());
        QCOMPARE(rig.stored(mac(2), QStringLiteral("Friendly_Name")), std::optional<QString>(QString()));
    }

    // Names are text, never markup: a stored "<img src=/dev/zero>" once made the window load /dev/zero as a
    // picture at every start, and the name box refuses what the name filter refuses.
    void deviceTextShowsAsWritten()
    {
        QList<Device> stored = devices("n1 i2");
        stored[0].host = QStringLiteral("<img src=/dev/zero>.local");
        stored[1].friendly = QStringLiteral("<b>PC</b>");
        WindowRig rig(stored);
        rig.w().show();
        rig.w().intruderRowClicked(0);
        for (int tick = 0; tick < 11; ++tick)
            rig.w().animationTick();
        QCOMPARE(rig.selectedMac(), mac(1));
        QCOMPARE(rig.w().selectedDetailsLabel()->text(), stored[0].host + QStringLiteral(" (198.18.0.1)"));
        QVERIFY(rig.w().selectedDetailsLabel()->toolTip().contains(QLatin1String("&lt;img src=/dev/zero&gt;")));
        rig.w().intruderRowClicked(1);
        QCOMPARE(rig.selectedMac(), mac(2));
        int marked = 0;
        for (const QLabel* label : rig.w().findChildren<QLabel*>()) {
            if (label->text().contains(QLatin1String("<img")) || label->text().contains(QLatin1String("<b>"))) {
                ++marked;
                QCOMPARE(label->textFormat(), Qt::PlainText);
            }
        }
        QCOMPARE(marked, 2); // the caption and the probe panel's title
        // A paste is checked whole, as typing is.
        QLineEdit* box = rig.w().friendlyNameEdit();
        const auto paste = [&](const QString& text) {
            box->selectAll();
            box->insert(text);
            return rig.stored(mac(2), QStringLiteral("Friendly_Name")).value_or(QString());
        };
        QCOMPARE(paste(QStringLiteral("ok\u202Egnp.exe")), stored[1].friendly);
        QCOMPARE(paste(QStringLiteral("ok")), QStringLiteral("ok"));
    }

    // A newcomer takes the selection only when the window pops up for it; otherwise the selection stays on the
    // device the user chose, or on none. The menu acts on its own device whatever happens.
    void newDeviceTakesTheSelectionOnlyWhenShown_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<bool>("popup");
        QTest::addColumn<QString>("selected");
        QTest::newRow("device selected") << "i1 i2" << false << mac(2);
        QTest::newRow("popped up for it") << "i1 i2" << true << mac(9);
        QTest::newRow("nothing selected") << "" << false << QString();
    }
    void newDeviceTakesTheSelectionOnlyWhenShown()
    {
        QFETCH(QString, layout);
        QFETCH(bool, popup);
        WindowRig rig(devices(layout));
        rig.w().RightClickIntruder(1);
        DeviceRecord& added = appendDevice(rig.devices(), mac(9), QStringLiteral("198.18.0.9"));
        added.Intruder = true;
        added.NewDevice = true;
        DeviceEvent admitted;
        admitted.kind = DeviceEvent::Kind::Admitted;
        admitted.mac = mac(9);
        rig.w().deviceEvent(admitted);
        if (popup) { // the alert comes after the row: the window hears the event before the alert policy
            Alert alert;
            alert.mac = mac(9);
            alert.popup = true;
            rig.w().alertRaised(alert);
        }
        QTEST(rig.selectedMac(), "selected");
        QCOMPARE(rig.inconsistency(), QString());
        if (layout.isEmpty())
            return;
        rig.w().moveToAllowedClicked();
        QCOMPARE(rig.allowedMacs(), macs({2}));
        rig.w().removeIntruderClicked(); // its device has left the list: nothing happens
        QCOMPARE(rig.intruderMacs(), macs({9, 1}));
    }
    // Each action on device 1: the values stored afterwards (New_Device, Intruder, Friendly_Name; none when its
    // key is gone) and the one event emitted (none when nothing changed).
    void deviceActions_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("kind");
        using K = DeviceEvent::Kind;
        QTest::newRow("acknowledge") << "n1"
                                     << "ack"
                                     << "False True" << int(K::Acknowledged);
        QTest::newRow("acknowledge an acknowledged one") << "i1"
                                                         << "ack"
                                                         << "False True" << -1;
        QTest::newRow("a new intruder to the safe list") << "n1"
                                                         << "safe"
                                                         << "False False" << int(K::Moved);
        QTest::newRow("safe to the safe list") << "s1"
                                               << "safe"
                                               << "False False" << -1;
        QTest::newRow("back, acknowledged") << "s1"
                                            << "intruders"
                                            << "False True" << int(K::Moved);
        QTest::newRow("rename") << "i1"
                                << "rename Printer"
                                << "False True Printer" << int(K::Renamed);
        QTest::newRow("a name the filter refuses") << "i1"
                                                   << "rename ok\u202Egnp"
                                                   << "False True" << -1;
        QTest::newRow("remove") << "i1 i2"
                                << "remove"
                                << "" << int(K::Removed);
        QTest::newRow("an online device stays") << "i1"
                                                << "remove online"
                                                << "False True" << -1;
    }
    void deviceActions()
    {
        QFETCH(QString, stored);
        QFETCH(QString, action);
        QFETCH(int, kind);
        WindowRig rig(devices(stored));
        rig.setOnline(mac(1), action.endsWith(QLatin1String("online")));
        DeviceActions& act = rig.core->actions();
        QList<DeviceEvent> events;
        connect(&act, &DeviceActions::deviceEvent, this, [&](const DeviceEvent& e) { events << e; });
        const QString m = mac(1);
        const bool changed = action == "ack" ? act.Acknowledge(m)
            : action == "safe"               ? act.MoveToSafe(m)
            : action == "intruders"          ? act.MoveToIntruders(m)
            : action.startsWith("rename")    ? act.Rename(m, action.mid(7))
                                             : act.Remove(m);
        QCOMPARE(changed, kind >= 0);
        QStringList values;
        for (const char* name : {"New_Device", "Intruder", "Friendly_Name"})
            values << rig.stored(mac(1), QLatin1String(name)).value_or(QString());
        QTEST(values.join(' ').trimmed(), "after");
        QCOMPARE(events.size(), kind >= 0 ? 1 : 0);
        if (kind >= 0) {
            QCOMPARE(int(events[0].kind), kind);
            QCOMPARE(events[0].mac, mac(1));
            QCOMPARE(events[0].intruder, !values[1].startsWith('F'));
            // The user's own action is in the device's history (and so in the Log panel), saying who took it.
            if (events[0].kind != DeviceEvent::Kind::Removed)
                QVERIFY2(rig.core->deviceLog().history(m).contains(QLatin1String(" (in the window)\r\n")),
                    qPrintable(rig.core->deviceLog().history(m)));
        }
        // The window follows a change it did not make itself (an MQTT command's).
        QCOMPARE(rig.inconsistency(), QString());
    }

    // The menu's Export and Import through the running monitor: its own export comes back unchanged, a file's
    // device shows in its list at once with its interval, a replaced name and list show too, and a refused file
    // names its line and changes nothing.
    void exportAndImportThroughTheMonitor()
    {
        WindowRig rig(devices("i1 s2"));
        QVERIFY(rig.core->presence());
        const QString file = rig.home.dir() + QStringLiteral("/devices.csv");
        const auto write = [&file](const QString& text) {
            QFile f(file);
            return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) > 0;
        };
        QCOMPARE(DeviceFiles::exportTo(*rig.core, file), QString());
        QCOMPARE(DeviceFiles::check(*rig.core, file).known, 2); // both known: the menu asks whose names win
        DeviceFiles::Report r = DeviceFiles::importFrom(*rig.core, file, false);
        QVERIFY2(
            r.ok && r.text.endsWith(QLatin1String("0 added, 0 replaced, 2 kept as they were.")), qPrintable(r.text));
        const QString stay = DeviceExport::isoTime(WindowRig::kStart.addSecs(-3600)) + QLatin1Char('/')
            + DeviceExport::isoTime(WindowRig::kStart) + QStringLiteral(" 198.18.0.3");
        QVERIFY(
            write(QStringLiteral("mac,list,name,note,intervals\n%1,safe,Printer,by the door,\n%2,intruders,Phone,,%3\n")
                      .arg(mac(1), mac(3), stay)));
        r = DeviceFiles::importFrom(*rig.core, file, true);
        QVERIFY2(
            r.ok && r.text.endsWith(QLatin1String("1 added, 1 replaced, 0 kept as they were.")), qPrintable(r.text));
        QVERIFY2(rig.allowedMacs().contains(mac(1)) && rig.intruderMacs() == macs({3}),
            qPrintable(rig.allowedMacs().join(" ") + " / " + rig.intruderMacs().join(" ")));
        QCOMPARE(rig.devices().find(mac(1))->FriendlyName, QStringLiteral("Printer"));
        QCOMPARE(rig.devices().find(mac(1))->Note, QStringLiteral("by the door"));
        QVERIFY(rig.core->deviceLog().history(mac(1)).contains(QLatin1String(" (by an import)\r\n")));
        QCOMPARE(rig.stored(mac(3), QStringLiteral("Friendly_Name")), QStringLiteral("Phone"));
        QCOMPARE(rig.core->presence()->intervals(mac(3), WindowRig::kStart.addDays(-1), WindowRig::kStart).size(), 1);
        QCOMPARE(rig.inconsistency(), QString());
        QVERIFY(write(QStringLiteral("mac,list\n%1,attic\n").arg(mac(4))));
        QVERIFY(DeviceFiles::check(*rig.core, file).refusal.contains(QLatin1String("line 2: list \"attic\"")));
        r = DeviceFiles::importFrom(*rig.core, file, true);
        QVERIFY2(!r.ok && r.text.contains(QLatin1String("line 2: list \"attic\"")), qPrintable(r.text));
        QCOMPARE(qint32(rig.devices().size()), 3);
    }

    // The ending typed wins over the dialog's filter ("gui2.csv" with the JSON filter is CSV); a bare name
    // takes the filter's.
    void exportNames_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("csvFilter");
        QTest::addColumn<QString>("name");
        QTest::newRow("csv typed, json filter") << "gui2.csv" << false << "gui2.csv";
        QTest::newRow("json typed, csv filter") << "gui2.JSON" << true << "gui2.JSON";
        QTest::newRow("bare, csv filter") << "gui2" << true << "gui2.csv";
        QTest::newRow("other ending, json filter") << "gui2.txt" << false << "gui2.txt.json";
    }

    void exportNames()
    {
        QFETCH(QString, typed);
        QFETCH(bool, csvFilter);
        QTEST(DeviceFiles::exportName(typed, csvFilter), "name");
    }

    void aLongMixedSequenceKeepsEverythingConsistent()
    {
        QList<Device> stored;
        for (int i = 1; i <= 12; ++i)
            stored << WindowRig::device(i, i % 3 != 0, i % 2 == 0);
        WindowRig rig(stored);
        rig.setOnline(mac(4), true);
        quint32 seed = 7;
        const auto next = [&seed](int bound) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 16) % quint32(bound));
        };
        for (int stepNo = 0; stepNo < 200; ++stepNo) {
            const int action = next(6);
            const int ic = rig.w().IntruderRowCount();
            const int ac = rig.w().AllowedRowCount();
            switch (action) {
            case 0:
                if (ic)
                    rig.w().acknowledgeRow(next(ic));
                break;
            case 1:
                if (ic)
                    rig.w().intruderRowClicked(next(ic));
                rig.w().allowedClicked();
                break;
            case 2:
                if (ac)
                    rig.w().safeRowClicked(next(ac));
                rig.w().intruderClicked();
                break;
            case 3:
                if (ic && next(4) == 0) {
                    rig.w().intruderRowClicked(next(ic));
                    rig.w().removeClicked(0);
                }
                break;
            case 4:
                if (ac && next(4) == 0) {
                    rig.w().safeRowClicked(next(ac));
                    rig.w().removeClicked(1);
                }
                break;
            default:
                rig.w().alarmTick();
                break;
            }
            const QString problem = rig.inconsistency();
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("after step %1: %2").arg(stepNo).arg(problem)));
            if (const DeviceRecord* selected = rig.w().selectedDevice())
                QCOMPARE(selected->Intruder, !rig.w().SelectionInAllowed());
        }
        // What the store holds loads back into the same lists.
        const QStringList intruders = rig.intruderMacs();
        const QStringList safe = rig.allowedMacs();
        rig.w().StopSystem();
        rig.w().StartSystem();
        const QStringList reloaded = rig.intruderMacs();
        QCOMPARE(QSet<QString>(reloaded.begin(), reloaded.end()), QSet<QString>(intruders.begin(), intruders.end()));
        QCOMPARE(rig.allowedMacs().size(), safe.size());
        QCOMPARE(rig.inconsistency(), QString());
    }
};

KW_TEST_MAIN(TestLists)
#include "tst_mainwindow_lists.moc"
