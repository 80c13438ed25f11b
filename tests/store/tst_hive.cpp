// The registry hive: naming rules, ordering, deletion, a second connection, the autostart entry standing for
// the Run value, and the refusal to touch a damaged file. That writes survive reopening, even a crash, is
// tst_hive_crash's.

#include "LogCapture.h"
#include "TestHome.h"
#include "platform/Autostart.h"
#include "platform/Hive.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <sys/stat.h>

namespace {
const QString kGeneral = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\GENERAL");
const QString kDevices = QStringLiteral("Software\\Brackmoor\\Kestrelwatch\\DetectedDevices");

QByteArray digest(const QString& file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}
} // namespace

class TestHive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void namesMatchCaseInsensitivelyAndKeepTheirCase()
    {
        TestHome home;
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        QVERIFY(hive);
        QVERIFY(hive->setValue(kGeneral, QStringLiteral("EmailServer"), QStringLiteral("mail.example")));
        QCOMPARE(
            hive->value(QStringLiteral("software\\brackmoor\\kestrelwatch\\general"), QStringLiteral("EMAILSERVER")),
            std::optional<QString>(QStringLiteral("mail.example")));
        // Writing through another spelling changes the same value and keeps the first spelling.
        QVERIFY(hive->setValue(QStringLiteral("SOFTWARE\\Brackmoor\\Kestrelwatch\\General"),
            QStringLiteral("emailserver"), QStringLiteral("smtp.example")));
        const auto values = hive->values(kGeneral);
        QCOMPARE(values.size(), 1);
        QCOMPARE(values.first().name, QStringLiteral("EmailServer"));
        QCOMPARE(values.first().data, QStringLiteral("smtp.example"));
        QCOMPARE(hive->subkeys(QStringLiteral("Software\\Brackmoor\\Kestrelwatch")),
            QStringList {QStringLiteral("GENERAL")});
        // The store holds the mail login: only its owner may read it.
        struct stat st
        {
        };
        QCOMPARE(::stat(QFile::encodeName(home.paths().hiveFile()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    void subkeysListInUpperCasedOrder()
    {
        TestHome home;
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        for (const char* name : {"b-key", "A-key", "_under", "c", "a-KEY2", "Z"})
            QVERIFY(hive->createKey(kDevices + QLatin1Char('\\') + QLatin1String(name)));
        // Upper-cased: A-KEY < A-KEY2 < B-KEY < C < Z < _UNDER ('_' sorts after the capitals).
        QCOMPARE(hive->subkeys(kDevices),
            (QStringList {QStringLiteral("A-key"), QStringLiteral("a-KEY2"), QStringLiteral("b-key"),
                QStringLiteral("c"), QStringLiteral("Z"), QStringLiteral("_under")}));
        QVERIFY(hive->subkeys(kDevices + QStringLiteral("\\missing")).isEmpty());
    }

    void deletingAKeyRemovesItsValuesAndSubkeys()
    {
        TestHome home;
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        const QString device = kDevices + QStringLiteral("\\00-11-22-AA-BB-0C");
        hive->setValue(device, QStringLiteral("Host_Name"), QStringLiteral("printer"));
        hive->setValue(device + QStringLiteral("\\Nested"), QStringLiteral("x"), QStringLiteral("y"));
        QVERIFY(hive->deleteKey(device));
        QVERIFY(!hive->keyExists(device));
        QVERIFY(!hive->value(device, QStringLiteral("Host_Name")));
        // Recreating the key starts empty: nothing of the old values comes back.
        hive->createKey(device);
        QVERIFY(hive->values(device).isEmpty());
        QVERIFY(hive->subkeys(device).isEmpty());
        QVERIFY(!hive->deleteKey(kDevices + QStringLiteral("\\missing")));
        QVERIFY(hive->deleteValue(kDevices, QStringLiteral("none")) == false);
    }

    // Every text reads back exactly as written, through the file; a lone surrogate, which has no UTF-8
    // form, is refused with a log line rather than stored as something else. setValues refuses alike, and
    // all or nothing: the plain value written beside a refused one is not stored either.
    void textsReadBackExactlyThroughTheFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("storable");
        QTest::addColumn<bool>("batch");
        for (const bool batch : {false, true}) {
            const char* how = batch ? "setValues, " : "setValue, ";
            auto row = [&](const char* name, const QString& text, bool storable) {
                QTest::addRow("%s%s", how, name) << text << storable << batch;
            };
            row("U+FFFE", QStringLiteral("a\uFFFEb"), true);
            row("U+FFFF", QStringLiteral("\uFFFF"), true);
            row("U+FFFD", QStringLiteral("\uFFFD"), true);
            row("astral", QString::fromUcs4(U"\U0001F426 bird"), true);
            row("NUL inside", QString::fromUtf16(u"a\0b", 3), true);
            row("lone high surrogate", QString::fromUtf16(u"x\xD800y", 3), false);
            row("lone low surrogate", QString::fromUtf16(u"\xDC00", 1), false);
        }
    }

    void textsReadBackExactlyThroughTheFile()
    {
        QFETCH(QString, text);
        QFETCH(bool, storable);
        QFETCH(bool, batch);
        TestHome home;
        LogCapture log;
        const QString key = kGeneral + QLatin1Char('\\') + text;
        const Hive::Value plain {QStringLiteral("Plain"), QStringLiteral("1")};
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        QCOMPARE(
            batch ? hive->setValues({{kDevices, {plain}}, {key, {{text, text}}}}) : hive->setValue(key, text, text),
            storable);
        QCOMPARE(log.tagged(QStringLiteral("Hive - refused")).size(), storable ? 0 : 1);
        hive.reset();
        auto reopened = Hive::open(home.paths().hiveFile()).hive;
        const auto values = reopened->values(key);
        QCOMPARE(values.size(), storable ? 1 : 0);
        QCOMPARE(reopened->values(kDevices).size(), batch && storable ? 1 : 0);
        if (storable) {
            QCOMPARE(values.first().name, text);
            QCOMPARE(values.first().data, text);
            QCOMPARE(reopened->subkeys(kGeneral), QStringList {text});
        }
    }

    // A loaded store keeps one copy of each value name and flag for all its keys, and more keys than the
    // path cache holds: a write to one key changes no other, and every key still reads its own values.
    void sharedTextsChangeOnlyWhereWritten()
    {
        TestHome home;
        QList<Hive::KeyValues> keys;
        for (int i = 0; i < 700; ++i) {
            keys.append({kDevices + QStringLiteral("\\02-00-00-00-%1").arg(i, 5, 10, QLatin1Char('0')),
                {{QStringLiteral("Intruder"), QStringLiteral("True")},
                    {QStringLiteral("IP_Address"), QString::number(i)}}});
        }
        QVERIFY(Hive::open(home.paths().hiveFile()).hive->setValues(keys));
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        QVERIFY(hive->setValue(keys[7].keyPath, QStringLiteral("INTRUDER"), QStringLiteral("False")));
        QVERIFY(hive->setValue(keys[8].keyPath, QStringLiteral("Mac_Type"), QStringLiteral("True")));
        for (int i = 0; i < keys.size(); ++i) {
            const auto values = hive->values(keys[i].keyPath);
            QCOMPARE(values.size(), i == 8 ? 3 : 2);
            QCOMPARE(values[0].name, QStringLiteral("Intruder"));
            QCOMPARE(values[0].data, i == 7 ? QStringLiteral("False") : QStringLiteral("True"));
            QCOMPARE(values[1].data, QString::number(i));
        }
    }

    void anotherConnectionSeesChanges()
    {
        TestHome home;
        auto first = Hive::open(home.paths().hiveFile()).hive;
        auto second = Hive::open(home.paths().hiveFile()).hive;
        QVERIFY(first->value(kGeneral, QStringLiteral("Volume")) == std::nullopt);
        second->setValue(kGeneral, QStringLiteral("Volume"), QStringLiteral("55"));
        // Reads look for other writers every few milliseconds; writes always do.
        QTRY_COMPARE(first->value(kGeneral, QStringLiteral("Volume")), std::optional(QStringLiteral("55")));
        second->deleteKey(kGeneral);
        QVERIFY(first->setValue(kGeneral + QStringLiteral("\\Sub"), QStringLiteral("x"), QStringLiteral("1")));
        QVERIFY(!first->value(kGeneral, QStringLiteral("Volume")));
        QTRY_COMPARE(
            second->value(kGeneral + QStringLiteral("\\Sub"), QStringLiteral("x")), std::optional(QStringLiteral("1")));
    }

    // The settings dialog's test makes and removes the entry; here, a path with a space stays one argument.
    void runValueIsTheAutostartEntry()
    {
        TestHome home;
        auto hive = Hive::open(home.paths().hiveFile()).hive;
        const QString run = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
        const QString name = QStringLiteral("Brackmoor\\Kestrelwatch");
        QVERIFY(hive->setValue(run, name, QStringLiteral("/opt/kestrel watch/bin/kestrelwatch")));
        QFile desktop(autostartFile());
        QVERIFY(desktop.open(QIODevice::ReadOnly));
        QVERIFY(desktop.readAll().contains("Exec=\"/opt/kestrel watch/bin/kestrelwatch\""));
        QVERIFY(hive->deleteValue(run, name));
        QVERIFY(!QFileInfo::exists(autostartFile()));
        QVERIFY(!hive->setValues({{run, {{name, QStringLiteral("/bin/true")}}}}));
        QVERIFY(!QFileInfo::exists(autostartFile()));
        QVERIFY(!hive->value(run, name));
    }

    void damagedFilesAreRefusedAndLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("mangle");
        QTest::newRow("not a database") << QByteArray("junk");
        QTest::newRow("truncated") << QByteArray("truncate");
        QTest::newRow("header overwritten") << QByteArray("header");
        QTest::newRow("empty") << QByteArray("empty");
        QTest::newRow("foreign database") << QByteArray("foreign");
        // Valid SQLite files whose key tree is not a tree: each would send a walk of it round for ever.
        QTest::newRow("key row with the root's id")
            << QByteArray("INSERT INTO hive_keys(id, parent, name, uname) VALUES(0, 0, 'Loop', 'LOOP');");
        QTest::newRow("parent loop") << QByteArray("INSERT INTO hive_keys VALUES(9001, 9002, 'A', 'A');"
                                                   "INSERT INTO hive_keys VALUES(9002, 9001, 'B', 'B');");
        QTest::newRow("orphan key row") << QByteArray("INSERT INTO hive_keys VALUES(9003, 777777, 'O', 'O');");
        QTest::newRow("orphan value") << QByteArray(
            "INSERT INTO hive_values(key, name, uname, data) VALUES(777777, 'n', 'N', 'd');");
    }

    void damagedFilesAreRefusedAndLeftUntouched()
    {
        QFETCH(QByteArray, mangle);
        TestHome home;
        const QString file = home.paths().hiveFile();
        {
            auto hive = Hive::open(file).hive;
            for (int i = 0; i < 400; ++i)
                hive->setValue(kDevices + QStringLiteral("\\%1").arg(i, 4, 10, QLatin1Char('0')),
                    QStringLiteral("Host_Name"), QString(200, QLatin1Char('x')));
        }
        // Fold the WAL into the main file so the damage below hits the data.
        QFile::remove(file + QStringLiteral("-wal"));
        QFile::remove(file + QStringLiteral("-shm"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (mangle == "junk") {
            f.resize(0);
            f.write(QByteArray(5000, '\x5a'));
        } else if (mangle == "truncate") {
            f.resize(f.size() / 2 + 100);
        } else if (mangle == "header") {
            f.write("this is not sqlite");
        } else if (mangle == "empty") {
            f.resize(0);
        }
        f.close();
        if (mangle == "foreign") {
            QFile::remove(file);
            QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"), {file, QStringLiteral("CREATE TABLE t(x);")}), 0);
        } else if (mangle.startsWith("INSERT")) {
            QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"), {file, QString::fromUtf8(mangle)}), 0);
        }
        const QByteArray before = digest(file);
        const qint64 sizeBefore = QFileInfo(file).size();

        Hive::OpenResult opened = Hive::open(file);
        QVERIFY(!opened.hive);
        QVERIFY2(opened.error.contains(file), qPrintable(opened.error));
        QCOMPARE(QFileInfo(file).size(), sizeBefore);
        QCOMPARE(digest(file), before);
    }
};

KW_TEST_GUILESS_MAIN(TestHive)
#include "tst_hive.moc"
