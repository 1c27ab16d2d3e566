#include "ui/main_window.h"

#include "core/app_messages.h"
#include "core/config.h"
#include "net/catalog.h"
#include "net/image_decode.h"
#include "ui/dpi.h"
#include "ui/search_field.h"
#include "ui/settings_dialog.h"
#include "ui/shadow_window.h"
#include "ui/view_state.h"
#include "ui/window_geometry.h"
#include "ui/window_messages.h"

namespace {

void registerMainClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    // The second press of a double-click arrives as WM_LBUTTONDBLCLK, so it
    // can be told from a new click.
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"KXMainWnd";
    RegisterClassExW(&windowClass);
}

}  // namespace

bool createMainWindow(HINSTANCE instance)
{
    if (!ensureGdiplus()) return false;
    // The monitor it opens on gives the scale of everything, fonts first.
    HMONITOR monitor = startupMonitor();
    const Scale scale = Scale::forDpi(monitorDpi(monitor));
    applyWindowScale(nullptr, scale);
    OleInitialize(nullptr);
    registerMainClass(instance);
    registerSettingsDialogClass(instance);

    WindowPlacement place = mainWindowPlacement(workAreaOf(monitor), scale);
    // The search field's edit paints itself: the frame's blit goes around it.
    HWND window =
        CreateWindowExW(WS_EX_APPWINDOW, L"KXMainWnd", L"Pakvane", WS_POPUP | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                        place.x, place.y, place.width, place.height, nullptr, nullptr, instance, nullptr);
    if (!window) return false;
    // Windows knows best which monitor the window landed on.
    const int dpi = windowDpi(window);
    if (dpi != scale.dpi) {
        const Scale actual = Scale::forDpi(dpi);
        applyWindowScale(window, actual);
        place = mainWindowPlacement(workAreaOf(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY)), actual);
        SetWindowPos(window, nullptr, place.x, place.y, place.width, place.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    createTooltip(window);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);

    ViewState& view = viewState();
    view.shadowWindow = createShadowWindow(instance, window);
    if (view.shadowWindow) updateShadow(window);
    return true;
}

void startCatalogLoad()
{
    ViewState& view = viewState();
    view.loading = true;
    view.loadFailed = false;
    if (view.mainWindow) invalidate(view.mainWindow);
    if (!startCatalogLoad(appCatalog(), view.mainWindow, g_config.server)) {
        // No worker will answer: show the error state and its reload button
        // rather than loading for ever.
        view.loading = false;
        view.loadFailed = true;
    }
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: return onCreate(window);
    case WM_DESTROY: return onDestroy(window);
    case WM_SIZE: return onSize(window);
    case WM_PAINT: return onPaint(window);
    case WM_ACTIVATE: return onActivate(window, wParam, lParam);
    case WM_ERASEBKGND: return 1;
    case WM_SETCURSOR: return onSetCursor(window, wParam, lParam);
    case WM_GETMINMAXINFO: return onGetMinMaxInfo(window, lParam);
    case WM_WINDOWPOSCHANGED: return onWindowPosChanged(window, wParam, lParam);
    case WM_NCCALCSIZE: return onNcCalcSize(window, wParam, lParam);
    case WM_NCHITTEST: return onNcHitTest(window, wParam, lParam);
    case WM_TIMER: return onTimer(window, wParam);
    case WM_MOUSEMOVE: return onMouseMove(window, lParam);
    case WM_MOUSELEAVE: return onMouseLeave(window);
    case WM_LBUTTONDOWN: return onLeftButtonDown(window, lParam, false);
    case WM_LBUTTONDBLCLK: return onLeftButtonDown(window, lParam, true);
    case WM_LBUTTONUP: return onLeftButtonUp(window, lParam);
    case WM_CAPTURECHANGED: return onCaptureChanged(window, lParam);
    case WM_MOUSEWHEEL: return onMouseWheel(window, wParam, lParam);
    case WM_KEYDOWN: return onKeyDown(window, wParam, lParam);
    case WM_COMMAND: return onSearchCommand(window, wParam, lParam);
    case WM_CTLCOLOREDIT: return onSearchFieldColour(wParam);
    case WM_DPICHANGED: return onDpiChanged(window, wParam, lParam);
    case WM_APP_REFRESH: return onRefresh(window);
    case WM_APP_ICON_READY: invalidate(window); return 0;
    case WM_APP_TASK_DONE: return onTaskDone(wParam);
    case WM_APP_CATALOG_READY: return onCatalogReady(window, wParam);
    case WM_APP_SEARCH_READY: return onSearchReady(window);
    case WM_APP_INSTALLED_READY: return onInstalledReady(window);
    case WM_APP_INSTALL_REFUSED: return onInstallRefused(window, lParam);
    case WM_APP_FOLDER_UNAVAILABLE: showToast(L"下载目录不可用，无法打开", ToastKind::Error); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}
