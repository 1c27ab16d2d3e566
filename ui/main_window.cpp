#include "ui/main_window.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <map>
#include <vector>

#include "core/app_messages.h"
#include "core/config.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "net/catalog.h"
#include "net/icon_loader.h"
#include "net/image_decode.h"
#include "ui/app_actions.h"
#include "ui/format.h"

// A window of standard controls over the catalog and the download engine: the
// category list, the apps of the chosen category with their action, and every
// download task with its progress.

namespace {

enum ControlId : int {
    kIdStatus = 100,
    kIdReload,
    kIdOpenFolder,
    kIdCategories,
    kIdApps,
    kIdAction,
    kIdTasks,
    kIdCancel,
    kIdInstall,
    kIdReveal,
    kIdClear,
};

constexpr UINT_PTR kTimerId = 1;
constexpr int kIconSize = 32;

struct ViewState {
    HWND window = nullptr;
    HWND status = nullptr;
    HWND reload = nullptr;
    HWND openFolder = nullptr;
    HWND categories = nullptr;
    HWND apps = nullptr;
    HWND action = nullptr;
    HWND tasks = nullptr;
    HWND taskButtons[4] = {};
    HFONT font = nullptr;
    HIMAGELIST icons = nullptr;
    std::map<int32_t, int> iconIndex;   // app id -> image list index
    std::vector<int32_t> shownApps;     // app ids in the apps list, by row
    std::vector<int32_t> shownTasks;    // task ids in the task list, by row
    bool loading = false;
};

Catalog g_catalog;
ViewState g_view;

HWND makeControl(const wchar_t* cls, const wchar_t* text, DWORD style, int id)
{
    HWND control = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, g_view.window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                   nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(g_view.font), TRUE);
    return control;
}

void addColumn(HWND list, int index, const wchar_t* title, int width)
{
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(title);
    column.cx = width;
    ListView_InsertColumn(list, index, &column);
}

void setCell(HWND list, int row, int column, const std::wstring& text)
{
    ListView_SetItemText(list, row, column, const_cast<wchar_t*>(text.c_str()));
}

void showToast(const std::wstring& text, ToastKind)
{
    SetWindowTextW(g_view.status, text.c_str());
}

std::wstring selectedCategoryId()
{
    int index = static_cast<int>(SendMessageW(g_view.categories, LB_GETCURSEL, 0, 0));
    if (index <= 0 || index > static_cast<int>(g_catalog.categories.size())) return std::wstring();
    return g_catalog.categories[static_cast<size_t>(index - 1)].id;
}

int selectedRow(HWND list) { return ListView_GetNextItem(list, -1, LVNI_SELECTED); }

std::shared_ptr<AppInfo> selectedApp()
{
    int row = selectedRow(g_view.apps);
    if (row < 0 || row >= static_cast<int>(g_view.shownApps.size())) return nullptr;
    return findApp(g_catalog, g_view.shownApps[static_cast<size_t>(row)]);
}

int32_t selectedTaskId()
{
    int row = selectedRow(g_view.tasks);
    if (row < 0 || row >= static_cast<int>(g_view.shownTasks.size())) return -1;
    return g_view.shownTasks[static_cast<size_t>(row)];
}

std::wstring taskStateText(const TaskView& task)
{
    switch (task.state) {
    case TaskState::Downloading: return task.retries > 0 ? L"网络不稳定，正在重试" : L"下载中";
    case TaskState::Verifying: return L"校验中";
    case TaskState::Downloaded: return task.md5Ok ? L"已下载" : L"已下载（MD5 不一致）";
    case TaskState::Failed: return L"失败：" + task.error;
    case TaskState::Cancelled: return L"已取消";
    case TaskState::Installed: return L"已安装";
    case TaskState::Installing: return L"安装中";
    case TaskState::InstallUnconfirmed: return L"安装已取消，可点击右侧按钮重新安装";
    default: return std::wstring();
    }
}

void refreshActionButton()
{
    auto app = selectedApp();
    if (!app) {
        SetWindowTextW(g_view.action, L"安 装");
        EnableWindow(g_view.action, FALSE);
        return;
    }
    auto tasks = DownloadManager::instance().snapshot();
    auto it = tasks.find(app->id);
    SetWindowTextW(g_view.action, cardButtonLabel(*app, it == tasks.end() ? nullptr : &it->second).c_str());
    EnableWindow(g_view.action, TRUE);
}

void refreshTasks()
{
    auto tasks = DownloadManager::instance().snapshot();
    int32_t selected = selectedTaskId();
    SendMessageW(g_view.tasks, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(g_view.tasks);
    g_view.shownTasks.clear();
    int row = 0;
    for (const auto& [id, task] : tasks) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(task.name.c_str());
        ListView_InsertItem(g_view.tasks, &item);
        setCell(g_view.tasks, row, 1, formatSize(task.received) + L" / " + formatSize(task.size));
        setCell(g_view.tasks, row, 2, task.state == TaskState::Downloading ? formatSpeed(task.speed) : std::wstring());
        setCell(g_view.tasks, row, 3, taskStateText(task));
        if (id == selected) ListView_SetItemState(g_view.tasks, row, LVIS_SELECTED, LVIS_SELECTED);
        g_view.shownTasks.push_back(id);
        ++row;
    }
    SendMessageW(g_view.tasks, WM_SETREDRAW, TRUE, 0);
    refreshActionButton();
}

void addIcon(const AppInfo& app)
{
    if (app.iconState.load() != 2 || !app.iconBitmap || g_view.iconIndex.count(app.id)) return;
    // Scale the decoded icon to the list's size: the image list takes a copy.
    HDC screen = GetDC(nullptr);
    HDC source = CreateCompatibleDC(screen);
    HDC target = CreateCompatibleDC(screen);
    HBITMAP scaled = CreateCompatibleBitmap(screen, kIconSize, kIconSize);
    BITMAP info{};
    GetObjectW(app.iconBitmap, sizeof(info), &info);
    HGDIOBJ oldSource = SelectObject(source, app.iconBitmap);
    HGDIOBJ oldTarget = SelectObject(target, scaled);
    SetStretchBltMode(target, HALFTONE);
    StretchBlt(target, 0, 0, kIconSize, kIconSize, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(source, oldSource);
    SelectObject(target, oldTarget);
    DeleteDC(source);
    DeleteDC(target);
    ReleaseDC(nullptr, screen);
    g_view.iconIndex[app.id] = ImageList_Add(g_view.icons, scaled, nullptr);
    DeleteObject(scaled);
}

void fillApps()
{
    std::wstring category = selectedCategoryId();
    SendMessageW(g_view.apps, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(g_view.apps);
    g_view.shownApps.clear();
    int row = 0;
    for (const auto& app : g_catalog.apps) {
        if (!category.empty()) {
            bool inCategory = false;
            for (const auto& id : app->categoryIds) inCategory = inCategory || id == category;
            if (!inCategory) continue;
        }
        startIconLoad(g_catalog, g_view.window, app, g_config.server);
        addIcon(*app);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(app->name.c_str());
        auto icon = g_view.iconIndex.find(app->id);
        item.iImage = icon == g_view.iconIndex.end() ? -1 : icon->second;
        ListView_InsertItem(g_view.apps, &item);
        setCell(g_view.apps, row, 1, app->version);
        setCell(g_view.apps, row, 2, formatSize(app->packageSize));
        setCell(g_view.apps, row, 3, formatMonthDay(app->updatedAt));
        setCell(g_view.apps, row, 4, app->description);
        g_view.shownApps.push_back(app->id);
        ++row;
    }
    SendMessageW(g_view.apps, WM_SETREDRAW, TRUE, 0);
    refreshActionButton();
}

void fillCategories()
{
    SendMessageW(g_view.categories, LB_RESETCONTENT, 0, 0);
    SendMessageW(g_view.categories, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"全部"));
    for (const auto& category : g_catalog.categories)
        SendMessageW(g_view.categories, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(category.name.c_str()));
    SendMessageW(g_view.categories, LB_SETCURSEL, 0, 0);
}

void startLoad()
{
    g_view.loading = true;
    EnableWindow(g_view.reload, FALSE);
    SetWindowTextW(g_view.status, L"正在加载应用目录…");
    if (!startCatalogLoad(g_catalog, g_view.window, g_config.server)) g_view.loading = false;
}

void layout(int width, int height)
{
    const int margin = 8, bar = 32, left = 180, buttonWidth = 110;
    int top = margin + bar + margin;
    int contentWidth = width - left - 3 * margin;
    int appsHeight = (height - top - 2 * bar - 4 * margin) * 55 / 100;
    int tasksTop = top + appsHeight + margin + bar + margin;
    int tasksHeight = height - tasksTop - bar - 2 * margin;
    MoveWindow(g_view.status, margin, margin + 8, width - 2 * buttonWidth - 4 * margin, bar - 8, TRUE);
    MoveWindow(g_view.reload, width - 2 * buttonWidth - 2 * margin, margin, buttonWidth, bar, TRUE);
    MoveWindow(g_view.openFolder, width - buttonWidth - margin, margin, buttonWidth, bar, TRUE);
    MoveWindow(g_view.categories, margin, top, left, height - top - margin, TRUE);
    int x = left + 2 * margin;
    MoveWindow(g_view.apps, x, top, contentWidth, appsHeight, TRUE);
    MoveWindow(g_view.action, x, top + appsHeight + margin, buttonWidth, bar, TRUE);
    MoveWindow(g_view.tasks, x, tasksTop, contentWidth, tasksHeight, TRUE);
    for (int i = 0; i < 4; ++i)
        MoveWindow(g_view.taskButtons[i], x + i * (buttonWidth + margin), tasksTop + tasksHeight + margin,
                   buttonWidth, bar, TRUE);
}

void onCreate(HWND window)
{
    g_view.window = window;
    g_view.font = CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei");
    g_view.status = makeControl(L"STATIC", L"", SS_LEFT | SS_ENDELLIPSIS, kIdStatus);
    g_view.reload = makeControl(L"BUTTON", L"重新加载", BS_PUSHBUTTON, kIdReload);
    g_view.openFolder = makeControl(L"BUTTON", L"打开下载目录", BS_PUSHBUTTON, kIdOpenFolder);
    g_view.categories = makeControl(L"LISTBOX", L"", WS_BORDER | WS_VSCROLL | LBS_NOTIFY, kIdCategories);
    g_view.apps = makeControl(WC_LISTVIEWW, L"", WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, kIdApps);
    g_view.action = makeControl(L"BUTTON", L"安 装", BS_PUSHBUTTON, kIdAction);
    g_view.tasks = makeControl(WC_LISTVIEWW, L"", WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, kIdTasks);
    const wchar_t* taskLabels[4] = {L"取消", L"安装", L"打开文件夹", L"清除已完成"};
    for (int i = 0; i < 4; ++i)
        g_view.taskButtons[i] = makeControl(L"BUTTON", taskLabels[i], BS_PUSHBUTTON, kIdCancel + i);

    g_view.icons = ImageList_Create(kIconSize, kIconSize, ILC_COLOR32, 16, 16);
    ListView_SetImageList(g_view.apps, g_view.icons, LVSIL_SMALL);
    ListView_SetExtendedListViewStyle(g_view.apps, LVS_EX_FULLROWSELECT);
    ListView_SetExtendedListViewStyle(g_view.tasks, LVS_EX_FULLROWSELECT);
    addColumn(g_view.apps, 0, L"应用", 220);
    addColumn(g_view.apps, 1, L"版本", 70);
    addColumn(g_view.apps, 2, L"大小", 90);
    addColumn(g_view.apps, 3, L"更新", 70);
    addColumn(g_view.apps, 4, L"简介", 400);
    addColumn(g_view.tasks, 0, L"任务", 220);
    addColumn(g_view.tasks, 1, L"进度", 170);
    addColumn(g_view.tasks, 2, L"速度", 100);
    addColumn(g_view.tasks, 3, L"状态", 400);

    DownloadManager::instance().hwnd = window;
    if (!g_config.downloadDir.empty()) setDownloadFolderOverride(g_config.downloadDir);
    SetTimer(window, kTimerId, 500, nullptr);
    startLoad();
}

void onCatalogReady(WPARAM loaded)
{
    g_view.loading = false;
    EnableWindow(g_view.reload, TRUE);
    if (loaded) {
        g_catalog.adoptPending();
        g_view.iconIndex.clear();
        ImageList_RemoveAll(g_view.icons);
        fillCategories();
        fillApps();
        SetWindowTextW(g_view.status, (L"共 " + std::to_wstring(g_catalog.apps.size()) + L" 个应用").c_str());
    } else {
        SetWindowTextW(g_view.status, (L"无法连接到服务器：" + g_config.server).c_str());
    }
}

void onIconReady(int32_t appId)
{
    auto app = findApp(g_catalog, appId);
    if (!app) return;
    addIcon(*app);
    auto icon = g_view.iconIndex.find(appId);
    if (icon == g_view.iconIndex.end()) return;
    for (size_t row = 0; row < g_view.shownApps.size(); ++row) {
        if (g_view.shownApps[row] != appId) continue;
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = static_cast<int>(row);
        item.iImage = icon->second;
        ListView_SetItem(g_view.apps, &item);
    }
}

void onCommand(int id, int code)
{
    DownloadManager& manager = DownloadManager::instance();
    switch (id) {
    case kIdReload: if (!g_view.loading) startLoad(); break;
    case kIdOpenFolder:
        ShellExecuteW(nullptr, L"open", downloadFolder().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        break;
    case kIdCategories: if (code == LBN_SELCHANGE) fillApps(); break;
    case kIdAction: onAppAction(selectedApp().get(), showToast); refreshTasks(); break;
    case kIdCancel: manager.cancel(selectedTaskId()); break;
    case kIdInstall: onInstallClicked(g_catalog, selectedTaskId(), showToast); break;
    case kIdReveal: manager.revealInFolder(selectedTaskId()); break;
    case kIdClear: manager.clearFinished(); break;
    default: break;
    }
}

bool anyTaskActive()
{
    for (const auto& [id, task] : DownloadManager::instance().snapshot())
        if (task.state == TaskState::Downloading || task.state == TaskState::Verifying ||
            task.state == TaskState::Installing)
            return true;
    return false;
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: onCreate(window); return 0;
    case WM_SIZE: layout(LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_GETMINMAXINFO: reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {800, 560}; return 0;
    case WM_COMMAND: onCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom == kIdApps && header->code == LVN_ITEMCHANGED) refreshActionButton();
        if (header->idFrom == kIdApps && header->code == NM_DBLCLK) onCommand(kIdAction, 0);
        return 0;
    }
    case WM_TIMER:
        DownloadManager::instance().tickSpeed();
        if (anyTaskActive()) refreshTasks();
        return 0;
    case WM_APP_REFRESH: refreshTasks(); return 0;
    case WM_APP_TASK_DONE: onTaskFinished(static_cast<int32_t>(wParam), showToast); refreshTasks(); return 0;
    case WM_APP_ICON_READY: onIconReady(static_cast<int32_t>(wParam)); return 0;
    case WM_APP_CATALOG_READY: onCatalogReady(wParam); return 0;
    case WM_DESTROY:
        KillTimer(window, kTimerId);
        PostQuitMessage(0);
        return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

bool createMainWindow(HINSTANCE instance)
{
    if (!ensureGdiplus()) return false;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    OleInitialize(nullptr);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"KXMainWnd";
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    RegisterClassExW(&windowClass);

    HWND window = CreateWindowExW(0, L"KXMainWnd", L"Pakvane 软件中心", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 1100, 720, nullptr, nullptr, instance, nullptr);
    if (!window) return false;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return true;
}
