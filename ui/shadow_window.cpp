#include "ui/shadow_window.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>
#include <memory>

#include "ui/draw.h"
#include "ui/gdi_guards.h"
#include "ui/view_state.h"
#include "ui/window_geometry.h"

namespace gdip = Gdiplus::DllExports;

namespace {

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

bool drawRings(Gdiplus::GpGraphics* graphics, int width, int height, const Scale& scale)
{
    gdip::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeAntiAlias);
    for (int i = 0; i < kShadowRings; ++i) {
        ShadowRing ring = shadowRing(i, width, height, scale);
        if (ring.alpha == 0) continue;
        Gdiplus::GpPath* rawPath = nullptr;
        Gdiplus::GpPen* rawPen = nullptr;
        if (gdip::GdipCreatePath(Gdiplus::FillModeAlternate, &rawPath) != Gdiplus::Ok) return false;
        gdi::Path path(rawPath);
        if (gdip::GdipCreatePen1(shadowColour(ring.alpha), scale.pxf(kShadowPen), Gdiplus::UnitPixel, &rawPen) !=
            Gdiplus::Ok)
            return false;
        gdi::Pen pen(rawPen);
        addRoundedOutline(path.get(), ring);
        gdip::GdipDrawPath(graphics, pen.get(), path.get());
    }
    return true;
}

// Builds the bitmap for a width x height main window and hands it to the
// layered shadow window. False when the DIB could not be made.
bool pushShadowBitmap(HWND shadow, int width, int height, const Scale& scale)
{
    const int margin = scale.px(kShadowMargin);
    int w = width + 2 * margin, h = height + 2 * margin;
    gdi::MemoryDc memoryDc(CreateCompatibleDC(nullptr));
    if (!memoryDc) return false;
    void* bits = nullptr;
    gdi::GdiObject dib(createTopDownDib(memoryDc.get(), w, h, &bits));
    if (!dib || !bits) return false;
    gdi::Selection selected(memoryDc.get(), dib.get());
    std::memset(bits, 0, static_cast<size_t>(w) * h * 4);
    renderShadowPixels(static_cast<uint32_t*>(bits), width, height, scale);

    SIZE size{w, h};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(shadow, nullptr, nullptr, &size, memoryDc.get(), &source, 0, &blend, ULW_ALPHA);
    return true;
}

}  // namespace

bool renderShadowPixels(uint32_t* pixels, int width, int height, const Scale& scale)
{
    const int margin = scale.px(kShadowMargin);
    int w = width + 2 * margin, h = height + 2 * margin;
    // A GDI+ bitmap over the same memory keeps the alpha GDI+ writes, which a
    // graphics on a DC would not reliably do.
    Gdiplus::GpBitmap* rawBitmap = nullptr;
    if (gdip::GdipCreateBitmapFromScan0(w, h, w * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(pixels),
                                        &rawBitmap) != Gdiplus::Ok)
        return false;
    gdi::Image bitmap(rawBitmap);
    Gdiplus::GpGraphics* rawGraphics = nullptr;
    if (gdip::GdipGetImageGraphicsContext(bitmap.get(), &rawGraphics) != Gdiplus::Ok) return false;
    bool drawn;
    {
        gdi::Graphics graphics(rawGraphics);
        drawn = drawRings(graphics.get(), width, height, scale);
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
    const int margin = viewState().scale.px(kShadowMargin);
    return CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT, L"KXShadow",
                           L"", WS_POPUP, rect.left - margin, rect.top - margin, rect.right - rect.left + 2 * margin,
                           rect.bottom - rect.top + 2 * margin, nullptr, nullptr, instance, nullptr);
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
    const Scale scale = view.scale;
    const int margin = scale.px(kShadowMargin);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    int w = width + 2 * margin, h = height + 2 * margin;
    const bool redraw = w != view.shadowSize.cx || h != view.shadowSize.cy || view.shadowDpi != scale.dpi;
    if (redraw && pushShadowBitmap(shadow, width, height, scale)) {
        view.shadowSize = SIZE{w, h};
        view.shadowDpi = scale.dpi;
    }
    SetWindowPos(shadow, main, rect.left - margin, rect.top - margin, w, h, SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

void keepShadowBelow(HWND main)
{
    HWND shadow = viewState().shadowWindow;
    if (!shadow || !main || !IsWindowVisible(shadow) || GetWindow(main, GW_HWNDNEXT) == shadow) return;
    SetWindowPos(shadow, main, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
