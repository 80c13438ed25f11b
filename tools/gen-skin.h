#pragma once

// Shared parts of kw-gen-skin: the palette, the drawing primitives and the catalogue of every picture the
// window and the settings dialog load. Every painter works in logical pixels (15 twips each); the generator
// renders each picture once at 1x and once at 2x from the same drawing.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

namespace skin {

constexpr int kTwipsPerPixel = 15;
constexpr QSize twips(int width, int height)
{
    return {width / kTwipsPerPixel, height / kTwipsPerPixel};
}

// Sizes of the controls the pictures fill. The rows and lists are the window's fixed geometry; the rest is this
// skin's layout of the window (see Background.bmp).
namespace geometry {
constexpr QSize kWindow = twips(13395, 9600); // 893 × 640
constexpr QSize kRow = twips(3180, 825); // 212 × 55
constexpr QRect kIntruderViewport {
    585 / kTwipsPerPixel, 1755 / kTwipsPerPixel, 3180 / kTwipsPerPixel, 6855 / kTwipsPerPixel}; // 39, 117, 212 × 457
constexpr QRect kAllowedViewport {
    9630 / kTwipsPerPixel, 1755 / kTwipsPerPixel, 3180 / kTwipsPerPixel, 6855 / kTwipsPerPixel}; // 642, 117, 212 × 457
constexpr QSize kAck = twips(240, 240); // 16 × 16
constexpr QSize kButton = twips(1500, 480); // 100 × 32: remove, move, block
constexpr QSize kTab = twips(1440, 480); // 96 × 32: details, log, probe
constexpr QSize kRoundButton = twips(540, 540); // 36 × 36: settings, help
constexpr QSize kStatus = twips(2820, 540); // 188 × 36
constexpr QSize kNotice = twips(4500, 960); // 300 × 64
constexpr QSize kTabPicture = twips(240, 240); // 16 × 16, beside a settings tab's caption
} // namespace geometry

namespace ink {
inline const QColor kDeep {0x0B, 0x13, 0x20};
inline const QColor kTop {0x15, 0x24, 0x3A};
inline const QColor kLine {0x2A, 0x3D, 0x58};
inline const QColor kLineSoft {0x1C, 0x2B, 0x40};
inline const QColor kText {0xEA, 0xF0, 0xF7};
inline const QColor kTextLow {0x9D, 0xB1, 0xC8};
inline const QColor kTextDim {0x5E, 0x71, 0x88};
inline const QColor kSafe {0x4D, 0xA8, 0xFF};
inline const QColor kSafeLight {0x9C, 0xCF, 0xFF};
inline const QColor kOnline {0x3D, 0xD6, 0xA3};
inline const QColor kAlarm {0xFF, 0xA6, 0x2B};
inline const QColor kAlarmLight {0xFF, 0xD3, 0x8F};
inline const QColor kAlarmDeep {0xD9, 0x5F, 0x0E};
inline const QColor kAlarmDark {0x2E, 0x1D, 0x0E};
inline const QColor kSafeListBack {0x0E, 0x18, 0x26};
inline const QColor kIntruderListBack {0x14, 0x15, 0x1F};
} // namespace ink

// One picture of the skin: its file name without extension, its size in logical pixels and its painter.
struct Picture
{
    QString name;
    QSize size;
    std::function<void(QPainter&, const QSizeF&)> paint;
};

// Every .bmp of the Images folder, in the order the window loads them, then the settings tab pictures.
std::vector<Picture> pictures();
// Renders a picture at 1x or 2x as an opaque image of size × scale.
QImage render(const Picture& picture, int scale);

// Application and tray icons: kind 0 normal, 1 and 2 the two alternating alarm looks.
QImage renderIcon(int kind, int size);
const std::vector<int>& iconSizes();

// Drawing primitives (gen-skin-paint.cpp).
QFont font(qreal pixelSize, bool bold = false);
// Draws text centred in box, shrinking the font until it fits.
void fitText(QPainter& p, const QRectF& box, const QString& text, QFont f, const QColor& colour,
    Qt::Alignment align = Qt::AlignCenter);
void fillRounded(QPainter& p, const QRectF& r, qreal radius, const QBrush& brush);
void strokeRounded(QPainter& p, const QRectF& r, qreal radius, const QColor& colour, qreal width = 1.0,
    Qt::PenStyle style = Qt::SolidLine);
QLinearGradient vertical(const QRectF& r, const QColor& top, const QColor& bottom);
// Diagonal stripes over r, clipped to clip.
void hatch(QPainter& p, const QRectF& r, const QPainterPath& clip, const QColor& colour, qreal spacing, qreal width);

// The kestrel silhouette, hovering with spread wings, in the box (0,0)-(100,100).
QPainterPath kestrel();
// Glyphs, each drawn inside box in the given colour.
using Glyph = std::function<void(QPainter&, const QRectF& box, const QColor& colour)>;
void glyphCross(QPainter& p, const QRectF& box, const QColor& c);
void glyphArrowRight(QPainter& p, const QRectF& box, const QColor& c);
void glyphArrowLeft(QPainter& p, const QRectF& box, const QColor& c);
void glyphBlock(QPainter& p, const QRectF& box, const QColor& c);
void glyphInfo(QPainter& p, const QRectF& box, const QColor& c);
void glyphList(QPainter& p, const QRectF& box, const QColor& c);
void glyphProbe(QPainter& p, const QRectF& box, const QColor& c);
void glyphGear(QPainter& p, const QRectF& box, const QColor& c);
void glyphQuestion(QPainter& p, const QRectF& box, const QColor& c);
void glyphCheck(QPainter& p, const QRectF& box, const QColor& c, qreal width);
void glyphWarning(QPainter& p, const QRectF& box, const QColor& fill, const QColor& mark);
void glyphSliders(QPainter& p, const QRectF& box, const QColor& c);
void glyphBell(QPainter& p, const QRectF& box, const QColor& c);
void glyphEnvelope(QPainter& p, const QRectF& box, const QColor& c);
void glyphBug(QPainter& p, const QRectF& box, const QColor& c);

// Picture painters (gen-skin-rows.cpp, gen-skin-controls.cpp, gen-skin-window.cpp).
struct RowLook
{
    bool intruder = false;
    bool online = false;
    bool selected = false;
    bool flash = false;
};
void paintRow(QPainter& p, const QSizeF& s, RowLook look);
void paintListBackground(QPainter& p, const QSizeF& s, bool intruder);

enum class Tone { Neutral, Safe, Alarm };
void paintButton(QPainter& p, const QSizeF& s, const QString& text, const Glyph& glyph, bool glyphAfter, Tone tone,
    bool down, bool enabled = true);
void paintTab(QPainter& p, const QSizeF& s, const QString& text, const Glyph& glyph, bool selected, bool down);
void paintRoundButton(QPainter& p, const QSizeF& s, const Glyph& glyph, bool down);
void paintAck(QPainter& p, const QSizeF& s, bool down);
void paintStatus(QPainter& p, const QSizeF& s, int phase);
void paintNotice(QPainter& p, const QSizeF& s);
void paintWindow(QPainter& p, const QSizeF& s);
void paintTabPicture(QPainter& p, const QSizeF& s, const QColor& tile, const Glyph& glyph);

// Contact sheet of every picture and icon (gen-skin-sheet.cpp).
QImage contactSheet();

} // namespace skin
