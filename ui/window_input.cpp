#include "ui/window_messages.h"

#include <shellapi.h>

#include "download/download_folder.h"
#include "download/download_manager.h"
#include "net/catalog.h"
#include "ui/app_actions.h"
#include "ui/main_window.h"
#include "ui/settings_dialog.h"
#include "ui/window_geometry.h"

namespace {

POINT clientPoint(LPARAM lParam) { return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}; }

std::shared_ptr<AppInfo> appById(int32_t id)
{
    auto app = findApp(appCatalog(), id);
    return app ? app : findSearchResult(appCatalog(), id);
}

bool taskIsBusy(int32_t appId)
{
    auto tasks = DownloadManager::instance().snapshot();
    auto it = tasks.find(appId);
    if (it == tasks.end()) return false;
    auto state = static_cast<TaskState::Value>(it->second.state);
    return state == TaskState::Downloading || state == TaskState::Verifying || state == TaskState::Installing;
}

void showDownloadsPage(HWND window)
{
    ViewState& view = viewState();
    view.page = Page::Downloads;
    view.panelScroll = 0;
    invalidate(window);
}

void selectCategory(HWND window, int32_t index)
{
    const auto categories = appCatalog().categories;
    if (index < 0 || static_cast<size_t>(index) >= categories.size()) return;
    ViewState& view = viewState();
    view.currentCategoryId = categories[static_cast<size_t>(index)].id;
    view.page = Page::Catalog;
    view.listScroll = 0;
    invalidate(window);
}

void onCardButton(HWND window, int32_t appId)
{
    auto app = appById(appId);
    if (!app) return;
    if (taskIsBusy(appId)) {
        showDownloadsPage(window);
        return;
    }
    onAppAction(app.get(), showToast);
}

void openDownloadFolder()
{
    std::wstring folder = downloadFolder();
    if (!isExistingFolder(folder)) {
        showToast(L"下载目录不可用，无法打开", ToastKind::Error);
        return;
    }
    ShellExecuteW(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void runClick(HWND window, const HitZone& zone)
{
    DownloadManager& manager = DownloadManager::instance();
    ViewState& view = viewState();
    switch (zone.kind) {
    case HitKind::CategoryRow: selectCategory(window, zone.id); break;
    case HitKind::Minimize: ShowWindow(window, SW_MINIMIZE); break;
    case HitKind::MaximizeRestore: ShowWindow(window, IsZoomed(window) ? SW_RESTORE : SW_MAXIMIZE); break;
    case HitKind::Close: DestroyWindow(view.mainWindow); break;
    case HitKind::DownloadsButton: showDownloadsPage(window); break;
    case HitKind::SettingsButton:
    case HitKind::PanelChangeFolder: openSettingsDialog(); break;
    case HitKind::CardButton: onCardButton(window, zone.id); break;
    case HitKind::PanelCancel: manager.cancel(zone.id); invalidate(window); break;
    case HitKind::PanelInstall: onInstallClicked(appCatalog(), zone.id, showToast); invalidate(window); break;
    case HitKind::PanelOpenFolder: manager.revealInFolder(zone.id); break;
    case HitKind::PanelRetry: {
        auto app = appById(zone.id);
        if (app) onAppAction(app.get(), showToast);
        invalidate(window);
        break;
    }
    case HitKind::PanelClearFinished: manager.clearFinished(); invalidate(window); break;
    case HitKind::Reload: startCatalogLoad(); break;
    case HitKind::PanelOpenDownloadFolder: openDownloadFolder(); break;
    case HitKind::Banner: view.banner.title.clear(); invalidate(window); break;
    default: break;
    }
}

}  // namespace

const HitZone* hitZoneAt(POINT client)
{
    const auto& zones = viewState().hitZones;
    for (auto it = zones.rbegin(); it != zones.rend(); ++it)
        if (PtInRect(&it->rect, client)) return &*it;
    return nullptr;
}

LRESULT onMouseMove(HWND window, LPARAM lParam)
{
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
    TrackMouseEvent(&track);
    ViewState& view = viewState();
    HitKind oldKind = view.hoverKind;
    int32_t oldId = view.hoverId;
    bool oldHovering = view.hovering;
    view.hovering = false;
    if (const HitZone* zone = hitZoneAt(clientPoint(lParam))) {
        view.hoverKind = zone->kind;
        view.hoverId = zone->id;
        view.hovering = true;
    }
    if (view.hoverKind != oldKind || view.hoverId != oldId || view.hovering != oldHovering) invalidate(window);
    return 0;
}

LRESULT onMouseLeave(HWND window)
{
    viewState().hovering = false;
    invalidate(window);
    return 0;
}

LRESULT onLeftButtonDown(HWND window, LPARAM lParam)
{
    const HitZone* zone = hitZoneAt(clientPoint(lParam));
    // The actions may repaint, which refills the zones: act on a copy.
    if (zone) runClick(window, HitZone(*zone));
    return 0;
}

LRESULT onMouseWheel(HWND window, WPARAM wParam, LPARAM lParam)
{
    int delta = GET_WHEEL_DELTA_WPARAM(wParam);
    // The wheel reports the cursor in screen coordinates.
    POINT point = clientPoint(lParam);
    ScreenToClient(window, &point);
    ViewState& view = viewState();
    switch (wheelTarget(point.x, point.y, view.page == Page::Downloads)) {
    case WheelTarget::Sidebar: view.sidebarScroll -= delta; break;
    case WheelTarget::Grid: view.listScroll -= delta; break;
    case WheelTarget::Panel: view.panelScroll -= delta; break;
    default: return 0;
    }
    view.hovering = false;
    invalidate(window);
    return 0;
}
