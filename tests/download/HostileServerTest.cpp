// Broken and hostile servers: every download ends either byte-exact in state 2
// or in state 3 without a final file, never in state 2 with wrong bytes.

#include <gtest/gtest.h>

#include <string>

#include "core/text.h"
#include "download/download_manager.h"
#include "tests/download/engine_harness.h"
#include "tests/support/download_manager_access.h"
#include "tests/support/test_server.h"

using namespace enginetest;

namespace {

constexpr size_t kSize = 200000;

std::string rule(const std::string& path, const std::string& steps, const std::string& then = "")
{
    std::string json = "{\"path\":\"" + path + "\",\"steps\":[" + steps + "]";
    if (!then.empty()) json += ",\"then\":" + then;
    return json + "}";
}

struct HostileCase {
    const char* label;
    std::string steps;  // the probe's answer first, then the transfer's
    std::string then;
    int64_t catalogSize;
};

}  // namespace

TEST(HostileServer, NoAnswerLeavesWrongBytesInADownloadedFile)
{
    const HostileCase cases[] = {
        // Each answer holds half of what was asked: many attempts, all of them progress.
        {"short 206", "{}", R"({"hostile":"shortRange"})", kSize},
        {"resumed 206 from the wrong byte", R"({},{"closeAfter":50000},{"hostile":"wrongStart"})", "", kSize},
        {"206 for a changed total", R"({},{"closeAfter":50000},{"hostile":"changedTotal"})", "", kSize},
        // No size is known; the first transfer announces its length and closes early.
        {"early close of a 200 with a length", R"({"noContentLength":true,"ignoreRange":true},{"hostile":"earlyClose"})",
         "", 0},
        {"huge total from the probe", R"({"hostile":"hugeTotal"})", "", kSize},
        // A connection that drops again and again, more often than the retries allow.
        {"drop every 10 kB", "{}", R"({"closeAfter":10000})", kSize},
    };
    int32_t id = 5600;
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.label);
        EngineTest env(L"hostile");
        const std::string content = patternBytes(kSize, static_cast<uint32_t>(id));
        const std::string name = "h-" + std::to_string(id) + ".bin";
        putServerFile(name, content);
        addServerRule(rule("/files/" + name, c.steps, c.then));

        const std::wstring stem = L"Hostile " + std::to_wstring(id);
        runTask(id, stem, fileUrl(name), "", c.catalogSize);

        const TaskView view = viewOf(id);
        const std::wstring finalPath = env.folder() + L"\\" + stem + L".exe";
        if (view.state == TaskState::Downloaded) {
            ASSERT_LE(fileSize(finalPath), static_cast<int64_t>(kSize));
            std::string got;
            ASSERT_TRUE(readWholeFile(finalPath, got));
            EXPECT_EQ(got.size(), kSize);
            EXPECT_EQ(firstDifference(got, content), -1);
            EXPECT_EQ(view.received, static_cast<int64_t>(kSize));
        } else {
            EXPECT_EQ(view.state, TaskState::Failed);
            EXPECT_FALSE(fileExists(finalPath));
        }
        // Each of these servers gives the whole file in the end: nothing need fail.
        EXPECT_EQ(view.state, TaskState::Downloaded) << wideToUtf8(view.error);
        ++id;
    }
}

TEST(HostileServer, EarlyCloseEveryTimeFailsWithoutAFinalFile)
{
    EngineTest env(L"hostileclose");
    putServerFile("h-close.bin", patternBytes(kSize, 61));
    addServerRule(rule("/files/h-close.bin", R"({"noContentLength":true,"ignoreRange":true})",
                       R"({"hostile":"earlyClose"})"));

    runTask(5620, L"Always Short", fileUrl("h-close.bin"));

    const TaskView view = viewOf(5620);
    EXPECT_EQ(view.state, TaskState::Failed);
    EXPECT_EQ(view.error, L"网络不稳定，重试多次仍失败，请稍后再试");
    EXPECT_FALSE(fileExists(env.folder() + L"\\Always Short.exe"));
}

TEST(HostileServer, HugeTotalReservesNoDiskAndCancelEndsABlockedRequest)
{
    EngineTest env(L"hostilehuge");
    putServerFile("h-huge.bin", patternBytes(kSize, 62));
    // The transfer after the probe never answers: the client blocks in WinHTTP.
    addServerRule(rule("/files/h-huge.bin", R"({"hostile":"hugeTotal"},{"hang":true})"));

    std::shared_ptr<Task> task = startTask(5621, L"Huge Total", fileUrl("h-huge.bin"), "", kSize);
    ASSERT_TRUE(task);
    ASSERT_TRUE(waitUntil([] { return requestsTo(serverLog(), "/files/h-huge.bin").size() >= 2; }));
    EXPECT_LE(fileSize(task->partPath), static_cast<int64_t>(kSize));

    DownloadManager::instance().cancel(5621);
    // Far below the client's 30 s receive time-out: the request handle was closed.
    EXPECT_TRUE(waitForWorker(task, 10000));
    EXPECT_EQ(viewOf(5621).state, TaskState::Cancelled);
    EXPECT_EQ(DownloadManagerTestAccess::activeRequests(), 0);
}

TEST(HostileServer, CancelDuringAStalledBodyEndsTheWorkerAndFreesTheSlot)
{
    EngineTest env(L"hostilestall");
    putServerFile("h-stall.bin", patternBytes(kSize, 63));
    addServerRule(rule("/files/h-stall.bin", R"({},{"hostile":"stall"})"));

    std::shared_ptr<Task> task = startTask(5622, L"Stalled", fileUrl("h-stall.bin"));
    ASSERT_TRUE(task);
    ASSERT_TRUE(waitUntil([&] { return task->received.load() >= static_cast<int64_t>(kSize / 2); }));

    DownloadManager::instance().cancel(5622);
    EXPECT_TRUE(waitForWorker(task, 10000));
    EXPECT_EQ(viewOf(5622).state, TaskState::Cancelled);
    EXPECT_EQ(DownloadManagerTestAccess::activeRequests(), 0);
    EXPECT_FALSE(fileExists(env.folder() + L"\\Stalled.exe"));
}
