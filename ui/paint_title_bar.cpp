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

constexpr int kLogoResourceId = 2;
constexpr float kGlyphPen = 1.6f;

void paintLogo(Canvas& c)
{
    const Rect logo{22, 8, 70, 56};
    if (c.view.logoState == LogoState::Loaded && c.view.logo) {
        drawImage(c.g, static_cast<Gdiplus::GpImage*>(c.view.logo), logo);
        return;
    }
    fillRoundRect(c.g, logo, 10, kLogoFallbackFill);
    drawText(c.dc, c.fonts.logoGlyph, L"云", logo, kTextWhite, kCentredLine);
}

void paintWindowButtons(Canvas& c)
{
    const int w = c.width;
    const float fw = static_cast<float>(w);
    Rect minimize = windowButtonRect(WindowButton::Minimize, w);
    Rect maximize = windowButtonRect(WindowButton::MaximizeRestore, w);
    Rect close = windowButtonRect(WindowButton::Close, w);
    if (c.hovered(HitKind::Minimize)) fillRectangle(c.g, minimize, kWindowButtonHover);
    if (c.hovered(HitKind::MaximizeRestore)) fillRectangle(c.g, maximize, kWindowButtonHover);
    if (c.hovered(HitKind::Close)) fillRectangle(c.g, close, kCloseButtonHover);

    drawLine(c.g, kGlyphWhite, kGlyphPen, fw - 122, 39, fw - 108, 39);
    if (c.input.maximized) {
        drawRectangleOutline(c.g, kGlyphWhite, kGlyphPen, fw - 77, 28, 10, 10);
        drawPolyline(c.g, kGlyphWhite, kGlyphPen, {{fw - 74, 25}, {fw - 64, 25}, {fw - 64, 35}, {fw - 67, 35}});
    } else {
        drawRectangleOutline(c.g, kGlyphWhite, kGlyphPen, fw - 76, 25, 14, 14);
    }
    drawLine(c.g, kGlyphWhite, kGlyphPen, fw - 31, 24, fw - 15, 40);
    drawLine(c.g, kGlyphWhite, kGlyphPen, fw - 31, 40, fw - 15, 24);

    c.addZone(minimize, HitKind::Minimize);
    c.addZone(maximize, HitKind::MaximizeRestore);
    c.addZone(close, HitKind::Close);
}

void paintDownloadArrow(Canvas& c, float x0)
{
    drawLine(c.g, kGlyphWhite, kGlyphPen, x0 + 21, 24, x0 + 21, 34);
    drawLine(c.g, kGlyphWhite, kGlyphPen, x0 + 17, 30, x0 + 21, 34);
    drawLine(c.g, kGlyphWhite, kGlyphPen, x0 + 25, 30, x0 + 21, 34);
    drawLine(c.g, kGlyphWhite, kGlyphPen, x0 + 13, 37, x0 + 13, 40);
    drawLine(c.g, kGlyphWhite, kGlyphPen, x0 + 29, 37, x0 + 29, 40);
    drawLine(c.g, kGlyphWhite, kGlyphPen, x0 + 13, 40, x0 + 29, 40);
}

void paintGear(Canvas& c, float x0)
{
    drawEllipseOutline(c.g, kGlyphWhite, kGlyphPen, x0 + 17, 28, 8, 8);
    const float cx = x0 + 21;
    const float cy = 32;
    for (int i = 0; i < 8; ++i) {
        double angle = i * 45.0 * 3.14159265358979 / 180.0;
        float dx = static_cast<float>(std::cos(angle));
        float dy = static_cast<float>(std::sin(angle));
        drawLine(c.g, kGlyphWhite, kGlyphPen, cx + 5 * dx, cy + 5 * dy, cx + 8 * dx, cy + 8 * dy);
    }
}

void paintBadge(Canvas& c)
{
    int running = 0;
    for (const auto& entry : c.input.tasks)
        if (static_cast<TaskState::Value>(entry.second.state) == TaskState::Downloading) ++running;
    if (running == 0) return;
    Rect badge = badgeRect(c.width);
    fillRoundRect(c.g, badge, 12, kBadge);
    strokeRoundRect(c.g, badge, 12, kBadgeOutline);
    drawText(c.dc, c.fonts.small, std::to_wstring(running), badge, kTextWhite, kCentredLine);
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
    view.logoState = LogoState::Absent;
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kLogoResourceId), RT_RCDATA);
    if (!found) return;
    DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return;
    if (Gdiplus::GpBitmap* logo = decodeLogo(bytes, size)) {
        view.logo = logo;
        view.logoState = LogoState::Loaded;
    }
}

void paintHeaderButton(Canvas& c, const Rect& rect, const std::wstring& label, int iconKind, bool hovered, bool active)
{
    if (active) {
        fillRoundRect(c.g, rect, 17, kHeaderButtonActiveFill);
        strokeRoundRect(c.g, rect, 17, kHeaderButtonActiveOutline);
    } else if (hovered) {
        fillRoundRect(c.g, rect, 17, kHeaderButtonHoverFill);
    }
    float x0 = static_cast<float>(rect.left);
    if (iconKind == 0)
        paintDownloadArrow(c, x0);
    else
        paintGear(c, x0);
    Rect text{rect.left + 36, 14, rect.right - 6, 50};
    drawText(c.dc, c.fonts.headerButton, label, text, active || hovered ? kTextWhite : kTextHeaderButton,
             DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

void paintTitleBar(Canvas& c)
{
    fillHorizontalGradient(c.dc, {0, 0, c.width, kTitleBarHeight}, kTitleGradientStart, kTitleGradientEnd);
    paintLogo(c);
    drawText(c.dc, c.fonts.title, L"Pakvane", {84, 0, 284, 64}, kTextWhite, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    fillRectangle(c.g, {232, 22, 233, 42}, kTitleSeparator);
    drawText(c.dc, c.fonts.tagline, L"高速下载 · 免费安装", {246, 0, 466, 64}, kTextTagline,
             DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    paintWindowButtons(c);

    Rect downloads = downloadsButtonRect(c.width);
    paintHeaderButton(c, downloads, L"下载管理", 0, c.hovered(HitKind::DownloadsButton),
                      c.view.page == Page::Downloads);
    c.addZone(downloads, HitKind::DownloadsButton);
    Rect settings = settingsButtonRect(c.width);
    paintHeaderButton(c, settings, L"下载设置", 1, c.hovered(HitKind::SettingsButton), false);
    c.addZone(settings, HitKind::SettingsButton);
    paintBadge(c);
}
