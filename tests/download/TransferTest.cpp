// The probe and the resumable ranged transfer, against the development server's
// fault injection. Every finished download is compared byte for byte.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "net/catalog.h"
#include "tests/download/engine_harness.h"
#include "tests/support/test_server.h"

using namespace enginetest;

namespace {

constexpr size_t kSize = 300000;  // several 64 KiB pieces
constexpr int kBreak = 100000;    // where a connection breaks

const wchar_t kExhausted[] = L"网络不稳定，重试多次仍失败，请稍后再试";

std::string rule(const std::string& path, const std::string& steps, const std::string& then = "")
{
    std::string json = "{\"path\":\"" + path + "\",\"steps\":[" + steps + "]";
    if (!then.empty()) json += ",\"then\":" + then;
    return json + "}";
}

std::vector<std::string> rangesOf(const std::vector<LoggedRequest>& requests)
{
    std::vector<std::string> ranges;
    for (const auto& request : requests) ranges.push_back(request.range);
    return ranges;
}

std::wstring finalFile(const EngineTest& env, const std::wstring& stem, const wchar_t* extension = L".exe")
{
    return env.folder() + L"\\" + stem + extension;
}

void expectFileIs(const std::wstring& path, const std::string& expected)
{
    std::string got;
    ASSERT_TRUE(readWholeFile(path, got)) << wideToUtf8(path);
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_EQ(firstDifference(got, expected), -1) << "first differing byte";
}

bool fileContains(const std::wstring& path, const std::string& text)
{
    std::string got;
    return readWholeFile(path, got) && got.find(text) != std::string::npos;
}

}  // namespace

TEST(RangedTransfer, ProbeTotalSizesTheFileAndABreakResumesWhereItStopped)
{
    EngineTest env(L"probe206");
    const std::string content = patternBytes(kSize, 1);
    putServerFile("t-resume.bin", content);
    addServerRule(rule("/files/t-resume.bin", "{},{\"closeAfter\":" + std::to_string(kBreak) + "}"));

    runTask(5001, L"Resume App", fileUrl("t-resume.bin"), "", 12345);

    TaskView view = viewOf(5001);
    EXPECT_EQ(view.state, TaskState::Downloaded);
    EXPECT_EQ(view.size, static_cast<int64_t>(kSize));  // the Content-Range total replaced the catalog size
    EXPECT_EQ(view.received, static_cast<int64_t>(kSize));
    EXPECT_EQ(view.retries, 0);
    EXPECT_EQ(view.error, L"");
    expectFileIs(finalFile(env, L"Resume App"), content);
    const std::vector<std::string> expected{"bytes=0-0", "bytes=0-299999", "bytes=100000-299999"};
    EXPECT_EQ(rangesOf(requestsTo(serverLog(), "/files/t-resume.bin")), expected);
}

TEST(RangedTransfer, PartFileIsPresizedOnlyWhenTheCatalogGivesTheServersSize)
{
    // With the catalog's word the file has its final length from the start;
    // on the server's word alone it grows as the bytes arrive.
    for (const int64_t catalogSize : {static_cast<int64_t>(kSize), int64_t{0}}) {
        SCOPED_TRACE(catalogSize);
        EngineTest env(L"presize");
        const std::string content = patternBytes(kSize, 2);
        putServerFile("t-presize.bin", content);
        addServerRule(rule("/files/t-presize.bin", "{}", "{\"bytesPerSecond\":40000}"));

        std::shared_ptr<Task> task = startTask(5002, L"Presized", fileUrl("t-presize.bin"), "", catalogSize);
        ASSERT_TRUE(task);
        ASSERT_TRUE(waitUntil([&] { return task->received.load() > 0; }));
        DownloadManager::instance().cancel(5002);
        EXPECT_TRUE(waitForWorker(task, 10000));
        if (catalogSize > 0)
            EXPECT_EQ(fileSize(task->partPath), static_cast<int64_t>(kSize));
        else
            EXPECT_EQ(fileSize(task->partPath), task->received.load());
        EXPECT_EQ(viewOf(5002).size, static_cast<int64_t>(kSize));
        EXPECT_EQ(viewOf(5002).state, TaskState::Cancelled);
    }
}

TEST(RangedTransfer, ServerIgnoringRangesRestartsFromByteZero)
{
    EngineTest env(L"norange");
    const std::string content = patternBytes(kSize, 3);
    putServerFile("t-norange.bin", content);
    addServerRule(rule("/files/t-norange.bin",
                       "{\"ignoreRange\":true},{\"ignoreRange\":true,\"closeAfter\":" + std::to_string(kBreak) + "}",
                       "{\"ignoreRange\":true}"));

    runTask(5003, L"No Ranges", fileUrl("t-norange.bin"), "", 0);

    TaskView view = viewOf(5003);
    EXPECT_EQ(view.state, TaskState::Downloaded);
    EXPECT_EQ(view.size, static_cast<int64_t>(kSize));  // from Content-Length of the 200 answer
    // The broken attempt's bytes were taken back: received counts the file once.
    EXPECT_EQ(view.received, static_cast<int64_t>(kSize));
    expectFileIs(finalFile(env, L"No Ranges"), content);
    // Only the probe asks for a range.
    const std::vector<std::string> expected{"bytes=0-0", "", ""};
    EXPECT_EQ(rangesOf(requestsTo(serverLog(), "/files/t-norange.bin")), expected);
}

TEST(RangedTransfer, RangeRefusedOnResumeStartsAgainAndTakesAFullAnswerFromZero)
{
    EngineTest env(L"refused");
    const std::string content = patternBytes(kSize, 4);
    putServerFile("t-refused.bin", content);
    // Without a validator nothing proves the 200 is the file whose bytes are held.
    addServerRule(rule("/files/t-refused.bin",
                       "{\"noValidators\":true},{\"noValidators\":true,\"closeAfter\":" + std::to_string(kBreak) +
                           "},{\"ignoreRange\":true},{\"ignoreRange\":true}"));

    runTask(5004, L"Refused", fileUrl("t-refused.bin"));

    TaskView view = viewOf(5004);
    EXPECT_EQ(view.state, TaskState::Downloaded);
    EXPECT_EQ(view.received, static_cast<int64_t>(kSize));
    expectFileIs(finalFile(env, L"Refused"), content);
    const std::vector<std::string> expected{"bytes=0-0", "bytes=0-299999", "bytes=100000-299999",
                                            "bytes=0-299999"};
    EXPECT_EQ(rangesOf(requestsTo(serverLog(), "/files/t-refused.bin")), expected);
}

TEST(RangedTransfer, FullAnswerThatBreaksEarlyIsResumedWithARange)
{
    EngineTest env(L"fullbreak");
    const std::string content = patternBytes(kSize, 5);
    putServerFile("t-fullbreak.bin", content);
    addServerRule(rule("/files/t-fullbreak.bin",
                       "{},{\"ignoreRange\":true,\"closeAfter\":" + std::to_string(kBreak) + "}"));

    runTask(5005, L"Full Break", fileUrl("t-fullbreak.bin"));

    EXPECT_EQ(viewOf(5005).state, TaskState::Downloaded);
    EXPECT_EQ(viewOf(5005).received, static_cast<int64_t>(kSize));
    expectFileIs(finalFile(env, L"Full Break"), content);
    const std::vector<std::string> expected{"bytes=0-0", "bytes=0-299999", "bytes=100000-299999"};
    EXPECT_EQ(rangesOf(requestsTo(serverLog(), "/files/t-fullbreak.bin")), expected);
}

TEST(RangedTransfer, UnknownSizeCompletesWhenTheConnectionEnds)
{
    EngineTest env(L"unknown");
    const std::string content = patternBytes(kSize, 6);
    putServerFile("t-unknown.bin", content);
    addServerRule(rule("/files/t-unknown.bin", "", "{\"ignoreRange\":true,\"noContentLength\":true}"));

    std::shared_ptr<Task> task = runTask(5006, L"Unknown Size", fileUrl("t-unknown.bin"), "", 0);

    TaskView view = viewOf(5006);
    EXPECT_EQ(view.state, TaskState::Downloaded);
    EXPECT_EQ(view.size, 0);
    EXPECT_EQ(view.received, static_cast<int64_t>(kSize));
    expectFileIs(finalFile(env, L"Unknown Size"), content);
    const std::vector<std::string> expected{"bytes=0-0", ""};
    EXPECT_EQ(rangesOf(requestsTo(serverLog(), "/files/t-unknown.bin")), expected);
}

TEST(RangedTransfer, StaleFinalAddressIsLeftOnceThenKeptUntilTheAttemptsRunOut)
{
    EngineTest env(L"stale");
    const std::string gone = fileUrl("t-stale-gone.bin");
    addServerRule(rule("/files/t-stale-link.bin", "", "{\"location\":\"" + gone + "\"}"));
    addServerRule(rule("/files/t-stale-gone.bin", "", "{\"status\":404,\"body\":\"no such file here\"}"));

    std::shared_ptr<Task> task = runTask(5007, L"Stale Link", fileUrl("t-stale-link.bin"), "", 1000);

    TaskView view = viewOf(5007);
    EXPECT_EQ(view.state, TaskState::Failed);
    EXPECT_EQ(view.error, kExhausted);
    EXPECT_EQ(view.retries, 12);
    {
        std::lock_guard<std::mutex> guard(task->urlLock);
        EXPECT_EQ(task->resolvedUrl, gone);
        EXPECT_EQ(task->staleUrls, std::set<std::string>{gone});
    }
    // Probe through the link; attempt 1 at the remembered address; attempt 2
    // through the link again; attempts 3 to 13 at the address it gave.
    std::vector<std::string> paths;
    for (const auto& request : serverLog().requests) paths.push_back(request.path);
    std::vector<std::string> expected{"/files/t-stale-link.bin", "/files/t-stale-gone.bin", "/files/t-stale-gone.bin",
                                      "/files/t-stale-link.bin", "/files/t-stale-gone.bin"};
    for (int attempt = 3; attempt <= 13; ++attempt) expected.push_back("/files/t-stale-gone.bin");
    EXPECT_EQ(paths, expected);
    EXPECT_FALSE(fileContains(task->partPath, "no such file"));
}

TEST(RangedTransfer, UnauthorizedFailsAtOnceWithTheStatusText)
{
    EngineTest env(L"401");
    putServerFile("t-401.bin", patternBytes(kSize, 7));
    addServerRule(rule("/files/t-401.bin", "{},{\"status\":401,\"body\":\"login first\"}"));

    std::shared_ptr<Task> task = runTask(5008, L"Needs Login", fileUrl("t-401.bin"));

    TaskView view = viewOf(5008);
    EXPECT_EQ(view.state, TaskState::Failed);
    EXPECT_EQ(view.error, L"HTTP 401");
    EXPECT_EQ(view.retries, 0);
    EXPECT_EQ(requestsTo(serverLog(), "/files/t-401.bin").size(), 2u);
    EXPECT_TRUE(fileExists(task->partPath));
    EXPECT_FALSE(fileContains(task->partPath, "login first"));
}

TEST(RangedTransfer, RetryableErrorAnswersLeaveNoBytesInTheFile)
{
    struct Case {
        int status;
        bool serverIgnoresRanges;
    };
    const Case cases[] = {{403, false}, {404, false}, {408, false}, {410, false}, {429, false},
                          {500, false}, {503, false}, {503, true},  {404, true}};
    int32_t id = 5100;
    for (const Case& c : cases) {
        SCOPED_TRACE("status " + std::to_string(c.status) + (c.serverIgnoresRanges ? " without ranges" : ""));
        EngineTest env(L"errorbody");
        const std::string name = "t-err-" + std::to_string(id) + ".bin";
        const std::string content = patternBytes(kSize, static_cast<uint32_t>(id));
        putServerFile(name, content);
        const std::string normal = c.serverIgnoresRanges ? "{\"ignoreRange\":true}" : "{}";
        addServerRule(rule("/files/" + name,
                           normal + ",{\"status\":" + std::to_string(c.status) +
                               ",\"body\":\"ERROR BODY THAT MUST NOT BE SAVED\"}",
                           normal));

        const std::wstring stem = L"Error Body " + std::to_wstring(id);
        runTask(id, stem, fileUrl(name));

        TaskView view = viewOf(id);
        EXPECT_EQ(view.state, TaskState::Downloaded);
        EXPECT_EQ(view.received, static_cast<int64_t>(kSize));
        expectFileIs(finalFile(env, stem), content);
        EXPECT_EQ(requestsTo(serverLog(), "/files/" + name).size(), 3u);
        ++id;
    }
}

TEST(RangedTransfer, ErrorAnswerToAResumedAttemptIsJudgedByItsStatusAndResumesAgain)
{
    EngineTest env(L"resumeerror");
    const std::string content = patternBytes(kSize, 11);
    putServerFile("t-resume-503.bin", content);
    addServerRule(rule("/files/t-resume-503.bin", "{},{\"closeAfter\":" + std::to_string(kBreak) +
                                                      "},{\"status\":503,\"body\":\"ERROR BODY AT THE RESUME POINT\"}"));

    runTask(5016, L"Resume After 503", fileUrl("t-resume-503.bin"));

    TaskView view = viewOf(5016);
    EXPECT_EQ(view.state, TaskState::Downloaded);
    EXPECT_EQ(view.received, static_cast<int64_t>(kSize));
    expectFileIs(finalFile(env, L"Resume After 503"), content);
    // The error answer keeps what was received: the next attempt resumes at the break.
    const std::vector<std::string> expected{"bytes=0-0", "bytes=0-299999", "bytes=100000-299999",
                                            "bytes=100000-299999"};
    EXPECT_EQ(rangesOf(requestsTo(serverLog(), "/files/t-resume-503.bin")), expected);
}

TEST(RangedTransfer, ThirteenFailedAttemptsGiveTheUnstableNetworkText)
{
    EngineTest env(L"exhaust");
    putServerFile("t-exhaust.bin", patternBytes(1000, 8));
    addServerRule(rule("/files/t-exhaust.bin", "{}", "{\"status\":503,\"body\":\"down\"}"));
    MessageCollector messages;

    runTask(5009, L"Always Down", fileUrl("t-exhaust.bin"));

    TaskView view = viewOf(5009);
    EXPECT_EQ(view.state, TaskState::Failed);
    EXPECT_EQ(view.error, kExhausted);
    EXPECT_EQ(view.retries, 12);
    EXPECT_EQ(requestsTo(serverLog(), "/files/t-exhaust.bin").size(), 14u);  // the probe and 13 attempts
    // One redraw at the start, one per retry, one for the failure; never "done".
    const auto posted = messages.take();
    EXPECT_EQ(posted.size(), 14u);
    for (const auto& message : posted) EXPECT_EQ(message.first, WM_APP + 1);
}

TEST(RangedTransfer, RedirectLoopFailsWithoutRetry)
{
    EngineTest env(L"loop");
    putServerFile("t-loop.bin", patternBytes(1000, 9));
    addServerRule(rule("/files/t-loop.bin", "{}", "{\"location\":\"" + fileUrl("t-loop.bin") + "\"}"));

    runTask(5010, L"Loop", fileUrl("t-loop.bin"));

    EXPECT_EQ(viewOf(5010).state, TaskState::Failed);
    EXPECT_EQ(viewOf(5010).error, L"重定向死循环");
    EXPECT_EQ(requestsTo(serverLog(), "/files/t-loop.bin").size(), 2u);
}

TEST(RangedTransfer, ProbeFailsAfterFiveAttemptsWithTheClientText)
{
    EngineTest env(L"probefail");
    runTask(5011, L"Bad Link", "http://");
    EXPECT_EQ(viewOf(5011).state, TaskState::Failed);
    EXPECT_EQ(viewOf(5011).error, L"地址无效");

    // Nothing listens on port 1: every probe fails to connect.
    runTask(5012, L"Nobody Home", "http://127.0.0.1:1/files/x.bin");
    TaskView view = viewOf(5012);
    EXPECT_EQ(view.state, TaskState::Failed);
    EXPECT_TRUE(view.error.rfind(L"请求发送失败 (winhttp ", 0) == 0 || view.error.rfind(L"服务器无响应 (winhttp ", 0) == 0)
        << wideToUtf8(view.error);
}

TEST(RangedTransfer, UnwritableFolderCannotCreateThePartFile)
{
    EngineTest env(L"unwritable");
    putServerFile("t-unwritable.bin", patternBytes(1000, 10));
    // A folder below a plain file can never be created.
    const std::wstring blocker = env.folder() + L"\\blocker";
    writeWholeFile(blocker, "a file, not a folder");
    setDownloadFolderOverride(blocker + L"\\downloads");

    runTask(5013, L"Nowhere", fileUrl("t-unwritable.bin"));

    EXPECT_EQ(viewOf(5013).state, TaskState::Failed);
    EXPECT_EQ(viewOf(5013).error, L"无法创建下载文件");
}

TEST(RangedTransfer, CatalogLinkIsFollowedByTheProbeAndTheFileAddressIsUsedAfterwards)
{
    EngineTest env(L"cataloglink");
    std::string installer;
    ASSERT_TRUE(readWholeFile(testSourceDir() + L"\\tests\\fixtures\\catalog\\files\\editor-setup.exe", installer));
    const std::string link = buildDownloadUrl(testServerUrl(), 1, L"test channel");

    std::shared_ptr<Task> task = runTask(5014, L"Foo 编辑器", link, "", 1);

    TaskView view = viewOf(5014);
    EXPECT_EQ(view.state, TaskState::Downloaded);
    EXPECT_EQ(view.size, static_cast<int64_t>(installer.size()));
    expectFileIs(finalFile(env, L"Foo 编辑器"), installer);
    std::vector<std::string> paths;
    for (const auto& request : serverLog().requests) paths.push_back(request.path);
    const std::vector<std::string> expected{"/api/client/download/1", "/files/editor-setup.exe",
                                            "/files/editor-setup.exe"};
    EXPECT_EQ(paths, expected);
    std::lock_guard<std::mutex> guard(task->urlLock);
    EXPECT_EQ(task->resolvedUrl, fileUrl("editor-setup.exe"));
}

TEST(RangedTransfer, ProbeTriesFiveTimesBeforeTheTaskFails)
{
    EngineTest env(L"probe5");
    // An empty error answer never reaches the probe's callback: each probe fails.
    addServerRule(rule("/files/t-probe5.bin", "", "{\"status\":404}"));

    std::shared_ptr<Task> task = runTask(5015, L"Probe Five", fileUrl("t-probe5.bin"));

    EXPECT_EQ(viewOf(5015).state, TaskState::Failed);
    EXPECT_EQ(viewOf(5015).error, L"HTTP 404");
    const auto requests = requestsTo(serverLog(), "/files/t-probe5.bin");
    ASSERT_EQ(requests.size(), 5u);
    for (const auto& request : requests) EXPECT_EQ(request.range, "bytes=0-0");
    EXPECT_FALSE(fileExists(task->partPath)) << "no part file before a successful probe";
}
