#pragma once
// The handlers behind mainWindowProc, one per message. UI thread only.

#include <windows.h>

#include "ui/view_state.h"

// Window life, frame and private messages (window_messages.cpp).
LRESULT onCreate(HWND window);
LRESULT onDestroy(HWND window);
LRESULT onSize(HWND window);
LRESULT onNcCalcSize(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT onNcHitTest(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT onSetCursor(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT onGetMinMaxInfo(HWND window, LPARAM lParam);
LRESULT onWindowPosChanged(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT onPaint(HWND window);
LRESULT onActivate(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT onTimer(HWND window, WPARAM timerId);
LRESULT onCatalogReady(HWND window, WPARAM loaded);
LRESULT onTaskDone(WPARAM appId);
// A task or an install changed; an ended installer run starts a new snapshot.
LRESULT onRefresh(HWND window);
// WM_APP_INSTALLED_READY: swaps in the installed programs found by the worker.
LRESULT onInstalledReady(HWND window);
// WM_APP_INSTALL_REFUSED: says in a red toast why an installer was not launched.
LRESULT onInstallRefused(HWND window, LPARAM refusal);
// The window moved to a monitor of another DPI: the suggested rectangle, and
// everything drawn at the new scale.
LRESULT onDpiChanged(HWND window, WPARAM wParam, LPARAM lParam);

// Makes scale the window's: fonts, icon and logo sizes, shadow. window may
// be null while the window is being made.
void applyWindowScale(HWND window, const Scale& scale);

// The mouse (window_input.cpp). Buttons act on release over the zone they
// were pressed on; the second press of a double-click does nothing.
LRESULT onMouseMove(HWND window, LPARAM lParam);
LRESULT onMouseLeave(HWND window);
LRESULT onLeftButtonDown(HWND window, LPARAM lParam, bool doubleClick);
LRESULT onLeftButtonUp(HWND window, LPARAM lParam);
LRESULT onCaptureChanged(HWND window, LPARAM lParam);
LRESULT onMouseWheel(HWND window, WPARAM wParam, LPARAM lParam);
// What a zone does when clicked (or activated from the keyboard).
void runZoneAction(HWND window, ZoneRef zone);

// The keyboard (window_keyboard.cpp): Tab, arrows, Enter and Space, page
// keys, Ctrl+F and Esc.
LRESULT onKeyDown(HWND window, WPARAM key, LPARAM flags);
// The keyboard focus onto a zone, its ring shown and scrolled into sight; the
// search field takes the caret.
void moveFocusTo(HWND window, ZoneRef target);

// Tooltips for text cut with an ellipsis (window_tooltip.cpp).
void createTooltip(HWND window);
// The pointer is at a client point: the tip follows the text under it.
void updateTooltip(HWND window, POINT client);
// The tip's wrapping width at a new scale.
void rescaleTooltip(const Scale& scale);

// The zone under a client point: the last recorded one wins. Null when none.
const HitZone* hitZoneAt(POINT client);

// The whole client area, without erasing.
void invalidate(HWND window);
