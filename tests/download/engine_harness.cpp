#include "tests/download/engine_harness.h"

#include <gtest/gtest.h>

#include "core/app_messages.h"
#include "core/handles.h"
#include "core/json.h"
#include "core/text.h"
#include "download/download_folder.h"
#include "install/installer.h"
#include "tests/support/download_manager_access.h"
#include "tests/support/test_server.h"

namespace enginetest {

std::string patternBytes(size_t n, uint32_t seed)
{
    std::string bytes(n, '\0');
    uint32_t state = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

bool readWholeFile(const std::wstring& path, std::string& out)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    out.clear();
    char buffer[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) return false;
        if (read == 0) return true;
        out.append(buffer, read);
    }
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int64_t fileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int64_t firstDifference(const std::string& a, const std::string& b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i)
        if (a[i] != b[i]) return static_cast<int64_t>(i);
    return a.size() == b.size() ? -1 : static_cast<int64_t>(common);
}

void writeWholeFile(const std::wstring& path, const std::string& bytes)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    ASSERT_TRUE(file.valid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

std::string fileUrl(const std::string& name) { return wideToUtf8(testServerUrl()) + "/files/" + name; }

ServerLog serverLog()
{
    ServerLog log;
    std::string reply;
    if (!serverGet("/_control/log", &reply)) return log;
    std::shared_ptr<json::Value> root = json::parse(reply);
    if (!root) {
        ADD_FAILURE() << "the server log is not JSON: " << reply;
        return log;
    }
    auto count = [&](const char* key) { return root->get(key) ? root->get(key)->asInt(0) : 0; };
    log.maxInFlight = count("maxInFlight");
    log.openConnections = count("openConnections");
    log.maxOpenConnections = count("maxOpenConnections");
    const json::Value* requests = root->get("requests");
    if (!requests) return log;
    for (const auto& entry : requests->array) {
        LoggedRequest request;
        if (const json::Value* path = entry->get("path")) request.path = path->asString("");
        if (const json::Value* range = entry->get("range")) request.range = range->asString("");
        if (const json::Value* ifRange = entry->get("ifRange")) request.ifRange = ifRange->asString("");
        log.requests.push_back(request);
    }
    return log;
}

std::vector<LoggedRequest> requestsTo(const ServerLog& log, const std::string& path)
{
    std::vector<LoggedRequest> found;
    for (const auto& request : log.requests)
        if (request.path == path) found.push_back(request);
    return found;
}

MessageCollector::MessageCollector()
{
    window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                              nullptr);
    EXPECT_NE(window_, nullptr);
    DownloadManager::instance().hwnd = window_;
}

MessageCollector::~MessageCollector()
{
    DownloadManager::instance().hwnd = nullptr;
    if (window_) DestroyWindow(window_);
}

std::vector<std::pair<UINT, WPARAM>> MessageCollector::take()
{
    std::vector<std::pair<UINT, WPARAM>> messages;
    MSG msg;
    for (int i = 0; i < 100000 && PeekMessageW(&msg, window_, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_APP_REFRESH || msg.message == WM_APP_TASK_DONE)
            messages.emplace_back(msg.message, msg.wParam);
        else
            DispatchMessageW(&msg);
    }
    return messages;
}

bool waitForWorker(const std::shared_ptr<Task>& task, DWORD milliseconds)
{
    if (!task || !task->thread) return false;
    return WaitForSingleObject(task->thread.get(), milliseconds) == WAIT_OBJECT_0;
}

std::shared_ptr<Task> startTask(int32_t id, const std::wstring& name, const std::string& url,
                                const std::string& md5, int64_t size)
{
    DownloadManager::instance().startDownload(id, name, url, md5, size);
    return DownloadManager::instance().findTask(id);
}

std::shared_ptr<Task> runTask(int32_t id, const std::wstring& name, const std::string& url, const std::string& md5,
                              int64_t size)
{
    std::shared_ptr<Task> task = startTask(id, name, url, md5, size);
    EXPECT_TRUE(waitForWorker(task)) << "the worker of task " << id << " did not end";
    return task;
}

TaskView viewOf(int32_t id)
{
    auto views = DownloadManager::instance().snapshot();
    auto it = views.find(id);
    if (it == views.end()) {
        ADD_FAILURE() << "no task " << id;
        TaskView none{};
        none.id = -1;
        return none;
    }
    return it->second;
}

EngineTest::EngineTest(const wchar_t* folderName, int waitStepMs)
{
    resetServer();
    folder_ = makeScratchDir(folderName);
    setDownloadFolderOverride(folder_);
    DownloadManagerTestAccess::setWaitStep(waitStepMs);
    DownloadManager::instance().setInstallerLauncher(&startInstallerWorker);
}

EngineTest::~EngineTest()
{
    DownloadManagerTestAccess::setWaitStep(100);
    // Paused tasks are not finished: cancelled first, so that they go too.
    for (const auto& entry : DownloadManager::instance().snapshot())
        if (entry.second.state == TaskState::Paused) DownloadManager::instance().cancel(entry.first);
    DownloadManager::instance().clearFinished();
    EXPECT_TRUE(waitUntil([] { return DownloadManagerTestAccess::activeRequests() == 0; }, 60000))
        << "a request slot is still taken";
    setDownloadFolderOverride(L"");
}

}  // namespace enginetest
