#pragma once
// Plain arithmetic of the main window and its shadow: where the window opens,
// which border band a point falls in, the shadow's rings and its pixels. No
// platform calls, so it is tested natively.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/scale.h"

struct WindowPlacement {
    int x;
    int y;
    int width;
    int height;
};

// The part of a monitor windows may use (without the taskbar), in pixels.
struct WorkArea {
    int left;
    int top;
    int width;
    int height;
};

// 1180 x 780 centred on a large screen; 30 px from the left/top and 60 px
// smaller than the screen in a dimension that is too small for that. Every
// length is scaled; the work area's offset is added.
WindowPlacement mainWindowPlacement(const WorkArea& area, const Scale& scale);
// The same on a whole screen at 96 DPI.
WindowPlacement mainWindowPlacement(int screenWidth, int screenHeight);

// The smallest size the user can drag the window to (layout units).
constexpr int kMinWindowWidth = 1000;
constexpr int kMinWindowHeight = 660;
// The window's rounded corners (layout units, the region's ellipse size).
constexpr int kWindowCornerEllipse = 14;

// Where a client point lies for the window manager. Maps onto the HT* codes.
enum class NonClientHit { Client, Caption, Left, Right, Bottom, BottomLeft, BottomRight };

// x, y in client pixels of a cw x ch client area; inZone: the point lies in a
// recorded hit zone. Left, right and bottom bands resize; there is no top
// edge; the title band (the top 64 units) drags the window outside its
// buttons. The bands are scaled; a maximised window has none.
NonClientHit nonClientHit(int x, int y, int cw, int ch, bool inZone, const Scale& scale = Scale(),
                          bool maximized = false);

// Where the mouse wheel scrolls.
enum class WheelTarget { None, Sidebar, Grid, Panel };

// x, y in client pixels; downloadsPage: the download-manager page is shown.
WheelTarget wheelTarget(int x, int y, bool downloadsPage, const Scale& scale = Scale());

// The category selected after a catalog load: the current one while it still
// exists on the catalog page, else the first category, else none.
struct CategorySelection {
    bool catalogPage;  // the catalog page is shown afterwards
    std::wstring categoryId;
};
CategorySelection selectionAfterCatalogArrival(bool catalogPage, const std::wstring& currentId,
                                               const std::vector<std::wstring>& categoryIds);

// The drop shadow around a w x h window: a bitmap of (w + 36) x (h + 36)
// placed 18 px up and left of the window, with 18 rounded outlines (layout
// units: at another scale the margin, the rings' places, radii and pens grow).
constexpr int kShadowMargin = 18;
constexpr int kShadowRings = 18;
constexpr float kShadowPen = 2.0f;

struct ShadowRing {
    int alpha;  // 0: not drawn
    float left;
    float top;
    float right;
    float bottom;
    float radius;
};

// Ring i (0 innermost .. 17) for a window of width x height pixels, in the
// shadow bitmap's pixels.
ShadowRing shadowRing(int i, int width, int height, const Scale& scale = Scale());

// Replaces each colour byte of a pixel with byte x alpha / 255 where alpha is
// strictly between 0 and 255. Pixels are 32-bit BGRA in memory order.
void premultiplyAlpha(uint8_t* pixels, size_t pixelCount);
