// The search field in the title band: a rounded field with a magnifier, the
// query or the placeholder, and the clear glyph while there is text. While the
// field has the keyboard focus its edit control lies over the text.

#include "ui/paint_context.h"

namespace {

constexpr float kGlyphPen = 1.6f;

void paintMagnifier(const Canvas& c, const Rect& field, Argb colour)
{
    const float x = static_cast<float>(field.left);
    c.ellipseOutline(colour, kGlyphPen, x + 10, 23, 10, 10);
    c.line(colour, kGlyphPen, x + 18.5f, 31.5f, x + 22, 35);
}

void paintClearGlyph(const Canvas& c, const Rect& zone, bool focused, bool hovered)
{
    const int cx = zone.left + 12;
    const Rect disc{cx - 7, 23, cx + 7, 37};
    c.fillRoundRect(disc, 7, hovered ? kSearchClearHover : focused ? kSearchClearFillFocused : kSearchClearFill);
    const float x = static_cast<float>(cx);
    c.line(kGlyphWhite, 1.4f, x - 3, 27, x + 3, 33);
    c.line(kGlyphWhite, 1.4f, x - 3, 33, x + 3, 27);
}

}  // namespace

void paintSearchField(const Canvas& c)
{
    const FrameLayout& f = c.layout;
    if (f.searchField.width() <= 0) return;
    const bool focused = c.view.searchFocused;
    const bool hovered = c.hovered(HitKind::SearchField) || c.hovered(HitKind::SearchClear);
    c.fillRoundRect(f.searchField, 17,
                    focused ? kSearchFieldFocusFill : hovered ? kSearchFieldHoverFill : kSearchFieldFill);
    paintMagnifier(c, f.searchField, focused ? kSearchGlyphFocused : kSearchGlyph);
    const std::wstring& text = c.view.searchText;
    if (!text.empty())
        c.text(c.fonts.body, text, f.searchText, focused ? kTextPrimary : kTextWhite, kLeftLine);
    else if (!focused)
        c.text(c.fonts.body, L"搜索软件", f.searchText, kTextTagline, kLeftLine);
    if (f.searchClear.width() > 0) paintClearGlyph(c, f.searchClear, focused, c.hovered(HitKind::SearchClear));
}
