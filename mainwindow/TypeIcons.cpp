#include "mainwindow/TypeIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// Each icon is line art on a 16-unit square, drawn at the size it is shown at, so that it stays sharp at
// 1× and 1.5× (a pixmap scaled up would blur).
void draw(QPainter& p, DeviceType type)
{
    const auto round = [&p](qreal x, qreal y, qreal w, qreal h, qreal r) {
        p.drawRoundedRect(QRectF(x, y, w, h), r, r);
    };
    switch (type) {
    case DeviceType::Router:
        round(2, 8.5, 12, 5, 1.2);
        p.drawLine(QPointF(5, 8.5), QPointF(3.5, 3));
        p.drawLine(QPointF(11, 8.5), QPointF(12.5, 3));
        p.drawPoint(QPointF(5, 11));
        p.drawPoint(QPointF(7.5, 11));
        break;
    case DeviceType::Computer:
        round(3, 3, 10, 7, 0.8);
        p.drawLine(QPointF(1, 13), QPointF(15, 13));
        p.drawLine(QPointF(3, 10), QPointF(1.5, 13));
        p.drawLine(QPointF(13, 10), QPointF(14.5, 13));
        break;
    case DeviceType::Phone:
        round(4.5, 1.5, 7, 13, 1.5);
        p.drawLine(QPointF(7, 12.3), QPointF(9, 12.3));
        break;
    case DeviceType::Tablet:
        round(2.5, 2, 11, 12, 1.5);
        p.drawLine(QPointF(7, 12), QPointF(9, 12));
        break;
    case DeviceType::Tv:
        round(1.5, 3, 13, 8.5, 1);
        p.drawLine(QPointF(8, 11.5), QPointF(8, 13.5));
        p.drawLine(QPointF(5, 13.5), QPointF(11, 13.5));
        break;
    case DeviceType::Speaker:
        round(4, 1.5, 8, 13, 1.5);
        p.drawEllipse(QPointF(8, 9.8), 2.4, 2.4);
        p.drawEllipse(QPointF(8, 4.6), 1, 1);
        break;
    case DeviceType::Printer:
        p.drawRect(QRectF(4.5, 2, 7, 4));
        round(1.5, 6, 13, 5.5, 1);
        p.drawRect(QRectF(4.5, 9.5, 7, 4.5));
        break;
    case DeviceType::Camera:
        round(1.5, 4.5, 13, 9, 1.5);
        p.drawLine(QPointF(5, 4.5), QPointF(6, 2.5));
        p.drawLine(QPointF(6, 2.5), QPointF(10, 2.5));
        p.drawLine(QPointF(10, 2.5), QPointF(11, 4.5));
        p.drawEllipse(QPointF(8, 9), 2.6, 2.6);
        break;
    case DeviceType::Console: {
        QPainterPath pad;
        pad.addRoundedRect(QRectF(1, 4.5, 14, 8), 4, 4);
        p.drawPath(pad);
        p.drawLine(QPointF(3.5, 8.5), QPointF(6.5, 8.5));
        p.drawLine(QPointF(5, 7), QPointF(5, 10));
        p.drawPoint(QPointF(10.5, 7.8));
        p.drawPoint(QPointF(12, 9.3));
        break;
    }
    case DeviceType::Nas:
        round(2.5, 1.5, 11, 6, 1);
        round(2.5, 8.5, 11, 6, 1);
        p.drawPoint(QPointF(5, 4.5));
        p.drawPoint(QPointF(5, 11.5));
        p.drawLine(QPointF(8, 4.5), QPointF(11, 4.5));
        p.drawLine(QPointF(8, 11.5), QPointF(11, 11.5));
        break;
    case DeviceType::SmartHome: {
        QPainterPath house;
        house.moveTo(1.5, 8);
        house.lineTo(8, 2);
        house.lineTo(14.5, 8);
        house.moveTo(3.5, 6.5);
        house.lineTo(3.5, 14);
        house.lineTo(12.5, 14);
        house.lineTo(12.5, 6.5);
        p.drawPath(house);
        p.drawEllipse(QPointF(8, 10.2), 1.6, 1.6);
        break;
    }
    case DeviceType::Wearable:
        p.drawRect(QRectF(5.5, 1, 5, 3));
        p.drawRect(QRectF(5.5, 12, 5, 3));
        p.drawEllipse(QPointF(8, 8), 4, 4);
        p.drawLine(QPointF(8, 8), QPointF(8, 6));
        p.drawLine(QPointF(8, 8), QPointF(9.5, 8));
        break;
    case DeviceType::Network:
        round(1, 5, 14, 6.5, 1);
        for (qreal x : {3.5, 6.5, 9.5, 12.5})
            p.drawRect(QRectF(x - 0.8, 8, 1.6, 1.6));
        break;
    case DeviceType::Unknown: {
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        QPainterPath mark;
        mark.moveTo(6, 6.2);
        mark.cubicTo(6, 3.8, 10.2, 3.8, 10.2, 6.2);
        mark.cubicTo(10.2, 7.8, 8, 7.8, 8, 9.6);
        p.drawPath(mark);
        p.drawPoint(QPointF(8, 11.8));
        break;
    }
    }
}

} // namespace

namespace TypeIcons {

QPixmap pixmap(DeviceType type, qreal scale, const QColor& colour, int logicalSize)
{
    const qreal ratio = scale > 0 ? scale : 1.0;
    QPixmap pix(qMax(1, qRound(logicalSize * ratio)), qMax(1, qRound(logicalSize * ratio)));
    pix.setDevicePixelRatio(ratio);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(logicalSize / 16.0, logicalSize / 16.0);
    QPen pen(colour, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    draw(p, type);
    return pix;
}

QString tip(DeviceType type)
{
    const QString word = DeviceKind::typeWord(type);
    return type == DeviceType::Unknown ? QStringLiteral("Type not known") : word.left(1).toUpper() + word.mid(1);
}

} // namespace TypeIcons
