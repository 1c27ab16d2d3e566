#include "ui/paint_chrome.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cmath>

#include "ui/draw.h"
#include "ui/gdi_guards.h"

namespace gp = Gdiplus::DllExports;

namespace {

// The outline's anti-aliasing reaches about half its width, and a pixel, beyond the rectangle.
int marginFor(float outlineWidth) { return static_cast<int>(std::ceil(outlineWidth)); }

}  // namespace

struct ChromeCache::Sprite {
    int width = 0;
    int height = 0;
    float radius = 0;
    Argb fill = 0;
    Argb outline = 0;
    TextColor under = 0;
    float outlineWidth = 1.0f;
    int margin = 1;
    gdi::MemoryDc dc;
    gdi::GdiObject bitmap;
    HGDIOBJ previous = nullptr;

    ~Sprite()
    {
        if (previous) SelectObject(dc.get(), previous);
    }

    bool matches(int w, int h, float r, Argb f, Argb o, TextColor u, float ow) const
    {
        return width == w && height == h && radius == r && fill == f && outline == o && under == u &&
               outlineWidth == ow;
    }

    bool draw()
    {
        const int w = width + 2 * margin;
        const int h = height + 2 * margin;
        dc = gdi::MemoryDc(CreateCompatibleDC(nullptr));
        void* bits = nullptr;
        bitmap = gdi::GdiObject(createTopDownDib(dc.get(), w, h, &bits));
        if (!dc || !bitmap || !bits) return false;
        previous = SelectObject(dc.get(), bitmap.get());
        fillOpaqueRect(dc.get(), {0, 0, w, h}, under);
        GdiFlush();
        Gdiplus::GpBitmap* surface = nullptr;
        gp::GdipCreateBitmapFromScan0(w, h, w * 4, PixelFormat32bppRGB, static_cast<BYTE*>(bits), &surface);
        gdi::Image image(surface);
        if (!image) return false;
        Gdiplus::GpGraphics* made = nullptr;
        gp::GdipGetImageGraphicsContext(image.get(), &made);
        gdi::Graphics graphics(made);
        if (!graphics) return false;
        gp::GdipSetSmoothingMode(graphics.get(), Gdiplus::SmoothingModeAntiAlias);
        const Rect shape{margin, margin, margin + width, margin + height};
        fillRoundRect(graphics.get(), shape, radius, fill);
        if (outline >> 24) strokeRoundRect(graphics.get(), shape, radius, outline, outlineWidth);
        gp::GdipFlush(graphics.get(), Gdiplus::FlushIntentionSync);
        return true;
    }
};

ChromeCache::ChromeCache() = default;
ChromeCache::~ChromeCache() = default;

bool ChromeCache::paint(HDC target, const Rect& rect, float radius, Argb fill, Argb outline, TextColor under,
                        float outlineWidth)
{
    Sprite* found = nullptr;
    for (const auto& sprite : sprites_)
        if (sprite->matches(rect.width(), rect.height(), radius, fill, outline, under, outlineWidth))
            found = sprite.get();
    if (!found) {
        auto made = std::make_unique<Sprite>();
        made->width = rect.width();
        made->height = rect.height();
        made->radius = radius;
        made->fill = fill;
        made->outline = outline;
        made->under = under;
        made->outlineWidth = outlineWidth;
        made->margin = marginFor(outlineWidth);
        if (!made->draw()) return false;
        found = made.get();
        sprites_.push_back(std::move(made));
    }
    const int m = found->margin;
    BitBlt(target, rect.left - m, rect.top - m, rect.width() + 2 * m, rect.height() + 2 * m, found->dc.get(), 0, 0,
           SRCCOPY);
    return true;
}
