// The debug log's bound, disk switch and escapes, and the device histories' 100-line files.

#include "Devices.h"
#include "LogCapture.h"
#include "TestHome.h"
#include "logging/DebugLog.h"
#include "logging/DeviceLog.h"
#include "platform/Clock.h"
#include "platform/DebugSink.h"
#include "store/DeviceStore.h"
#include "store/LiveSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {
QString readAll(const QString& file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
}
} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

    ManualClock m_clock {QDateTime(QDate(2026, 12, 5), QTime(10, 0, 0))};

private Q_SLOTS:
    void initTestCase()
    {
        pinTestEnvironment();
        kwclock::install(&m_clock);
    }
    void cleanupTestCase() { kwclock::install(nullptr); }

    void debugLinesAreStampedMirroredAndFollowTheSwitch()
    {
        TestHome home;
        LiveSettings settings;
        QDir(home.paths().logDatabase()).removeRecursively(); // the folder is made again when needed
        DebugLog log(settings, home.paths().debugLogFile());
        QStringList mirrored;
        log.setMirror([&](const QString& line) { mirrored.append(line); });
        log.Log(QStringLiteral("kw.mail"), QStringLiteral("SmtpClient:  Connected"));
        QCOMPARE(log.text(), QStringLiteral("12/5/2026 10:00:00 AM - [kw.mail] SmtpClient:  Connected\r\n"));
        QCOMPARE(DebugLog::areaOf(log.text()), QStringLiteral("kw.mail"));
        QCOMPARE(mirrored, QStringList {log.text()});
        QVERIFY(!QFileInfo::exists(home.paths().debugLogFile())); // LogToDisk is off
        settings.log.toDisk = true;
        log.Log(QStringLiteral("one"));
        settings.log.toDisk = false;
        log.Log(QStringLiteral("two"));
        settings.log.toDisk = true;
        log.Log(QStringLiteral("three"));
        QCOMPARE(readAll(home.paths().debugLogFile()),
            QStringLiteral(
                "12/5/2026 10:00:00 AM - [kw.monitor] one\r\n12/5/2026 10:00:00 AM - [kw.monitor] three\r\n"));
        QVERIFY(log.text().contains(QStringLiteral("two")));
    }

    // Text from outside (an MQTT field, a device name) stays one inert line in the log and on stderr.
    void debugLinesEscapeControlCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("logged");
        QTest::newRow("terminal escape, forged line") << QStringLiteral("field \"\x1b[2J\r\n12/5/2026 - forged\"")
                                                      << QStringLiteral("field \"\\x1b[2J\\r\\n12/5/2026 - forged\"");
        QTest::newRow("tab, DEL, C1") << QStringLiteral("a\tb\x7f\u0085") << QStringLiteral("a\\tb\\x7f\\x85");
        QTest::newRow("separators, override")
            << QStringLiteral("a\u2028b\u2029c\u202Ed") << QStringLiteral("a\\u2028b\\u2029c\\u202ed");
        QTest::newRow("kept as written") << QStringLiteral("Software\\Brackmoor K\u00fcche \u5ba2\u5385 \U0001F4F1")
                                         << QStringLiteral("Software\\Brackmoor K\u00fcche \u5ba2\u5385 \U0001F4F1");
    }

    void debugLinesEscapeControlCharacters()
    {
        QFETCH(QString, text);
        QFETCH(QString, logged);
        LiveSettings settings;
        DebugLog log(settings, QString());
        log.installAsSink();
        Log(text);
        installLogSink({});
        QCOMPARE(log.text(), QStringLiteral("12/5/2026 10:00:00 AM - [kw.monitor] ") + logged + QStringLiteral("\r\n"));
    }

    void debugTextStaysWithinItsBound()
    {
        LiveSettings settings;
        DebugLog log(settings, QString());
        const QString chunk(997, QLatin1Char('x'));
        for (int i = 0; i < 5000; ++i) {
            log.Log(QStringLiteral("%1 ").arg(i) + chunk);
            QVERIFY(log.text().size() <= DebugLog::MaxText);
        }
        QVERIFY(log.text().endsWith(QStringLiteral("4999 ") + chunk + QStringLiteral("\r\n")));
        QVERIFY(log.text().startsWith(QStringLiteral("12/5/2026"))); // whole lines were dropped
        // A single line longer than the bound keeps only its end.
        log.Log(QString(2 * DebugLog::MaxText, QLatin1Char('y')));
        QCOMPARE(log.text().size(), DebugLog::MaxText);
    }

    void historyKeepsTheLastHundredLines()
    {
        TestHome home;
        DeviceStore table;
        const QString mac = QStringLiteral("00-0C-41-A2-3B-7F");
        appendDevice(table, mac);
        DeviceLog log(table, home.paths().devices());
        QStringList shown;
        log.setEntryHook([&](const QString& of, const QString&) { shown.append(of); });
        for (int i = 1; i <= 101; ++i)
            log.AddLogEntry(mac, QStringLiteral("stamp\tentry %1").arg(i));
        const QString file = home.paths().devices() + QStringLiteral("00-0C-41-A2-3B-7F.log");
        QString content = readAll(file);
        QCOMPARE(content.count(QStringLiteral("\r\n")), 100);
        QVERIFY(content.startsWith(QStringLiteral("stamp\tentry 2\r\n")));
        QVERIFY(content.endsWith(QStringLiteral("stamp\tentry 101\r\n")));
        log.AddLogEntry(mac, QStringLiteral("stamp\tentry 102"));
        content = readAll(file);
        QVERIFY(content.startsWith(QStringLiteral("stamp\tentry 3\r\n")));
        QCOMPARE(log.history(mac), content);
        QCOMPARE(shown, QStringList(102, mac));
        // The events' own lines are stamped in ISO 8601 with the offset (UTC here).
        QCOMPARE(
            DeviceLog::stamp(QDateTime(QDate(2026, 12, 5), QTime(1, 2, 3))), QStringLiteral("2026-12-05T01:02:03Z\t"));

        // A file longer than a history (written by hand, say) reads as its last 100 lines; the text excerpt
        // skips empty lines.
        QFile f(file);
        QVERIFY(f.open(QIODevice::Append));
        f.write("\r\n\r\nlate\tline\r\n");
        f.close();
        const QString excerpt = log.historyExcerpt(mac);
        QVERIFY(excerpt.endsWith(QStringLiteral("stamp\tentry 102\r\nlate\tline\r\n")));
        // 103 lines trimmed to the last 100 (entries 6..102, two empty lines, "late"); empty ones are skipped.
        QCOMPARE(excerpt.count(QStringLiteral("\r\n")), 98);
        QCOMPARE(log.history(mac).count(QStringLiteral("\r\n")), 100);
        QVERIFY(excerpt.startsWith(QStringLiteral("stamp\tentry 6\r\n")));
    }

    // The history keeps its own forms; people read them in words.
    void historyReadsNaturally_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("connected") << "Connected ( 198.18.0.10 )"
                                   << "Connected at 198.18.0.10";
        QTest::newRow("new address") << "IP = 198.18.0.11"
                                     << "Address is now 198.18.0.11";
        QTest::newRow("other lines as they are") << "Disconnected"
                                                 << "Disconnected";
        QTest::newRow("an empty address stays") << "Connected (  )"
                                                << "Connected (  )";
    }
    void historyReadsNaturally()
    {
        QFETCH(QString, stored);
        QTEST(DeviceLog::readable(stored), "shown");
    }

    void missingHistoryLoadsEmptyAndUnknownDevicesAreLogged()
    {
        TestHome home;
        DeviceStore table;
        appendDevice(table, QStringLiteral("AA-BB-CC-DD-EE-FF"));
        DeviceLog log(table, home.paths().devices());
        QCOMPARE(log.history(QStringLiteral("AA-BB-CC-DD-EE-FF")), QString());
        LogCapture capture;
        log.AddLogEntry(QStringLiteral("02-00-00-00-00-05"), QStringLiteral("x"));
        QCOMPARE(log.historyExcerpt(QStringLiteral("02-00-00-00-00-05")), QString());
        QCOMPARE(capture.lines(), QStringList {QStringLiteral("AddLogEntry - no device 02-00-00-00-00-05")});
        QVERIFY(!QFile::exists(log.fileFor(QStringLiteral("02-00-00-00-00-05"))));
    }
};

KW_TEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
