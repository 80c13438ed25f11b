// The skin the build draws: every picture the window and the settings dialog load exists as a 24-bit .bmp of
// the size of the control it fills (sizes given here in twips, 15 to a pixel), with a @2x twin of twice the
// size; the row and lamp states differ in shape and light, not only in hue; light row text stays readable on
// every row; the icons exist at every size. The generator itself is run for its other modes.
#include "tests/support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

namespace {

constexpr int kTwips = 15;

// The controls' sizes in twips: the rows and lists as the window fixes them, the acknowledge button as the
// lists give it, the rest as the skin's layout of the window sets them.
struct Expected
{
    const char* name;
    int widthTwips;
    int heightTwips;
};

const Expected kPictures[] = {
    {"Background", 13395, 9600},
    {"IntruderBackground", 3180, 825},
    {"AllowedBackground", 3180, 825},
    {"AllowedOfflineNotSelected", 3180, 825},
    {"AllowedOfflineSelected", 3180, 825},
    {"AllowedOnlineNotSelected", 3180, 825},
    {"AllowedOnlineSelected", 3180, 825},
    {"IntruderOfflineNotSelected", 3180, 825},
    {"IntruderOfflineSelected", 3180, 825},
    {"IntruderOnlineNotSelected", 3180, 825},
    {"IntruderOnlineNotSelectedFlash", 3180, 825},
    {"IntruderOnlineSelected", 3180, 825},
    {"IntruderOnlineSelectedFlash", 3180, 825},
    {"RemoveIntruderNormal", 1500, 480},
    {"RemoveIntruderDown", 1500, 480},
    {"RemoveAllowedNormal", 1500, 480},
    {"RemoveAllowedDown", 1500, 480},
    {"MoveToIntruderNormal", 1500, 480},
    {"MoveToIntruderDown", 1500, 480},
    {"MoveToAllowedNormal", 1500, 480},
    {"MoveToAllowedDown", 1500, 480},
    {"DetailsSelectedNormal", 1440, 480},
    {"DetailsSelectedDown", 1440, 480},
    {"DetailsUnSelectedNormal", 1440, 480},
    {"DetailsUnSelectedDown", 1440, 480},
    {"LogSelectedNormal", 1440, 480},
    {"LogSelectedDown", 1440, 480},
    {"LogUnSelectedNormal", 1440, 480},
    {"LogUnSelectedDown", 1440, 480},
    {"ProbeSelectedNormal", 1440, 480},
    {"ProbeSelectedDown", 1440, 480},
    {"ProbeUnSelectedNormal", 1440, 480},
    {"ProbeUnSelectedDown", 1440, 480},
    {"BlockEnabledNormal", 1500, 480},
    {"BlockEnabledDown", 1500, 480},
    {"BlockDisabledNormal", 1500, 480},
    {"BlockDisabledDown", 1500, 480},
    {"SettingsNormal", 540, 540},
    {"SettingsDown", 540, 540},
    {"HelpNormal", 540, 540},
    {"HelpDown", 540, 540},
    {"AckNormal", 240, 240},
    {"AckDown", 240, 240},
    {"StatusNormal", 2820, 540},
    {"StatusAlarm1", 2820, 540},
    {"StatusAlarm2", 2820, 540},
    {"Button", 4500, 960},
    {"General", 240, 240},
    {"Alerts", 240, 240},
    {"Email", 240, 240},
    {"Debug", 240, 240},
};

const int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
const char* const kIcons[] = {"kestrelwatch", "kestrelwatch-alarm", "kestrelwatch-alarm2"};

QString shareDir()
{
    return qEnvironmentVariable("KESTRELWATCH_SHARE");
}

QString generator()
{
    return TestHome::binDir() + QStringLiteral("/kw-gen-skin");
}

QImage load(const QString& name)
{
    return QImage(shareDir() + QStringLiteral("/Images/") + name + QStringLiteral(".bmp"));
}

// Relative luminance (WCAG) of one colour.
double luminance(QRgb c)
{
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

// Share of the pixels in area whose grey level differs by more than 40 of 255 between two pictures.
double greyDifference(const QImage& a, const QImage& b, const QRect& area)
{
    const QImage ga = a.convertToFormat(QImage::Format_Grayscale8);
    const QImage gb = b.convertToFormat(QImage::Format_Grayscale8);
    int differing = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (std::abs(qGray(ga.pixel(x, y)) - qGray(gb.pixel(x, y))) > 40)
                ++differing;
        }
    }
    return double(differing) / (area.width() * area.height());
}

QStringList run(const QStringList& args, int* exitCode)
{
    QProcess p;
    p.start(generator(), args);
    if (!p.waitForFinished(60000)) {
        *exitCode = -1;
        return {};
    }
    *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestGenSkin final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void pictureSizes_data();
    void pictureSizes();
    void imagesFolderHoldsExactlyTheSkin();
    void statesDifferWithoutColour_data();
    void statesDifferWithoutColour();
    void rowTextStaysReadable_data();
    void rowTextStaysReadable();
    void icons_data();
    void icons();
    void listMatchesWhatIsWritten();
    void drawingIsRepeatable();
    void contactSheet();
    void badArguments();
};

void TestGenSkin::initTestCase()
{
    pinTestEnvironment();
    QVERIFY2(QFileInfo(shareDir() + QStringLiteral("/Images")).isDir(), qPrintable(shareDir()));
}

void TestGenSkin::pictureSizes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    for (const Expected& e : kPictures) {
        QVERIFY(e.widthTwips % kTwips == 0 && e.heightTwips % kTwips == 0);
        QTest::newRow(e.name) << QString::fromLatin1(e.name) << QSize(e.widthTwips / kTwips, e.heightTwips / kTwips);
    }
}

void TestGenSkin::pictureSizes()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    for (int scale : {1, 2}) {
        const QString file = shareDir() + QStringLiteral("/Images/") + name
            + (scale == 2 ? QStringLiteral("@2x.bmp") : QStringLiteral(".bmp"));
        QFile f(file);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(file));
        const QByteArray header = f.read(30);
        QVERIFY2(header.startsWith("BM"), qPrintable(file));
        QCOMPARE(int(quint8(header[28]) | quint8(header[29]) << 8), 24); // bits per pixel: opaque, no palette
        const QImage image(file);
        QVERIFY2(!image.isNull(), qPrintable(file));
        QCOMPARE(image.size(), size * scale);
    }
}

void TestGenSkin::imagesFolderHoldsExactlyTheSkin()
{
    QSet<QString> expected;
    for (const Expected& e : kPictures) {
        expected << QString::fromLatin1(e.name) + QStringLiteral(".bmp");
        expected << QString::fromLatin1(e.name) + QStringLiteral("@2x.bmp");
    }
    const QStringList present = QDir(shareDir() + QStringLiteral("/Images")).entryList(QDir::Files);
    const QSet<QString> found(present.begin(), present.end());
    QCOMPARE(found - expected, QSet<QString>());
    QCOMPARE(expected - found, QSet<QString>());
}

void TestGenSkin::statesDifferWithoutColour_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<QRect>("area");
    QTest::addColumn<double>("least");
    // Online and offline differ by the status glyph left of the text (the first 600 twips of a row): at least
    // the area of a disc 11 px across changes there.
    const QRect glyph(0, 0, 600 / kTwips, 825 / kTwips);
    const double disc = 3.14159 * 5.5 * 5.5 / (glyph.width() * glyph.height());
    for (const char* list : {"Allowed", "Intruder"}) {
        for (const char* selection : {"NotSelected", "Selected"}) {
            QTest::addRow("%sOffline%s/Online", list, selection)
                << QStringLiteral("%1Offline%2").arg(QLatin1String(list), QLatin1String(selection))
                << QStringLiteral("%1Online%2").arg(QLatin1String(list), QLatin1String(selection)) << glyph << disc;
        }
    }
    const char* const pairs[][2] = {
        {"AllowedOfflineNotSelected", "AllowedOfflineSelected"},
        {"AllowedOnlineNotSelected", "AllowedOnlineSelected"},
        {"IntruderOfflineNotSelected", "IntruderOfflineSelected"},
        {"IntruderOnlineNotSelected", "IntruderOnlineSelected"},
        {"IntruderOnlineNotSelected", "IntruderOnlineNotSelectedFlash"},
        {"IntruderOnlineSelected", "IntruderOnlineSelectedFlash"},
        {"IntruderOnlineNotSelectedFlash", "IntruderOnlineSelectedFlash"},
        {"StatusNormal", "StatusAlarm1"},
        {"StatusAlarm1", "StatusAlarm2"},
        {"DetailsSelectedNormal", "DetailsUnSelectedNormal"},
        {"DetailsSelectedNormal", "DetailsSelectedDown"},
        {"RemoveIntruderNormal", "RemoveIntruderDown"},
        {"BlockEnabledNormal", "BlockDisabledNormal"},
        {"AckNormal", "AckDown"},
    };
    for (const auto& pair : pairs)
        QTest::addRow("%s/%s", pair[0], pair[1])
            << QString::fromLatin1(pair[0]) << QString::fromLatin1(pair[1]) << QRect() << 0.02;
}

void TestGenSkin::statesDifferWithoutColour()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(QRect, area);
    QFETCH(double, least);
    const QImage first = load(a);
    const QImage second = load(b);
    QCOMPARE(first.size(), second.size());
    // Seen in grey, a clear share of the picture (or of the area that tells the states apart) changes.
    const double share = greyDifference(first, second, area.isNull() ? first.rect() : area);
    QVERIFY2(share >= least, qPrintable(QStringLiteral("only %1% differ").arg(share * 100, 0, 'f', 2)));
}

void TestGenSkin::rowTextStaysReadable_data()
{
    QTest::addColumn<QString>("name");
    for (const Expected& e : kPictures) {
        const QString name = QString::fromLatin1(e.name);
        if (e.heightTwips == 825)
            QTest::newRow(e.name) << name;
    }
}

void TestGenSkin::rowTextStaysReadable()
{
    QFETCH(QString, name);
    // The window writes the two text lines at left 600 twips, top 165 and 405, 2480 wide and 255 high, in light
    // text (#EAF0F7 and #9DB1C8): every pixel behind them must leave a contrast of 4.5:1 for the dimmer one.
    const QImage row = load(name);
    const QRect textArea(600 / kTwips, 165 / kTwips, 2480 / kTwips, (405 + 255 - 165) / kTwips);
    const double text = luminance(qRgb(0x9D, 0xB1, 0xC8));
    double worst = 100.0;
    for (int y = textArea.top(); y <= textArea.bottom(); ++y) {
        for (int x = textArea.left(); x <= textArea.right(); ++x)
            worst = qMin(worst, (text + 0.05) / (luminance(row.pixel(x, y)) + 0.05));
    }
    QVERIFY2(worst >= 4.5, qPrintable(QStringLiteral("contrast %1:1").arg(worst, 0, 'f', 2)));
}

void TestGenSkin::icons_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("size");
    for (const char* icon : kIcons) {
        QTest::addRow("%s", icon) << QStringLiteral("icons/%1.png").arg(QLatin1String(icon)) << 256;
        for (int size : kIconSizes) {
            QTest::addRow("%s-%d", icon, size)
                << QStringLiteral("icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(QLatin1String(icon)) << size;
        }
    }
}

void TestGenSkin::icons()
{
    QFETCH(QString, file);
    QFETCH(int, size);
    const QImage icon(shareDir() + QLatin1Char('/') + file);
    QVERIFY2(!icon.isNull(), qPrintable(file));
    QCOMPARE(icon.size(), QSize(size, size));
    QVERIFY(icon.hasAlphaChannel());
    // Not a blank square: the picture covers most of the icon and the corners stay see-through at large sizes.
    int opaque = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x)
            opaque += qAlpha(icon.pixel(x, y)) > 200 ? 1 : 0;
    }
    QVERIFY(opaque > size * size / 2);
    if (size >= 32)
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
}

void TestGenSkin::listMatchesWhatIsWritten()
{
    int exitCode = 0;
    const QStringList listed = run({QStringLiteral("--list")}, &exitCode);
    QCOMPARE(exitCode, 0);
    QCOMPARE(listed.size(), int(std::size(kPictures)) * 2 + int(std::size(kIcons)) * (1 + int(std::size(kIconSizes))));
    for (const QString& file : listed)
        QVERIFY2(QFileInfo::exists(shareDir() + QLatin1Char('/') + file), qPrintable(file));
}

void TestGenSkin::drawingIsRepeatable()
{
    // A second run draws the same bytes: the installed skin does not depend on when or where it was built.
    QTemporaryDir out;
    int exitCode = 0;
    run({out.path()}, &exitCode);
    QCOMPARE(exitCode, 0);
    for (const char* name : {"Background.bmp", "IntruderOnlineSelectedFlash@2x.bmp", "StatusAlarm1.bmp"}) {
        QFile mine(out.filePath(QStringLiteral("Images/") + QLatin1String(name)));
        QFile built(shareDir() + QStringLiteral("/Images/") + QLatin1String(name));
        QVERIFY(mine.open(QIODevice::ReadOnly) && built.open(QIODevice::ReadOnly));
        QVERIFY2(mine.readAll() == built.readAll(), name);
    }
}

void TestGenSkin::contactSheet()
{
    QTemporaryDir out;
    const QString file = out.filePath(QStringLiteral("sheet.png"));
    int exitCode = 0;
    run({QStringLiteral("--contact-sheet"), file}, &exitCode);
    QCOMPARE(exitCode, 0);
    const QImage sheet(file);
    QVERIFY(!sheet.isNull());
    QVERIFY(sheet.width() > 2 * 893 && sheet.height() > 640);
}

void TestGenSkin::badArguments()
{
    int exitCode = 0;
    run({}, &exitCode);
    QCOMPARE(exitCode, 2);
    run({QStringLiteral("--bogus")}, &exitCode);
    QCOMPARE(exitCode, 2);
    // A folder that cannot be made (under a plain file) fails the run instead of leaving half a skin unnoticed.
    QTemporaryDir out;
    QFile plain(out.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    run({plain.fileName()}, &exitCode);
    QCOMPARE(exitCode, 1);
}

QTEST_GUILESS_MAIN(TestGenSkin)
#include "tst_genskin.moc"
