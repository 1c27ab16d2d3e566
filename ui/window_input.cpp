#include "ui/window_messages.h"

#include <shellapi.h>

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "net/catalog.h"
#include "ui/app_actions.h"
#include "ui/main_window.h"
#include "ui/search_field.h"
#include "ui/settings_dialog.h"
#include "ui/window_geometry.h"

namespace {

POINT clientPoint(LPARAM lParam) { return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}; }

std::shared_ptr<AppInfo> appById(int32_t id) { return findAnyApp(appCatalog(), id); }

void showDownloadsPage(HWND window)
{
    ViewState& view = viewState();
    view.page = Page::Downloads;
    view.panelScroll = 0;
    refreshDownloadFolder(window);
    invalidate(window);
}

void selectCategory(HWND window, int32_t index)
{
    const auto categories = appCatalog().categories;
    if (index < 0 || static_cast<size_t>(index) >= categories.size()) return;
    // A category chosen during a search ends it.
    clearSearchField();
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
    TaskView task{};
    if (findTaskView(appId, task) && buttonOpensDownloads(&task)) {
        showDownloadsPage(window);
        return;
    }
    onAppAction(app.get(), showToast);
}

// Continues a paused task with what the catalog says of its app now, when it
// still lists it.
void resumeTask(int32_t appId)
{
    auto app = appById(appId);
    if (!app) {
        DownloadManager::instance().resume(appId);
        return;
    }
    const PackageFacts now{app->md5, app->packageSize};
    DownloadManager::instance().resume(appId, &now);
}

// Resolving (and making) the folder and the shell's window may both wait on a
// slow disk: a worker does it.
void openDownloadFolder()
{
    HWND window = viewState().mainWindow;
    startDetachedThread([window] {
        std::wstring folder = downloadFolder();
        // The shell's "open" would run a file of that name.
        if (!isExistingFolder(folder)) {
            PostMessageW(window, WM_APP_FOLDER_UNAVAILABLE, 0, 0);
            return;
        }
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        ShellExecuteW(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        if (SUCCEEDED(com)) CoUninitialize();
    });
}

ZoneRef zoneRefAt(POINT client)
{
    const HitZone* zone = hitZoneAt(client);
    return zone ? ZoneRef{zone->kind, zone->id} : ZoneRef{};
}

// The scroll area whose bar (widened to be grabbed) lies under a client point.
const ScrollArea* scrollBarAt(POINT client)
{
    const ViewState& view = viewState();
    const int x = view.scale.logical(client.x);
    const int y = view.scale.logical(client.y);
    for (const ScrollArea* area : {&view.layout.sidebarScroll, &view.layout.pageScroll})
        if (scrollGrabRect(*area).contains(x, y)) return area;
    return nullptr;
}

void setScroll(ScrollTarget target, int offset)
{
    ViewState& view = viewState();
    switch (target) {
    case ScrollTarget::Sidebar: view.sidebarScroll = offset; break;
    case ScrollTarget::Grid: view.listScroll = offset; break;
    case ScrollTarget::Panel: view.panelScroll = offset; break;
    case ScrollTarget::None: break;
    }
}

const ScrollArea* areaOf(ScrollTarget target)
{
    const FrameLayout& layout = viewState().layout;
    if (layout.sidebarScroll.target == target) return &layout.sidebarScroll;
    if (layout.pageScroll.target == target) return &layout.pageScroll;
    return nullptr;
}

// A press on a scrollbar: the thumb is taken, the track pages.
void pressScrollBar(HWND window, const ScrollArea& area, POINT client)
{
    ViewState& view = viewState();
    const int y = view.scale.logical(client.y);
    if (y >= area.thumb.top && y < area.thumb.bottom) {
        view.thumbDrag = {area.target, client.y, area.scroll};
        SetCapture(window);
    } else {
        setScroll(area.target, trackPageScroll(area, y));
    }
    view.hovering = false;
    invalidate(window);
}

}  // namespace

void runZoneAction(HWND window, ZoneRef zone)
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
    case HitKind::PanelPause: manager.pause(zone.id); invalidate(window); break;
    case HitKind::PanelResume: resumeTask(zone.id); invalidate(window); break;
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
    case HitKind::SearchField: focusSearchField(); break;
    case HitKind::SearchClear: clearSearchField(); break;
    default: break;
    }
}

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
    const POINT point = clientPoint(lParam);
    if (view.thumbDrag.target != ScrollTarget::None) {
        if (const ScrollArea* area = areaOf(view.thumbDrag.target)) {
            const int dy = view.scale.logical(point.y - view.thumbDrag.startY);
            setScroll(area->target, thumbDragScroll(*area, view.thumbDrag.startScroll, dy));
            invalidate(window);
        }
        return 0;
    }
    if (!view.press.zone.empty()) {
        const bool wasInside = view.press.inside;
        view.press = pointerMoved(view.press, zoneRefAt(point));
        if (view.press.inside != wasInside) invalidate(window);
    }
    HitKind oldKind = view.hoverKind;
    int32_t oldId = view.hoverId;
    bool oldHovering = view.hovering;
    view.hovering = false;
    if (const HitZone* zone = hitZoneAt(point)) {
        view.hoverKind = zone->kind;
        view.hoverId = zone->id;
        view.hovering = true;
    }
    if (view.hoverKind != oldKind || view.hoverId != oldId || view.hovering != oldHovering) invalidate(window);
    updateTooltip(window, point);
    return 0;
}

LRESULT onMouseLeave(HWND window)
{
    viewState().hovering = false;
    invalidate(window);
    return 0;
}

LRESULT onLeftButtonDown(HWND window, LPARAM lParam, bool doubleClick)
{
    ViewState& view = viewState();
    const POINT point = clientPoint(lParam);
    const ZoneRef under = zoneRefAt(point);
    if (under.kind == HitKind::SearchField) {
        pressSearchField(window, point);
        return 0;
    }
    // The clear glyph leaves the caret where it is; anything else takes it.
    if (under.kind != HitKind::SearchClear) leaveSearchField(window);
    if (const ScrollArea* area = scrollBarAt(point)) {
        pressScrollBar(window, *area, point);
        return 0;
    }
    view.press = pressAt(under, doubleClick);
    if (view.press.zone.empty()) return 0;
    // The clicked button takes the focus; its ring shows only for the keyboard.
    if (!isSearchZone(view.press.zone.kind)) view.focus = view.press.zone;
    view.focusVisible = false;
    SetCapture(window);
    invalidate(window);
    return 0;
}

LRESULT onLeftButtonUp(HWND window, LPARAM lParam)
{
    ViewState& view = viewState();
    const bool dragging = view.thumbDrag.target != ScrollTarget::None;
    const Press press = view.press;
    view.press = {};
    view.thumbDrag = {};
    // Releasing the capture sends WM_CAPTURECHANGED: the press is over by then.
    if (GetCapture() == window) ReleaseCapture();
    if (dragging || press.zone.empty()) return 0;
    invalidate(window);
    const ZoneRef fired = releaseAt(press, zoneRefAt(clientPoint(lParam)));
    if (!fired.empty()) runZoneAction(window, fired);
    return 0;
}

LRESULT onCaptureChanged(HWND window, LPARAM lParam)
{
    // Another window took the mouse: whatever was held is let go without acting.
    if (reinterpret_cast<HWND>(lParam) == window) return 0;
    ViewState& view = viewState();
    if (view.press.zone.empty() && view.thumbDrag.target == ScrollTarget::None) return 0;
    view.press = {};
    view.thumbDrag = {};
    invalidate(window);
    return 0;
}

LRESULT onMouseWheel(HWND window, WPARAM wParam, LPARAM lParam)
{
    int delta = GET_WHEEL_DELTA_WPARAM(wParam);
    // The wheel reports the cursor in screen coordinates.
    POINT point = clientPoint(lParam);
    ScreenToClient(window, &point);
    ViewState& view = viewState();
    // 120 units a notch, in layout units: a notch scrolls as far at every scale.
    switch (wheelTarget(point.x, point.y, view.page == Page::Downloads, view.scale)) {
    case WheelTarget::Sidebar: view.sidebarScroll -= delta; break;
    case WheelTarget::Grid: view.listScroll -= delta; break;
    case WheelTarget::Panel: view.panelScroll -= delta; break;
    default: return 0;
    }
    view.hovering = false;
    invalidate(window);
    return 0;
}
