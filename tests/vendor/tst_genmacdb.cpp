#include "LogCapture.h"
#include "TestHome.h"
#include "vendor/CMacDatabase.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {
struct Run
{
    int exitCode = -1;
    QString errors;
};

QString listingFolder()
{
    return TestHome::sourceDir() + QStringLiteral("/tests/data/macdb-ieee/");
}

QByteArray readBytes(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

Run runGenerator(const QString& ouiTxt, const QString& iabTxt, const QString& outDir)
{
    QProcess p;
    p.start(TestHome::binDir() + QStringLiteral("/kw-gen-macdb"), {ouiTxt, iabTxt, outDir});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

class TestGenMacDb : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void writesVendorFiles();
    void readsListingsWithLfLineEnds();
    void generatedFilesServeLookups();
    void missingListingsGivePlaceholderFiles();
    void unwritableFolderFails();

private:
    QString generateFixture();

    QTemporaryDir m_scratch;
    LogCapture m_capture;
    int m_runs = 0;
};

void TestGenMacDb::initTestCase()
{
    pinTestEnvironment();
    QVERIFY(m_scratch.isValid());
    QVERIFY2(QFile::exists(TestHome::binDir() + QStringLiteral("/kw-gen-macdb")), "kw-gen-macdb is not built");
}

QString TestGenMacDb::generateFixture()
{
    const QString out = m_scratch.filePath(QStringLiteral("run%1").arg(++m_runs));
    QDir().mkpath(out);
    const Run run =
        runGenerator(listingFolder() + QStringLiteral("oui.txt"), listingFolder() + QStringLiteral("iab.txt"), out);
    if (run.exitCode != 0)
        return {};
    return out + u'/';
}

void TestGenMacDb::writesVendorFiles()
{
    const QString out = m_scratch.filePath(QStringLiteral("exact"));
    QDir().mkpath(out);
    const Run run =
        runGenerator(listingFolder() + QStringLiteral("oui.txt"), listingFolder() + QStringLiteral("iab.txt"), out);
    QCOMPARE(run.exitCode, 0);
    // The one IAB entry whose range is not a whole block is skipped, and said so.
    QVERIFY2(run.errors.contains(QLatin1String("123000-124FFF")), qPrintable(run.errors));

    // Keys ordered, a repeated OUI kept with its first holder, an OUI without a name left out, lower-case hex
    // upper-cased, names trimmed and kept as UTF-8, every line ended by CR LF, a placeholder in front.
    QCOMPARE(readBytes(out + QStringLiteral("/oui.idx")),
        QByteArray("XXXXXX\r\n00000C\r\n002272\r\n0050C2\r\n080030\r\n203233\r\nA4B1C2\r\n"));
    QCOMPARE(readBytes(out + QStringLiteral("/oui.db")),
        QStringLiteral("\r\nCisco Systems, Inc\r\nAmerican Micro-Fuel Device Corp.\r\nIEEE REGISTRATION "
                       "AUTHORITY\r\nNETWORK RESEARCH CORPORATION\r\nSHENZHEN BILIAN ELECTRONIC "
                       "CO.，LTD\r\nPadded Name Ltd\r\n")
            .toUtf8());
    // Only blocks under 00-50-C2; the key is the range's first three digits; a repeated block keeps its first.
    QCOMPARE(readBytes(out + QStringLiteral("/iab.idx")), QByteArray("XXX\r\n000\r\n0A1\r\n7D5\r\nCF9\r\n"));
    QCOMPARE(readBytes(out + QStringLiteral("/iab.db")),
        QStringLiteral("\r\nÜmlaut Technik GmbH\r\nZero Block Ltd\r\nDEUTA-WERKE GmbH\r\nElbit Systems of "
                       "America\r\n")
            .toUtf8());
}

void TestGenMacDb::readsListingsWithLfLineEnds()
{
    const QString lf = m_scratch.filePath(QStringLiteral("lf-listings/"));
    QVERIFY(QDir().mkpath(lf));
    for (const QString& name : {u"oui.txt"_s, u"iab.txt"_s}) {
        QFile f(lf + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(readBytes(listingFolder() + name).replace("\r\n", "\n"));
    }
    const QString out = m_scratch.filePath(QStringLiteral("lf-out"));
    QDir().mkpath(out);
    QCOMPARE(runGenerator(lf + QStringLiteral("oui.txt"), lf + QStringLiteral("iab.txt"), out).exitCode, 0);

    const QString reference = generateFixture();
    QVERIFY(!reference.isEmpty());
    for (const QString& name : {u"oui.idx"_s, u"oui.db"_s, u"iab.idx"_s, u"iab.db"_s})
        QCOMPARE(readBytes(out + u'/' + name), readBytes(reference + name));
}

void TestGenMacDb::generatedFilesServeLookups()
{
    const QString out = generateFixture();
    QVERIFY(!out.isEmpty());
    m_capture.clear();
    const CMacDatabase db(out);
    QCOMPARE(m_capture.lines(), QStringList());
    QCOMPARE(db.GetMacName(QStringLiteral("08-00-30-01-02-03")), QStringLiteral("NETWORK RESEARCH CORPORATION"));
    QCOMPARE(db.GetMacName(QStringLiteral("A4-B1-C2-01-02-03")), QStringLiteral("Padded Name Ltd"));
    QCOMPARE(db.GetMacName(QStringLiteral("00-50-C2-0A-1F-FF")), QStringLiteral("Zero Block Ltd"));
    QCOMPARE(db.GetMacName(QStringLiteral("00-50-C2-00-00-00")), QStringLiteral("Ümlaut Technik GmbH"));
    QCOMPARE(db.GetMacName(QStringLiteral("00-50-C2-12-30-00")), QString());
    QCOMPARE(db.GetMacName(QStringLiteral("12-34-56-00-00-00")), QString());
    QCOMPARE(db.GetMacName(QStringLiteral("40-D8-55-11-C0-00")), QString());
}

void TestGenMacDb::missingListingsGivePlaceholderFiles()
{
    const QString out = m_scratch.filePath(QStringLiteral("no-listings/"));
    QDir().mkpath(out);
    const Run run = runGenerator(m_scratch.filePath(QStringLiteral("absent/oui.txt")),
        m_scratch.filePath(QStringLiteral("absent/iab.txt")), out);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.errors.count(QLatin1String("warning")), 2);
    QCOMPARE(readBytes(out + QStringLiteral("oui.idx")), QByteArray("XXXXXX\r\n"));
    QCOMPARE(readBytes(out + QStringLiteral("oui.db")), QByteArray("\r\n"));
    QCOMPARE(readBytes(out + QStringLiteral("iab.idx")), QByteArray("XXX\r\n"));
    QCOMPARE(readBytes(out + QStringLiteral("iab.db")), QByteArray("\r\n"));

    // The program starts quietly with such files and knows no manufacturer.
    m_capture.clear();
    const CMacDatabase db(out);
    QCOMPARE(m_capture.lines(), QStringList());
    QCOMPARE(db.GetMacName(QStringLiteral("00-00-0C-01-02-03")), QString());
    QCOMPARE(db.GetMacName(QStringLiteral("00-50-C2-7D-50-00")), QString());
}

void TestGenMacDb::unwritableFolderFails()
{
    const QString notAFolder = m_scratch.filePath(QStringLiteral("plain-file"));
    QFile f(notAFolder);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const Run run = runGenerator(
        listingFolder() + QStringLiteral("oui.txt"), listingFolder() + QStringLiteral("iab.txt"), notAFolder);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errors.contains(QLatin1String("cannot write")), qPrintable(run.errors));
}

KW_TEST_GUILESS_MAIN(TestGenMacDb)
#include "tst_genmacdb.moc"
