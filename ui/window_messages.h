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
LRESULT onGetMinMaxInfo(LPARAM lParam);
LRESULT onWindowPosChanged(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT onPaint(HWND window);
LRESULT onTimer(HWND window, WPARAM timerId);
LRESULT onCatalogReady(HWND window, WPARAM loaded);
LRESULT onTaskDone(WPARAM appId);
// A task or an install changed; an ended installer run starts a new snapshot.
LRESULT onRefresh(HWND window);
// WM_APP_INSTALLED_READY: swaps in the installed programs found by the worker.
LRESULT onInstalledReady(HWND window);
// WM_APP_INSTALL_REFUSED: says in a red toast why an installer was not launched.
LRESULT onInstallRefused(HWND window, LPARAM refusal);

// The mouse (window_input.cpp).
LRESULT onMouseMove(HWND window, LPARAM lParam);
LRESULT onMouseLeave(HWND window);
LRESULT onLeftButtonDown(HWND window, LPARAM lParam);
LRESULT onMouseWheel(HWND window, WPARAM wParam, LPARAM lParam);

// The zone under a client point: the last recorded one wins. Null when none.
const HitZone* hitZoneAt(POINT client);

// The whole client area, without erasing.
void invalidate(HWND window);
