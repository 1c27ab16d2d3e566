// Broken and hostile servers: every download ends either byte-exact in state 2
// or in state 3 without a final file, never in state 2 with wrong bytes, and
// every retry loop ends.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/text.h"
#include "download/download_manager.h"
#include "tests/download/engine_harness.h"
#include "tests/support/download_manager_access.h"
#include "tests/support/test_server.h"

using namespace enginetest;

namespace {

constexpr size_t kSize = 400000;
const wchar_t kExhausted[] = L"网络不稳定，重试多次仍失败，请稍后再试";

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
    const wchar_t* failure;  // null: the whole file arrives; else the text it fails with
    size_t maxRequests;      // the loop ends: requests the server may see at most
    bool overUntrustedTls = false;
};

}  // namespace

TEST(HostileServer, EveryAnswerEndsByteExactOrFailsWithoutAFinalFile)
{
    const HostileCase cases[] = {
        {"resumed 206 from the wrong byte", R"({},{"closeAfter":50000},{"hostile":"wrongStart"})", "", kSize,
         nullptr, 40},
        {"206 for a changed total", R"({},{"closeAfter":50000},{"hostile":"changedTotal"})", "", kSize, nullptr, 40},
        // No size is known; the first transfer announces its length and closes early.
        {"early close of a 200 with a length",
         R"({"noContentLength":true,"ignoreRange":true},{"hostile":"earlyClose"})", "", 0, nullptr, 40},
        {"huge total from the probe", R"({"hostile":"hugeTotal"})", "", kSize, nullptr, 40},
        // Cut more often than the retries allow, but every few cuts 64 KiB further.
        {"drop every 10 kB", "{}", R"({"closeAfter":10000})", kSize, nullptr, 60},
        // Each answer half of what was asked: the tail becomes a trickle.
        {"short 206", "{}", R"({"hostile":"shortRange"})", kSize, kExhausted, 25},
        {"early close every time", R"({"noContentLength":true,"ignoreRange":true})", R"({"hostile":"earlyClose"})",
         kSize, kExhausted, 15},
        // Without validators the first 300 kB again and again: a refused resume
        // and a restart are no progress.
        {"206 cut, then 200 for every resume", "", R"({"hostile":"resumeAs200","noValidators":true})", kSize,
         kExhausted, 16},
        // With them the 200 to the If-Range request is the whole file, taken from byte 0.
        {"206 cut, then 200 for the If-Range resume", "{}", R"({"hostile":"resumeAs200"})", kSize, nullptr, 3},
        {"100 bytes per answer", "{}", R"({"hostile":"trickle"})", kSize, kExhausted, 15},
        {"untrusted certificate", "", "", kSize, L"服务器证书无效，已停止下载", 0, true},
    };
    int32_t id = 5600;
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.label);
        EngineTest env(L"hostile");
        const std::string content = patternBytes(kSize, static_cast<uint32_t>(id));
        const std::string name = "h-" + std::to_string(id) + ".bin";
        putServerFile(name, content);
        addServerRule(rule("/files/" + name, c.steps, c.then));
        std::string url = fileUrl(name);
        if (c.overUntrustedTls) url = wideToUtf8(testTlsServerUrl()) + "/files/" + name;

        const std::wstring stem = L"Hostile " + std::to_wstring(id);
        runTask(id, stem, url, "", c.catalogSize);

        const TaskView view = viewOf(id);
        const std::wstring finalPath = env.folder() + L"\\" + stem + L".exe";
        EXPECT_LE(requestsTo(serverLog(), "/files/" + name).size(), c.maxRequests);
        if (c.failure) {
            EXPECT_EQ(view.state, TaskState::Failed);
            EXPECT_EQ(view.error, c.failure);
            EXPECT_FALSE(fileExists(finalPath));
        } else {
            EXPECT_EQ(view.state, TaskState::Downloaded) << wideToUtf8(view.error);
            std::string got;
            ASSERT_TRUE(readWholeFile(finalPath, got));
            EXPECT_EQ(firstDifference(got, content), -1);
            EXPECT_EQ(view.received, static_cast<int64_t>(kSize));
        }
        ++id;
    }
}

TEST(HostileServer, CancelOfABlockedRequestEndsTheTaskAndTheSlotFollowsTheConnection)
{
    const struct {
        const char* label;
        std::string steps;
    } cases[] = {
        // After a huge total from the probe, the transfer's answer is 3 s late.
        {"no answer yet", R"({"hostile":"hugeTotal"},{"delayMs":3000})"},
        {"stalled body", R"({},{"hostile":"stall","stallMs":3000})"},
    };
    int32_t id = 5621;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EngineTest env(L"hostileblocked");
        const std::string name = "h-blocked-" + std::to_string(id) + ".bin";
        putServerFile(name, patternBytes(kSize, 62));
        addServerRule(rule("/files/" + name, c.steps));

        std::shared_ptr<Task> task = startTask(id, L"Blocked", fileUrl(name), "", kSize);
        ASSERT_TRUE(task);
        ASSERT_TRUE(waitUntil([&] { return requestsTo(serverLog(), "/files/" + name).size() >= 2; }));
        Sleep(300);  // the transfer is inside WinHTTP by now
        EXPECT_LE(fileSize(task->partPath), static_cast<int64_t>(kSize));

        DownloadManager::instance().cancel(id);
        EXPECT_TRUE(waitForWorker(task, 10000));
        EXPECT_EQ(viewOf(id).state, TaskState::Cancelled);
        // The slot comes back once the connection is really gone.
        EXPECT_TRUE(waitUntil([] { return DownloadManagerTestAccess::activeRequests() == 0; }, 40000));
        EXPECT_TRUE(waitUntil([] { return serverLog().openConnections == 0; }, 10000));
        EXPECT_FALSE(fileExists(env.folder() + L"\\Blocked.exe"));
        ++id;
    }
}

TEST(RequestGate, TenCancelAndRestartCyclesNeverOpenMoreThanSixConnections)
{
    EngineTest env(L"cycles");
    putServerFile("h-cycles.bin", patternBytes(kSize, 64));
    // Each cycle: a probe, then a transfer that stalls after half the file
    // and holds its connection for 2.5 s.
    std::string steps;
    for (int i = 0; i < 10; ++i) steps += std::string(i ? "," : "") + R"({},{"hostile":"stall","stallMs":2500})";
    addServerRule(rule("/files/h-cycles.bin", steps));

    int mostSlots = 0;
    for (int cycle = 0; cycle < 10; ++cycle) {
        SCOPED_TRACE(cycle);
        std::shared_ptr<Task> task = startTask(5630, L"Cycles", fileUrl("h-cycles.bin"), "", kSize);
        ASSERT_TRUE(task);
        ASSERT_TRUE(waitUntil([&] {
            mostSlots = std::max(mostSlots, DownloadManagerTestAccess::activeRequests());
            return task->received.load() >= static_cast<int64_t>(kSize / 2);
        }, 60000));
        DownloadManager::instance().cancel(5630);
        ASSERT_TRUE(waitForWorker(task, 10000));
        EXPECT_EQ(viewOf(5630).state, TaskState::Cancelled);
    }
    EXPECT_TRUE(waitUntil([] { return serverLog().openConnections == 0; }, 40000));
    EXPECT_LE(mostSlots, 6);
    EXPECT_LE(serverLog().maxOpenConnections, 6);
}
