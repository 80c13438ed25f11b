// The window background, the settings tab pictures and the application and tray icons.
//
// Layout of the window this background is drawn for (logical pixels, 15 twips each; 893 × 640):
//   header 0..64: the kestrel mark and the name at the left, the status lamp (188 × 36) centred at top 14,
//                 settings and help (36 × 36) at the right, left 793 and 841, top 14;
//   list captions at top 86..112 above each list;
//   intruder list viewport at left 39, top 117, safe list at left 642, top 117, each 212 × 457, their scroll
//                 bars just right of them;
//   below the lists, top 588: remove buttons (100 × 32) under each list, the block button beside the
//                 intruder remove button, the three panel tabs (96 × 32) in the middle, the move buttons
//                 (100 × 32) above the tabs' row in the middle column.
#include "gen-skin.h"

namespace skin {

namespace {

void caption(QPainter& p, const QRect& viewport, const QString& text, const QColor& accent)
{
    const QRectF line(viewport.left(), 86, viewport.width(), 24);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawRoundedRect(QRectF(line.left(), line.top() + 6, 4, 13), 2, 2);
    p.restore();
    QFont f = font(13, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    fitText(p, line.adjusted(12, 0, 0, 0), text, f, ink::kText, Qt::AlignLeft | Qt::AlignVCenter);
    QColor rule = accent;
    rule.setAlphaF(0.45);
    p.fillRect(QRectF(viewport.left(), 112, viewport.width(), 1), rule);
}

void listFrame(QPainter& p, const QRect& viewport, const QColor& back)
{
    const QRectF frame = QRectF(viewport).adjusted(-2, -2, 2, 2);
    fillRounded(p, frame, 5, back);
    strokeRounded(p, frame, 5, ink::kLine, 1.0);
}

// Faint radar rings between the lists, under the panels and clear of the buttons.
void radar(QPainter& p, const QPointF& centre)
{
    p.save();
    for (int i = 1; i <= 3; ++i) {
        QColor ring = ink::kSafe;
        ring.setAlphaF(0.075 - i * 0.015);
        p.setPen(QPen(ring, 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, 40.0 * i, 40.0 * i);
    }
    p.restore();
}

} // namespace

void paintWindow(QPainter& p, const QSizeF& s)
{
    const QRectF all(QPointF(0, 0), s);
    // Flat fills where controls sit, so the corners of their pictures match what is around them.
    p.fillRect(all, ink::kDeep);
    radar(p, QPointF(s.width() / 2, 360));

    const QRectF header(0, 0, s.width(), 64);
    p.fillRect(header, ink::kTop);
    p.fillRect(QRectF(0, 0, s.width(), 1), QColor(0x24, 0x38, 0x55));
    p.fillRect(QRectF(0, 63, s.width(), 1), ink::kLine);
    p.save();
    p.translate(16, 10);
    p.scale(0.44, 0.44);
    p.setPen(Qt::NoPen);
    p.setBrush(ink::kAlarm);
    p.drawPath(kestrel());
    p.restore();
    fitText(p, QRectF(68, 10, 260, 28), QStringLiteral("Kestrelwatch"), font(22, true), ink::kText,
        Qt::AlignLeft | Qt::AlignVCenter);
    fitText(p, QRectF(69, 36, 260, 18), QStringLiteral("Network intruder monitor"), font(12), ink::kTextLow,
        Qt::AlignLeft | Qt::AlignVCenter);

    caption(p, geometry::kIntruderViewport, QStringLiteral("INTRUDERS"), ink::kAlarm);
    caption(p, geometry::kAllowedViewport, QStringLiteral("SAFE LIST"), ink::kSafe);
    listFrame(p, geometry::kIntruderViewport, ink::kIntruderListBack);
    listFrame(p, geometry::kAllowedViewport, ink::kSafeListBack);

    p.fillRect(QRectF(24, 580, s.width() - 48, 1), ink::kLineSoft);
}

void paintTabPicture(QPainter& p, const QSizeF& s, const QColor& tile, const Glyph& glyph)
{
    const QRectF all(QPointF(0, 0), s);
    p.fillRect(all, tile.darker(170));
    fillRounded(p, all.adjusted(0.5, 0.5, -0.5, -0.5), s.width() * 0.2, vertical(all, tile.lighter(115), tile));
    glyph(p, all.adjusted(2, 2, -2, -2), Qt::white);
}

const std::vector<int>& iconSizes()
{
    static const std::vector<int> sizes {16, 22, 24, 32, 48, 64, 128, 256};
    return sizes;
}

QImage renderIcon(int kind, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    p.scale(size / 100.0, size / 100.0);
    const bool small = size <= 24;
    const QRectF tile = small ? QRectF(0, 0, 100, 100) : QRectF(4, 4, 92, 92);
    const qreal radius = small ? 18 : 22;

    QColor birdColour = ink::kAlarm;
    if (kind == 1) {
        fillRounded(p, tile, radius, vertical(tile, QColor(0xFF, 0xB8, 0x4D), QColor(0xE8, 0x6A, 0x10)));
        birdColour = QColor(0x14, 0x1C, 0x2B);
    } else {
        fillRounded(p, tile, radius, vertical(tile, QColor(0x22, 0x3C, 0x5E), QColor(0x0E, 0x19, 0x2A)));
        if (kind == 2)
            strokeRounded(p, tile, radius, ink::kAlarm, small ? 12 : 7);
    }
    if (!small && kind == 0) {
        p.save();
        QColor ring = ink::kSafe;
        ring.setAlphaF(0.28);
        p.setPen(QPen(ring, 2.2));
        p.setBrush(Qt::NoBrush);
        for (qreal r : {20.0, 33.0})
            p.drawEllipse(QPointF(50, 58), r, r);
        p.restore();
    }

    p.save();
    // Small sizes show the bird larger so the wings stay more than a pixel thick.
    const qreal birdScale = small ? 1.02 : 0.82;
    p.translate(50 - 50 * birdScale, (small ? 52 : 54) - 50 * birdScale);
    p.scale(birdScale, birdScale);
    p.setPen(Qt::NoPen);
    p.setBrush(birdColour);
    p.drawPath(kestrel());
    p.restore();

    if (kind != 0) {
        // The "!" badge: an alarm icon differs from the normal one by shape, not only by colour.
        const qreal r = small ? 30 : 19;
        const QPointF c(100 - r - (small ? 0 : 3), 100 - r - (small ? 0 : 3));
        p.save();
        p.setPen(QPen(kind == 1 ? QColor(0x14, 0x1C, 0x2B) : ink::kAlarmDark, small ? 5 : 4));
        p.setBrush(kind == 1 ? QColor(0xFF, 0xF1, 0xDC) : ink::kAlarm);
        p.drawEllipse(c, r, r);
        p.setPen(QPen(QColor(0x14, 0x1C, 0x2B), r * 0.34, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + QPointF(0, -r * 0.5), c + QPointF(0, r * 0.12));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x14, 0x1C, 0x2B));
        p.drawEllipse(c + QPointF(0, r * 0.52), r * 0.19, r * 0.19);
        p.restore();
    }
    p.end();
    return image;
}

} // namespace skin
