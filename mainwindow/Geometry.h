#pragma once

#include <QRect>
#include <QSize>

class QFont;
class QWidget;

// The main window's geometry. The lists, rows and panels are measured in twips (15 to a design pixel) as the
// window has always been laid out; the other controls sit where the skin's background (Background.bmp) leaves
// room for them, given here in design pixels. A design pixel is one logical pixel at the design's text size
// (9 pt at 96 dpi); the desktop's font size scales every place and size with the text it holds (the
// desktop's scale factor already scales logical pixels).
namespace Geometry {

constexpr int TwipsPerPixel = 15;

// Logical pixels per design pixel, and the unit that the given application font asks for.
qreal unit();
void setUnit(qreal unit);
qreal unitFor(const QFont& font);
// A design length, and a design rectangle, in logical pixels.
int s(qreal design);
QRect s(const QRect& design);
// Twips to logical pixels, and back.
int px(int twips);
int twips(int pixels);

constexpr int DesignWidth = 893;
constexpr int DesignHeight = 640;
// The bands above and below the lists: the lists take the height the window has between them.
constexpr int TopBand = 117;
constexpr int BottomBand = 66;
// The shortest window still shows three rows of each list.
constexpr int MinimumHeight = TopBand + 3 * 55 + BottomBand;

// Device lists.
constexpr int RowHeight = 825;
constexpr int RowWidth = 3180;
constexpr int ViewportWidth = 3180;
constexpr int ViewportHeight = 6855; // eight whole rows and the top of a ninth, at the design's height
constexpr int IntruderLeft = 585;
constexpr int AllowedLeft = 9630;
constexpr int ListTop = 1755;
constexpr int LineLeft = 600;
constexpr int Line1Top = 165;
constexpr int Line2Top = 405;
constexpr int LineWidth = 2480;
constexpr int LineHeight = 255;
constexpr int AckSize = 240;
constexpr int AckLeft = 2820;
constexpr int AckTop = 285;
constexpr int ScrollQuarterRow = 14; // arrow step
constexpr int ScrollRow = 55; // page step: one row

// Panels: a closed panel's left edge is at 8040, an open one's at 2760; each animationTimer step moves the left edge
// by 480 and the width the other way, so the right edge stays put.
constexpr int PanelClosedLeft = 8040;
constexpr int PanelOpenLeft = 2760;
constexpr int PanelStep = 480;
constexpr int PanelOpenWidth = PanelClosedLeft - PanelOpenLeft; // 5280 twips, 352 design pixels

// Design places of the other controls; the heights of the scroll bars and the stage follow the window's, the
// bottom row of buttons keeps its distance from the window's bottom edge.
constexpr QRect IntruderScroll {255, 117, 10, 457};
constexpr QRect AllowedScroll {858, 117, 10, 457};
constexpr QRect Stage {277, 117, 352, 457}; // where the panels slide, between the lists
constexpr QRect Caption {277, 86, 352, 26}; // selectedDetailsLabel
constexpr QRect IntruderCount {39, 86, 212, 26};
constexpr QRect AllowedCount {642, 86, 212, 26};
constexpr QRect Status {352, 14, 188, 36};
constexpr QRect Settings {793, 14, 36, 36};
constexpr QRect Help {841, 14, 36, 36};
constexpr QRect RemoveIntruder {39, 588, 100, 32};
constexpr QRect MoveToAllowed {151, 588, 100, 32};
constexpr QRect MoveToIntruder {642, 588, 100, 32};
constexpr QRect RemoveAllowed {754, 588, 100, 32};
constexpr QRect DetailsTab {301, 588, 96, 32};
constexpr QRect LogTab {405, 588, 96, 32};
constexpr QRect ProbeTab {509, 588, 96, 32};
constexpr QSize Notice {300, 64};

// Centres a window on its screen's work area (by the work area's right and bottom edges).
void centre(QWidget& form);

} // namespace Geometry
