// INI sections: the section text's shape, the five Config.ini sections, and bad files.

#include "LogCapture.h"
#include "TestHome.h"
#include "store/IniFile.h"

#include <QFile>
#include <QTest>

using namespace IniFile;

class TestIni : public QObject
{
    Q_OBJECT

    LogCapture m_capture;
    std::unique_ptr<TestHome> m_home;

    QString writeFile(const QByteArray& content)
    {
        const QString path = m_home->dir() + QStringLiteral("/t.ini");
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
        return path;
    }

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_capture.clear();
        clearConfigSections();
    }

    void readsOneSectionInFileOrder()
    {
        const QString file = writeFile("; comment\r\n[other]\r\nx=1\r\n[General]\r\n LogExtra = 1 \r\n; not me\r\n"
                                       "\r\nExtra=2\r\nbare\r\n[next]\r\ny=2\r\n");
        QCOMPARE(dbGetAllEntries(QStringLiteral("GENERAL"), file),
            QStringLiteral("LogExtra=1") + QChar(0) + QStringLiteral("Extra=2") + QChar(0) + QStringLiteral("bare")
                + QChar(0));
        QCOMPARE(dbGetAllEntries(QStringLiteral("missing"), file), QString());
        QCOMPARE(dbGetAllEntries(QStringLiteral("GENERAL"), m_home->dir() + QStringLiteral("/none.ini")), QString());
    }

    void entriesComeFromTheFiveSections()
    {
        loadConfigSections(writeFile("[GENERAL]\nLogExtra=1\nExtra=2\n[MAC]\nK=v\n"));
        QCOMPARE(dbGetEntry(QStringLiteral("general"), QStringLiteral("LogExtra"), QStringLiteral("0")),
            QStringLiteral("1"));
        // The key is searched as key + "=" anywhere, so a suffix matches inside the longer key's entry.
        QCOMPARE(
            dbGetEntry(QStringLiteral("GENERAL"), QStringLiteral("Extra"), QStringLiteral("0")), QStringLiteral("1"));
        QCOMPARE(dbGetEntry(QStringLiteral("MAC"), QStringLiteral("K"), QString()), QStringLiteral("v"));
        QCOMPARE(dbGetEntry(QStringLiteral("IP"), QStringLiteral("K"), QStringLiteral("d")), QStringLiteral("d"));
        QVERIFY(m_capture.lines().isEmpty());
        QCOMPARE(dbGetEntry(QStringLiteral("PROGRAMS"), QStringLiteral("K"), QStringLiteral("d")), QStringLiteral("d"));
        QCOMPARE(m_capture.lines(), QStringList {QStringLiteral("IniFile - dbGetEntry Section Error - PROGRAMS - K")});
    }

    void badFilesGiveDefaults_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        // Random bytes are fuzz_ini's.
        QTest::newRow("no sections") << QByteArray("LogExtra=1\nfoo\n") << QStringLiteral("0");
        QTest::newRow("CR-only line ends") << QByteArray("[GENERAL]\rLogExtra=1\rX=2\r") << QStringLiteral("1");
        QTest::newRow("zero bytes inside") << QByteArray("[GENERAL]\nLog\0Extra=1\n", 22) << QStringLiteral("1");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("0");
    }

    void badFilesGiveDefaults()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        loadConfigSections(writeFile(content));
        QCOMPARE(dbGetEntry(QStringLiteral("GENERAL"), QStringLiteral("LogExtra"), QStringLiteral("0")), expected);
    }

    void hugeSectionIsCutAndLogged()
    {
        QByteArray content = "[GENERAL]\n";
        const QByteArray line = "Key" + QByteArray(60, 'k') + "=" + QByteArray(60, 'v') + "\n";
        while (content.size() < 2 * 1024 * 1024)
            content += line;
        content += "LogExtra=1\n";
        const QString file = writeFile(content);
        const QString section = dbGetAllEntries(QStringLiteral("GENERAL"), file);
        QVERIFY(section.size() <= 1024000);
        QVERIFY(section.endsWith(QChar(0)));
        QVERIFY(!section.contains(QStringLiteral("LogExtra")));
        QCOMPARE(m_capture.lines().size(), 1);
        QVERIFY(m_capture.lines().first().startsWith(QStringLiteral("IniFile - section [GENERAL]")));
    }
};

KW_TEST_GUILESS_MAIN(TestIni)
#include "tst_ini.moc"
