#include "ui/gdi_guards.h"

namespace gdi {

std::atomic<int>& liveObjectCounter()
{
    static std::atomic<int> count{0};
    return count;
}

std::atomic<long>& createdObjectCounter()
{
    static std::atomic<long> count{0};
    return count;
}

Clip::Clip(HDC dc, Gdiplus::GpGraphics* graphics, const Rect& rect)
    : dc_(dc), savedDc_(SaveDC(dc)), graphics_(graphics)
{
    IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
    if (graphics_) {
        Gdiplus::DllExports::GdipSaveGraphics(graphics_, &savedGraphics_);
        Gdiplus::DllExports::GdipSetClipRectI(graphics_, rect.left, rect.top, rect.width(), rect.height(),
                                              Gdiplus::CombineModeIntersect);
    }
}

Clip::~Clip()
{
    if (graphics_) Gdiplus::DllExports::GdipRestoreGraphics(graphics_, savedGraphics_);
    if (savedDc_) RestoreDC(dc_, savedDc_);
}

}  // namespace gdi
