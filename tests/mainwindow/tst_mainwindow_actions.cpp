// The user's actions on devices: their effect on rows, ListRow, counts, the selection and the store.
#include "Devices.h"
#include "WindowRig.h"

#include "engine/frmClient.h"
#include "mainwindow/DeviceListView.h"
#include "mainwindow/PictureBox.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using Device = WindowRig::Device;

namespace {

Device dev(const QString& mac, bool intruder, bool isNew)
{
    Device d;
    d.mac = mac;
    d.ip = QStringLiteral("198.18.0.%1").arg(mac.right(2).toInt(nullptr, 16));
    d.intruder = intruder;
    d.isNew = isNew;
    return d;
}

QString mac(int i)
{
    return QStringLiteral("02-00-00-00-00-%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
}

QStringList macs(std::initializer_list<int> ids)
{
    QStringList list;
    for (int i : ids)
        list << mac(i);
    return list;
}

} // namespace

class TestActions final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void acknowledge_data()
    {
        QTest::addColumn<QList<bool>>("newFlags"); // per stored device 1.., all intruders, in row order
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("selected");
        QTest::newRow("top of four new moves below the last new")
            << QList<bool> {true, true, true, true, false} << 0 << macs({2, 3, 4, 1, 5}) << 3;
        QTest::newRow("the last new stays in place") << QList<bool> {true, true, false} << 1 << macs({1, 2, 3}) << 1;
        QTest::newRow("an acknowledged row is only selected")
            << QList<bool> {true, false, false} << 2 << macs({1, 2, 3}) << 2;
    }
    void acknowledge()
    {
        QFETCH(QList<bool>, newFlags);
        QFETCH(int, row);
        QFETCH(QStringList, after);
        QFETCH(int, selected);
        WindowRig rig;
        QList<Device> stored;
        for (int i = 0; i < newFlags.size(); ++i)
            stored << dev(mac(i + 1), true, newFlags[i]);
        rig.store(stored);
        rig.start();
        const QString acknowledged = rig.intruderMacs()[row];
        rig.w().pctAck_Click(row);
        QCOMPARE(rig.intruderMacs(), after);
        QCOMPARE(rig.inconsistency(), QString());
        QCOMPARE(rig.w().SelectedRow(), selected);
        QVERIFY(!rig.w().SelectionInAllowed());
        QCOMPARE(rig.selectedMac(), acknowledged);
        QVERIFY(!rig.devices()[rig.slotOf(acknowledged)].NewDevice);
        QVERIFY(!rig.w().intruderList()->row(selected).ack);
        QCOMPARE(
            rig.stored(acknowledged, QStringLiteral("New_Device")), std::optional<QString>(QStringLiteral("False")));
        // An acknowledged row no longer flashes.
        rig.setOnline(acknowledged, true);
        rig.w().tmr333ms_Timer();
        rig.w().tmr333ms_Timer();
        QVERIFY(!rig.w().intruderList()->row(selected).flash);
    }

    void moveToSafeListTakesRowZeroAndIsSelected()
    {
        WindowRig rig;
        rig.store({dev(mac(1), true, true), dev(mac(2), true, false), dev(mac(3), true, false),
            dev(mac(8), false, false), dev(mac(9), false, false)});
        rig.start();
        rig.w().pctID_Click(1);
        rig.w().pctAllowed_Click();
        QCOMPARE(rig.intruderMacs(), macs({1, 3}));
        QCOMPARE(rig.allowedMacs(), macs({2, 8, 9}));
        QCOMPARE(rig.inconsistency(), QString());
        QVERIFY(rig.w().SelectionInAllowed());
        QCOMPARE(rig.w().SelectedRow(), 0);
        QCOMPARE(rig.selectedMac(), mac(2));
        QCOMPARE(rig.stored(mac(2), QStringLiteral("Intruder")), std::optional<QString>(QStringLiteral("False")));
        QCOMPARE(rig.stored(mac(2), QStringLiteral("New_Device")), std::optional<QString>(QStringLiteral("False")));
        QVERIFY(rig.w().allowedList()->row(0).selected);

        // A new intruder moved across is acknowledged on the way.
        rig.w().pctID_Click(0);
        rig.w().pctAllowed_Click();
        QCOMPARE(rig.allowedMacs(), macs({1, 2, 8, 9}));
        QVERIFY(!rig.devices()[rig.slotOf(mac(1))].NewDevice);
        QCOMPARE(rig.stored(mac(1), QStringLiteral("New_Device")), std::optional<QString>(QStringLiteral("False")));
    }

    void moveBackArrivesBelowTheNewIntruders()
    {
        WindowRig rig;
        rig.store(
            {dev(mac(1), true, true), dev(mac(2), true, true), dev(mac(3), true, false), dev(mac(8), false, false)});
        rig.start();
        rig.w().datLastIntruderWarning = WindowRig::kStart.addDays(-1);
        rig.w().pctAD_Click(0);
        rig.w().pctIntruder_Click();
        QCOMPARE(rig.intruderMacs(), macs({1, 2, 8, 3}));
        QCOMPARE(rig.allowedMacs(), QStringList());
        QCOMPARE(rig.inconsistency(), QString());
        QCOMPARE(rig.selectedMac(), mac(8));
        QCOMPARE(rig.w().SelectedRow(), 2);
        QCOMPARE(rig.stored(mac(8), QStringLiteral("Intruder")), std::optional<QString>(QStringLiteral("True")));
        QVERIFY(!rig.devices()[rig.slotOf(mac(8))].NewDevice);
        QVERIFY(!rig.w().intruderList()->row(2).ack);
        // No intruder was online: the reminder time stays.
        QCOMPARE(rig.w().datLastIntruderWarning, WindowRig::kStart.addDays(-1));
    }

    void removeOfflineDeviceDeletesItsKeyAndClosesTheGap()
    {
        WindowRig rig;
        rig.store(
            {dev(mac(1), true, false), dev(mac(2), true, false), dev(mac(3), false, false), dev(mac(4), true, false)});
        rig.start();
        rig.w().AddLogEntry(rig.slotOf(mac(2)), QStringLiteral("x\tseen"));
        const QString logFile = rig.core->deviceLog().fileFor(rig.slotOf(mac(2)));
        QVERIFY(QFile::exists(logFile));
        rig.core->engine()->blnEntryDeleted = false;
        rig.w().pctID_Click(1);
        rig.w().pctRemove_Click(0);
        QCOMPARE(rig.intruderMacs(), macs({1, 4}));
        QCOMPARE(rig.allowedMacs(), macs({3}));
        QCOMPARE(rig.devices().DeviceCount, 3);
        QCOMPARE(rig.slotOf(mac(2)), -1);
        QCOMPARE(rig.inconsistency(), QString());
        QVERIFY(!rig.storedKey(mac(2)));
        QVERIFY(rig.storedKey(mac(4)));
        QVERIFY(QFile::exists(logFile));
        QVERIFY(rig.core->engine()->blnEntryDeleted);
        // The selection stays on row 1, now the next device.
        QCOMPARE(rig.selectedMac(), mac(4));

        // The last row removed: the selection moves up one.
        rig.w().pctRemove_Click(0);
        QCOMPARE(rig.intruderMacs(), macs({1}));
        QCOMPARE(rig.w().SelectedRow(), 0);
        QCOMPARE(rig.selectedMac(), mac(1));
        // The only device of the list: the selection moves to the other list.
        rig.w().pctRemove_Click(0);
        QCOMPARE(rig.w().IntruderRowCount(), 0);
        QVERIFY(rig.w().SelectionInAllowed());
        QCOMPARE(rig.selectedMac(), mac(3));
        QCOMPARE(rig.inconsistency(), QString());
        rig.w().pctRemove_Click(1);
        QCOMPARE(rig.devices().DeviceCount, 0);
        QCOMPARE(rig.selectedMac(), QString());
        QVERIFY(!rig.w().button(frmMain::Button::RemoveAllowed)->isEnabled());
    }

    void removingAnOnlineDeviceIsRefused()
    {
        WindowRig rig;
        rig.store({dev(mac(1), true, false), dev(mac(2), true, false)});
        rig.start();
        rig.setOnline(mac(2), true);
        rig.w().pctID_Click(1);
        rig.w().pctRemove_Click(0);
        QCOMPARE(rig.intruderMacs(), macs({1, 2}));
        QVERIFY(rig.storedKey(mac(2)));
        QCOMPARE(rig.devices().DeviceCount, 2);
        QCOMPARE(rig.selectedMac(), mac(2));
        QVERIFY(rig.w().intruderList()->row(1).selected);
        QVERIFY(rig.w().noticeVisible());
        QCOMPARE(rig.w().noticeText(), QStringLiteral("You cannot delete devices that\nare currently online"));
        QCOMPARE(rig.w().lngButtonTimeout, 9);
        // Three seconds of 333 ms ticks hide it.
        for (int tick = 0; tick < 8; ++tick)
            rig.w().tmr333ms_Timer();
        QVERIFY(rig.w().noticeVisible());
        rig.w().tmr333ms_Timer();
        QVERIFY(!rig.w().noticeVisible());
    }

    void renameStoresEveryKeystroke()
    {
        WindowRig rig;
        Device d = dev(mac(1), true, false);
        d.host = QStringLiteral("android-5f2c");
        rig.store({d, dev(mac(2), true, false)});
        rig.start();
        rig.w().show();
        for (int tick = 0; tick < 11; ++tick)
            rig.w().tmr100ms_Timer(); // the details panel slides out
        QLineEdit* box = rig.w().txtFriendlyName();
        QVERIFY(box->isVisibleTo(&rig.w()));
        QStringList seen;
        for (const QChar c : QStringLiteral("Tab")) {
            QTest::keyClick(box, c.toLatin1());
            seen << rig.stored(mac(1), QStringLiteral("Friendly_Name")).value_or(QStringLiteral("?"));
        }
        QCOMPARE(seen, QStringList({QStringLiteral("T"), QStringLiteral("Ta"), QStringLiteral("Tab")}));
        QCOMPARE(rig.w().intruderList()->row(0).line1, QStringLiteral("Tab"));
        QCOMPARE(rig.devices()[0].FriendlyName, QStringLiteral("Tab"));
        QCOMPARE(rig.w().lblSelected_Details()->text(), QStringLiteral("Tab ( 198.18.0.1 )"));
        seen.clear();
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(box, Qt::Key_Backspace);
            seen << rig.stored(mac(1), QStringLiteral("Friendly_Name")).value_or(QStringLiteral("?"));
        }
        QCOMPARE(seen, QStringList({QStringLiteral("Ta"), QStringLiteral("T"), QString()}));
        QCOMPARE(rig.w().intruderList()->row(0).line1, QStringLiteral("android-5f2c"));

        // Showing another device fills the box without renaming anything.
        rig.w().pctID_Click(1);
        QCOMPARE(box->text(), QString());
        QCOMPARE(rig.stored(mac(2), QStringLiteral("Friendly_Name")), std::optional<QString>(QString()));
        QCOMPARE(rig.stored(mac(1), QStringLiteral("Friendly_Name")), std::optional<QString>(QString()));
    }

    void menuEntriesActLikeTheButtons()
    {
        WindowRig rig;
        rig.store({dev(mac(1), true, true), dev(mac(2), true, true), dev(mac(8), false, false)});
        rig.start();
        rig.w().RightClickIntruder(1);
        rig.w().mnuIntruderAck_Click();
        QVERIFY(!rig.devices()[rig.slotOf(mac(2))].NewDevice);
        rig.w().RightClickIntruder(1);
        rig.w().mnuMoveToAllowed_Click();
        QCOMPARE(rig.allowedMacs(), macs({2, 8}));
        rig.w().RightClickAllowed(1);
        rig.w().mnuMoveToIntruders_Click();
        QCOMPARE(rig.intruderMacs(), macs({1, 8}));
        rig.w().RightClickIntruder(1);
        rig.w().mnuRemoveIntruder_Click();
        QCOMPARE(rig.intruderMacs(), macs({1}));
        rig.w().RightClickAllowed(0);
        rig.w().mnuRemoveAllowed_Click();
        QCOMPARE(rig.allowedMacs(), QStringList());
        QCOMPARE(rig.inconsistency(), QString());
    }

    // An intruder admitted while a row's menu is open takes the selection; the menu still acts on its device.
    void menuActsOnItsDeviceWhateverTheSelectionDoes()
    {
        WindowRig rig;
        rig.store({dev(mac(1), true, false), dev(mac(2), true, false)});
        rig.start();
        rig.w().RightClickIntruder(1);
        const qint32 slot = appendDevice(rig.devices(), mac(9), QStringLiteral("198.18.0.9"));
        rig.devices()[slot].Intruder = true;
        rig.devices()[slot].NewDevice = true;
        rig.w().AddNewDevice(slot);
        QCOMPARE(rig.selectedMac(), mac(9));
        rig.w().mnuMoveToAllowed_Click();
        QCOMPARE(rig.allowedMacs(), macs({2}));
        QCOMPARE(rig.intruderMacs(), macs({9, 1}));
        QCOMPARE(rig.inconsistency(), QString());
        // A menu whose device has left its list does nothing.
        rig.w().mnuRemoveIntruder_Click();
        QCOMPARE(rig.intruderMacs(), macs({9, 1}));
        QCOMPARE(rig.allowedMacs(), macs({2}));
    }

    void aLongMixedSequenceKeepsEverythingConsistent()
    {
        WindowRig rig;
        QList<Device> stored;
        for (int i = 1; i <= 12; ++i)
            stored << dev(mac(i), i % 3 != 0, i % 2 == 0);
        rig.store(stored);
        rig.start();
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
                    rig.w().pctAck_Click(next(ic));
                break;
            case 1:
                if (ic)
                    rig.w().pctID_Click(next(ic));
                rig.w().pctAllowed_Click();
                break;
            case 2:
                if (ac)
                    rig.w().pctAD_Click(next(ac));
                rig.w().pctIntruder_Click();
                break;
            case 3:
                if (ic && next(4) == 0) {
                    rig.w().pctID_Click(next(ic));
                    rig.w().pctRemove_Click(0);
                }
                break;
            case 4:
                if (ac && next(4) == 0) {
                    rig.w().pctAD_Click(next(ac));
                    rig.w().pctRemove_Click(1);
                }
                break;
            default:
                rig.w().tmr333ms_Timer();
                break;
            }
            const QString problem = rig.inconsistency();
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("after step %1: %2").arg(stepNo).arg(problem)));
            const qint32 slot = rig.w().selectedSlot();
            if (slot >= 0) {
                QCOMPARE(rig.devices()[slot].Intruder, !rig.w().SelectionInAllowed());
            }
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

KW_TEST_MAIN(TestActions)
#include "tst_mainwindow_actions.moc"
