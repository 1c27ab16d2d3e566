// The content area of the catalog page: loading and error states, the grid of
// app cards with its scrollbar, and the card itself.

#include "ui/app_actions.h"
#include "ui/card_look.h"
#include "ui/format.h"
#include "ui/paint_context.h"

namespace {

void paintLoading(const Canvas& c)
{
    c.text(c.fonts.body, L"正在加载应用列表...", c.layout.messageLine, kTextMuted, kCentredLine);
}

void paintLoadFailed(const Canvas& c)
{
    const FrameLayout& f = c.layout;
    const wchar_t* heading = c.input.catalog.certificateRejected ? L"服务器证书无效（" : L"无法连接服务器（";
    c.text(c.fonts.strong, heading + c.input.serverUrl + L"）", f.messageLine, kTextPrimary, kCentredLine);
    c.text(c.fonts.body, L"请检查网络连接后点击「重新加载」", f.secondLine, kTextMuted, kCentredLine);
    c.fillRoundRect(f.reloadButton, 15, kAccent);
    c.text(c.fonts.button, L"重新加载", f.reloadButton, kTextWhite, kCentredLine);
}

void paintScrollbar(const Canvas& c, const ScrollArea& area)
{
    if (area.maximum <= 0) return;
    c.fillRoundRect(area.track, 2, kScrollTrack);
    c.fillRoundRect(area.thumb, 2, kScrollThumb);
}

void paintGrid(const Canvas& c)
{
    const FrameLayout& f = c.layout;
    c.text(c.fonts.heading, c.content.heading, f.heading, kTextPrimary, kLeftLine);
    const auto& shown = c.content.shownApps;
    if (shown.empty()) {
        c.text(c.fonts.body, c.content.emptyText, f.messageLine, kTextMuted, kCentredLine);
        return;
    }
    {
        CanvasClip clip(c, f.gridClip);
        for (const CardSlot& slot : f.cards) {
            const auto& app = shown[static_cast<size_t>(slot.index)];
            paintAppCard(c, app, slot.card, c.hovered(HitKind::CardButton, app->id));
        }
    }
    paintScrollbar(c, f.pageScroll);
}

void paintNameLine(const Canvas& c, const AppInfo& app, const Rect& card)
{
    if (app.version.empty()) {
        c.text(c.fonts.strong, app.name, cardNameLine(card, 0, 0, false).name, kTextPrimary, kCentredLine);
        return;
    }
    std::wstring version = L"v" + app.version;
    NameLine line =
        cardNameLine(card, c.textWidth(c.fonts.strong, app.name), c.textWidth(c.fonts.strong, version), true);
    c.text(c.fonts.strong, app.name, line.name, kTextPrimary, kLeftLine);
    // A version too wide for the card is cut at its end rather than spilling over.
    c.text(c.fonts.strong, version, line.version, kTextPrimary, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

std::wstring metaLine(const AppInfo& app)
{
    std::wstring size = app.packageSize > 0 ? formatSize(app.packageSize) : std::wstring();
    std::wstring date = formatMonthDay(app.updatedAt);
    if (date.empty()) return size;
    return size + (size.empty() ? L"" : L" · ") + date + L"更新";
}

void paintCardButton(const Canvas& c, const AppInfo& app, const Rect& card, bool hovered)
{
    CardButtonLook look = cardButtonLookFor(app, c.task(app.id), hovered);
    Rect button = cardButtonRect(card);
    c.panel(button, 14, look.fill, 0, rgbOf(kCardFill));
    if (look.overlayWidth > 0)
        c.fillRoundRect({button.left, button.top, button.left + look.overlayWidth, button.bottom}, 14,
                        kProgressOverlay);
    c.text(c.fonts.button, look.label, button, look.labelColor, kCentredLine);
}

}  // namespace

void paintContent(const Canvas& c)
{
    switch (c.layout.content) {
    case Content::Loading: paintLoading(c); break;
    case Content::LoadFailed: paintLoadFailed(c); break;
    case Content::Grid: paintGrid(c); break;
    case Content::Downloads: paintDownloadPanel(c); break;
    }
}

void paintAppCard(const Canvas& c, const std::shared_ptr<AppInfo>& app, const Rect& card, bool hovered)
{
    const Argb border = hovered ? kCardBorderHover : kCardBorder;
    c.panel(card, 10, kCardFill, border, kWindowBackground);
    paintAppIcon(c, app, cardIconRect(card));
    paintNameLine(c, *app, card);
    c.text(c.fonts.body, app->description, cardDescriptionRect(card), kTextMuted, kCentredLine);
    c.text(c.fonts.small, metaLine(*app), cardMetaRect(card), kTextMuted, kCentredLine);
    const Rect divider = cardDividerRect(card);
    const float y = static_cast<float>(divider.top);
    c.line(border, 1.0f, static_cast<float>(divider.left), y, static_cast<float>(divider.right), y);
    paintCardButton(c, *app, card, hovered);
}
