#include "ui/keyboard_focus.h"

#include <algorithm>

namespace {

int indexIn(const std::vector<ZoneRef>& order, ZoneRef ref)
{
    auto it = std::find(order.begin(), order.end(), ref);
    return it == order.end() ? -1 : static_cast<int>(it - order.begin());
}

int indexOf(const std::vector<int32_t>& ids, int32_t id)
{
    auto it = std::find(ids.begin(), ids.end(), id);
    return it == ids.end() ? -1 : static_cast<int>(it - ids.begin());
}

ZoneRef firstButtonOfTask(const FrameLayout& layout, int32_t taskId)
{
    for (const ZoneRef& ref : layout.focusOrder)
        if (isPanelRowButton(ref.kind) && ref.id == taskId) return ref;
    return {};
}

ZoneRef tabMove(const FrameLayout& layout, ZoneRef current, bool backwards)
{
    const auto& order = layout.focusOrder;
    if (order.empty()) return {};
    const int count = static_cast<int>(order.size());
    const int at = indexIn(order, current);
    if (at < 0) return backwards ? order.back() : order.front();
    return order[static_cast<size_t>((at + (backwards ? count - 1 : 1)) % count)];
}

ZoneRef cardMove(const FrameLayout& layout, ZoneRef current, FocusMove move)
{
    const int count = static_cast<int>(layout.shownApps.size());
    const int columns = std::max(1, layout.grid.columns);
    const int k = indexOf(layout.shownApps, current.id);
    if (k < 0) return current;
    int target = k;
    switch (move) {
    case FocusMove::Left: target = k - 1; break;
    case FocusMove::Right: target = k + 1; break;
    case FocusMove::Up: target = k - columns; break;
    case FocusMove::Down:
        // From the row above a short last row, down lands on its last card.
        target = k + columns < count ? k + columns : (k / columns < (count - 1) / columns ? count - 1 : k);
        break;
    default: break;
    }
    if (target < 0 || target >= count) return current;
    return {HitKind::CardButton, layout.shownApps[static_cast<size_t>(target)]};
}

ZoneRef rowMove(const FrameLayout& layout, ZoneRef current, FocusMove move)
{
    if (move == FocusMove::Left || move == FocusMove::Right) {
        const int at = indexIn(layout.focusOrder, current);
        const int next = at + (move == FocusMove::Left ? -1 : 1);
        if (next < 0 || next >= static_cast<int>(layout.focusOrder.size())) return current;
        const ZoneRef& beside = layout.focusOrder[static_cast<size_t>(next)];
        return isPanelRowButton(beside.kind) && beside.id == current.id ? beside : current;
    }
    const int k = indexOf(layout.taskIds, current.id);
    const int target = k + (move == FocusMove::Up ? -1 : 1);
    if (k < 0 || target < 0 || target >= static_cast<int>(layout.taskIds.size())) return current;
    ZoneRef first = firstButtonOfTask(layout, layout.taskIds[static_cast<size_t>(target)]);
    return first.empty() ? current : first;
}

// The offset within [lowest, highest] nearest to current, clamped to the list.
int nearestOffset(int current, int lowest, int highest, int maximum)
{
    int offset = current;
    if (offset < lowest) offset = lowest;
    if (offset > highest) offset = highest;  // an item taller than the band shows its top
    return clampScroll(offset, maximum);
}

// Scrolling that shows content span [top, bottom) (unscrolled units) inside
// the band [bandTop, bandBottom) of the window.
ScrollChange reveal(const ScrollArea& area, int top, int bottom, int bandTop, int bandBottom)
{
    return {area.target, nearestOffset(area.scroll, bottom - bandBottom, top - bandTop, area.maximum)};
}

}  // namespace

ZoneRef moveFocus(const FrameLayout& layout, ZoneRef current, FocusMove move)
{
    if (move == FocusMove::Next || move == FocusMove::Previous)
        return tabMove(layout, current, move == FocusMove::Previous);
    if (indexIn(layout.focusOrder, current) < 0) return current;
    switch (current.kind) {
    case HitKind::CategoryRow: {
        if (move != FocusMove::Up && move != FocusMove::Down) return current;
        const int target = current.id + (move == FocusMove::Up ? -1 : 1);
        return target >= 0 && target < layout.sidebarGeometry.count ? ZoneRef{HitKind::CategoryRow, target} : current;
    }
    case HitKind::CardButton: return cardMove(layout, current, move);
    default: return isPanelRowButton(current.kind) ? rowMove(layout, current, move) : current;
    }
}

ZoneRef repairFocus(const FrameLayout& layout, ZoneRef current)
{
    if (current.empty() || indexIn(layout.focusOrder, current) >= 0) return current;
    if (!isPanelRowButton(current.kind)) return {};
    // "取消" of a paused row takes the place of "暂停": a second Enter would cancel.
    if (current.kind == HitKind::PanelPause) {
        const ZoneRef resume{HitKind::PanelResume, current.id};
        if (indexIn(layout.focusOrder, resume) >= 0) return resume;
    }
    return firstButtonOfTask(layout, current.id);
}

ScrollChange revealFocus(const FrameLayout& layout, ZoneRef focus)
{
    if (focus.kind == HitKind::CategoryRow) {
        const SidebarLayout& s = layout.sidebarGeometry;
        const Rect row = sidebarRowRect(s, focus.id);
        return reveal(layout.sidebarScroll, row.top + s.scroll, row.bottom + s.scroll, s.clipTop, s.clipBottom);
    }
    if (focus.kind == HitKind::CardButton && layout.content == Content::Grid) {
        const int k = indexOf(layout.shownApps, focus.id);
        if (k < 0) return {};
        const Rect card = cardRect(layout.grid, k);
        const int s = layout.grid.scroll;
        return reveal(layout.pageScroll, card.top + s, card.bottom + s, layout.grid.top, layout.height);
    }
    if (isPanelRowButton(focus.kind) && layout.content == Content::Downloads) {
        const int k = indexOf(layout.taskIds, focus.id);
        if (k < 0) return {};
        const Rect card = panelRowCard(layout.panel, k);
        const int s = layout.panel.scroll;
        return reveal(layout.pageScroll, card.top + s, card.bottom + s, kPanelTop, layout.height);
    }
    return {};
}

ScrollChange pageKeyScroll(const FrameLayout& layout, ZoneRef focus, PageKey key)
{
    const ScrollArea& area = focus.kind == HitKind::CategoryRow ? layout.sidebarScroll : layout.pageScroll;
    if (area.target == ScrollTarget::None) return {};
    switch (key) {
    case PageKey::PageUp: return {area.target, scrollBy(area, -area.visible)};
    case PageKey::PageDown: return {area.target, scrollBy(area, area.visible)};
    case PageKey::Home: return {area.target, 0};
    case PageKey::End: return {area.target, area.maximum};
    }
    return {};
}
