#include "ui/shadow_window.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <memory>

#include "core/handles.h"
#include "ui/draw.h"
#include "ui/view_state.h"
#include "ui/window_geometry.h"

namespace gdip = Gdiplus::DllExports;

namespace {

struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueDc = UniqueResource<HDC, nullptr, DcDeleter>;

struct GdipImageDisposer {
    void operator()(Gdiplus::GpBitmap* bitmap) const { gdip::GdipDisposeImage(bitmap); }
};
struct GdipGraphicsDeleter {
    void operator()(Gdiplus::GpGraphics* graphics) const { gdip::GdipDeleteGraphics(graphics); }
};
struct GdipPathDeleter {
    void operator()(Gdiplus::GpPath* path) const { gdip::GdipDeletePath(path); }
};
struct GdipPenDeleter {
    void operator()(Gdiplus::GpPen* pen) const { gdip::GdipDeletePen(pen); }
};

class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~SelectGuard() { SelectObject(dc_, old_); }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

constexpr Gdiplus::ARGB shadowColour(int alpha)
{
    return (static_cast<Gdiplus::ARGB>(alpha) << 24) | 0x1E2230u;
}

// Four 90-degree arcs, clockwise from the top-left corner, closed.
void addRoundedOutline(Gdiplus::GpPath* path, const ShadowRing& ring)
{
    float d = 2 * ring.radius;
    float r = ring.right - d, b = ring.bottom - d;
    gdip::GdipAddPathArc(path, ring.left, ring.top, d, d, 180, 90);
    gdip::GdipAddPathArc(path, r, ring.top, d, d, 270, 90);
    gdip::GdipAddPathArc(path, r, b, d, d, 0, 90);
    gdip::GdipAddPathArc(path, ring.left, b, d, d, 90, 90);
    gdip::GdipClosePathFigure(path);
}

bool drawRings(Gdiplus::GpGraphics* graphics, int width, int height)
{
    gdip::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);
    for (int i = 0; i < kShadowRings; ++i) {
        ShadowRing ring = shadowRing(i, width, height);
        if (ring.alpha == 0) continue;
        Gdiplus::GpPath* rawPath = nullptr;
        Gdiplus::GpPen* rawPen = nullptr;
        if (gdip::GdipCreatePath(Gdiplus::FillModeAlternate, &rawPath) != Gdiplus::Ok) return false;
        std::unique_ptr<Gdiplus::GpPath, GdipPathDeleter> path(rawPath);
        if (gdip::GdipCreatePen1(shadowColour(ring.alpha), 2.0f, Gdiplus::UnitPixel, &rawPen) != Gdiplus::Ok)
            return false;
        std::unique_ptr<Gdiplus::GpPen, GdipPenDeleter> pen(rawPen);
        addRoundedOutline(path.get(), ring);
        gdip::GdipDrawPath(graphics, pen.get(), path.get());
    }
    return true;
}

// Builds the bitmap for a width x height main window and hands it to the
// layered shadow window. False when the DIB could not be made.
bool pushShadowBitmap(HWND shadow, int width, int height)
{
    int w = width + 2 * kShadowMargin, h = height + 2 * kShadowMargin;
    UniqueDc memoryDc(CreateCompatibleDC(nullptr));
    if (!memoryDc) return false;
    void* bits = nullptr;
    UniqueGdiObject dib(createTopDownDib(memoryDc.get(), w, h, &bits));
    if (!dib || !bits) return false;
    SelectGuard selected(memoryDc.get(), dib.get());
    std::memset(bits, 0, static_cast<size_t>(w) * h * 4);
    renderShadowPixels(static_cast<uint32_t*>(bits), width, height);

    SIZE size{w, h};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(shadow, nullptr, nullptr, &size, memoryDc.get(), &source, 0, &blend, ULW_ALPHA);
    return true;
}

}  // namespace

bool renderShadowPixels(uint32_t* pixels, int width, int height)
{
    int w = width + 2 * kShadowMargin, h = height + 2 * kShadowMargin;
    // A GDI+ bitmap over the same memory keeps the alpha GDI+ writes, which a
    // graphics on a DC would not reliably do.
    Gdiplus::GpBitmap* rawBitmap = nullptr;
    if (gdip::GdipCreateBitmapFromScan0(w, h, w * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(pixels),
                                        &rawBitmap) != Gdiplus::Ok)
        return false;
    std::unique_ptr<Gdiplus::GpBitmap, GdipImageDisposer> bitmap(rawBitmap);
    Gdiplus::GpGraphics* rawGraphics = nullptr;
    if (gdip::GdipGetImageGraphicsContext(bitmap.get(), &rawGraphics) != Gdiplus::Ok) return false;
    bool drawn;
    {
        std::unique_ptr<Gdiplus::GpGraphics, GdipGraphicsDeleter> graphics(rawGraphics);
        drawn = drawRings(graphics.get(), width, height);
    }
    // Drawing is flushed once the graphics is gone.
    bitmap.reset();
    premultiplyAlpha(reinterpret_cast<uint8_t*>(pixels), static_cast<size_t>(w) * h);
    return drawn;
}

LRESULT CALLBACK shadowWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: ValidateRect(window, nullptr); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND createShadowWindow(HINSTANCE instance, HWND main)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = shadowWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"KXShadow";
    RegisterClassExW(&windowClass);

    RECT rect{};
    GetWindowRect(main, &rect);
    return CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT, L"KXShadow",
                           L"", WS_POPUP, rect.left - kShadowMargin, rect.top - kShadowMargin,
                           rect.right - rect.left + 2 * kShadowMargin, rect.bottom - rect.top + 2 * kShadowMargin,
                           nullptr, nullptr, instance, nullptr);
}

void updateShadow(HWND main)
{
    ViewState& view = viewState();
    HWND shadow = view.shadowWindow;
    if (!shadow || !main) return;
    if (IsIconic(main) || IsZoomed(main) || !IsWindowVisible(main)) {
        ShowWindow(shadow, SW_HIDE);
        return;
    }
    RECT rect{};
    GetWindowRect(main, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    int w = width + 2 * kShadowMargin, h = height + 2 * kShadowMargin;
    if ((w != view.shadowSize.cx || h != view.shadowSize.cy) && pushShadowBitmap(shadow, width, height))
        view.shadowSize = SIZE{w, h};
    SetWindowPos(shadow, main, rect.left - kShadowMargin, rect.top - kShadowMargin, w, h,
                 SWP_SHOWWINDOW | SWP_NOACTIVATE);
}
