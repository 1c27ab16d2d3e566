// The keyboard: Tab and Shift+Tab move a visible focus ring through the
// categories, the page's buttons and the title bar's (the search field takes
// the caret); the arrows move between categories, cards and rows; Enter or
// Space acts on the focused button; the page keys scroll the list that holds
// the focus; Ctrl+F goes to the search field and Esc ends a search.

#include "ui/keyboard_focus.h"
#include "ui/search_field.h"
#include "ui/window_messages.h"

namespace {

bool held(int key) { return GetKeyState(key) < 0; }

void applyScroll(const ScrollChange& change)
{
    ViewState& view = viewState();
    switch (change.target) {
    case ScrollTarget::Sidebar: view.sidebarScroll = change.offset; break;
    case ScrollTarget::Grid: view.listScroll = change.offset; break;
    case ScrollTarget::Panel: view.panelScroll = change.offset; break;
    case ScrollTarget::None: return;
    }
    view.hovering = false;
}

bool isFocusable(const FrameLayout& layout, ZoneRef ref)
{
    for (const ZoneRef& item : layout.focusOrder)
        if (item == ref) return true;
    return false;
}

}  // namespace

void moveFocusTo(HWND window, ZoneRef target)
{
    ViewState& view = viewState();
    view.focusVisible = true;
    if (target.kind == HitKind::SearchField) {
        focusSearchField();
        return;
    }
    leaveSearchField(window);
    view.focus = target;
    applyScroll(revealFocus(view.layout, target));
    invalidate(window);
}

LRESULT onKeyDown(HWND window, WPARAM key, LPARAM flags)
{
    ViewState& view = viewState();
    const FrameLayout& layout = view.layout;
    const bool repeated = (flags & (1 << 30)) != 0;
    switch (key) {
    case 'F':
        if (!held(VK_CONTROL)) return DefWindowProcW(window, WM_KEYDOWN, key, flags);
        focusSearchField();
        return 0;
    case VK_ESCAPE:
        if (isSearching(view)) clearSearchField();
        return 0;
    case VK_TAB:
        moveFocusTo(window, moveFocus(layout, view.focus, held(VK_SHIFT) ? FocusMove::Previous : FocusMove::Next));
        return 0;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: {
        if (view.focus.empty()) {
            moveFocusTo(window, moveFocus(layout, view.focus, FocusMove::Next));
            return 0;
        }
        // The ring on the search field stays; the arrows do not type.
        if (view.focus.kind == HitKind::SearchField) return 0;
        const FocusMove move = key == VK_LEFT    ? FocusMove::Left
                               : key == VK_RIGHT ? FocusMove::Right
                               : key == VK_UP    ? FocusMove::Up
                                                 : FocusMove::Down;
        moveFocusTo(window, moveFocus(layout, view.focus, move));
        return 0;
    }
    case VK_RETURN:
    case VK_SPACE:
        // A held key repeats: one press, one action.
        if (repeated || !isFocusable(layout, view.focus)) return 0;
        view.focusVisible = true;
        runZoneAction(window, view.focus);
        invalidate(window);
        return 0;
    case VK_PRIOR:
    case VK_NEXT:
    case VK_HOME:
    case VK_END: {
        const PageKey page = key == VK_PRIOR  ? PageKey::PageUp
                             : key == VK_NEXT ? PageKey::PageDown
                             : key == VK_HOME ? PageKey::Home
                                              : PageKey::End;
        applyScroll(pageKeyScroll(layout, view.focus, page));
        invalidate(window);
        return 0;
    }
    default: return DefWindowProcW(window, WM_KEYDOWN, key, flags);
    }
}
