#include "ui/window_messages.h"

#include <vector>

#include "core/config.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "install/installed_apps.h"
#include "install/launch_refusal.h"
#include "net/icon_loader.h"
#include "ui/app_actions.h"
#include "ui/dpi.h"
#include "ui/fonts.h"
#include "ui/install_run_watch.h"
#include "ui/main_window.h"
#include "ui/paint.h"
#include "ui/search_field.h"
#include "ui/shadow_window.h"
#include "ui/window_geometry.h"

namespace {

constexpr UINT_PTR kTimerId = 1;

POINT clientPointFromScreen(HWND window, LPARAM lParam)
{
    POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ScreenToClient(window, &point);
    return point;
}

LRESULT hitTestCode(NonClientHit hit)
{
    switch (hit) {
    case NonClientHit::Caption: return HTCAPTION;
    case NonClientHit::Left: return HTLEFT;
    case NonClientHit::Right: return HTRIGHT;
    case NonClientHit::Bottom: return HTBOTTOM;
    case NonClientHit::BottomLeft: return HTBOTTOMLEFT;
    case NonClientHit::BottomRight: return HTBOTTOMRIGHT;
    default: return HTCLIENT;
    }
}

// The fonts in use; replaced when the scale changes, never destroyed (the
// window may paint until the process ends).
FontSet& windowFonts()
{
    static FontSet* fonts = new FontSet;
    return *fonts;
}

bool anyTaskTransferring()
{
    for (const auto& entry : DownloadManager::instance().snapshot()) {
        auto state = static_cast<TaskState::Value>(entry.second.state);
        if (state == TaskState::Downloading || state == TaskState::Verifying) return true;
    }
    return false;
}

}  // namespace

void invalidate(HWND window) { InvalidateRect(window, nullptr, FALSE); }

LRESULT onCreate(HWND window)
{
    viewState().mainWindow = window;
    DownloadManager::instance().hwnd = window;
    if (!g_config.downloadDir.empty()) setDownloadFolderOverride(g_config.downloadDir);
    refreshDownloadFolder(window);
    createSearchField(window);
    SetTimer(window, kTimerId, 500, nullptr);
    startCatalogLoad();
    return 0;
}

LRESULT onDestroy(HWND window)
{
    ViewState& view = viewState();
    if (view.shadowWindow) DestroyWindow(view.shadowWindow);
    view.shadowWindow = nullptr;
    KillTimer(window, kTimerId);
    PostQuitMessage(0);
    return 0;
}

LRESULT onSize(HWND window)
{
    if (IsZoomed(window)) {
        SetWindowRgn(window, nullptr, TRUE);
    } else {
        RECT rect{};
        GetWindowRect(window, &rect);
        const int corner = viewState().scale.px(kWindowCornerEllipse);
        // The window owns the region once it is set.
        SetWindowRgn(window,
                     CreateRoundRectRgn(0, 0, rect.right - rect.left + 1, rect.bottom - rect.top + 1, corner, corner),
                     TRUE);
    }
    placeSearchField(window);
    invalidate(window);
    return 0;
}

LRESULT onNcCalcSize(HWND window, WPARAM wParam, LPARAM lParam)
{
    // The whole window is client area; a maximised window is placed past the
    // screen by its frame, so its client is pulled back in by that much.
    if (wParam && IsZoomed(window)) {
        auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
        int border = maximizedOverhang(viewState().scale.dpi);
        InflateRect(&params->rgrc[0], -border, -border);
    }
    return 0;
}

LRESULT onNcHitTest(HWND window, WPARAM wParam, LPARAM lParam)
{
    LRESULT code = DefWindowProcW(window, WM_NCHITTEST, wParam, lParam);
    if (code != HTCLIENT) return code;
    POINT point = clientPointFromScreen(window, lParam);
    RECT client{};
    GetClientRect(window, &client);
    bool inZone = hitZoneAt(point) != nullptr;
    return hitTestCode(
        nonClientHit(point.x, point.y, client.right, client.bottom, inZone, viewState().scale, IsZoomed(window)));
}

LRESULT onSetCursor(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(lParam) == HTCLIENT) {
        POINT point{};
        GetCursorPos(&point);
        ScreenToClient(window, &point);
        if (const HitZone* zone = hitZoneAt(point)) {
            SetCursor(LoadCursorW(nullptr, zone->kind == HitKind::SearchField ? IDC_IBEAM : IDC_HAND));
            return 1;
        }
    }
    return DefWindowProcW(window, WM_SETCURSOR, wParam, lParam);
}

LRESULT onGetMinMaxInfo(HWND, LPARAM lParam)
{
    const Scale& scale = viewState().scale;
    reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize =
        POINT{scale.px(kMinWindowWidth), scale.px(kMinWindowHeight)};
    return 0;
}

LRESULT onWindowPosChanged(HWND window, WPARAM wParam, LPARAM lParam)
{
    updateShadow(window);
    DefWindowProcW(window, WM_WINDOWPOSCHANGED, wParam, lParam);
    return 0;
}

LRESULT onActivate(HWND window, WPARAM wParam, LPARAM lParam)
{
    // Activation raises the window: its shadow follows it.
    keepShadowBelow(window);
    if (restoreSearchFocus(wParam)) return 0;
    return DefWindowProcW(window, WM_ACTIVATE, wParam, lParam);
}

LRESULT onPaint(HWND window)
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    paintMainWindow(dc, client);
    EndPaint(window, &paint);
    return 0;
}

LRESULT onTimer(HWND window, WPARAM timerId)
{
    if (timerId == kSearchPauseTimer) onSearchPause(window);
    if (timerId != kTimerId) return 0;
    DownloadManager::instance().tickSpeed();
    keepShadowBelow(window);
    const ViewState& view = viewState();
    bool overlayUp = !view.toast.text.empty() || !view.banner.title.empty();
    if (overlayUp || view.page == Page::Downloads || anyTaskTransferring()) invalidate(window);
    return 0;
}

LRESULT onCatalogReady(HWND window, WPARAM loaded)
{
    ViewState& view = viewState();
    view.loading = false;
    view.loadFailed = loaded == 0;
    Catalog& catalog = appCatalog();
    if (catalog.adoptPending()) refreshSearchResults();
    if (!catalog.apps.empty()) startInstalledSnapshot(window, catalogAppNames(catalog.apps));
    std::vector<std::wstring> ids;
    ids.reserve(catalog.categories.size());
    for (const auto& category : catalog.categories) ids.push_back(category.id);
    CategorySelection selection = selectionAfterCatalogArrival(view.page == Page::Catalog, view.currentCategoryId, ids);
    view.page = Page::Catalog;
    view.currentCategoryId = selection.categoryId;
    invalidate(window);
    return 0;
}

LRESULT onTaskDone(WPARAM appId)
{
    onTaskFinished(static_cast<int32_t>(appId), showToast);
    return 0;
}

LRESULT onRefresh(HWND window)
{
    invalidate(window);
    std::vector<int32_t> installing;
    for (const auto& entry : DownloadManager::instance().snapshot()) {
        if (static_cast<TaskState::Value>(entry.second.state) == TaskState::Installing) installing.push_back(entry.first);
    }
    // An installer run ended: what is installed may have changed.
    if (installRunWatch().ended(installing)) startInstalledSnapshot(window, catalogAppNames(appCatalog().apps));
    return 0;
}

LRESULT onInstalledReady(HWND window)
{
    if (adoptInstalledPending()) invalidate(window);
    return 0;
}

LRESULT onInstallRefused(HWND window, LPARAM refusal)
{
    const std::wstring text = launchRefusalText(static_cast<LaunchRefusal>(refusal));
    if (!text.empty()) showToast(text, ToastKind::Error);
    invalidate(window);
    return 0;
}

void applyWindowScale(HWND window, const Scale& scale)
{
    ViewState& view = viewState();
    view.scale = scale;
    windowFonts() = FontSet(scale);
    view.fonts = windowFonts().fonts();
    // Icons and the logo are decoded at the size they are drawn.
    setIconSide(scale.px(kIconSide));
    dropDecodedIcons();
    view.logoState = LogoState::NotTried;
    if (!window) return;
    rescaleTooltip(scale);
    // The old fonts are gone: the search field's edit takes the new one now.
    placeSearchField(window);
    onSize(window);
    updateShadow(window);
}

LRESULT onDpiChanged(HWND window, WPARAM wParam, LPARAM lParam)
{
    applyWindowScale(window, Scale::forDpi(LOWORD(wParam)));
    const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
    SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    invalidate(window);
    return 0;
}
