#include "ui/window_geometry.h"

WindowPlacement mainWindowPlacement(int screenWidth, int screenHeight)
{
    WindowPlacement placement{};
    if (screenWidth < 1200) {
        placement.x = 30;
        placement.width = screenWidth - 60;
    } else {
        placement.x = (screenWidth >> 1) - 590;
        placement.width = 1180;
    }
    if (screenHeight < 820) {
        placement.y = 30;
        placement.height = screenHeight - 60;
    } else {
        placement.y = (screenHeight >> 1) - 390;
        placement.height = 780;
    }
    return placement;
}

NonClientHit nonClientHit(int x, int y, int cw, int ch, bool inZone)
{
    if (y >= ch - 6) {
        if (x < 7) return NonClientHit::BottomLeft;
        return x < cw - 6 ? NonClientHit::Bottom : NonClientHit::BottomRight;
    }
    if (x < 7) return NonClientHit::Left;
    if (x >= cw - 6) return NonClientHit::Right;
    if (y > 63) return NonClientHit::Client;
    return inZone ? NonClientHit::Client : NonClientHit::Caption;
}

WheelTarget wheelTarget(int x, int y, bool downloadsPage)
{
    if (x < 200 && y > 64) return WheelTarget::Sidebar;
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

ShadowRing shadowRing(int i, int width, int height)
{
    // trunc(64 (1 - i/18)^2) without rounding error.
    int remaining = kShadowRings - i;
    ShadowRing ring{};
    ring.alpha = 64 * remaining * remaining / (kShadowRings * kShadowRings);
    ring.left = static_cast<float>(17 - i);
    ring.top = static_cast<float>(17 - i);
    ring.right = static_cast<float>(width + 19 + i);
    ring.bottom = static_cast<float>(height + 19 + i);
    ring.radius = static_cast<float>(15 + i);
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
