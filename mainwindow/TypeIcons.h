#pragma once

#include "store/DeviceKind.h"

#include <QColor>
#include <QPixmap>
#include <QString>

// An icon per device type, drawn in the window's own line style (no artwork files): the lists' rows and the
// details panel show it. Drawn at the scale it is shown at, so it is as sharp at 1.5× as at 1×.
namespace TypeIcons {

// The icon of type, logicalSize device-independent pixels square, for a screen of the given scale (its
// device pixel ratio), in colour.
QPixmap pixmap(DeviceType type, qreal scale, const QColor& colour, int logicalSize = 16);
// "Phone", "Smart-home", "Type not known": the icon's tooltip.
QString tip(DeviceType type);

} // namespace TypeIcons
