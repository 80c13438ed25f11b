// The skin the build draws (kw-gen-skin): every listed file exists; every picture is an opaque 24-bit .bmp with
// a @2x twin of twice its size; a second run draws the same bytes; bad arguments fail.
#include "Process.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace kwtest;

namespace {

QString share()
{
    return qEnvironmentVariable("KESTRELWATCH_SHARE");
}

Run generator(const QStringList& args)
{
    return run(binary(QStringLiteral("kw-gen-skin")), args);
}

} // namespace

class TestGenSkin final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void picturesAreOpaqueWithTwins()
    {
        const QStringList files = generator({"--list"}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(files.size() > 100);
        QStringList pictures;
        for (const QString& file : files) {
            QVERIFY2(QFileInfo::exists(share() + QLatin1Char('/') + file), qPrintable(file));
            if (file.startsWith(QStringLiteral("Images/")))
                pictures << file.mid(7);
        }
        QCOMPARE(QDir(share() + QStringLiteral("/Images")).entryList(QDir::Files, QDir::Name).size(), pictures.size());
        for (const QString& file : pictures) {
            QFile f(share() + QStringLiteral("/Images/") + file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray header = f.read(30);
            QVERIFY2(header.startsWith("BM") && (quint8(header[28]) | quint8(header[29]) << 8) == 24, qPrintable(file));
            if (file.endsWith(QStringLiteral("@2x.bmp")))
                continue;
            const QString twin = file.chopped(4) + QStringLiteral("@2x.bmp");
            QVERIFY2(pictures.contains(twin), qPrintable(file));
            QCOMPARE(QImage(share() + "/Images/" + twin).size(), QImage(f.fileName()).size() * 2);
        }
    }

    void drawingIsRepeatableAndBadArgumentsFail()
    {
        QTemporaryDir out;
        QCOMPARE(generator({out.path()}).code, 0);
        for (const char* name : {"Background.bmp", "IntruderOnlineSelectedFlash@2x.bmp", "StatusAlarm1.bmp"}) {
            QFile mine(out.filePath(QStringLiteral("Images/") + QLatin1String(name)));
            QFile built(share() + QStringLiteral("/Images/") + QLatin1String(name));
            QVERIFY(mine.open(QIODevice::ReadOnly) && built.open(QIODevice::ReadOnly));
            QVERIFY2(mine.readAll() == built.readAll(), name);
        }
        QCOMPARE(generator({}).code, 2);
        QCOMPARE(generator({QStringLiteral("--bogus")}).code, 2);
        // A folder that cannot be made (under a plain file) fails instead of leaving half a skin unnoticed.
        QFile plain(out.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        QCOMPARE(generator({plain.fileName()}).code, 1);
    }
};

KW_TEST_GUILESS_MAIN(TestGenSkin)
#include "tst_genskin.moc"
