#include "ui/window_geometry.h"

#include <utility>

namespace {

// Along one axis: the window's offset and length in an area of this length.
std::pair<int, int> placeAlong(int start, int length, const Scale& s, int threshold, int inset, int size)
{
    if (length < s.px(threshold)) return {start + s.px(inset), length - s.px(2 * inset)};
    return {start + (length >> 1) - s.px(size / 2), s.px(size)};
}

}  // namespace

WindowPlacement mainWindowPlacement(const WorkArea& area, const Scale& scale)
{
    auto horizontal = placeAlong(area.left, area.width, scale, 1200, 30, 1180);
    auto vertical = placeAlong(area.top, area.height, scale, 820, 30, 780);
    return {horizontal.first, vertical.first, horizontal.second, vertical.second};
}

WindowPlacement mainWindowPlacement(int screenWidth, int screenHeight)
{
    return mainWindowPlacement(WorkArea{0, 0, screenWidth, screenHeight}, Scale());
}

NonClientHit nonClientHit(int x, int y, int cw, int ch, bool inZone, const Scale& s, bool maximized)
{
    if (!maximized) {
        const int left = s.px(7);
        const int edge = s.px(6);
        if (y >= ch - edge) {
            if (x < left) return NonClientHit::BottomLeft;
            return x < cw - edge ? NonClientHit::Bottom : NonClientHit::BottomRight;
        }
        if (x < left) return NonClientHit::Left;
        if (x >= cw - edge) return NonClientHit::Right;
    }
    if (y >= s.px(64)) return NonClientHit::Client;
    return inZone ? NonClientHit::Client : NonClientHit::Caption;
}

WheelTarget wheelTarget(int x, int y, bool downloadsPage, const Scale& s)
{
    if (x < s.px(kSidebarWidth) && y > s.px(kTitleBarHeight)) return WheelTarget::Sidebar;
    return downloadsPage ? WheelTarget::Panel : WheelTarget::Grid;
}

CategorySelection selectionAfterCatalogArrival(bool catalogPage, const std::wstring& currentId,
                                               const std::vector<std::wstring>& categoryIds)
{
    std::wstring first = categoryIds.empty() ? std::wstring() : categoryIds.front();
    if (!catalogPage) return {true, first};
    for (const auto& id : categoryIds)
        if (id == currentId) return {true, currentId};
    return {true, first};
}

ShadowRing shadowRing(int i, int width, int height, const Scale& scale)
{
    // trunc(64 (1 - i/18)^2) without rounding error.
    int remaining = kShadowRings - i;
    ShadowRing ring{};
    ring.alpha = 64 * remaining * remaining / (kShadowRings * kShadowRings);
    // Ring i is inset 17 - i from the bitmap's edges on every side.
    const float inset = scale.pxf(static_cast<float>(17 - i));
    const float margin = static_cast<float>(scale.px(kShadowMargin));
    ring.left = inset;
    ring.top = inset;
    ring.right = static_cast<float>(width) + 2 * margin - inset;
    ring.bottom = static_cast<float>(height) + 2 * margin - inset;
    ring.radius = scale.pxf(static_cast<float>(15 + i));
    return ring;
}

void premultiplyAlpha(uint8_t* pixels, size_t pixelCount)
{
    for (size_t p = 0; p < pixelCount; ++p) {
        uint8_t* pixel = pixels + 4 * p;
        unsigned alpha = pixel[3];
        if (alpha == 0 || alpha == 255) continue;
        for (int c = 0; c < 3; ++c) pixel[c] = static_cast<uint8_t>(pixel[c] * alpha / 255);
    }
}
