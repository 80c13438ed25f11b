#pragma once

#include "mainwindow/SkinPictures.h"

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

class QPainter;

// The window's own drawing: the inks it shares with the skin, its fonts, the style of its standard widgets
// (grids, scroll bars, the name box), and a drawn stand-in for every skin picture, used while a picture's
// file is missing so that the window stays usable and legible without its artwork.
namespace Theme {

inline const QColor Deep {0x0B, 0x13, 0x20};
inline const QColor Top {0x15, 0x24, 0x3A};
inline const QColor Line {0x2A, 0x3D, 0x58};
inline const QColor LineSoft {0x1C, 0x2B, 0x40};
inline const QColor Text {0xEA, 0xF0, 0xF7};
inline const QColor TextLow {0x9D, 0xB1, 0xC8};
inline const QColor TextDim {0x5E, 0x71, 0x88};
inline const QColor Safe {0x4D, 0xA8, 0xFF};
inline const QColor SafeLight {0x9C, 0xCF, 0xFF};
inline const QColor Online {0x3D, 0xD6, 0xA3};
inline const QColor Alarm {0xFF, 0xA6, 0x2B};
inline const QColor AlarmLight {0xFF, 0xD3, 0x8F};
inline const QColor AlarmDeep {0xD9, 0x5F, 0x0E};
inline const QColor AlarmDark {0x2E, 0x1D, 0x0E};
// The keyboard focus ring.
inline const QColor Focus {0xFF, 0xE0, 0x66};
inline const QColor SafeListBack {0x0E, 0x18, 0x26};
inline const QColor IntruderListBack {0x14, 0x15, 0x1F};
// The panels are sheets a shade lighter than the window; the grids' alternating shades sit on them.
inline const QColor Sheet {0x11, 0x1C, 0x2C};
inline const QColor SheetText {0xEA, 0xF0, 0xF7};
inline const QColor SheetTextLow {0x9D, 0xB1, 0xC8};
inline const QColor SheetHeader {0x1E, 0x2D, 0x42};

// The desktop's font at the size a design pixel size has at the current layout unit (Geometry::unit), in
// points, so that the text and the places around it grow together with the desktop's font.
QFont font(qreal designPx, bool bold = false);
// The style sheet of the standard widgets inside the window.
QString styleSheet();
// One dark theme for everything the program shows: the settings dialog, menus, message boxes and tips take
// the window's colours (the Fusion style follows the palette on every desktop).
void applyToApplication();

// The caption a button or tab picture carries.
QString captionOf(Pic pic);

// Draws a stand-in for pic into r.
void paintFallback(QPainter& p, const QRectF& r, Pic pic, bool enabled = true);

// The status pill with its own text in place of the picture's: the normal picture with a text is the neutral
// "not yet known" pill (a sweep has not ended yet), an alarm picture says how many intruders are online.
void paintStatus(QPainter& p, const QRectF& r, Pic pic, const QString& text);

// A device row's stand-in: a card whose state shows by shape as well as colour (a filled dot online, a ring
// offline, an outline and left bar when selected, a solid block with "!" on the flash phase).
void paintRowFallback(QPainter& p, const QRectF& r, bool intruder, bool online, bool selected, bool flash);

} // namespace Theme
