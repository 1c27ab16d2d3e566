// The two overlays on top of everything: the toast pill (2.2 s) and the
// completion banner (5 s, a click dismisses it). Both clear themselves once
// their time is up.

#include "ui/draw.h"
#include "ui/paint_context.h"

namespace {

constexpr uint32_t kToastLifeMs = 2199;   // shown while at most this old
constexpr uint32_t kBannerLifeMs = 5000;  // shown while younger than this

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

}  // namespace

void paintToast(Canvas& c)
{
    Toast& toast = c.view.toast;
    if (toast.text.empty()) return;
    // Unsigned difference: right across the tick counter's wrap.
    if (c.input.now - toast.shownAt > kToastLifeMs) {
        toast.text.clear();
        return;
    }
    Rect pill = toastRect(c.width);
    fillRoundRect(c.g, pill, 20, toastFill(toast.kind));
    drawText(c.dc, c.fonts.toast, toast.text, pill, kTextWhite, kCentredLine);
}

void paintBanner(Canvas& c)
{
    CompletionBanner& banner = c.view.banner;
    if (banner.title.empty()) return;
    if (c.input.now - banner.shownAt >= kBannerLifeMs) {
        banner.title.clear();
        return;
    }
    const int w = c.width;
    const int h = c.height;
    Rect card = bannerRect(w, h);
    fillRoundRect(c.g, card, 10, kBannerFill);
    strokeRoundRect(c.g, card, 10, kBannerOutline);
    paintAppIcon(c, findApp(c.input.catalog, banner.appId), {w - 342, h - 84, w - 298, h - 40});
    drawText(c.dc, c.fonts.strong, banner.title, {w - 286, h - 91, w - 34, h - 67}, kTextPrimary, kLeftLine);
    drawText(c.dc, c.fonts.body, bannerSubLine(banner), {w - 286, h - 61, w - 34, h - 37},
             banner.md5Ok ? kTextSecondary : kTextWarning, kLeftLine);
    c.addZone(card, HitKind::Banner);
}
