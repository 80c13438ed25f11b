// Buttons, panel tabs, the acknowledge button, the status lamp and the notice. A pressed ("Down") picture is
// darker, loses its top light and moves its content one pixel down, so a press is seen without colour; a
// disabled button is flat with a dashed border.
#include "gen-skin.h"

#include <QFontMetricsF>

namespace skin {

namespace {

QColor toneAccent(Tone tone)
{
    switch (tone) {
    case Tone::Safe:
        return ink::kSafe;
    case Tone::Alarm:
        return ink::kAlarm;
    case Tone::Neutral:
        break;
    }
    return ink::kTextLow;
}

// A label with an optional glyph before or after it, centred as one group in box.
void glyphAndText(QPainter& p, const QRectF& box, const QString& text, const Glyph& glyph, bool glyphAfter,
    const QColor& textColour, const QColor& glyphColour, const QFont& f)
{
    const qreal glyphSide = qRound(box.height() * 0.5);
    const qreal gap = glyph ? 6 : 0;
    const qreal textWidth = QFontMetricsF(f).horizontalAdvance(text);
    const qreal total = textWidth + (glyph ? glyphSide + gap : 0);
    qreal x = box.left() + (box.width() - total) / 2;
    const QRectF glyphBox(0, box.center().y() - glyphSide / 2, glyphSide, glyphSide);
    if (glyph && !glyphAfter) {
        glyph(p, glyphBox.translated(x, 0), glyphColour);
        x += glyphSide + gap;
    }
    fitText(p, QRectF(x, box.top(), textWidth + 1, box.height()), text, f, textColour);
    if (glyph && glyphAfter)
        glyph(p, glyphBox.translated(x + textWidth + gap, 0), glyphColour);
}

} // namespace

void paintButton(QPainter& p, const QSizeF& s, const QString& text, const Glyph& glyph, bool glyphAfter, Tone tone,
    bool down, bool enabled)
{
    const QRectF all(QPointF(0, 0), s);
    p.fillRect(all, ink::kDeep);
    const QRectF face = all.adjusted(1, 1, -1, -1);
    constexpr qreal radius = 7;
    if (!enabled) {
        fillRounded(p, face, radius, QColor(0x14, 0x1D, 0x2A));
        strokeRounded(p, face, radius, QColor(0x34, 0x42, 0x55), 1.0, Qt::DashLine);
        const QRectF content = face.translated(0, down ? 1 : 0);
        glyphAndText(p, content, text, glyph, glyphAfter, ink::kTextDim, ink::kTextDim, font(13, true));
        return;
    }
    if (down) {
        fillRounded(p, face, radius, vertical(face, QColor(0x13, 0x1F, 0x31), QColor(0x1A, 0x29, 0x3E)));
        strokeRounded(p, face, radius, toneAccent(tone), 1.5);
    } else {
        fillRounded(p, face, radius, vertical(face, QColor(0x2D, 0x42, 0x5E), QColor(0x21, 0x31, 0x48)));
        QColor shine = Qt::white;
        shine.setAlphaF(0.12);
        p.save();
        QPainterPath clip;
        clip.addRoundedRect(face, radius, radius);
        p.setClipPath(clip);
        p.fillRect(QRectF(face.left(), face.top(), face.width(), 1), shine);
        p.restore();
        strokeRounded(p, face, radius, QColor(0x3E, 0x57, 0x79), 1.0);
    }
    const QRectF content = face.translated(0, down ? 1 : 0);
    glyphAndText(p, content, text, glyph, glyphAfter, ink::kText, toneAccent(tone), font(13, true));
}

void paintTab(QPainter& p, const QSizeF& s, const QString& text, const Glyph& glyph, bool selected, bool down)
{
    const QRectF all(QPointF(0, 0), s);
    p.fillRect(all, ink::kDeep);
    const QRectF face = all.adjusted(1, 1, -1, -1);
    constexpr qreal radius = 6;
    QPainterPath clip;
    clip.addRoundedRect(face, radius, radius);
    if (selected) {
        const QColor top = down ? QColor(0x1F, 0x37, 0x55) : QColor(0x2B, 0x4B, 0x72);
        const QColor bottom = down ? QColor(0x1B, 0x30, 0x4A) : QColor(0x22, 0x3C, 0x5C);
        fillRounded(p, face, radius, vertical(face, top, bottom));
        strokeRounded(p, face, radius, ink::kSafe, 1.0);
        // The bar along the top edge marks the tab whose panel is open.
        p.save();
        p.setClipPath(clip);
        p.fillRect(QRectF(face.left(), face.top(), face.width(), 3), ink::kSafe);
        p.restore();
    } else {
        const QColor top = down ? QColor(0x12, 0x1B, 0x28) : QColor(0x1A, 0x26, 0x37);
        fillRounded(p, face, radius, vertical(face, top, down ? QColor(0x15, 0x20, 0x2F) : QColor(0x16, 0x21, 0x30)));
        strokeRounded(p, face, radius, QColor(0x2A, 0x3A, 0x52), 1.0);
    }
    const QRectF content = face.adjusted(0, selected ? 2 : 0, 0, 0).translated(0, down ? 1 : 0);
    glyphAndText(p, content, text, glyph, false, selected ? ink::kText : ink::kTextLow,
        selected ? ink::kSafeLight : ink::kTextLow, font(13, selected));
}

void paintRoundButton(QPainter& p, const QSizeF& s, const Glyph& glyph, bool down)
{
    const QRectF all(QPointF(0, 0), s);
    p.fillRect(all, ink::kTop);
    const QRectF face = all.adjusted(2, 2, -2, -2);
    const qreal radius = face.width() / 2;
    if (down) {
        fillRounded(p, face, radius, vertical(face, QColor(0x13, 0x1F, 0x31), QColor(0x1A, 0x29, 0x3E)));
        strokeRounded(p, face, radius, ink::kSafe, 1.5);
    } else {
        fillRounded(p, face, radius, vertical(face, QColor(0x2D, 0x42, 0x5E), QColor(0x21, 0x31, 0x48)));
        strokeRounded(p, face, radius, QColor(0x3E, 0x57, 0x79), 1.0);
    }
    const qreal side = face.width() * 0.56;
    const QRectF box(face.center().x() - side / 2, face.center().y() - side / 2 + (down ? 1 : 0), side, side);
    glyph(p, box, down ? ink::kSafeLight : ink::kText);
}

void paintAck(QPainter& p, const QSizeF& s, bool down)
{
    // A small amber key with a bell on the row card, an action to take rather than a box to tick; its corners
    // take the colour of an online intruder's card.
    const QRectF all(QPointF(0, 0), s);
    p.fillRect(all, QColor(0x2D, 0x23, 0x1D));
    const QRectF face = all.adjusted(0.5, 0.5, -0.5, -0.5);
    if (down) {
        fillRounded(p, face, 3.5, ink::kAlarmDeep);
        strokeRounded(p, face, 3.5, ink::kAlarmLight, 1.0);
    } else {
        fillRounded(p, face, 3.5, vertical(face, ink::kAlarmLight, ink::kAlarm));
    }
    const qreal side = all.width() * 0.8;
    const QRectF box(all.center().x() - side / 2, all.center().y() - side / 2 + (down ? 1 : 0), side, side);
    glyphBell(p, box, ink::kAlarmDark);
}

void paintStatus(QPainter& p, const QSizeF& s, int phase)
{
    const QRectF all(QPointF(0, 0), s);
    p.fillRect(all, ink::kTop);
    const QRectF pill = all.adjusted(1, 2, -1, -2);
    const qreal radius = pill.height() / 2;
    const QRectF glyphBox(pill.left() + 9, pill.center().y() - 9, 18, 18);
    const QRectF textBox(glyphBox.right() + 8, pill.top(), pill.right() - glyphBox.right() - 18, pill.height());
    if (phase == 0) {
        fillRounded(p, pill, radius, vertical(pill, QColor(0x17, 0x38, 0x33), QColor(0x12, 0x2C, 0x29)));
        strokeRounded(p, pill, radius, ink::kOnline, 1.0);
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(ink::kOnline);
        p.drawEllipse(glyphBox.center(), 7, 7);
        p.restore();
        glyphCheck(p, glyphBox.adjusted(3, 3, -3, -3), QColor(0x0E, 0x2A, 0x22), 4.0);
        fitText(p, textBox, QStringLiteral("ALL CLEAR"), font(13, true), QColor(0xC8, 0xF5, 0xE4), Qt::AlignVCenter);
        return;
    }
    // The two alarm pictures swap light and dark, so the lamp blinks even in grey.
    const bool light = phase == 1;
    if (light)
        fillRounded(p, pill, radius, vertical(pill, ink::kAlarm, QColor(0xF0, 0x86, 0x1C)));
    else
        fillRounded(p, pill, radius, ink::kAlarmDark);
    strokeRounded(p, pill, radius, light ? ink::kAlarmLight : ink::kAlarm, 1.5);
    glyphWarning(p, glyphBox, light ? ink::kAlarmDark : ink::kAlarm, light ? ink::kAlarm : ink::kAlarmDark);
    fitText(p, textBox, QStringLiteral("INTRUDER ONLINE"), font(13, true), light ? ink::kAlarmDark : ink::kAlarm,
        Qt::AlignVCenter);
}

void paintNotice(QPainter& p, const QSizeF& s)
{
    const QRectF all(QPointF(0, 0), s);
    p.fillRect(all, ink::kDeep);
    const QRectF face = all.adjusted(1, 1, -1, -1);
    QPainterPath clip;
    clip.addRoundedRect(face, 8, 8);
    fillRounded(p, face, 8, vertical(face, QColor(0x24, 0x33, 0x4A), QColor(0x1C, 0x29, 0x3C)));
    p.save();
    p.setClipPath(clip);
    p.fillRect(QRectF(face.left(), face.top(), face.width(), 3), ink::kAlarm);
    p.restore();
    strokeRounded(p, face, 8, QColor(0x4A, 0x62, 0x84), 1.0);
}

} // namespace skin
