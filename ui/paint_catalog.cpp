// The content area of the catalog page: loading and error states, the grid of
// app cards with its scrollbar, and the card itself.

#include "ui/app_actions.h"
#include "ui/card_look.h"
#include "ui/draw.h"
#include "ui/format.h"
#include "ui/gdi_guards.h"
#include "ui/paint_context.h"

namespace {

void paintLoading(Canvas& c)
{
    drawText(c.dc, c.fonts.body, L"正在加载应用列表...", {kSidebarWidth, 184, c.width, 224}, kTextMuted, kCentredLine);
}

void paintLoadFailed(Canvas& c)
{
    const wchar_t* heading = c.input.catalog.certificateRejected ? L"服务器证书无效（" : L"无法连接服务器（";
    drawText(c.dc, c.fonts.strong, heading + c.input.serverUrl + L"）", {kSidebarWidth, 184, c.width, 214},
             kTextPrimary, kCentredLine);
    drawText(c.dc, c.fonts.body, L"请检查网络连接后点击「重新加载」", {kSidebarWidth, 220, c.width, 244}, kTextMuted,
             kCentredLine);
    Rect button = reloadButtonRect(c.width);
    fillRoundRect(c.g, button, 15, kAccent);
    drawText(c.dc, c.fonts.button, L"重新加载", button, kTextWhite, kCentredLine);
    c.addZone(button, HitKind::Reload);
}

bool inCategory(const AppInfo& app, const std::wstring& categoryId)
{
    for (const auto& id : app.categoryIds)
        if (id == categoryId) return true;
    return false;
}

void paintGrid(Canvas& c)
{
    const Catalog& catalog = c.input.catalog;
    const std::wstring& current = c.view.currentCategoryId;
    std::wstring name;
    for (const auto& category : catalog.categories)
        if (category.id == current) {
            name = category.name;
            break;
        }
    std::vector<std::shared_ptr<AppInfo>> shown;
    for (const auto& app : catalog.apps)
        if (app && inCategory(*app, current)) shown.push_back(app);

    std::wstring heading;
    if (name.empty() && catalog.categories.empty())
        heading = L"暂无分类";
    else
        heading = name + L" · " + std::to_wstring(shown.size()) + L" 款";
    drawText(c.dc, c.fonts.heading, heading, {212, 78, c.width - 12, 118}, kTextPrimary, kLeftLine);

    GridLayout layout = gridLayout(c.width, c.height, !heading.empty(), static_cast<int>(shown.size()),
                                   c.view.listScroll);
    c.view.listScroll = layout.scroll;
    if (shown.empty()) {
        const wchar_t* message = catalog.categories.empty() ? L"暂无分类，请在管理后台添加" : L"该分类暂无应用";
        drawText(c.dc, c.fonts.body, message, {kSidebarWidth, 184, c.width, 214}, kTextMuted, kCentredLine);
        return;
    }
    {
        gdi::Clip clip(c.dc, c.g, gridClipRect(layout));
        ZoneClip zones(c, gridClipRect(layout));
        for (int k = 0; k < layout.count; ++k) {
            if (!cardVisible(layout, k)) continue;
            const auto& app = shown[k];
            paintAppCard(c, app, cardRect(layout, k), c.hovered(HitKind::CardButton, app->id));
        }
    }
    if (layout.maximum > 0) {
        fillRoundRect(c.g, gridTrackRect(layout), 2, kScrollTrack);
        fillRoundRect(c.g, gridThumbRect(layout), 2, kScrollThumb);
    }
}

void paintNameLine(Canvas& c, const AppInfo& app, const Rect& card)
{
    if (app.version.empty()) {
        drawText(c.dc, c.fonts.strong, app.name, cardNameLine(card, 0, 0, false).name, kTextPrimary, kCentredLine);
        return;
    }
    std::wstring version = L"v" + app.version;
    NameLine line = cardNameLine(card, textWidth(c.dc, c.fonts.strong, app.name),
                                 textWidth(c.dc, c.fonts.strong, version), true);
    drawText(c.dc, c.fonts.strong, app.name, line.name, kTextPrimary, kLeftLine);
    drawText(c.dc, c.fonts.strong, version, line.version, kTextPrimary, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
}

std::wstring metaLine(const AppInfo& app)
{
    std::wstring size = app.packageSize > 0 ? formatSize(app.packageSize) : std::wstring();
    std::wstring date = formatMonthDay(app.updatedAt);
    if (date.empty()) return size;
    return size + (size.empty() ? L"" : L" · ") + date + L"更新";
}

void paintCardButton(Canvas& c, const AppInfo& app, const Rect& card, bool hovered)
{
    CardButtonLook look = cardButtonLookFor(app, c.task(app.id), hovered);
    Rect button = cardButtonRect(card);
    if (!c.chrome || !c.chrome->paint(c.dc, button, 14, look.fill, 0, rgbOf(kCardFill)))
        fillRoundRect(c.g, button, 14, look.fill);
    if (look.overlayWidth > 0)
        fillRoundRect(c.g, {button.left, button.top, button.left + look.overlayWidth, button.bottom}, 14,
                      kProgressOverlay);
    drawText(c.dc, c.fonts.button, look.label, button, look.labelColor, kCentredLine);
    c.addZone(button, HitKind::CardButton, app.id);
}

}  // namespace

void paintContent(Canvas& c)
{
    if (c.view.loading)
        paintLoading(c);
    else if (c.view.loadFailed)
        paintLoadFailed(c);
    else if (c.view.page == Page::Catalog)
        paintGrid(c);
    else
        paintDownloadPanel(c);
}

void paintAppCard(Canvas& c, const std::shared_ptr<AppInfo>& app, const Rect& card, bool hovered)
{
    const Argb border = hovered ? kCardBorderHover : kCardBorder;
    if (!c.chrome || !c.chrome->paint(c.dc, card, 10, kCardFill, border, kWindowBackground)) {
        fillRoundRect(c.g, card, 10, kCardFill);
        strokeRoundRect(c.g, card, 10, border);
    }
    paintAppIcon(c, app, cardIconRect(card));
    paintNameLine(c, *app, card);
    drawText(c.dc, c.fonts.body, app->description, {card.left + 8, card.top + 130, card.right - 8, card.top + 150},
             kTextMuted, kCentredLine);
    drawText(c.dc, c.fonts.small, metaLine(*app), {card.left + 8, card.top + 152, card.right - 8, card.top + 172},
             kTextMuted, kCentredLine);
    float y = static_cast<float>(card.top + 180);
    drawLine(c.g, hovered ? kCardBorderHover : kCardBorder, 1.0f, static_cast<float>(card.left + 18), y,
             static_cast<float>(card.right - 18), y);
    paintCardButton(c, *app, card, hovered);
}
