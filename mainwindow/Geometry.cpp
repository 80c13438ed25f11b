#include "mainwindow/Geometry.h"

#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Geometry {

namespace {

qreal g_unit = 1.0;
// The design's body text: 9 pt at 96 dpi, the toolkit's own default.
constexpr qreal DesignTextPixels = 9.0 * 96.0 / 72.0;

} // namespace

qreal unit()
{
    return g_unit;
}

void setUnit(qreal unit)
{
    g_unit = qBound(0.75, unit, 4.0);
}

qreal unitFor(const QFont& font)
{
    qreal pixels = font.pixelSize() > 0 ? font.pixelSize() : 0.0;
    if (pixels <= 0) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
        pixels = font.pointSizeF() * dpi / 72.0;
    }
    return pixels > 0 ? pixels / DesignTextPixels : 1.0;
}

int s(qreal design)
{
    return qRound(design * g_unit);
}

QRect s(const QRect& design)
{
    return {s(design.x()), s(design.y()), s(design.width()), s(design.height())};
}

int px(int twips)
{
    return s(qreal(twips) / TwipsPerPixel);
}

int twips(int pixels)
{
    return qRound(pixels * TwipsPerPixel / g_unit);
}

void centre(QWidget& form)
{
    const QScreen* screen = form.screen() ? form.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect work = screen->availableGeometry();
    // Only the work area's right and bottom edges count, as the window has always been centred.
    const int right = work.x() + work.width();
    const int bottom = work.y() + work.height();
    form.move((right - form.frameGeometry().width()) / 2, (bottom - form.frameGeometry().height()) / 2);
}

} // namespace Geometry
