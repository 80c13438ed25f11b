// The skin the build draws (kw-gen-skin): every file it lists exists; every picture is an opaque 24-bit .bmp
// with a @2x twin of exactly twice its size, and the folder holds nothing else; the row, lamp and button
// states differ in shape and light, not only in hue; the light row text stays readable on every row; the
// icons are see-through squares of their size; a second run draws the same bytes; bad arguments fail.
#include "Process.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace kwtest;

namespace {

QString share()
{
    return qEnvironmentVariable("KESTRELWATCH_SHARE");
}

QImage picture(const QString& name)
{
    return QImage(share() + QStringLiteral("/Images/") + name + QStringLiteral(".bmp"));
}

Run generator(const QStringList& args)
{
    return run(binary(QStringLiteral("kw-gen-skin")), args);
}

QStringList listed()
{
    return generator({QStringLiteral("--list")}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Relative luminance (WCAG) of one colour.
double luminance(QRgb c)
{
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

} // namespace

class TestGenSkin final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { pinTestEnvironment(); }

    void picturesAreOpaqueWithTwins()
    {
        const QStringList files = listed();
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
            const QString name = file.chopped(4);
            QVERIFY2(pictures.contains(name + QStringLiteral("@2x.bmp")), qPrintable(file));
            QCOMPARE(picture(name + QStringLiteral("@2x")).size(), picture(name).size() * 2);
        }
    }

    void statesDifferWithoutColour_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("glyphWidth"); // 0: the whole picture
        QTest::addColumn<double>("least");
        // Online and offline rows differ by the status glyph left of the text (40 px): a disc 11 px across.
        for (const char* list : {"Allowed", "Intruder"})
            for (const char* selection : {"NotSelected", "Selected"})
                QTest::addRow("%sOffline%s/Online", list, selection)
                    << QStringLiteral("%1Offline%2").arg(QLatin1String(list), QLatin1String(selection))
                    << QStringLiteral("%1Online%2").arg(QLatin1String(list), QLatin1String(selection)) << 40
                    << 3.14159 * 5.5 * 5.5 / (40 * 55);
        const char* const pairs[][2] = {{"AllowedOnlineNotSelected", "AllowedOnlineSelected"},
            {"IntruderOnlineNotSelected", "IntruderOnlineNotSelectedFlash"},
            {"IntruderOnlineSelected", "IntruderOnlineSelectedFlash"}, {"StatusNormal", "StatusAlarm1"},
            {"StatusAlarm1", "StatusAlarm2"}, {"DetailsSelectedNormal", "DetailsUnSelectedNormal"},
            {"DetailsSelectedNormal", "DetailsSelectedDown"}, {"BlockEnabledNormal", "BlockDisabledNormal"},
            {"AckNormal", "AckDown"}};
        for (const auto& pair : pairs)
            QTest::addRow("%s/%s", pair[0], pair[1])
                << QString::fromLatin1(pair[0]) << QString::fromLatin1(pair[1]) << 0 << 0.02;
    }

    void statesDifferWithoutColour()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, glyphWidth);
        QFETCH(double, least);
        const QImage first = picture(a).convertToFormat(QImage::Format_Grayscale8);
        const QImage second = picture(b).convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(first.size(), second.size());
        const QRect area = glyphWidth ? QRect(0, 0, glyphWidth, first.height()) : first.rect();
        int differing = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                differing += std::abs(qGray(first.pixel(x, y)) - qGray(second.pixel(x, y))) > 40;
        const double share = double(differing) / (area.width() * area.height());
        QVERIFY2(share >= least, qPrintable(QStringLiteral("only %1% differ").arg(share * 100, 0, 'f', 2)));
    }

    void rowTextStaysReadable()
    {
        // The window writes two lines of light text (#9DB1C8 the dimmer) from 40 px left, 11 px down, 165 px
        // wide and 33 px high on every row picture (55 px high): a contrast of 4.5:1 everywhere behind them.
        const double text = luminance(qRgb(0x9D, 0xB1, 0xC8));
        int rows = 0;
        for (const QString& file :
            QDir(share() + QStringLiteral("/Images"))
                .entryList({QStringLiteral("*line*Selected*.bmp"), QStringLiteral("*Background.bmp")})) {
            const QImage row(share() + QStringLiteral("/Images/") + file);
            if (row.height() != 55)
                continue;
            ++rows;
            double worst = 100.0;
            for (int y = 11; y < 44; ++y)
                for (int x = 40; x < 205; ++x)
                    worst = qMin(worst, (text + 0.05) / (luminance(row.pixel(x, y)) + 0.05));
            QVERIFY2(worst >= 4.5, qPrintable(file + QStringLiteral(": contrast %1:1").arg(worst, 0, 'f', 2)));
        }
        QCOMPARE(rows, 12);
    }

    void iconsAreSeeThroughSquares()
    {
        int icons = 0;
        for (const QString& file : listed().filter(QStringLiteral(".png"))) {
            const QImage icon(share() + QLatin1Char('/') + file);
            QVERIFY2(!icon.isNull() && icon.hasAlphaChannel() && icon.width() == icon.height(), qPrintable(file));
            const int size = icon.width();
            if (file.contains(QStringLiteral("hicolor")))
                QVERIFY2(file.contains(QStringLiteral("/%1x%1/").arg(size)), qPrintable(file));
            int opaque = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    opaque += qAlpha(icon.pixel(x, y)) > 200;
            QVERIFY2(opaque > size * size / 2, qPrintable(file)); // not a blank square
            if (size >= 32)
                QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
            ++icons;
        }
        QCOMPARE(icons, 3 * 9);
    }

    void drawingIsRepeatableAndBadArgumentsFail()
    {
        // A second run draws the same bytes: the installed skin does not depend on when or where it was built.
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
