// The category sidebar: rows with selection and hover, clipped and scrolled,
// with its scrollbar.

#include "ui/draw.h"
#include "ui/gdi_guards.h"
#include "ui/paint_context.h"

void paintSidebar(Canvas& c)
{
    fillOpaqueRect(c.dc, {0, kTitleBarHeight, kSidebarWidth, c.height}, rgbOf(kSidebarBackground));
    drawLine(c.g, kSidebarDivider, 1.0f, kSidebarWidth, kTitleBarHeight, kSidebarWidth, static_cast<float>(c.height));

    const auto& categories = c.input.catalog.categories;
    SidebarLayout layout = sidebarLayout(static_cast<int>(categories.size()), c.height, c.view.sidebarScroll);
    c.view.sidebarScroll = layout.scroll;
    {
        gdi::Clip clip(c.dc, c.g, {0, layout.clipTop, kSidebarWidth, layout.clipBottom});
        for (int i = 0; i < layout.count; ++i) {
            if (!sidebarRowVisible(layout, i)) continue;
            Rect row = sidebarRowRect(layout, i);
            const Category& category = categories[i];
            bool selected = c.view.page == Page::Catalog && category.id == c.view.currentCategoryId;
            TextColor text = kTextSecondary;
            if (selected) {
                fillRoundRect(c.g, row, 8, kSelectedRowFill);
                fillRectangle(c.g, {12, row.top + 10, 15, row.top + 32}, kAccent);
                text = kTextAccent;
            } else if (c.hovered(HitKind::CategoryRow, i)) {
                fillRoundRect(c.g, row, 8, kHoverFill);
                text = kTextPrimary;
            }
            drawText(c.dc, c.fonts.sidebar, category.name, row, text, kCentredLine);
            c.addZone(sidebarRowZone(layout, i), HitKind::CategoryRow, i);
        }
    }
    if (layout.maximum > 0) {
        fillRoundRect(c.g, sidebarTrackRect(layout), 2, kScrollTrack);
        fillRoundRect(c.g, sidebarThumbRect(layout), 2, kScrollThumb);
    }
}
