#pragma once
// Rounded panels that a frame draws many times alike (catalog cards, download
// rows): drawn once per frame with GDI+ into a small bitmap over the window
// background, then copied to each place. Same pixels, a fraction of the cost:
// an anti-aliased fill and outline of a whole card take milliseconds each.
// Lives for one frame; UI thread.

#include <windows.h>

#include <memory>
#include <vector>

#include "ui/layout.h"
#include "ui/palette.h"

class ChromeCache {
public:
    ChromeCache();
    ~ChromeCache();
    ChromeCache(const ChromeCache&) = delete;
    ChromeCache& operator=(const ChromeCache&) = delete;

    // The rounded rectangle rect (pixels: radius, fill, an outline of
    // outlineWidth; a fully transparent outline is none) as it looks over
    // `under`, copied to target. False when it could not be made: draw it directly.
    bool paint(HDC target, const Rect& rect, float radius, Argb fill, Argb outline, TextColor under,
               float outlineWidth = 1.0f);

private:
    struct Sprite;
    std::vector<std::unique_ptr<Sprite>> sprites_;
};
