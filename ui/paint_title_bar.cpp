// The gradient title bar: logo, product name, tagline, the two header buttons
// with the running-download badge, and the window buttons.

#include <cmath>
#include <cstring>
#include <cwchar>

#include "ui/draw.h"
#include "ui/gdi_guards.h"
#include "ui/paint_context.h"

namespace gp = Gdiplus::DllExports;

namespace {

// The logo drawn at 48, 72 and 96 pixels (resources 2, 3 and 4): the
// smallest that is not smaller than the logo at the window's scale.
struct LogoResource {
    int id;
    int side;
};
constexpr LogoResource kLogos[] = {{2, 48}, {3, 72}, {4, 96}};

int logoResourceFor(const Scale& scale)
{
    const int side = scale.px(logoRect().width());
    for (const LogoResource& logo : kLogos)
        if (logo.side >= side) return logo.id;
    return kLogos[sizeof kLogos / sizeof kLogos[0] - 1].id;
}

// The bytes of an RT_RCDATA resource of the program; null when missing.
const void* resourceBytes(int id, DWORD& size)
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (!found) return nullptr;
    size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    return size > 0 ? bytes : nullptr;
}
constexpr float kGlyphPen = 1.6f;

void paintLogo(const Canvas& c)
{
    const Rect& logo = c.layout.logo;
    if (c.view.logoState == LogoState::Loaded && c.view.logo) {
        c.image(static_cast<Gdiplus::GpImage*>(c.view.logo), logo);
        return;
    }
    c.fillRoundRect(logo, 10, kLogoFallbackFill);
    c.text(c.fonts.logoGlyph, L"云", logo, kTextWhite, kCentredLine);
}

// The glyphs sit at fixed places in their 46 x 64 buttons.
void paintWindowButtons(const Canvas& c)
{
    const FrameLayout& f = c.layout;
    if (c.hovered(HitKind::Minimize)) c.fillRectangle(f.minimize, kWindowButtonHover);
    if (c.hovered(HitKind::MaximizeRestore)) c.fillRectangle(f.maximize, kWindowButtonHover);
    if (c.hovered(HitKind::Close)) c.fillRectangle(f.close, kCloseButtonHover);

    const float minimize = static_cast<float>(f.minimize.left);
    c.line(kGlyphWhite, kGlyphPen, minimize + 16, 39, minimize + 30, 39);
    const float maximize = static_cast<float>(f.maximize.left);
    if (c.input.maximized) {
        c.rectangleOutline(kGlyphWhite, kGlyphPen, maximize + 15, 28, 10, 10);
        c.polyline(kGlyphWhite, kGlyphPen,
                   {{maximize + 18, 25}, {maximize + 28, 25}, {maximize + 28, 35}, {maximize + 25, 35}});
    } else {
        c.rectangleOutline(kGlyphWhite, kGlyphPen, maximize + 16, 25, 14, 14);
    }
    const float close = static_cast<float>(f.close.left);
    c.line(kGlyphWhite, kGlyphPen, close + 15, 24, close + 31, 40);
    c.line(kGlyphWhite, kGlyphPen, close + 15, 40, close + 31, 24);
}

void paintDownloadArrow(const Canvas& c, float x0)
{
    c.line(kGlyphWhite, kGlyphPen, x0 + 21, 24, x0 + 21, 34);
    c.line(kGlyphWhite, kGlyphPen, x0 + 17, 30, x0 + 21, 34);
    c.line(kGlyphWhite, kGlyphPen, x0 + 25, 30, x0 + 21, 34);
    c.line(kGlyphWhite, kGlyphPen, x0 + 13, 37, x0 + 13, 40);
    c.line(kGlyphWhite, kGlyphPen, x0 + 29, 37, x0 + 29, 40);
    c.line(kGlyphWhite, kGlyphPen, x0 + 13, 40, x0 + 29, 40);
}

void paintGear(const Canvas& c, float x0)
{
    c.ellipseOutline(kGlyphWhite, kGlyphPen, x0 + 17, 28, 8, 8);
    const float cx = x0 + 21;
    const float cy = 32;
    for (int i = 0; i < 8; ++i) {
        double angle = i * 45.0 * 3.14159265358979 / 180.0;
        float dx = static_cast<float>(std::cos(angle));
        float dy = static_cast<float>(std::sin(angle));
        c.line(kGlyphWhite, kGlyphPen, cx + 5 * dx, cy + 5 * dy, cx + 8 * dx, cy + 8 * dy);
    }
}

void paintBadge(const Canvas& c)
{
    int running = 0;
    for (const auto& entry : c.input.tasks)
        if (entry.second.state == TaskState::Downloading) ++running;
    if (running == 0) return;
    const Rect& badge = c.layout.badge;
    c.fillRoundRect(badge, 12, kBadge);
    c.strokeRoundRect(badge, 12, kBadgeOutline);
    c.text(c.fonts.small, std::to_wstring(running), badge, kTextWhite, kCentredLine);
}

}  // namespace

Gdiplus::GpBitmap* decodeLogo(const void* bytes, DWORD size)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory) return nullptr;
    void* target = GlobalLock(memory);
    if (!target) {
        GlobalFree(memory);
        return nullptr;
    }
    std::memcpy(target, bytes, size);
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream)) || !stream) {
        GlobalFree(memory);
        return nullptr;
    }
    Gdiplus::GpBitmap* decoded = nullptr;
    Gdiplus::GpBitmap* copy = nullptr;
    if (gp::GdipCreateBitmapFromStream(stream, &decoded) == Gdiplus::Ok && decoded) {
        gdi::Image source(decoded);
        UINT w = 0, h = 0;
        gp::GdipGetImageWidth(decoded, &w);
        gp::GdipGetImageHeight(decoded, &h);
        if (w > 0 && h > 0 && gp::GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, &copy) == Gdiplus::Ok) {
            Gdiplus::GpGraphics* made = nullptr;
            gp::GdipGetImageGraphicsContext(copy, &made);
            gdi::Graphics g(made);
            if (g) gp::GdipDrawImageRectI(g.get(), decoded, 0, 0, w, h);
        }
    }
    stream->Release();
    return copy;
}

void ensureLogoLoaded(ViewState& view)
{
    if (view.logoState != LogoState::NotTried) return;
    // A new scale asks again: the logo of the old one goes.
    if (view.logo) gp::GdipDisposeImage(static_cast<Gdiplus::GpImage*>(view.logo));
    view.logo = nullptr;
    view.logoState = LogoState::Absent;
    DWORD size = 0;
    const void* bytes = resourceBytes(logoResourceFor(view.scale), size);
    if (!bytes) bytes = resourceBytes(kLogos[0].id, size);
    if (!bytes) return;
    if (Gdiplus::GpBitmap* logo = decodeLogo(bytes, size)) {
        view.logo = logo;
        view.logoState = LogoState::Loaded;
    }
}

void paintHeaderButton(const Canvas& c, const Rect& rect, const std::wstring& label, int iconKind, bool hovered,
                       bool active)
{
    if (active) {
        c.fillRoundRect(rect, 17, kHeaderButtonActiveFill);
        c.strokeRoundRect(rect, 17, kHeaderButtonActiveOutline);
    } else if (hovered) {
        c.fillRoundRect(rect, 17, kHeaderButtonHoverFill);
    }
    float x0 = static_cast<float>(rect.left);
    if (iconKind == 0)
        paintDownloadArrow(c, x0);
    else
        paintGear(c, x0);
    c.text(c.fonts.headerButton, label, headerButtonLabelRect(rect), active || hovered ? kTextWhite : kTextHeaderButton,
           DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

void paintTitleBar(const Canvas& c)
{
    const FrameLayout& f = c.layout;
    c.fillGradient(f.titleBar, kTitleGradientStart, kTitleGradientEnd);
    paintLogo(c);
    c.text(c.fonts.title, L"Pakvane", f.productName, kTextWhite, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    c.fillRectangle(f.separator, kTitleSeparator);
    c.text(c.fonts.tagline, L"高速下载 · 免费安装", f.tagline, kTextTagline, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    paintSearchField(c);
    paintWindowButtons(c);
    paintHeaderButton(c, f.downloadsButton, L"下载管理", 0, c.hovered(HitKind::DownloadsButton),
                      c.view.page == Page::Downloads);
    paintHeaderButton(c, f.settingsButton, L"下载设置", 1, c.hovered(HitKind::SettingsButton), false);
    paintBadge(c);
}
