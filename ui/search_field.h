#pragma once
// The search field's window side: a borderless single-line EDIT control over
// the field the frame paints, shown while it has the keyboard focus (so the
// caret, selection, clipboard and input method are the system's); the catalog
// filtered on every change of its text; the server asked after a pause in
// typing or on Enter. UI thread only.

#include <windows.h>

constexpr UINT_PTR kSearchPauseTimer = 2;
constexpr UINT kSearchPauseMs = 400;

// WM_CREATE: the edit control, hidden until the field is focused.
void createSearchField(HWND window);
// WM_SIZE and a new scale: the edit's place and font.
void placeSearchField(HWND window);
// Ctrl+F, Tab onto the field: the caret into the field, its text selected.
void focusSearchField();
// A press on the field: the edit shows and takes the press, so the caret lands
// under the pointer and a drag selects.
void pressSearchField(HWND window, POINT client);
// A press anywhere else in the window: the keyboard focus leaves the field.
void leaveSearchField(HWND window);
// The clear glyph and Esc: the field empties and the category shows again.
void clearSearchField();
// WM_ACTIVATE: a field typed in when the window was left gets the caret back.
// True when it took the focus.
bool restoreSearchFocus(WPARAM activation);
// WM_COMMAND from the edit: its text changed, it got or lost the focus.
LRESULT onSearchCommand(HWND window, WPARAM wParam, LPARAM lParam);
// WM_CTLCOLOREDIT: the edit is white with the page's text colour.
LRESULT onSearchFieldColour(WPARAM dc);
// Timer kSearchPauseTimer: typing paused; the server is asked.
void onSearchPause(HWND window);
// WM_APP_SEARCH_READY: the server's apps the shown results lack are added.
LRESULT onSearchReady(HWND window);
// After a catalog was adopted: the results are found again in the new lists.
void refreshSearchResults();
