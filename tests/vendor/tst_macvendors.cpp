// The vendor lookup on the fixture vendor files: names per registry, the longest prefix, private addresses,
// the placeholder, short keys, each kind of damaged file told once in the log with its registry left silent,
// and a missing folder. That the lookup
// agrees with a plain substring search on any files and keys is fuzz_macdb's work.
#include "LogCapture.h"
#include "TestHome.h"
#include "vendor/MacVendors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {
// A known address in each registry of the fixture, used to see which registry still answers.
const QString FixtureOuiMac = QStringLiteral("00-0C-41-01-02-03");
const QString FixtureOuiName = QStringLiteral("Kestrel Test Devices Ltd");
const QString FixtureIabMac = QStringLiteral("00-50-C2-7D-5A-BC");
const QString FixtureIabName = QStringLiteral("Deuta Test Werke");

enum class Damage {
    Remove,
    Truncate,
    LfLineEnds,
    RecordWithoutCrLf,
    Folder,
    DropLastLines,
    InvalidUtf8,
    CutCharacter,
    Nul,
};

QString fixtureFolder()
{
    return TestHome::sourceDir() + QStringLiteral("/tests/data/macdb");
}

QByteArray readBytes(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Applies one kind of damage to a file of a copied fixture folder.
void damage(const QString& file, Damage kind)
{
    QByteArray bytes = readBytes(file);
    switch (kind) {
    case Damage::Remove:
        QVERIFY(QFile::remove(file));
        return;
    case Damage::Truncate:
        bytes.chop(3);
        break;
    case Damage::LfLineEnds:
        bytes.replace("\r\n", "\n");
        break;
    case Damage::RecordWithoutCrLf: {
        const qsizetype secondEnd = bytes.indexOf("\r\n", bytes.indexOf("\r\n") + 2);
        bytes.replace(secondEnd, 2, "00");
        break;
    }
    case Damage::Folder:
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkpath(file));
        return;
    case Damage::DropLastLines:
        for (int i = 0; i < 3; ++i)
            bytes.truncate(bytes.lastIndexOf("\r\n", bytes.size() - 3) + 2);
        break;
    case Damage::InvalidUtf8:
        bytes.insert(bytes.size() / 2, "\xff\xfe\xc3");
        break;
    case Damage::CutCharacter:
        bytes.append("\xc3");
        break;
    case Damage::Nul:
        bytes.insert(bytes.size() / 2, '\0');
        break;
    }
    writeBytes(file, bytes);
}

} // namespace

Q_DECLARE_METATYPE(Damage)

class TestMacDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase()
    {
        pinTestEnvironment();
        QVERIFY(m_scratch.isValid());
    }

    void init() { m_capture.clear(); }

    void lookupInFixture_data()
    {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("name");

        QTest::newRow("first real record") << FixtureOuiMac << FixtureOuiName;
        QTest::newRow("middle record") << "00-00-0C-FF-FF-FF"
                                       << "Second Record Inc";
        QTest::newRow("late record") << "FF-FF-FE-00-00-01"
                                     << "Last Record Corp.";
        QTest::newRow("repeated key: first holder") << "A8-BB-CC-00-00-00"
                                                    << "First Holder GmbH";
        QTest::newRow("UTF-8 name") << "F4-BD-9E-12-34-56" << QStringLiteral("Jörgen Öberg Elektronik AB");
        QTest::newRow("placeholder record") << "08-0B-0C-01-02-03" << QString();
        QTest::newRow("unknown OUI") << "10-34-56-78-9A-BC" << QString();
        QTest::newRow("broadcast") << "FF-FF-FF-FF-FF-FF" << QString();
        // The longest registered prefix names an address: a 28-bit block inside 00-0C-41, a 36-bit one inside that.
        QTest::newRow("MA-M block over its OUI") << "00-0C-41-A1-02-03"
                                                 << "Medium Block Maker";
        QTest::newRow("MA-S block over MA-M and OUI") << "00-0C-41-A1-2F-00"
                                                      << "Small Block Maker";
        // A device's made-up address: no registry speaks for it, not even one listing its prefix.
        const QString randomised = QStringLiteral("Private address (randomised by the device)");
        QTest::newRow("private address") << "02-0C-41-01-02-03" << randomised;
        QTest::newRow("private, prefix registered") << "AA-00-04-00-12-34" << randomised;
        QTest::newRow("private OUI alone") << "AE-00-04" << randomised;
        // 0050C2 also sits in this oui.idx; its addresses must still be named by the IAB files alone.
        QTest::newRow("IAB block") << FixtureIabMac << FixtureIabName;
        QTest::newRow("IAB block, low digits") << "00-50-C2-0A-1F-FF"
                                               << "Block Zero-A-One";
        QTest::newRow("IAB last block") << "00-50-C2-FF-F0-00"
                                        << "Top Block Ltd";
        QTest::newRow("IAB block not listed") << "00-50-C2-7D-6A-BC" << QString();
        QTest::newRow("IAB placeholder") << "00-50-C2-XX-X0-00" << QString();
        // Only the high nibble of the fifth byte picks the block.
        QTest::newRow("IAB low nibble ignored") << "00-50-C2-7D-5F-FF" << FixtureIabName;
        // Lookups are exact and case-sensitive, as the system's own MAC text is upper case.
        QTest::newRow("lower-case text") << "00-0c-41-01-02-03" << QString();
        QTest::newRow("lower-case IAB OUI") << "00-50-c2-7D-5A-BC" << QString();
        QTest::newRow("empty text") << QString() << QString();
        // A short text gives a short key, which may start inside a record: the position still rounds to a record
        // ("0C41" starts at position 11 of record 1; "BCC" at position 36, exactly between records 4 and 5, and
        // halves go to the even record).
        QTest::newRow("short key inside a record") << "0C-41" << FixtureOuiName;
        QTest::newRow("short key halfway") << "BC-C"
                                           << "First Holder GmbH";
        QTest::newRow("short key at a record start") << "00" << FixtureOuiName;
        QTest::newRow("short key in the placeholder") << "08" << QString();
    }

    void lookupInFixture()
    {
        QFETCH(QString, mac);
        QFETCH(QString, name);

        const MacVendors db(fixtureFolder());
        QCOMPARE(db.ouiRecords(), 9);
        QCOMPARE(db.iabRecords(), 4);
        QCOMPARE(db.mamRecords(), 2);
        QCOMPARE(db.masRecords(), 2);
        QCOMPARE(db.GetMacName(mac), name);
        QCOMPARE(m_capture.lines(), QStringList());
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Damage>("kind");
        QTest::addColumn<bool>("ouiAnswers");
        QTest::addColumn<bool>("iabAnswers");

        QTest::newRow("oui.idx missing") << "oui.idx" << Damage::Remove << false << true;
        QTest::newRow("oui.idx truncated") << "oui.idx" << Damage::Truncate << false << true;
        QTest::newRow("oui.idx with LF line ends") << "oui.idx" << Damage::LfLineEnds << false << true;
        QTest::newRow("oui.idx record without CR LF") << "oui.idx" << Damage::RecordWithoutCrLf << false << true;
        QTest::newRow("oui.idx is a folder") << "oui.idx" << Damage::Folder << false << true;
        QTest::newRow("oui.db missing") << "oui.db" << Damage::Remove << false << true;
        QTest::newRow("oui.db shorter than the index") << "oui.db" << Damage::DropLastLines << false << true;
        QTest::newRow("oui.db not UTF-8") << "oui.db" << Damage::InvalidUtf8 << false << true;
        QTest::newRow("oui.db ends inside a character") << "oui.db" << Damage::CutCharacter << false << true;
        QTest::newRow("oui.db holds a NUL") << "oui.db" << Damage::Nul << false << true;
        QTest::newRow("iab.idx missing") << "iab.idx" << Damage::Remove << true << false;
        QTest::newRow("iab.db shorter than the index") << "iab.db" << Damage::DropLastLines << true << false;
        QTest::newRow("mas.idx truncated") << "mas.idx" << Damage::Truncate << true << true;
    }

    void damagedFiles()
    {
        QFETCH(QString, file);
        QFETCH(Damage, kind);
        QFETCH(bool, ouiAnswers);
        QFETCH(bool, iabAnswers);

        const QString dir = copyFixture();
        QVERIFY(!dir.isEmpty());
        damage(dir + file, kind);
        if (QTest::currentTestFailed())
            return;

        const MacVendors db(dir);
        QCOMPARE(m_capture.lines().size(), 1);
        QVERIFY2(
            m_capture.lines().first().startsWith(QLatin1String("MacVendors ")), qPrintable(m_capture.lines().first()));
        QVERIFY2(m_capture.lines().first().contains(file), qPrintable(m_capture.lines().first()));

        QCOMPARE(db.GetMacName(FixtureOuiMac), ouiAnswers ? FixtureOuiName : QString());
        QCOMPARE(db.GetMacName(FixtureIabMac), iabAnswers ? FixtureIabName : QString());
        // A registry that failed to load answers nothing, not even for odd keys that search rather than look up.
        for (const QString& mac :
            {u"00-0C-4"_s, u"7D-5"_s, u""_s, u"\r\n"_s, u"00-50-C2-7"_s, u"A8-BB-CC-00-00-00"_s}) {
            if (!ouiAnswers && !mac.startsWith(u"00-50-C2"))
                QCOMPARE(db.GetMacName(mac), QString());
            if (!iabAnswers && mac.startsWith(u"00-50-C2"))
                QCOMPARE(db.GetMacName(mac), QString());
        }
        // Lookups never log: every problem was told once, at load.
        QCOMPARE(m_capture.lines().size(), 1);
    }

    void missingFolder()
    {
        const MacVendors db(m_scratch.filePath(QStringLiteral("no such folder/")));
        QCOMPARE(m_capture.lines().size(), 8);
        for (const QString& line : std::as_const(m_capture.lines()))
            QVERIFY2(line.startsWith(QLatin1String("MacVendors cannot open ")), qPrintable(line));
        QCOMPARE(db.ouiRecords(), 0);
        QCOMPARE(db.iabRecords(), 0);
        QCOMPARE(db.GetMacName(FixtureOuiMac), QString());
        QCOMPARE(db.GetMacName(FixtureIabMac), QString());
        QCOMPARE(m_capture.lines().size(), 8);
    }

private:
    QString copyFixture()
    {
        QString dir = m_scratch.filePath(QStringLiteral("copy%1/Mac Database/").arg(++m_copies));
        if (!QDir().mkpath(dir))
            return {};
        for (const QString& name : {u"oui.idx"_s, u"oui.db"_s, u"iab.idx"_s, u"iab.db"_s, u"mam.idx"_s, u"mam.db"_s,
                 u"mas.idx"_s, u"mas.db"_s}) {
            if (!QFile::copy(fixtureFolder() + u'/' + name, dir + name))
                return {};
        }
        return dir;
    }

    LogCapture m_capture;
    QTemporaryDir m_scratch;
    int m_copies = 0;
};

KW_TEST_GUILESS_MAIN(TestMacDatabase)
#include "tst_macvendors.moc"
