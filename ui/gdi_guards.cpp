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

BackBuffer::BackBuffer(HDC target, int width, int height)
    : target_(target), width_(width), height_(height), dc_(CreateCompatibleDC(target)),
      bitmap_(CreateCompatibleBitmap(target, width, height))
{
    if (valid()) previous_ = SelectObject(dc_.get(), bitmap_.get());
}

BackBuffer::~BackBuffer()
{
    // The bitmap must leave the DC before either is deleted.
    if (previous_) SelectObject(dc_.get(), previous_);
}

void BackBuffer::blit() const
{
    if (valid()) BitBlt(target_, 0, 0, width_, height_, dc_.get(), 0, 0, SRCCOPY);
}

}  // namespace gdi
