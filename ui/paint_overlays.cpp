// What lies on top of the page: the held button's pressed look, the
// keyboard's focus ring, the toast pill (2.2 s) and the completion banner
// (5 s, a click dismisses it). The layout decides whether the overlays are
// still up.

#include "ui/paint_context.h"

namespace {

Argb toastFill(ToastKind kind)
{
    switch (kind) {
    case ToastKind::Success: return kToastSuccess;
    case ToastKind::Error: return kToastError;
    default: return kToastNeutral;
    }
}

std::wstring bannerSubLine(const CompletionBanner& banner)
{
    if (banner.isArchive) return L"下载成功，压缩包已保存";
    if (banner.md5Ok) return L"下载完成，已打开安装向导";
    return L"下载完成，校验不一致，请谨慎安装";
}

Rect inflated(const Rect& r, int by) { return {r.left - by, r.top - by, r.right + by, r.bottom + by}; }

}  // namespace

void paintPressAndFocus(const Canvas& c)
{
    const ViewState& view = c.view;
    if (view.press.inside) {
        if (const LayoutZone* zone = findZone(c.layout, view.press.zone))
            c.fillRoundRect(zone->rect, zoneRadius(zone->kind), kPressedOverlay);
    }
    // The field being typed in shows that by itself.
    const bool typing = view.searchFocused && view.focus.kind == HitKind::SearchField;
    if (view.focusVisible && !view.focus.empty() && !typing) {
        if (const LayoutZone* zone = findZone(c.layout, view.focus)) {
            // On the violet title bar the ring is white, elsewhere the accent.
            const Argb ring = zone->rect.top < kTitleBarHeight ? kFocusRingOnTitle : kFocusRing;
            c.strokeRoundRect(inflated(zone->rect, 2), zoneRadius(zone->kind) + 2, ring, 2.0f);
        }
    }
}

void paintToast(const Canvas& c)
{
    if (!c.layout.toastUp) return;
    const Toast& toast = c.view.toast;
    c.fillRoundRect(c.layout.toast, 20, toastFill(toast.kind));
    c.text(c.fonts.toast, toast.text, c.layout.toast, kTextWhite, kCentredLine);
}

void paintBanner(const Canvas& c)
{
    if (!c.layout.bannerUp) return;
    const FrameLayout& f = c.layout;
    const CompletionBanner& banner = c.view.banner;
    c.fillRoundRect(f.banner, 10, kBannerFill);
    c.strokeRoundRect(f.banner, 10, kBannerOutline);
    paintAppIcon(c, findAnyApp(c.input.catalog, banner.appId), f.bannerIcon);
    c.text(c.fonts.strong, banner.title, f.bannerTitle, kTextPrimary, kLeftLine);
    c.text(c.fonts.body, bannerSubLine(banner), f.bannerSubLine, banner.md5Ok ? kTextSecondary : kTextWarning,
           kLeftLine);
}
