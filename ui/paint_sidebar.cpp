// The category sidebar: rows with selection and hover, clipped and scrolled,
// with its scrollbar.

#include "ui/paint_context.h"

void paintSidebar(const Canvas& c)
{
    const FrameLayout& f = c.layout;
    c.fillOpaque(f.sidebar, rgbOf(kSidebarBackground));
    c.line(kSidebarDivider, 1.0f, kSidebarWidth, kTitleBarHeight, kSidebarWidth, static_cast<float>(f.height));

    const auto& categories = c.input.catalog.categories;
    {
        CanvasClip clip(c, f.sidebarClip);
        for (const SidebarRow& row : f.sidebarRows) {
            if (row.index >= static_cast<int>(categories.size())) continue;
            TextColor text = kTextSecondary;
            if (row.selected) {
                c.fillRoundRect(row.row, 8, kSelectedRowFill);
                c.fillRectangle(sidebarAccentBar(row.row), kAccent);
                text = kTextAccent;
            } else if (c.hovered(HitKind::CategoryRow, row.index)) {
                c.fillRoundRect(row.row, 8, kHoverFill);
                text = kTextPrimary;
            }
            c.text(c.fonts.sidebar, categories[static_cast<size_t>(row.index)].name, row.row, text, kCentredLine);
        }
    }
    if (f.sidebarScroll.maximum > 0) {
        c.fillRoundRect(f.sidebarScroll.track, 2, kScrollTrack);
        c.fillRoundRect(f.sidebarScroll.thumb, 2, kScrollThumb);
    }
}
