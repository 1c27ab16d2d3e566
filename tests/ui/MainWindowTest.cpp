#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "core/app_messages.h"
#include "core/config.h"
#include "core/handles.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "net/catalog_search.h"
#include "net/icon_loader.h"
#include "tests/support/download_manager_access.h"
#include "tests/support/test_server.h"
#include "ui/main_window.h"
#include "ui/search_field.h"
#include "ui/shadow_window.h"
#include "ui/view_state.h"
#include "ui/window_geometry.h"

// The real main window of this process, against the test catalog server; its
// messages are sent to it directly, no display interaction needed.

namespace {

// Handles this thread's messages until done() holds; false after the deadline.
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

HWND mainWindow()
{
    static HWND window = [] {
        g_config.server = testServerUrl();
        g_config.channel = L"default";
        g_config.downloadDir = makeScratchDir(L"window-downloads");
        return createMainWindow(GetModuleHandleW(nullptr)) ? viewState().mainWindow : nullptr;
    }();
    return window;
}

void reload(HWND window)
{
    startCatalogLoad();
    ASSERT_TRUE(pumpUntil([] { return !viewState().loading; }));
    ASSERT_TRUE(window);
}

// The window on its catalog page with a fresh copy of the test catalog, the
// first category selected, whatever other tests left behind.
HWND loadedWindow()
{
    HWND window = mainWindow();
    EXPECT_TRUE(window);
    EXPECT_TRUE(pumpUntil([] { return !viewState().loading; }));
    viewState().page = Page::Catalog;
    viewState().currentCategoryId.clear();
    reload(window);
    return window;
}

POINT screenPoint(HWND window, int x, int y)
{
    POINT point{x, y};
    ClientToScreen(window, &point);
    return point;
}

// Sends a click (press and release) at a client point with exactly these
// zones recorded.
void clickWithZones(HWND window, std::vector<HitZone> zones, int x, int y)
{
    // No paint may refill the zones between here and the click.
    ValidateRect(window, nullptr);
    viewState().hitZones = std::move(zones);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// The window's WM_NCHITTEST answer at a client point, with no zones recorded.
LRESULT bareHitTest(HWND window, int x, int y)
{
    ValidateRect(window, nullptr);
    viewState().hitZones.clear();
    POINT p = screenPoint(window, x, y);
    return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
}

void holdKey(int key, bool down)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[key] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

void typeInto(HWND edit, const std::wstring& text)
{
    for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

std::vector<int32_t> idsOf(const AppList& apps)
{
    std::vector<int32_t> ids;
    for (const auto& app : apps) ids.push_back(app->id);
    return ids;
}

void setState(Task& task, TaskState::Value state) { task.state = static_cast<decltype(task.state.load())>(state); }

std::shared_ptr<Task> addTask(int32_t id, TaskState::Value state, const std::wstring& name, bool isArchive)
{
    auto task = std::make_shared<Task>();
    task->id = id;
    task->name = name;
    setState(*task, state);
    task->isArchive = isArchive;
    DownloadManagerTestAccess::addTask(task);
    return task;
}

}  // namespace

TEST(MainWindow, CatalogArrivalKeepsOrReplacesTheSelection)
{
    HWND window = loadedWindow();
    ViewState& view = viewState();
    EXPECT_FALSE(view.loadFailed);
    ASSERT_EQ(appCatalog().categories.size(), 3u);
    EXPECT_EQ(view.currentCategoryId, L"tools");

    view.currentCategoryId = L"media";
    reload(window);
    EXPECT_EQ(view.currentCategoryId, L"media");

    view.currentCategoryId = L"gone";
    reload(window);
    EXPECT_EQ(view.currentCategoryId, L"tools");

    view.page = Page::Downloads;
    view.currentCategoryId = L"media";
    reload(window);
    EXPECT_EQ(view.page, Page::Catalog);
    EXPECT_EQ(view.currentCategoryId, L"tools");

    // A failed load keeps the catalog the window already shows.
    SendMessageW(window, WM_APP_CATALOG_READY, 0, 0);
    EXPECT_TRUE(view.loadFailed);
    EXPECT_FALSE(view.loading);
    EXPECT_EQ(appCatalog().categories.size(), 3u);
    reload(window);
    EXPECT_FALSE(view.loadFailed);
}

TEST(MainWindow, ClickGoesToTheZoneRecordedLast)
{
    HWND window = loadedWindow();
    ViewState& view = viewState();
    view.page = Page::Downloads;
    view.listScroll = 300;
    RECT rect{300, 300, 400, 340};
    clickWithZones(window, {{rect, HitKind::DownloadsButton, 0}, {rect, HitKind::CategoryRow, 1}}, 350, 320);
    EXPECT_EQ(view.page, Page::Catalog);
    EXPECT_EQ(view.currentCategoryId, L"media");
    EXPECT_EQ(view.listScroll, 0);

    // Outside every zone, and a row index past the list: nothing changes.
    clickWithZones(window, {{rect, HitKind::DownloadsButton, 0}}, 400, 320);
    clickWithZones(window, {{rect, HitKind::CategoryRow, 3}}, 350, 320);
    EXPECT_EQ(view.page, Page::Catalog);
    EXPECT_EQ(view.currentCategoryId, L"media");

    view.panelScroll = 500;
    clickWithZones(window, {{rect, HitKind::CategoryRow, 0}, {rect, HitKind::DownloadsButton, 0}}, 300, 300);
    EXPECT_EQ(view.page, Page::Downloads);
    EXPECT_EQ(view.panelScroll, 0);

    view.banner.title = L"done";
    clickWithZones(window, {{rect, HitKind::Banner, 0}}, 399, 339);
    EXPECT_TRUE(view.banner.title.empty());
}

TEST(MainWindow, OpenFolderRefusesAPathThatIsNoFolder)
{
    HWND window = loadedWindow();
    const std::wstring file = makeScratchDir(L"not-a-folder") + L"\\setup.exe";
    {
        UniqueFile created(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(created.valid());
    }
    RECT rect{900, 120, 980, 146};
    // A file, then nothing at all: neither is handed to the shell.
    for (const std::wstring& path : {file, file + L"\\gone"}) {
        setDownloadFolderOverride(path);
        viewState().toast = {};
        clickWithZones(window, {{rect, HitKind::PanelOpenDownloadFolder, 0}}, 940, 130);
        // A worker looks at the folder and says so through the window.
        EXPECT_TRUE(pumpUntil([] { return !viewState().toast.text.empty(); }));
        EXPECT_EQ(viewState().toast.kind, ToastKind::Error);
        EXPECT_EQ(viewState().toast.text, L"下载目录不可用，无法打开");
    }
    setDownloadFolderOverride(g_config.downloadDir);
}

TEST(MainWindow, CardOfABusyTaskOnlyOpensTheDownloadsPage)
{
    HWND window = loadedWindow();
    ViewState& view = viewState();
    for (const TaskState::Value state : {TaskState::Downloading, TaskState::Paused}) {
        auto task = addTask(1, state, L"Foo 编辑器", false);
        view.page = Page::Catalog;
        view.panelScroll = 96;
        clickWithZones(window, {{RECT{226, 314, 326, 346}, HitKind::CardButton, 1}}, 276, 330);
        EXPECT_EQ(view.page, Page::Downloads) << state;
        EXPECT_EQ(view.panelScroll, 0);
        EXPECT_EQ(DownloadManager::instance().findTask(1), task) << "a second download was started";
        setState(*task, TaskState::Cancelled);
        DownloadManager::instance().clearFinished();
    }
}

TEST(MainWindow, RowButtonsPauseAndCancelTheirTask)
{
    HWND window = loadedWindow();
    auto task = addTask(1, TaskState::Downloading, L"Foo 编辑器", false);
    clickWithZones(window, {{RECT{984, 186, 1060, 216}, HitKind::PanelPause, 1}}, 1000, 200);
    EXPECT_EQ(task->state.load(), TaskState::Paused);
    EXPECT_TRUE(task->cancelRequested.load()) << "the transfer was not told to stop";
    clickWithZones(window, {{RECT{984, 186, 1060, 216}, HitKind::PanelCancel, 1}}, 1000, 200);
    EXPECT_EQ(task->state.load(), TaskState::Cancelled);
    DownloadManager::instance().clearFinished();
}

TEST(MainWindow, FinishedTaskRaisesTheBanner)
{
    HWND window = loadedWindow();
    addTask(990101, TaskState::Downloaded, L"压缩助手", true);
    SendMessageW(window, WM_APP_TASK_DONE, 990101, 0);
    const CompletionBanner& banner = viewState().banner;
    EXPECT_EQ(banner.title, L"压缩助手");
    EXPECT_EQ(banner.appId, 990101);
    EXPECT_TRUE(banner.isArchive);
    EXPECT_TRUE(banner.md5Ok);
    EXPECT_LE(GetTickCount() - banner.shownAt, 10000u);
    EXPECT_EQ(viewState().toast.text, L"「压缩助手」下载成功，压缩包已保存，可打开文件夹解压安装");
    DownloadManager::instance().clearFinished();
}

TEST(MainWindow, InstallButtonsRefuseABrokenSignatureAndARefusedLaunchIsSaid)
{
    HWND window = loadedWindow();
    auto task = addTask(1, TaskState::Downloaded, L"Foo 编辑器", false);
    task->setSignature({SignatureState::Broken, L""});
    for (HitKind kind : {HitKind::CardButton, HitKind::PanelInstall}) {
        viewState().toast = Toast();
        clickWithZones(window, {{RECT{226, 314, 326, 346}, kind, 1}}, 276, 330);
        EXPECT_EQ(viewState().toast.text, L"安装程序的数字签名已损坏，已阻止运行");
        EXPECT_EQ(task->state.load(), TaskState::Downloaded);
    }
    SendMessageW(window, WM_APP_INSTALL_REFUSED, 1, 2);  // the worker refused a changed file
    EXPECT_EQ(viewState().toast.text, L"安装程序在校验后被改动，已阻止运行，请重新下载");
    EXPECT_EQ(viewState().toast.kind, ToastKind::Error);
    DownloadManager::instance().clearFinished();
}

TEST(MainWindow, HitTestDragsTheTitleBandOutsideItsButtons)
{
    HWND window = loadedWindow();
    RECT client{};
    GetClientRect(window, &client);
    ValidateRect(window, nullptr);
    viewState().hitZones = {{RECT{client.right - 46, 0, client.right, 64}, HitKind::Close, 0}};
    auto hit = [&](int x, int y) {
        POINT p = screenPoint(window, x, y);
        return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    };
    EXPECT_EQ(hit(500, 0), HTCAPTION);
    EXPECT_EQ(hit(500, 63), HTCAPTION);
    EXPECT_EQ(hit(500, 64), HTCLIENT);
    EXPECT_EQ(hit(client.right - 20, 30), HTCLIENT);
    EXPECT_EQ(hit(2, 300), HTLEFT);
    EXPECT_EQ(hit(client.right - 1, 300), HTRIGHT);
    EXPECT_EQ(hit(client.right - 1, client.bottom - 1), HTBOTTOMRIGHT);
    EXPECT_EQ(hit(300, client.bottom - 1), HTBOTTOM);
}

TEST(MainWindow, HoverAndHandCursorFollowTheZones)
{
    HWND window = loadedWindow();
    ViewState& view = viewState();
    ValidateRect(window, nullptr);
    view.hitZones = {{RECT{300, 300, 400, 340}, HitKind::CardButton, 5}, {RECT{300, 300, 350, 340}, HitKind::Banner, 0}};
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(380, 320));
    EXPECT_TRUE(view.hovering);
    EXPECT_EQ(view.hoverKind, HitKind::CardButton);
    EXPECT_EQ(view.hoverId, 5);
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(320, 320));
    EXPECT_EQ(view.hoverKind, HitKind::Banner);
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(500, 320));
    EXPECT_FALSE(view.hovering);
    EXPECT_EQ(view.hoverKind, HitKind::Banner) << "the last hovered zone is kept";

    auto cursorAt = [&](int x, int y) {
        POINT p = screenPoint(window, x, y);
        SetCursorPos(p.x, p.y);
        SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return GetCursor();
    };
    EXPECT_EQ(cursorAt(380, 320), LoadCursorW(nullptr, IDC_HAND));
    EXPECT_EQ(cursorAt(500, 320), LoadCursorW(nullptr, IDC_ARROW));
}

TEST(MainWindow, WheelScrollsTheSidebarOrThePage)
{
    HWND window = loadedWindow();
    ViewState& view = viewState();
    auto wheel = [&](int x, int y, int delta) {
        POINT p = screenPoint(window, x, y);
        SendMessageW(window, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), MAKELPARAM(p.x, p.y));
    };
    view.page = Page::Downloads;
    view.sidebarScroll = view.panelScroll = view.listScroll = 0;
    wheel(100, 300, -120);
    wheel(600, 300, -240);
    EXPECT_EQ(view.sidebarScroll, 120);
    EXPECT_EQ(view.panelScroll, 240);
    EXPECT_EQ(view.listScroll, 0);
    view.page = Page::Catalog;
    wheel(600, 300, 120);
    wheel(100, 30, -360);
    EXPECT_EQ(view.listScroll, 360 - 120);
    EXPECT_EQ(view.sidebarScroll, 120);
}

TEST(MainWindow, ShadowSitsBelowTheWindowAndHidesWhileMaximised)
{
    HWND window = loadedWindow();
    HWND shadow = viewState().shadowWindow;
    ASSERT_TRUE(shadow);
    // Every move of the window brings the shadow along, directly below it.
    RECT main{}, around{};
    GetWindowRect(window, &main);
    SetWindowPos(window, nullptr, main.left + 10, main.top + 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(window, &main);
    GetWindowRect(shadow, &around);
    EXPECT_TRUE(IsWindowVisible(shadow));
    EXPECT_EQ(around.left, main.left - 18);
    EXPECT_EQ(around.top, main.top - 18);
    EXPECT_EQ(around.right, main.right + 18);
    EXPECT_EQ(around.bottom, main.bottom + 18);
    EXPECT_EQ(GetWindow(window, GW_HWNDNEXT), shadow);
    SetWindowPos(window, nullptr, main.left - 10, main.top - 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(window, region), COMPLEXREGION);

    ShowWindow(window, SW_MAXIMIZE);
    EXPECT_FALSE(IsWindowVisible(shadow));
    EXPECT_EQ(GetWindowRgn(window, region), ERROR) << "a maximised window has no rounded region";
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, GetSystemMetrics(SM_CXSCREEN));

    ShowWindow(window, SW_RESTORE);
    EXPECT_TRUE(IsWindowVisible(shadow));
    EXPECT_EQ(GetWindowRgn(window, region), COMPLEXREGION);

    ShowWindow(window, SW_MINIMIZE);
    EXPECT_FALSE(IsWindowVisible(shadow));
    ShowWindow(window, SW_RESTORE);
    EXPECT_TRUE(IsWindowVisible(shadow));
    DeleteObject(region);
}

TEST(ShadowPixels, RingsAroundAClearWindowArea)
{
    const int width = 120, height = 80, w = width + 36, h = height + 36;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h, 0);
    ASSERT_TRUE(renderShadowPixels(pixels.data(), width, height));
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * w + x]; };
    auto alpha = [&](int x, int y) { return static_cast<int>(at(x, y) >> 24); };
    // Darkest just outside the window's edge, fading outwards; nothing over
    // the window itself.
    EXPECT_GT(alpha(17, h / 2), alpha(10, h / 2));
    EXPECT_GT(alpha(10, h / 2), alpha(3, h / 2));
    EXPECT_GT(alpha(w / 2, 17), 30);
    EXPECT_EQ(at(w / 2, h / 2), 0u);
    EXPECT_EQ(at(40, 40), 0u);
    // Premultiplied: no colour byte exceeds its alpha.
    for (uint32_t p : pixels) {
        uint32_t a = p >> 24;
        ASSERT_LE((p >> 16) & 0xFF, a);
        ASSERT_LE((p >> 8) & 0xFF, a);
        ASSERT_LE(p & 0xFF, a);
    }
}

TEST(MainWindow, DoubleClickOnCancelLeavesTheTaskCancelled)
{
    HWND window = loadedWindow();
    auto task = addTask(1, TaskState::Downloading, L"Foo 编辑器", false);
    const RECT button{1000, 400, 1076, 430};
    clickWithZones(window, {{button, HitKind::PanelCancel, 1}}, 1010, 410);
    EXPECT_EQ(task->state.load(), TaskState::Cancelled);
    // The repaint puts "重试" where "取消" was; the double-click's second press lands on it.
    viewState().hitZones = {{button, HitKind::PanelRetry, 1}};
    SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(1010, 410));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(1010, 410));
    EXPECT_EQ(DownloadManager::instance().findTask(1), task) << "the download was started again";
    EXPECT_EQ(task->state.load(), TaskState::Cancelled);
    DownloadManager::instance().clearFinished();
}

TEST(MainWindow, ReleaseAwayFromThePressedButtonDoesNothing)
{
    HWND window = loadedWindow();
    ViewState& view = viewState();
    view.page = Page::Catalog;
    ValidateRect(window, nullptr);
    view.hitZones = {{RECT{300, 300, 400, 340}, HitKind::DownloadsButton, 0}};
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(350, 320));
    EXPECT_TRUE(view.press.inside) << "the button looks pressed while held";
    SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(450, 320));
    EXPECT_FALSE(view.press.inside);
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(450, 320));
    EXPECT_EQ(view.page, Page::Catalog);
    EXPECT_TRUE(view.press.zone.empty());
}

TEST(MainWindow, KeyboardMovesAVisibleFocusAndActsOnIt)
{
    HWND window = loadedWindow();
    ViewState& view = viewState();
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);  // lays the frame out
    view.focus = {};
    auto key = [&](WPARAM vk) { SendMessageW(window, WM_KEYDOWN, vk, 1); };
    key(VK_TAB);
    EXPECT_TRUE(view.focus == ZoneRef({HitKind::CategoryRow, 0}));
    EXPECT_TRUE(view.focusVisible);
    key(VK_DOWN);
    EXPECT_TRUE(view.focus == ZoneRef({HitKind::CategoryRow, 1}));
    key(VK_RETURN);
    EXPECT_EQ(view.currentCategoryId, L"media");
    // A held key repeats its message: it acts once.
    view.page = Page::Downloads;
    SendMessageW(window, WM_KEYDOWN, VK_SPACE, 1 | (1 << 30));
    EXPECT_EQ(view.page, Page::Downloads);
    view.page = Page::Catalog;
    view.focus = {};
    holdKey(VK_SHIFT, true);
    key(VK_TAB);
    holdKey(VK_SHIFT, false);
    EXPECT_TRUE(view.focus == ZoneRef({HitKind::Close, 0})) << "Shift+Tab starts at the end";
    view.focus = {};
    view.focusVisible = false;
}

TEST(MainWindow, DpiChangeMovesToTheSuggestedPlaceAndScalesEverything)
{
    HWND window = loadedWindow();
    RECT before{};
    GetWindowRect(window, &before);
    // The test screen is 1280 x 800: the smallest window at 150 % already overhangs it.
    RECT suggested{40, 30, 40 + 1500, 30 + 990};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    GetWindowRect(window, &now);
    EXPECT_EQ(now.left, 40);
    EXPECT_EQ(now.top, 30);
    EXPECT_EQ(now.right - now.left, 1500);
    EXPECT_EQ(now.bottom - now.top, 990);
    EXPECT_EQ(viewState().scale.dpi, 144);
    LOGFONTW title{};
    GetObjectW(viewState().fonts.title, sizeof title, &title);
    EXPECT_EQ(title.lfHeight, -33);
    EXPECT_EQ(iconSide(), 126);
    MINMAXINFO limits{};
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, 1500);
    EXPECT_EQ(limits.ptMinTrackSize.y, 990);
    // The title band is 96 px high now, the left band 11 px wide.
    EXPECT_EQ(bareHitTest(window, 800, 95), HTCAPTION);
    EXPECT_EQ(bareHitTest(window, 800, 96), HTCLIENT);
    EXPECT_EQ(bareHitTest(window, 10, 500), HTLEFT);

    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&before));
    GetObjectW(viewState().fonts.title, sizeof title, &title);
    EXPECT_EQ(title.lfHeight, -22);
    EXPECT_EQ(iconSide(), 84);
    GetWindowRect(window, &now);
    EXPECT_EQ(now.right - now.left, before.right - before.left);
}

TEST(MainWindow, MaximisedWindowHasNoResizeBands)
{
    HWND window = loadedWindow();
    ShowWindow(window, SW_MAXIMIZE);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(bareHitTest(window, 2, 300), HTCLIENT);
    EXPECT_EQ(bareHitTest(window, client.right - 1, 300), HTCLIENT);
    EXPECT_EQ(bareHitTest(window, 300, client.bottom - 1), HTCLIENT);
    EXPECT_EQ(bareHitTest(window, 300, 10), HTCAPTION);
    ShowWindow(window, SW_RESTORE);
    EXPECT_EQ(bareHitTest(window, 2, 300), HTLEFT);
}

TEST(MainWindow, DownloadPageShowsTheFolderWithoutMakingItAndAWorkerMakesIt)
{
    HWND window = loadedWindow();
    const std::wstring folder = makeScratchDir(L"window-folder") + L"\\later";
    setDownloadFolderOverride(folder);
    ViewState& view = viewState();
    view.page = Page::Downloads;
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << "painting made the folder";
    view.page = Page::Catalog;
    clickWithZones(window, {{RECT{300, 300, 400, 340}, HitKind::DownloadsButton, 0}}, 350, 320);
    EXPECT_TRUE(pumpUntil([&] { return GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES; }))
        << "entering the page did not make the folder";
    setDownloadFolderOverride(g_config.downloadDir);
}

TEST(MainWindow, SearchFieldIsABorderlessEditInTheBandThatCtrlFAndTabReach)
{
    HWND window = loadedWindow();
    ViewState& view = viewState();
    HWND edit = view.searchEdit;
    ASSERT_TRUE(edit);
    wchar_t name[16] = {};
    GetClassNameW(edit, name, 16);
    EXPECT_EQ(std::wstring(name), L"Edit");
    EXPECT_EQ(GetWindowLongW(edit, GWL_STYLE) & (WS_BORDER | ES_MULTILINE), 0);
    EXPECT_FALSE(IsWindowVisible(edit)) << "the frame draws the field until it is typed in";
    RECT client{}, at{};
    GetClientRect(window, &client);
    GetWindowRect(edit, &at);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&at), 2);
    EXPECT_TRUE(at.left == 510 && at.right == client.right - 418 && at.top > 13 && at.bottom < 47);

    SetWindowTextW(edit, L"编辑");
    SetFocus(window);
    holdKey(VK_CONTROL, true);
    SendMessageW(window, WM_KEYDOWN, 'F', 1);
    holdKey(VK_CONTROL, false);
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_TRUE(IsWindowVisible(edit));
    DWORD start = 9, end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_TRUE(start == 0 && end == 2) << "the text is not selected";
    // Tab goes on to the next button of the title bar.
    SendMessageW(edit, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(GetFocus(), window);
    EXPECT_TRUE(view.focus == ZoneRef({HitKind::DownloadsButton, 0}));

    // The field is the window's, the band around it still drags.
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    for (POINT at : {POINT{500, 30}, POINT{470, 30}, POINT{500, 8}, POINT{client.right - 385, 30}}) {
        POINT screen = screenPoint(window, at.x, at.y);
        EXPECT_EQ(SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y)),
                  at.x == 500 && at.y == 30 ? HTCLIENT : HTCAPTION) << at.x << "," << at.y;
    }
    clearSearchField();
}

TEST(MainWindow, TypingSearchesTheServerAddsAfterAPauseAndEscReturnsToTheCategory)
{
    HWND window = loadedWindow();
    ViewState& view = viewState();
    HWND edit = view.searchEdit;
    view.currentCategoryId = L"media";
    view.listScroll = 40;
    resetServer();
    addServerRule(R"({"path":"/api/client/apps","then":{"status":200,"body":)"
                  R"("{\"code\":0,\"data\":[{\"id\":1},{\"id\":88,\"name\":\"Cloud Editor\"}]}"}})");
    // A press on the field gives it the caret.
    ValidateRect(window, nullptr);
    view.hitZones = {{RECT{480, 13, 790, 47}, HitKind::SearchField, 0}};
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(600, 30));
    SendMessageW(edit, WM_LBUTTONUP, 0, MAKELPARAM(20, 5));
    EXPECT_EQ(GetFocus(), edit);

    typeInto(edit, L"yszs");  // 压缩助手 by its initials
    EXPECT_EQ(idsOf(view.searchResults), std::vector<int32_t>({5}));
    EXPECT_EQ(view.listScroll, 0);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    typeInto(edit, L"editor");  // 1 by its description; the server's answer adds 88
    EXPECT_EQ(idsOf(view.searchResults), std::vector<int32_t>({1}));
    EXPECT_TRUE(pumpUntil([&] { return view.searchResults.size() == 2; }));
    EXPECT_EQ(idsOf(view.searchResults), std::vector<int32_t>({1, 88}));
    EXPECT_EQ(view.searchResults[0], findApp(appCatalog(), 1)) << "the catalog's own record was replaced";
    EXPECT_EQ(findAnyApp(appCatalog(), 88), view.searchResults[1]);
    UpdateWindow(window);
    EXPECT_TRUE(view.layout.sidebarRows.size() == 3 && !view.layout.sidebarRows[1].selected);
    EXPECT_NE(findZone(view.layout, {HitKind::CardButton, 88}), nullptr);

    // Esc empties the field and the category is back as it was; the caret stays.
    SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(view.searchText.empty() && view.searchResults.empty());
    EXPECT_EQ(view.currentCategoryId, L"media");
    EXPECT_EQ(view.listScroll, 40);
    EXPECT_EQ(GetFocus(), edit);
    SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 1);  // in the empty field: back to the window
    EXPECT_EQ(GetFocus(), window);
    resetServer();
}
