#include "ui/search_field.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "core/config.h"
#include "net/catalog_search.h"
#include "ui/gdi_guards.h"
#include "ui/keyboard_focus.h"
#include "ui/palette.h"
#include "ui/search_text.h"
#include "ui/view_state.h"
#include "ui/window_messages.h"

namespace {

constexpr int kSearchEditId = 100;
constexpr UINT_PTR kSubclassId = 1;
// The server gets the query in its address: a field holds no essays.
constexpr WPARAM kMaxQueryLength = 256;

bool held(int key) { return GetKeyState(key) < 0; }

std::wstring editText(HWND edit)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    return text;
}

int lineHeight(HWND edit, HFONT font)
{
    HDC dc = GetDC(edit);
    if (!dc) return 0;
    TEXTMETRICW metrics{};
    {
        gdi::Selection selected(dc, font);
        GetTextMetricsW(dc, &metrics);
    }
    ReleaseDC(edit, dc);
    return metrics.tmHeight;
}

bool editHasFocus()
{
    HWND edit = viewState().searchEdit;
    return edit && GetFocus() == edit;
}

void searchServerNow(HWND window)
{
    KillTimer(window, kSearchPauseTimer);
    const ViewState& view = viewState();
    if (isSearching(view)) serverSearch().start(window, g_config.server, searchQuery(view.searchText));
}

// Tab and Shift+Tab from the field go on through the window's focus order.
void leaveByTab(HWND window, bool backwards)
{
    const ViewState& view = viewState();
    moveFocusTo(window, moveFocus(view.layout, {HitKind::SearchField, 0},
                                  backwards ? FocusMove::Previous : FocusMove::Next));
}

// Esc empties the field; in an empty field it hands the keyboard back to the window.
void escape(HWND window)
{
    if (!viewState().searchText.empty()) {
        clearSearchField();
        return;
    }
    ViewState& view = viewState();
    view.focus = {HitKind::SearchField, 0};
    view.focusVisible = true;
    SetFocus(window);
}

// Keys the edit would beep at or type as a box are the window's.
bool isSwallowedChar(WPARAM c)
{
    return c == L'\t' || c == L'\r' || c == L'\n' || c == 0x1B || c == 0x01 || c == 0x06 || c == 0x7F;
}

LRESULT CALLBACK searchEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    HWND window = GetParent(edit);
    switch (message) {
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_TAB: leaveByTab(window, held(VK_SHIFT)); return 0;
        case VK_ESCAPE: escape(window); return 0;
        case VK_RETURN: searchServerNow(window); return 0;
        case 'A':
        case 'F':
            if (!held(VK_CONTROL)) break;
            SendMessageW(edit, EM_SETSEL, 0, -1);
            return 0;
        default: break;
        }
        break;
    case WM_CHAR:
        if (isSwallowedChar(wParam)) return 0;
        break;
    case WM_NCDESTROY: RemoveWindowSubclass(edit, searchEditProc, kSubclassId); break;
    default: break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

void onTextChanged(HWND window)
{
    ViewState& view = viewState();
    const bool wasSearching = isSearching(view);
    view.searchText = editText(view.searchEdit);
    KillTimer(window, kSearchPauseTimer);
    // An answer to the text before this one would show the wrong apps.
    serverSearch().dropAnswers();
    if (isSearching(view)) {
        if (!wasSearching) view.categoryScroll = view.listScroll;
        view.page = Page::Catalog;
        view.listScroll = 0;
        const Catalog& catalog = appCatalog();
        view.searchResults = localSearchResults(catalog.apps, catalog.searchIndex, view.searchText);
        if (serverSearchDue(view.searchText)) SetTimer(window, kSearchPauseTimer, kSearchPauseMs, nullptr);
    } else {
        view.searchResults.clear();
        if (wasSearching) view.listScroll = view.categoryScroll;
    }
    // The cards moved under the pointer.
    view.hovering = false;
    invalidate(window);
}

// Whether the edit had the focus when the window was left.
bool& focusedWhenLeft()
{
    static bool focused = false;
    return focused;
}

}  // namespace

void createSearchField(HWND window)
{
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_LEFT | ES_AUTOHSCROLL, 0, 0, 0, 0, window,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSearchEditId)), instance, nullptr);
    if (!edit) return;
    SendMessageW(edit, EM_SETLIMITTEXT, kMaxQueryLength, 0);
    SetWindowSubclass(edit, searchEditProc, kSubclassId, 0);
    viewState().searchEdit = edit;
    placeSearchField(window);
}

void placeSearchField(HWND window)
{
    const ViewState& view = viewState();
    HWND edit = view.searchEdit;
    if (!edit) return;
    // A new font resets the margins: the text starts where the frame draws it.
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(view.fonts.body), FALSE);
    SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    RECT client{};
    GetClientRect(window, &client);
    const Scale& scale = view.scale;
    const Rect text = scale.px(searchTextRect(searchFieldRect(scale.covering(client.right))));
    // One line high, on the middle of the field.
    const int line = lineHeight(edit, view.fonts.body);
    const int middle = (text.top + text.bottom) / 2;
    SetWindowPos(edit, nullptr, text.left, middle - line / 2, text.width(), line, SWP_NOZORDER | SWP_NOACTIVATE);
}

void focusSearchField()
{
    HWND edit = viewState().searchEdit;
    if (!edit) return;
    ShowWindow(edit, SW_SHOW);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
}

void pressSearchField(HWND window, POINT client)
{
    HWND edit = viewState().searchEdit;
    if (!edit) return;
    ShowWindow(edit, SW_SHOW);
    // A press on the field's padding puts the caret at the nearest end.
    POINT at = client;
    MapWindowPoints(window, edit, &at, 1);
    RECT size{};
    GetClientRect(edit, &size);
    at.x = std::max<LONG>(0, std::min<LONG>(at.x, size.right - 1));
    at.y = std::max<LONG>(0, std::min<LONG>(at.y, size.bottom - 1));
    // The edit focuses itself and holds the mouse until the button comes up.
    SendMessageW(edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
}

void leaveSearchField(HWND window)
{
    if (editHasFocus()) SetFocus(window);
}

void clearSearchField()
{
    HWND edit = viewState().searchEdit;
    if (edit) SetWindowTextW(edit, L"");  // EN_CHANGE does the rest
}

bool restoreSearchFocus(WPARAM activation)
{
    if (LOWORD(activation) == WA_INACTIVE) {
        focusedWhenLeft() = editHasFocus();
        return false;
    }
    // A minimised window takes no caret; its restoring activates it again.
    if (HIWORD(activation) != 0 || !focusedWhenLeft()) return false;
    focusedWhenLeft() = false;
    HWND edit = viewState().searchEdit;
    ShowWindow(edit, SW_SHOW);
    SetFocus(edit);
    return true;
}

LRESULT onSearchCommand(HWND window, WPARAM wParam, LPARAM)
{
    ViewState& view = viewState();
    if (LOWORD(wParam) != kSearchEditId || !view.searchEdit) return 0;
    switch (HIWORD(wParam)) {
    case EN_CHANGE: onTextChanged(window); break;
    case EN_SETFOCUS:
        view.searchFocused = true;
        view.focus = {HitKind::SearchField, 0};
        invalidate(window);
        break;
    case EN_KILLFOCUS:
        view.searchFocused = false;
        // The frame draws the text while the field is not typed in.
        ShowWindow(view.searchEdit, SW_HIDE);
        invalidate(window);
        break;
    default: break;
    }
    return 0;
}

LRESULT onSearchFieldColour(WPARAM dc)
{
    HDC edit = reinterpret_cast<HDC>(dc);
    SetTextColor(edit, static_cast<COLORREF>(kTextPrimary));
    SetBkColor(edit, static_cast<COLORREF>(rgbOf(kSearchFieldFocusFill)));
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

void onSearchPause(HWND window)
{
    KillTimer(window, kSearchPauseTimer);
    if (serverSearchDue(viewState().searchText)) searchServerNow(window);
}

LRESULT onSearchReady(HWND window)
{
    ViewState& view = viewState();
    Catalog& catalog = appCatalog();
    // A failed, dropped or overtaken answer changes nothing.
    if (!serverSearch().adoptPending(catalog)) return 0;
    if (!isSearching(view) || serverSearch().adoptedQuery() != searchQuery(view.searchText)) return 0;
    appendServerResults(view.searchResults, catalog.searchResults);
    invalidate(window);
    return 0;
}

void refreshSearchResults()
{
    ViewState& view = viewState();
    if (!isSearching(view)) return;
    const Catalog& catalog = appCatalog();
    view.searchResults = localSearchResults(catalog.apps, catalog.searchIndex, view.searchText);
    if (serverSearch().adoptedQuery() == searchQuery(view.searchText))
        appendServerResults(view.searchResults, catalog.searchResults);
}
