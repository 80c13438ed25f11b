#pragma once

#include <QRect>
#include <QSize>

// The main window's geometry. The lists, rows and panels are measured in twips (15 to a pixel) as the window
// has always been laid out; the other controls sit where the skin's background (Background.bmp) leaves room
// for them, given here in pixels.
namespace Geometry {

constexpr int TwipsPerPixel = 15;
constexpr int px(int twips)
{
    return twips / TwipsPerPixel;
}

constexpr int WindowWidth = 13395; // 893 px
constexpr int WindowHeight = 9600; // 640 px

// Device lists.
constexpr int MaxRows = 256; // rows 0..255 per list
constexpr int RowHeight = 825;
constexpr int RowWidth = 3180;
constexpr int ViewportWidth = 3180;
constexpr int ViewportHeight = 6855; // eight whole rows and the top of a ninth
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

// Panels: a closed panel's left edge is at 8040, an open one's at 2760; each tmr100ms step moves the left edge
// by 480 and the width the other way, so the right edge stays put.
constexpr int PanelClosedLeft = 8040;
constexpr int PanelOpenLeft = 2760;
constexpr int PanelStep = 480;
constexpr int PanelOpenWidth = PanelClosedLeft - PanelOpenLeft; // 5280 twips, 352 px

// Pixel places of the other controls.
constexpr QRect IntruderScroll {255, 117, 10, 457};
constexpr QRect AllowedScroll {858, 117, 10, 457};
constexpr QRect Stage {277, 117, 352, 457}; // where the panels slide, between the lists
constexpr QRect Caption {277, 86, 352, 26}; // lblSelected_Details
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
constexpr int NoticeTop = 300;

} // namespace Geometry
