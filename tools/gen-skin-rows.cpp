// The device-list pictures: the rows in every state and the list backgrounds they sit on. A row is a card
// with a status glyph at its left; its two text lines are drawn by the window over the area right of the
// glyph (from x 40), so that area stays calm in every state. The states differ by shape as well as colour:
// a filled dot when online, a hollow ring when offline, an outline and a bar at the left edge when selected,
// and on the flash phase a solid block with "!" at the left and a diagonal hatch over the card.
#include "gen-skin.h"

namespace skin {

namespace {

const QRectF kCard(3, 2, 206, 51);
constexpr qreal kCardRadius = 6;
constexpr qreal kGlyphZone = 36; // card-relative width of the status area left of the text

QColor listBack(bool intruder)
{
    return intruder ? ink::kIntruderListBack : ink::kSafeListBack;
}

struct RowInks
{
    QColor top, bottom, accent, dot, ring;
};

RowInks inksFor(RowLook look)
{
    RowInks k;
    if (look.intruder) {
        k.accent = ink::kAlarm;
        k.dot = ink::kAlarm;
        k.ring = QColor(0x9A, 0x74, 0x4E);
        if (look.flash) {
            k.top = QColor(0x4A, 0x2C, 0x12);
            k.bottom = QColor(0x3A, 0x22, 0x0E);
        } else if (look.online) {
            k.top = look.selected ? QColor(0x46, 0x31, 0x1C) : QColor(0x2F, 0x24, 0x1E);
            k.bottom = look.selected ? QColor(0x3A, 0x28, 0x16) : QColor(0x27, 0x1E, 0x1A);
        } else {
            k.top = look.selected ? QColor(0x33, 0x2D, 0x33) : QColor(0x1D, 0x1C, 0x25);
            k.bottom = look.selected ? QColor(0x2A, 0x25, 0x2C) : QColor(0x1A, 0x19, 0x21);
        }
    } else {
        k.accent = ink::kSafe;
        k.dot = ink::kOnline;
        k.ring = QColor(0x7C, 0x8F, 0xA6);
        if (look.online) {
            k.top = look.selected ? QColor(0x23, 0x46, 0x6B) : QColor(0x1B, 0x2D, 0x44);
            k.bottom = look.selected ? QColor(0x1D, 0x3B, 0x5A) : QColor(0x18, 0x27, 0x3B);
        } else {
            k.top = look.selected ? QColor(0x22, 0x34, 0x4C) : QColor(0x15, 0x20, 0x2F);
            k.bottom = look.selected ? QColor(0x1D, 0x2D, 0x42) : QColor(0x13, 0x1D, 0x2B);
        }
    }
    return k;
}

void statusGlyph(QPainter& p, const QPointF& c, RowLook look, const RowInks& k)
{
    p.save();
    if (look.online) {
        QColor halo = k.dot;
        halo.setAlphaF(0.22);
        p.setPen(Qt::NoPen);
        p.setBrush(halo);
        p.drawEllipse(c, 10.5, 10.5);
        p.setBrush(k.dot);
        p.drawEllipse(c, 6.5, 6.5);
    } else {
        p.setPen(QPen(k.ring, 2.0));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 5.5, 5.5);
    }
    p.restore();
}

} // namespace

void paintListBackground(QPainter& p, const QSizeF& s, bool intruder)
{
    p.fillRect(QRectF(QPointF(0, 0), s), listBack(intruder));
    // A faint outline of an empty slot, so the empty part of a list reads as room for more devices.
    QColor slot = intruder ? QColor(0x1D, 0x1E, 0x2A) : QColor(0x15, 0x22, 0x33);
    strokeRounded(p, kCard, kCardRadius, slot, 1.0, Qt::DashLine);
}

void paintRow(QPainter& p, const QSizeF& s, RowLook look)
{
    p.fillRect(QRectF(QPointF(0, 0), s), listBack(look.intruder));
    const RowInks k = inksFor(look);
    QPainterPath card;
    card.addRoundedRect(kCard, kCardRadius, kCardRadius);
    p.fillPath(card, vertical(kCard, k.top, k.bottom));

    // A hairline of light along the card's top edge gives it a little depth.
    QColor shine = Qt::white;
    shine.setAlphaF(look.selected ? 0.10 : 0.05);
    p.save();
    p.setClipPath(card);
    p.fillRect(QRectF(kCard.left(), kCard.top(), kCard.width(), 1), shine);
    p.restore();

    const QPointF glyphCentre(kCard.left() + kGlyphZone / 2 + 1, kCard.center().y());
    if (look.flash) {
        QColor stripe = ink::kAlarm;
        stripe.setAlphaF(0.10);
        hatch(p, kCard, card, stripe, 9, 3.5);
        QPainterPath block;
        block.addRect(QRectF(kCard.left(), kCard.top(), kGlyphZone, kCard.height()));
        p.save();
        p.setClipPath(card);
        p.fillPath(block, vertical(kCard, ink::kAlarm, ink::kAlarmDeep));
        p.restore();
        p.save();
        p.setPen(QPen(ink::kAlarmDark, 3.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(glyphCentre + QPointF(0, -9), glyphCentre + QPointF(0, 3));
        p.setPen(Qt::NoPen);
        p.setBrush(ink::kAlarmDark);
        p.drawEllipse(glyphCentre + QPointF(0, 8.5), 2.2, 2.2);
        p.restore();
    } else {
        statusGlyph(p, glyphCentre, look, k);
    }

    if (look.selected) {
        const QColor edge = look.intruder ? ink::kAlarmLight : ink::kSafeLight;
        strokeRounded(p, kCard, kCardRadius, edge, 1.5);
        if (!look.flash) {
            p.save();
            p.setClipPath(card);
            p.fillRect(QRectF(kCard.left(), kCard.top(), 4, kCard.height()), edge);
            p.restore();
        } else {
            // On the amber block the bar would vanish: a dark notch keeps the selection visible there.
            p.save();
            p.setClipPath(card);
            p.fillRect(QRectF(kCard.left(), kCard.top(), 4, kCard.height()), ink::kAlarmDark);
            p.restore();
        }
    } else {
        QColor edge = look.intruder && look.online ? ink::kAlarm : QColor(0x2A, 0x3A, 0x52);
        edge.setAlphaF(look.intruder && look.online ? 0.35 : 0.8);
        strokeRounded(p, kCard, kCardRadius, edge, 1.0);
    }
}

} // namespace skin
