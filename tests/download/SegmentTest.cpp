// Large files over several connections, against a server that paces each
// connection: byte-exact whatever it does, one stream without ranges, within
// the request gate, and restarted from byte 0 when the file changes.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>

#include "core/text.h"
#include "download/download_manager.h"
#include "tests/download/engine_harness.h"
#include "tests/support/download_manager_access.h"
#include "tests/support/test_server.h"

using namespace enginetest;

namespace {

constexpr size_t kLarge = 24000000;  // one connection at 2 MB/s needs 12 s
const std::string kPaced = R"({"bytesPerSecond":2000000})";

std::string rule(const std::string& name, const std::string& steps, const std::string& then)
{
    return "{\"path\":\"/files/" + name + "\",\"steps\":[" + steps + "],\"then\":" + then + "}";
}

// The first bytes of the transfer requests (the probe left out).
std::set<std::string> transferStarts(const std::string& name)
{
    std::set<std::string> starts;
    for (const LoggedRequest& request : requestsTo(serverLog(), "/files/" + name))
        if (request.range != "bytes=0-0") starts.insert(request.range.substr(0, request.range.find('-')));
    return starts;
}

void expectDownloaded(const EngineTest& env, int32_t id, const std::wstring& stem, const std::string& content)
{
    const TaskView view = viewOf(id);
    EXPECT_EQ(view.state, TaskState::Downloaded) << wideToUtf8(view.error);
    EXPECT_EQ(view.received, static_cast<int64_t>(content.size()));
    EXPECT_EQ(firstDifference(fileBytes(env.folder() + L"\\" + stem + L".exe"), content), -1);
}

}  // namespace

TEST(Segments, APacedLargeFileArrivesByteExactOverSeveralConnections)
{
    const struct {
        const char* label;
        std::string then;
    } cases[] = {
        {"paced", kPaced},
        {"paced, every answer cut after 3 MB", R"({"bytesPerSecond":2000000,"closeAfter":3000000})"},
    };
    int32_t id = 6200;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EngineTest env(L"segments");
        const std::string name = "s-" + std::to_string(id) + ".bin";
        const std::string content = patternBytes(kLarge, static_cast<uint32_t>(id));
        putServerFile(name, content);
        addServerRule(rule(name, "", c.then));

        const auto started = std::chrono::steady_clock::now();
        runTask(id, L"Segmented " + std::to_wstring(id), fileUrl(name), "", kLarge);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        // A figure, not a bound: tools/bench/download_bench.sh holds the bound.
        std::printf("%s: %.2f s\n", c.label, took.count());

        expectDownloaded(env, id, L"Segmented " + std::to_wstring(id), content);
        EXPECT_GT(transferStarts(name).size(), 1u) << "more than one span was asked for";
        EXPECT_GT(serverLog().maxInFlight, 1) << "connections carried bytes side by side";
        ++id;
    }
}

TEST(Segments, HostileAnswersToSpansEndByteExactOrFailWithoutAFinalFile)
{
    constexpr size_t kSize = 9000000;
    const std::string wrongStart = R"({"hostile":"wrongStart"})";
    const struct {
        const char* label;
        std::string steps;  // the probe's answer first, then the spans'
        std::string then;
        bool exhausted;
        size_t maxRequests;
    } cases[] = {
        // The span from byte 0 is answered right anyway.
        {"spans answered from byte 0", "{}," + wrongStart + "," + wrongStart + "," + wrongStart + "," + wrongStart,
         "{}", false, 11},
        {"a span answered for another total", R"({},{"hostile":"changedTotal"})", "{}", false, 9},
        // With validators the 200 to a span's If-Range is the whole file:
        // from byte 0 as one stream, which takes it as the single stream does.
        {"resumed ranges answered with the whole file", "{}", R"({"hostile":"resumeAs200"})", false, 9},
        {"100 bytes per answer", "{}", R"({"hostile":"trickle"})", true, 14},
    };
    int32_t id = 6240;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EngineTest env(L"seghostile");
        const std::string name = "s-hostile-" + std::to_string(id) + ".bin";
        const std::string content = patternBytes(kSize, static_cast<uint32_t>(id));
        putServerFile(name, content);
        addServerRule(rule(name, c.steps, c.then));
        const std::wstring stem = L"Hostile Large " + std::to_wstring(id);

        runTask(id, stem, fileUrl(name), "", kSize);

        EXPECT_LE(requestsTo(serverLog(), "/files/" + name).size(), c.maxRequests);
        if (c.exhausted) {
            EXPECT_EQ(viewOf(id).state, TaskState::Failed);
            EXPECT_EQ(viewOf(id).error, L"网络不稳定，重试多次仍失败，请稍后再试");
            EXPECT_FALSE(fileExists(env.folder() + L"\\" + stem + L".exe"));
        } else {
            expectDownloaded(env, id, stem, content);
        }
        ++id;
    }
}

TEST(Segments, AServerWithoutRangesGetsOneStream)
{
    EngineTest env(L"segnorange");
    const std::string content = patternBytes(kLarge / 2, 62);
    putServerFile("s-norange.bin", content);
    addServerRule(rule("s-norange.bin", "", R"({"ignoreRange":true})"));

    runTask(6210, L"No Ranges Large", fileUrl("s-norange.bin"), "", static_cast<int64_t>(content.size()));

    expectDownloaded(env, 6210, L"No Ranges Large", content);
    const std::vector<LoggedRequest> requests = requestsTo(serverLog(), "/files/s-norange.bin");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].range, "");
}

TEST(Segments, ThreeLargeDownloadsAtOnceStayWithinTheGate)
{
    EngineTest env(L"segthree");
    std::vector<std::shared_ptr<Task>> tasks;
    std::vector<std::string> contents;
    for (int32_t k = 0; k < 3; ++k) {
        const std::string name = "s-three-" + std::to_string(k) + ".bin";
        contents.push_back(patternBytes(kLarge / 2, static_cast<uint32_t>(70 + k)));
        putServerFile(name, contents.back());
        addServerRule(rule(name, "", kPaced));
    }
    for (int32_t k = 0; k < 3; ++k)
        tasks.push_back(startTask(6220 + k, L"Three " + std::to_wstring(k),
                                  fileUrl("s-three-" + std::to_string(k) + ".bin"), "", kLarge / 2));
    int mostSlots = 0;
    ASSERT_TRUE(waitUntil([&] {
        mostSlots = std::max(mostSlots, DownloadManagerTestAccess::activeRequests());
        return std::all_of(tasks.begin(), tasks.end(), [](const auto& t) {
            return t->state.load() != TaskState::Downloading && t->state.load() != TaskState::Verifying;
        });
    }, 120000));
    for (int32_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_TRUE(waitForWorker(tasks[k]));
        expectDownloaded(env, 6220 + k, L"Three " + std::to_wstring(k), contents[k]);
    }
    EXPECT_LE(mostSlots, 6);
    EXPECT_LE(serverLog().maxOpenConnections, 6);
    EXPECT_GT(serverLog().maxInFlight, 3) << "the tasks shared the gate";
}

TEST(Segments, SegmentsOfOthersGiveWayToANewTaskAndStopAtCancel)
{
    EngineTest env(L"segyield");
    // Two slow large downloads fill the gate: four connections and two.
    std::vector<std::shared_ptr<Task>> slow;
    for (int32_t k = 0; k < 2; ++k) {
        const std::string name = "s-slow-" + std::to_string(k) + ".bin";
        putServerFile(name, patternBytes(kLarge, static_cast<uint32_t>(80 + k)));
        addServerRule(rule(name, "", R"({"bytesPerSecond":100000})"));
        slow.push_back(startTask(6250 + k, L"Slow " + std::to_wstring(k), fileUrl(name), "", kLarge));
        ASSERT_TRUE(waitUntil([&] { return requestsTo(serverLog(), "/files/" + name).size() >= (k ? 3u : 5u); }));
    }
    ASSERT_TRUE(waitUntil([] { return DownloadManagerTestAccess::activeRequests() == 6; }));

    // A small download meanwhile: the busiest task gives a connection back at
    // once instead of after a span of a minute.
    const std::string small = patternBytes(300000, 82);
    putServerFile("s-small.bin", small);
    std::shared_ptr<Task> newcomer = startTask(6252, L"Newcomer", fileUrl("s-small.bin"), "", 0);
    ASSERT_TRUE(waitUntil([&] { return newcomer->state.load() != TaskState::Downloading; }, 20000));
    EXPECT_TRUE(waitForWorker(newcomer));
    expectDownloaded(env, 6252, L"Newcomer", small);

    for (int32_t k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(slow[k]->state.load(), TaskState::Downloading);
        DownloadManager::instance().cancel(6250 + k);
        EXPECT_TRUE(waitForWorker(slow[k], 10000)) << "every connection stopped";
        EXPECT_EQ(viewOf(6250 + k).state, TaskState::Cancelled);
    }
    EXPECT_TRUE(waitUntil([] { return serverLog().openConnections == 0; }, 10000));
    EXPECT_LE(serverLog().maxOpenConnections, 6);
}

TEST(Segments, AVersionChangedMidwayRestartsTheWholeFileFromByteZero)
{
    EngineTest env(L"segchanged");
    const std::string content = patternBytes(kLarge, 63);
    putServerFile("s-changed.bin", content);
    // Four spans cut after 3 MB each; the first span continued meets a new
    // version of the file (every byte inverted), which then comes unpaced.
    const std::string cut = R"({"bytesPerSecond":2000000,"closeAfter":3000000})";
    addServerRule(rule("s-changed.bin", "{}," + cut + "," + cut + "," + cut + "," + cut + R"(,{"changeFile":true})",
                       "{}"));

    runTask(6230, L"Changed Midway", fileUrl("s-changed.bin"), "", kLarge);

    std::string inverted = content;
    for (char& b : inverted) b = static_cast<char>(255 - static_cast<unsigned char>(b));
    expectDownloaded(env, 6230, L"Changed Midway", inverted);
    const std::vector<LoggedRequest> requests = requestsTo(serverLog(), "/files/s-changed.bin");
    ASSERT_GE(requests.size(), 7u);
    EXPECT_FALSE(requests[5].ifRange.empty()) << "the continued span named its version";
    EXPECT_EQ(requests.back().range, "bytes=0-" + std::to_string(kLarge - 1));
    EXPECT_EQ(requests.back().ifRange, "");
}
