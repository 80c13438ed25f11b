// The device lists and the skin: order, row texts and pictures, flashing, selection, scrolling, clicks,
// new devices, and the pictures' loading and press/release swapping.
#include "WindowRig.h"

#include "engine/frmClient.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/Geometry.h"
#include "mainwindow/PictureBox.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using Device = WindowRig::Device;
Q_DECLARE_METATYPE(Pic)

namespace {

Device dev(const QString& mac, const QString& ip, bool intruder, bool isNew)
{
    Device d;
    d.mac = mac;
    d.ip = ip;
    d.intruder = intruder;
    d.isNew = isNew;
    return d;
}

QString mac(int i)
{
    return QStringLiteral("02-00-00-00-00-%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
}

QList<Device> intruders(int count, bool isNew = false)
{
    QList<Device> list;
    for (int i = 0; i < count; ++i)
        list << dev(mac(i), QStringLiteral("198.18.0.%1").arg(10 + i), true, isNew);
    return list;
}

} // namespace

class TestLists final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void onlyOnlineNewIntrudersFlash()
    {
        WindowRig rig;
        rig.store({dev(mac(1), QStringLiteral("198.18.0.7"), true, true), // new, online
            dev(mac(2), QStringLiteral("198.18.0.8"), true, true), // new, offline
            dev(mac(3), QStringLiteral("198.18.0.9"), true, false)}); // acknowledged, online
        rig.start();
        rig.setOnline(mac(1), true);
        rig.setOnline(mac(3), true);
        rig.w().pctID_Click(2); // selection away from the flashing row
        DeviceListView* list = rig.w().intruderList();
        QList<Pic> first, second, third;
        QList<bool> flashes;
        for (int tick = 0; tick < 4; ++tick) {
            rig.w().tmr333ms_Timer();
            flashes << list->row(0).flash;
            first << list->row(0).picture;
            second << list->row(1).picture;
            third << list->row(2).picture;
        }
        QCOMPARE(first,
            QList<Pic>({Pic::IntruderOnlineNotSelectedFlash, Pic::IntruderOnlineNotSelected,
                Pic::IntruderOnlineNotSelectedFlash, Pic::IntruderOnlineNotSelected}));
        QCOMPARE(second, QList<Pic>(4, Pic::IntruderOfflineNotSelected));
        QCOMPARE(third, QList<Pic>(4, Pic::IntruderOnlineSelected));
        QCOMPARE(flashes, QList<bool>({true, false, true, false}));
    }

    // Whatever row is selected ends up inside the viewport, at its nearest edge.
    void selectionScrollsIntoView()
    {
        WindowRig rig;
        rig.store(intruders(20));
        rig.start();
        DeviceListView* list = rig.w().intruderList();
        list->setViewportHeight(3 * Geometry::RowHeight);
        rig.w().Set_ListSizes();
        const auto visibleRows = [list] {
            QList<int> rows;
            for (int r = 0; r < 20; ++r) {
                const QRect place = DeviceListView::rowRect(r).translated(0, list->body()->y());
                if (place.top() >= 0 && place.bottom() < list->height())
                    rows << r;
            }
            return rows;
        };
        rig.w().pctID_Click(10);
        QCOMPARE(visibleRows(), QList<int>({8, 9, 10}));
        rig.w().pctID_Click(9); // already in view: nothing moves
        QCOMPARE(visibleRows(), QList<int>({8, 9, 10}));
        rig.w().pctID_Click(2);
        QCOMPARE(visibleRows(), QList<int>({2, 3, 4}));
        // The scroll bar and the body move together.
        rig.w().scrlI()->setValue(rig.w().scrlI()->maximum());
        QCOMPARE(visibleRows().value(0), 19);
    }

    void clicksSelectAndRightClickAsksForTheMenu()
    {
        WindowRig rig;
        rig.store({dev(mac(1), QStringLiteral("198.18.0.7"), true, true),
            dev(mac(2), QStringLiteral("198.18.0.8"), true, false),
            dev(mac(3), QStringLiteral("198.18.0.9"), false, false)});
        rig.start();
        rig.w().show();
        QWidget* intruderBody = rig.w().intruderList()->body();
        QTest::mouseClick(intruderBody, Qt::LeftButton, {}, DeviceListView::rowRect(1).center());
        QCOMPARE(rig.selectedMac(), mac(2));
        QVERIFY(rig.w().intruderList()->row(1).selected);
        QVERIFY(!rig.w().intruderList()->row(0).selected);
        // A click below the last row selects nothing new.
        QTest::mouseClick(rig.w().intruderList(), Qt::LeftButton, {}, QPoint(100, 400));
        QCOMPARE(rig.selectedMac(), mac(2));

        QTest::mouseClick(rig.w().allowedList()->body(), Qt::LeftButton, {}, DeviceListView::rowRect(0).center());
        QVERIFY(rig.w().SelectionInAllowed());
        QCOMPARE(rig.selectedMac(), mac(3));
        QVERIFY(!rig.w().intruderList()->row(1).selected);

        QSignalSpy menu(&rig.w(), &frmMain::intruderMenuRequested);
        QTest::mouseRelease(intruderBody, Qt::RightButton, {}, DeviceListView::rowRect(1).center());
        QCOMPARE(menu.count(), 1);
        QCOMPARE(menu.at(0).at(0).toInt(), rig.slotOf(mac(2)));
        QCOMPARE(menu.at(0).at(2).toBool(), false); // acknowledged: no "Acknowledge" entry
        QCOMPARE(rig.w().lngMenuMac, rig.slotOf(mac(2)));
        QCOMPARE(rig.selectedMac(), mac(2));
        QTest::mouseRelease(intruderBody, Qt::RightButton, {}, DeviceListView::rowRect(0).center());
        QCOMPARE(menu.at(1).at(2).toBool(), true);

        QSignalSpy safeMenu(&rig.w(), &frmMain::allowedMenuRequested);
        QTest::mouseRelease(rig.w().allowedList()->body(), Qt::RightButton, {}, DeviceListView::rowRect(0).center());
        QCOMPARE(safeMenu.count(), 1);
        QCOMPARE(rig.w().lngMenuMac, rig.slotOf(mac(3)));
    }

    void aJoiningDeviceTakesRowZeroAndIsSelected()
    {
        WindowRig rig;
        rig.store({dev(mac(1), QStringLiteral("198.18.0.7"), true, false),
            dev(mac(2), QStringLiteral("198.18.0.8"), true, true)});
        rig.start();
        rig.w().pctID_Click(1);
        frmClient* engine = rig.core->engine();
        rig.net->addNeighbour(QStringLiteral("02-AA-BB-CC-DD-EE"), QStringLiteral("198.18.0.50"));
        for (int i = 0; i < 600 && rig.slotOf(QStringLiteral("02-AA-BB-CC-DD-EE")) < 0; ++i) {
            rig.clock.advanceMSecs(100);
            engine->tmrPingTimer_Timer();
        }
        QCOMPARE(rig.intruderMacs(), QStringList({QStringLiteral("02-AA-BB-CC-DD-EE"), mac(2), mac(1)}));
        QCOMPARE(rig.inconsistency(), QString());
        QCOMPARE(rig.selectedMac(), QStringLiteral("02-AA-BB-CC-DD-EE"));
        QVERIFY(rig.w().intruderList()->row(0).ack);
        // The pop-up showed the window, and the log grid shows the device's two entries.
        QVERIFY(rig.w().isVisible());
        QCOMPARE(rig.w().fgLog()->rowCount(), 2);
        QCOMPARE(rig.w().fgLog()->item(0, 1)->text(), QStringLiteral("** WARNING - NEW DEVICE **"));
        QCOMPARE(rig.w().fgLog()->item(1, 1)->text(), QStringLiteral("Connected ( 198.18.0.50 )"));
    }

    void buttonsShowDownOnlyWhileHeld()
    {
        WindowRig rig;
        rig.store({dev(mac(1), QStringLiteral("198.18.0.7"), true, false)});
        rig.start();
        rig.w().show();
        SkinButton* move = rig.w().button(frmMain::Button::MoveToAllowed);
        QSignalSpy clicked(move, &SkinButton::clicked);
        QCOMPARE(move->picture(), Pic::MoveToAllowedNormal);
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

        // A tab pressed while its panel is open uses the selected pair; the others stay unselected.
        SkinButton* details = rig.w().button(frmMain::Button::Details);
        QCOMPARE(rig.w().intPanelState, 1);
        QTest::mousePress(details, Qt::LeftButton);
        QCOMPARE(details->picture(), Pic::DetailsSelectedDown);
        QCOMPARE(rig.w().button(frmMain::Button::Log)->picture(), Pic::LogUnSelectedNormal);
        QTest::mouseRelease(details, Qt::LeftButton);
        QCOMPARE(rig.w().intPanelState, 0);
        QCOMPARE(details->picture(), Pic::DetailsUnSelectedNormal);
        SkinButton* log = rig.w().button(frmMain::Button::Log);
        QTest::mousePress(log, Qt::LeftButton);
        QCOMPARE(log->picture(), Pic::LogUnSelectedDown);
        QTest::mouseRelease(log, Qt::LeftButton);
        QCOMPARE(log->picture(), Pic::LogSelectedNormal);
    }

    void moreRowsThanTheListHoldsAreKeptButNotDrawn()
    {
        WindowRig rig;
        rig.store(intruders(260));
        rig.start();
        QCOMPARE(rig.w().IntruderRowCount(), 260);
        QCOMPARE(rig.inconsistency(), QString());
        QCOMPARE(rig.w().intruderList()->rowCount(), Geometry::MaxRows);
        QVERIFY(rig.core->debugLog().text().contains(QLatin1String("UpdateIntruderEntry - row 256 lies beyond")));
    }
};

KW_TEST_MAIN(TestLists)
#include "tst_mainwindow_lists.moc"
