// Nothing written is lost: a writer process is killed with SIGKILL in the middle of a burst of value
// writes; every write that had returned is in the store after reopening, and SQLite's integrity check passes.

#include "Process.h"
#include "TestHome.h"
#include "platform/Hive.h"

#include <QCoreApplication>
#include <QTest>
#include <cstdio>
#include <sqlite3.h>

namespace {
const QString kKey = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\DetectedDevices\\%1");

// The writer: endless admission-sized bursts, printing the number of each write after it returned.
int runWriter(const QString& file)
{
    auto hive = Hive::open(file).hive;
    if (!hive)
        return 3;
    for (int i = 0;; ++i) {
        if (!hive->setValue(kKey.arg(i / 9), QStringLiteral("V%1").arg(i % 9), QString::number(i)))
            return 4;
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
}
} // namespace

class TestHiveCrash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void killedWriterLosesNothingThatReturned_data()
    {
        QTest::addColumn<int>("killAfter");
        QTest::newRow("early") << 50;
        QTest::newRow("mid burst") << 777;
        QTest::newRow("later") << 2500;
    }

    void killedWriterLosesNothingThatReturned()
    {
        QFETCH(int, killAfter);
        TestHome home;
        const QString file = home.paths().hiveFile();
        Hive::open(file); // created up front so the writer's start is quick

        kwtest::Process writer;
        writer.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--writer"), file});
        const QRegularExpression acknowledged(QStringLiteral("^%1$").arg(killAfter));
        QVERIFY2(!writer.waitForLine(acknowledged, 0, 20000).isEmpty(), "writer stalled");
        writer.kill();
        // Only complete lines count: a number cut short by the kill was never acknowledged.
        const int lastAck = writer.lines().last().toInt();
        QVERIFY(lastAck >= killAfter);

        // Integrity first, on the file as the crash left it (WAL included).
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
        QCOMPARE(sqlite3_step(st), SQLITE_ROW);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))), QByteArray("ok"));
        sqlite3_finalize(st);
        sqlite3_close(db);

        auto hive = Hive::open(file).hive;
        QVERIFY(hive);
        for (int i = 0; i <= lastAck; ++i) {
            const auto v = hive->value(kKey.arg(i / 9), QStringLiteral("V%1").arg(i % 9));
            QVERIFY2(v && *v == QString::number(i), qPrintable(QStringLiteral("write %1 was lost").arg(i)));
        }
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--writer") == 0)
        return runWriter(QString::fromLocal8Bit(argv[2]));
    TestHiveCrash test;
    return kwtest::finish(QTest::qExec(&test, argc, argv));
}
#include "tst_hive_crash.moc"
