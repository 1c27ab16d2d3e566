#pragma once
// The private messages that worker threads post to the main window (lParam 0
// unless said otherwise).

#include <windows.h>

constexpr UINT WM_APP_REFRESH = WM_APP + 1;        // wParam 0: something to repaint
constexpr UINT WM_APP_TASK_DONE = WM_APP + 2;      // wParam app id: a file is in place
constexpr UINT WM_APP_ICON_READY = WM_APP + 3;     // wParam app id: an icon was decoded
constexpr UINT WM_APP_CATALOG_READY = WM_APP + 4;  // wParam 1 loaded, 0 failed
constexpr UINT WM_APP_INSTALLED_READY = WM_APP + 5;  // wParam 1 made, 0 failed: installed apps found
constexpr UINT WM_APP_SEARCH_READY = WM_APP + 6;     // wParam 1 answered, 0 failed: a server search ended
constexpr UINT WM_APP_INSTALL_REFUSED = WM_APP + 7;  // wParam app id, lParam why: an installer was not launched
constexpr UINT WM_APP_FOLDER_UNAVAILABLE = WM_APP + 8;  // wParam 0: the download folder could not be opened
