#include "LogCapture.h"
#include "Process.h"
#include "TestHome.h"
#include "vendor/MacVendors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {
QString listingFolder()
{
    return TestHome::sourceDir() + QStringLiteral("/tests/data/macdb-ieee/");
}

QByteArray readBytes(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const QStringList kListings {"oui.txt", "iab.txt", "mam.txt", "oui36.txt"};
const QStringList kVendorFiles {"oui.idx", "oui.db", "iab.idx", "iab.db", "mam.idx", "mam.db", "mas.idx", "mas.db"};

// The generator on the four listings of a folder.
kwtest::Run runGenerator(const QString& listings, const QString& outDir)
{
    QStringList args;
    for (const QString& name : kListings)
        args << listings + name;
    return kwtest::run(kwtest::binary(QStringLiteral("kw-gen-macdb")), args << outDir);
}
} // namespace

class TestGenMacDb : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase()
    {
        pinTestEnvironment();
        QVERIFY(m_scratch.isValid());
    }

    void writesVendorFiles()
    {
        const QString out = m_scratch.filePath(QStringLiteral("exact"));
        QDir().mkpath(out);
        const kwtest::Run run = runGenerator(listingFolder(), out);
        QCOMPARE(run.code, 0);
        // The IAB and MA-M entries whose ranges are not whole blocks are skipped, and said so.
        QVERIFY2(run.err.contains(QLatin1String("123000-124FFF")), qPrintable(run.err));
        QVERIFY2(run.err.contains(QLatin1String("D00000-D0FFFF")), qPrintable(run.err));

        // Keys ordered, a repeated OUI kept with its first holder, an OUI without a name left out, lower-case hex
        // upper-cased, names trimmed and kept as UTF-8, every line ended by CR LF, a placeholder in front.
        QCOMPARE(readBytes(out + QStringLiteral("/oui.idx")),
            QByteArray("XXXXXX\r\n00000C\r\n002272\r\n0050C2\r\n080030\r\n203233\r\nA4B1C2\r\n"));
        QCOMPARE(readBytes(out + QStringLiteral("/oui.db")),
            QStringLiteral("\r\nCisco Systems, Inc\r\nAmerican Micro-Fuel Device Corp.\r\nIEEE REGISTRATION "
                           "AUTHORITY\r\nNETWORK RESEARCH CORPORATION\r\nSHENZHEN BILIAN ELECTRONIC "
                           "CO.，LTD\r\nPadded Name Ltd\r\n")
                .toUtf8());
        // Blocks under 00-50-C2, keyed by the range's first three digits; a repeated block keeps its first.
        QCOMPARE(readBytes(out + QStringLiteral("/iab.idx")), QByteArray("XXX\r\n000\r\n0A1\r\n7D5\r\nCF9\r\n"));
        QCOMPARE(readBytes(out + QStringLiteral("/iab.db")),
            QStringLiteral("\r\nÜmlaut Technik GmbH\r\nZero Block Ltd\r\nDEUTA-WERKE GmbH\r\nElbit Systems of "
                           "America\r\n")
                .toUtf8());
        // 28-bit and 36-bit blocks keyed by OUI and range digits (upper-cased); an IAB block under another OUI
        // is a 36-bit block like those of MA-S.
        // Their names are read back in generatedFilesServeLookups.
        QCOMPARE(
            readBytes(out + QStringLiteral("/mam.idx")), QByteArray("XXXXXXX\r\n208593B\r\n741AE09\r\nB0C5CAF\r\n"));
        QCOMPARE(readBytes(out + QStringLiteral("/mas.idx")),
            QByteArray("XXXXXXXXX\r\n40D85511C\r\n70B3D5719\r\n70B3D5F2F\r\n"));
    }

    void readsListingsWithLfLineEnds()
    {
        const QString lf = m_scratch.filePath(QStringLiteral("lf-listings/"));
        QVERIFY(QDir().mkpath(lf));
        for (const QString& name : kListings) {
            QFile f(lf + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(readBytes(listingFolder() + name).replace("\r\n", "\n"));
        }
        const QString out = m_scratch.filePath(QStringLiteral("lf-out"));
        QDir().mkpath(out);
        QCOMPARE(runGenerator(lf, out).code, 0);

        const QString reference = m_scratch.filePath(QStringLiteral("crlf-out/"));
        QDir().mkpath(reference);
        QCOMPARE(runGenerator(listingFolder(), reference).code, 0);
        for (const QString& name : kVendorFiles)
            QCOMPARE(readBytes(out + u'/' + name), readBytes(reference + name));
    }

    // The generated files serve lookups, and kestrelwatch --vendor, reading the installation's files through the
    // lookup that the window and the mails use, agrees.
    void generatedFilesServeLookups()
    {
        const QString share = m_scratch.filePath(QStringLiteral("share/"));
        QVERIFY(QDir().mkpath(share + QStringLiteral("Mac Database")));
        QCOMPARE(runGenerator(listingFolder(), share + QStringLiteral("Mac Database")).code, 0);
        m_capture.clear();
        const MacVendors db(share + QStringLiteral("Mac Database"));
        QCOMPARE(m_capture.lines(), QStringList());
        qputenv("KESTRELWATCH_SHARE", share.toUtf8());
        for (const auto& [mac, name] : {std::pair {u"08-00-30-01-02-03"_s, u"NETWORK RESEARCH CORPORATION"_s},
                 {u"00-50-C2-00-00-00"_s, u"Ümlaut Technik GmbH"_s}, {u"00-50-C2-12-30-00"_s, QString()},
                 {u"10-34-56-00-00-00"_s, QString()}, {u"20-85-93-B1-22-33"_s, u"IOG Products LLC"_s},
                 {u"40-D8-55-11-C2-33"_s, u"Other OUI Block GmbH"_s}, {u"70-B3-D5-F2-F0-01"_s, u"TELEPLATFORMS"_s},
                 {u"02-00-30-01-02-03"_s, u"Private address (randomised by the device)"_s}}) {
            QCOMPARE(db.GetMacName(mac), name);
            const kwtest::Run r = kwtest::run(kwtest::binary(QStringLiteral("kestrelwatch")), {"--vendor", mac});
            QCOMPARE(r.out + QString::number(r.code), name.isEmpty() ? u"1"_s : name + u"\n0"_s);
        }
    }

    void missingListingsGivePlaceholderFiles()
    {
        const QString out = m_scratch.filePath(QStringLiteral("no-listings/"));
        QDir().mkpath(out);
        const kwtest::Run run = runGenerator(m_scratch.filePath(QStringLiteral("absent/")), out);
        QCOMPARE(run.code, 0);
        QCOMPARE(run.err.count(QLatin1String("warning")), 4);
        for (const auto& [base, keyLength] : {std::pair {"oui", 6}, {"iab", 3}, {"mam", 7}, {"mas", 9}}) {
            QCOMPARE(readBytes(out + QLatin1String(base) + ".idx"), QByteArray(keyLength, 'X') + "\r\n");
            QCOMPARE(readBytes(out + QLatin1String(base) + ".db"), QByteArray("\r\n"));
        }

        // The program starts quietly with such files and knows no manufacturer.
        m_capture.clear();
        const MacVendors db(out);
        QCOMPARE(m_capture.lines(), QStringList());
        QCOMPARE(db.GetMacName(QStringLiteral("00-00-0C-01-02-03")), QString());
        QCOMPARE(db.GetMacName(QStringLiteral("00-50-C2-7D-50-00")), QString());
    }

    void unwritableFolderFails()
    {
        const QString notAFolder = m_scratch.filePath(QStringLiteral("plain-file"));
        QFile f(notAFolder);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const kwtest::Run run = runGenerator(listingFolder(), notAFolder);
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QLatin1String("cannot write")), qPrintable(run.err));
    }

private:
    QTemporaryDir m_scratch;
    LogCapture m_capture;
};

KW_TEST_GUILESS_MAIN(TestGenMacDb)
#include "tst_genmacdb.moc"
