// Drawing primitives and glyphs of the skin. Glyphs scale with their box, so one drawing serves 16 px tab
// pictures, button icons and the 2x renderings alike.
#include "gen-skin.h"

#include <QFontMetricsF>
#include <QPainterPathStroker>
#include <QTransform>
#include <cmath>

namespace skin {

QFont font(qreal pixelSize, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(qMax(1, qRound(pixelSize)));
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferAntialias);
    f.setHintingPreference(QFont::PreferVerticalHinting);
    return f;
}

void fitText(QPainter& p, const QRectF& box, const QString& text, QFont f, const QColor& colour, Qt::Alignment align)
{
    while (f.pixelSize() > 7 && QFontMetricsF(f).horizontalAdvance(text) > box.width())
        f.setPixelSize(f.pixelSize() - 1);
    p.save();
    p.setFont(f);
    p.setPen(colour);
    p.drawText(box, int(align), text);
    p.restore();
}

void fillRounded(QPainter& p, const QRectF& r, qreal radius, const QBrush& brush)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(brush);
    p.drawRoundedRect(r, radius, radius);
    p.restore();
}

void strokeRounded(QPainter& p, const QRectF& r, qreal radius, const QColor& colour, qreal width, Qt::PenStyle style)
{
    p.save();
    QPen pen(colour, width, style);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const qreal inset = width / 2.0;
    p.drawRoundedRect(r.adjusted(inset, inset, -inset, -inset), radius, radius);
    p.restore();
}

QLinearGradient vertical(const QRectF& r, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0.0, top);
    g.setColorAt(1.0, bottom);
    return g;
}

void hatch(QPainter& p, const QRectF& r, const QPainterPath& clip, const QColor& colour, qreal spacing, qreal width)
{
    p.save();
    p.setClipPath(clip);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    for (qreal x = r.left() - r.height(); x < r.right() + r.height(); x += spacing)
        p.drawLine(QPointF(x, r.bottom()), QPointF(x + r.height(), r.top()));
    p.restore();
}

QPainterPath kestrel()
{
    // Left wing: arched at the wrist and pointed at the tip, the falcon's outline, with the flight feathers
    // fanned along the trailing edge; the right wing is its mirror image.
    QPainterPath wing;
    wing.moveTo(47, 35);
    wing.cubicTo(38, 27, 30, 21, 22, 21);
    wing.cubicTo(14, 21, 6, 28, 0, 37);
    wing.quadTo(6, 36, 9, 38);
    wing.quadTo(12, 37, 15, 40);
    wing.quadTo(19, 39, 21, 43);
    wing.quadTo(26, 42, 29, 47);
    wing.quadTo(36, 47, 40, 52);
    wing.lineTo(47, 53);
    wing.closeSubpath();

    QPainterPath bird;
    bird.addPath(wing);
    bird.addPath(QTransform(-1, 0, 0, 1, 100, 0).map(wing));
    QPainterPath body;
    body.addEllipse(QPointF(50, 45), 7.5, 15);
    QPainterPath head;
    head.addEllipse(QPointF(50, 29), 6, 6.5);
    QPainterPath tail;
    tail.moveTo(46, 55);
    tail.lineTo(42, 82);
    tail.quadTo(50, 87, 58, 82);
    tail.lineTo(54, 55);
    tail.closeSubpath();
    return bird.united(body).united(head).united(tail).simplified();
}

namespace {

QPen pen(const QColor& c, qreal width)
{
    QPen p(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    return p;
}

// Maps glyph drawings made on a 24 × 24 grid into box, keeping the aspect ratio.
void onGrid(QPainter& p, const QRectF& box)
{
    const qreal side = qMin(box.width(), box.height());
    p.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    p.scale(side / 24.0, side / 24.0);
}

} // namespace

void glyphCross(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 2.6));
    p.drawLine(QPointF(6.5, 6.5), QPointF(17.5, 17.5));
    p.drawLine(QPointF(17.5, 6.5), QPointF(6.5, 17.5));
    p.restore();
}

void glyphArrowRight(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 2.6));
    p.drawLine(QPointF(4, 12), QPointF(19, 12));
    p.drawPolyline(QPolygonF({QPointF(13, 6), QPointF(19, 12), QPointF(13, 18)}));
    p.restore();
}

void glyphArrowLeft(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 2.6));
    p.drawLine(QPointF(20, 12), QPointF(5, 12));
    p.drawPolyline(QPolygonF({QPointF(11, 6), QPointF(5, 12), QPointF(11, 18)}));
    p.restore();
}

void glyphBlock(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 2.4));
    p.drawEllipse(QPointF(12, 12), 8, 8);
    p.drawLine(QPointF(6.6, 17.4), QPointF(17.4, 6.6));
    p.restore();
}

void glyphInfo(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 2.0));
    p.drawEllipse(QPointF(12, 12), 9, 9);
    p.setPen(pen(c, 2.6));
    p.drawLine(QPointF(12, 11), QPointF(12, 17));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(12, 7.2), 1.6, 1.6);
    p.restore();
}

void glyphList(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 2.4));
    for (qreal y : {6.0, 12.0, 18.0}) {
        p.drawPoint(QPointF(4.5, y));
        p.drawLine(QPointF(9, y), QPointF(20, y));
    }
    p.restore();
}

void glyphProbe(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 2.2));
    p.drawPolyline(QPolygonF({QPointF(2, 13), QPointF(7, 13), QPointF(9.5, 6), QPointF(13.5, 19), QPointF(16, 11),
        QPointF(17.5, 13), QPointF(22, 13)}));
    p.restore();
}

void glyphGear(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    QPainterPath teeth;
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(10, 1.8, 4, 5), 1, 1);
        teeth.addPath(QTransform().translate(12, 12).rotate(i * 45).translate(-12, -12).map(tooth));
    }
    QPainterPath ring;
    ring.addEllipse(QPointF(12, 12), 7.6, 7.6);
    QPainterPath hole;
    hole.addEllipse(QPointF(12, 12), 3.2, 3.2);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(teeth.united(ring).subtracted(hole));
    p.restore();
}

void glyphQuestion(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 2.8));
    QPainterPath hook;
    hook.moveTo(7.5, 8.5);
    hook.cubicTo(7.5, 3.5, 16.5, 3.0, 16.5, 8.5);
    hook.cubicTo(16.5, 12.0, 12.0, 12.0, 12.0, 15.5);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(12, 20), 1.8, 1.8);
    p.restore();
}

void glyphCheck(QPainter& p, const QRectF& box, const QColor& c, qreal width)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, width));
    p.drawPolyline(QPolygonF({QPointF(5.5, 12.5), QPointF(10, 17), QPointF(18.5, 7.5)}));
    p.restore();
}

void glyphWarning(QPainter& p, const QRectF& box, const QColor& fill, const QColor& mark)
{
    p.save();
    onGrid(p, box);
    QPainterPath tri;
    tri.moveTo(12, 2.5);
    tri.lineTo(22.5, 21);
    tri.lineTo(1.5, 21);
    tri.closeSubpath();
    p.setPen(QPen(fill, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPath(tri);
    p.setPen(pen(mark, 2.6));
    p.drawLine(QPointF(12, 9), QPointF(12, 14.2));
    p.setPen(Qt::NoPen);
    p.setBrush(mark);
    p.drawEllipse(QPointF(12, 18), 1.6, 1.6);
    p.restore();
}

void glyphSliders(QPainter& p, const QRectF& box, const QColor& c)
{
    // Two sliders on lines that fall on pixel centres at 16 px, so the small picture stays crisp.
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 2.0));
    p.drawLine(QPointF(3, 7), QPointF(21, 7));
    p.drawLine(QPointF(3, 17), QPointF(21, 17));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(15, 7), 3.4, 3.4);
    p.drawEllipse(QPointF(8, 17), 3.4, 3.4);
    p.restore();
}

void glyphBell(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    QPainterPath bell;
    bell.moveTo(4, 17.5);
    bell.quadTo(6.5, 15, 6.5, 11);
    bell.cubicTo(6.5, 4.5, 17.5, 4.5, 17.5, 11);
    bell.quadTo(17.5, 15, 20, 17.5);
    bell.closeSubpath();
    p.setPen(QPen(c, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    p.drawPath(bell);
    p.drawEllipse(QPointF(12, 20), 2.2, 2.2);
    p.drawEllipse(QPointF(12, 4.2), 1.5, 1.5);
    p.restore();
}

void glyphEnvelope(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 2.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(3, 5.5, 18, 13), 1.8, 1.8);
    p.drawPolyline(QPolygonF({QPointF(3.8, 6.8), QPointF(12, 13), QPointF(20.2, 6.8)}));
    p.restore();
}

void glyphBug(QPainter& p, const QRectF& box, const QColor& c)
{
    p.save();
    onGrid(p, box);
    p.setPen(pen(c, 1.9));
    for (qreal y : {10.0, 14.5}) {
        p.drawLine(QPointF(7, y), QPointF(3, y - 1.5));
        p.drawLine(QPointF(17, y), QPointF(21, y - 1.5));
    }
    p.drawLine(QPointF(7.5, 18), QPointF(4, 21));
    p.drawLine(QPointF(16.5, 18), QPointF(20, 21));
    p.drawLine(QPointF(9.5, 5), QPointF(8, 2.5));
    p.drawLine(QPointF(14.5, 5), QPointF(16, 2.5));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(12, 7), 3.6, 3);
    p.drawEllipse(QPointF(12, 14.5), 5.4, 7);
    p.restore();
}

} // namespace skin
