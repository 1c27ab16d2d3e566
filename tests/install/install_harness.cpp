#include "tests/install/install_harness.h"

#include <gtest/gtest.h>

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "core/handles.h"
#include "core/text.h"
#include "download/verify.h"
#include "install/installer.h"
#include "tests/support/test_server.h"

namespace {

constexpr DWORD kPollMs = 50;
constexpr int kPollRounds = 1200;  // 60 s

// Confirms a shell error box the worker thread shows, so the worker goes on.
BOOL CALLBACK confirmErrorBox(HWND window, LPARAM)
{
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// The same for a box of another process (an installer's own), found among the top-level windows.
BOOL CALLBACK confirmOtherProcessBox(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId() ? TRUE : confirmErrorBox(window, 0);
}

}  // namespace

RefreshWindow::RefreshWindow()
{
    hwnd_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!hwnd_) ADD_FAILURE() << "cannot create a message-only window: error " << GetLastError();
    DownloadManager::instance().hwnd = hwnd_;
}

RefreshWindow::~RefreshWindow()
{
    DownloadManager::instance().hwnd = nullptr;
    if (hwnd_) DestroyWindow(hwnd_);
}

int RefreshWindow::takeRefreshes()
{
    int count = 0;
    MSG msg;
    while (hwnd_ && PeekMessageW(&msg, hwnd_, WM_APP_REFRESH, WM_APP_REFRESH, PM_REMOVE)) ++count;
    return count;
}

std::vector<std::pair<WPARAM, LPARAM>> RefreshWindow::takeRefusals()
{
    std::vector<std::pair<WPARAM, LPARAM>> refusals;
    MSG msg;
    while (hwnd_ && PeekMessageW(&msg, hwnd_, WM_APP_INSTALL_REFUSED, WM_APP_INSTALL_REFUSED, PM_REMOVE))
        refusals.emplace_back(msg.wParam, msg.lParam);
    return refusals;
}

int RefreshWindow::waitForRefreshes(int count)
{
    int seen = takeRefreshes();
    for (int i = 0; i < 200 && seen < count; ++i) {
        Sleep(kPollMs);
        seen += takeRefreshes();
    }
    return seen;
}

std::shared_ptr<Task> makeInstallerTask(const std::wstring& name, const std::wstring& path, int32_t state)
{
    auto task = std::make_shared<Task>();
    task->id = 0;
    task->name = name;
    task->setFinalPath(path);
    task->state = state;
    return task;
}

bool runInstallerWorker(const std::shared_ptr<Task>& task)
{
    UniqueHandle thread = startDetachedThread([task] { runInstaller(task); });
    if (!thread) {
        ADD_FAILURE() << "cannot start the installer worker";
        return false;
    }
    const DWORD threadId = GetThreadId(thread.get());
    bool ended = false;
    for (int i = 0; i < kPollRounds && !ended; ++i) {
        ended = WaitForSingleObject(thread.get(), kPollMs) == WAIT_OBJECT_0;
        if (!ended) {
            EnumThreadWindows(threadId, &confirmErrorBox, 0);
            EnumWindows(&confirmOtherProcessBox, 0);
        }
    }
    if (!ended) ADD_FAILURE() << "the installer worker did not end within 60 s";
    return ended;
}

int32_t waitWhileInState(const Task& task, int32_t state)
{
    for (int i = 0; i < kPollRounds && task.state.load() == state; ++i) {
        Sleep(kPollMs);
        EnumWindows(&confirmOtherProcessBox, 0);
    }
    return task.state.load();
}

std::shared_ptr<Task> downloadServed(int32_t id, const std::wstring& appName, const std::string& bytes)
{
    static int served = 0;
    const std::string fileName = "served-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++served);
    putServerFile(fileName, bytes);
    std::string md5;  // of the file the server sends (tests/run_wine_test.sh serves $work/catalog)
    EXPECT_TRUE(fileMd5Hex(testWorkDir() + L"\\catalog\\files\\" + utf8ToWide(fileName), md5));
    DownloadManager& manager = DownloadManager::instance();
    manager.startDownload(id, appName, wideToUtf8(testServerUrl()) + "/files/" + fileName, md5,
                          static_cast<int64_t>(bytes.size()));
    std::shared_ptr<Task> task = manager.findTask(id);
    if (!task) return nullptr;
    waitWhileInState(*task, TaskState::Downloading);
    waitWhileInState(*task, TaskState::Verifying);
    return task;
}
