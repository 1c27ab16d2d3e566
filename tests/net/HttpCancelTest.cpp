// Stopping a request: the abort flag at each of its checks, a sink that says
// stop, and a server that is slow to answer. Also calls on several threads.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/net/HttpTestHelpers.h"

namespace {

using HttpCancel = HttpServerTest;
using HttpThreads = HttpServerTest;

std::string u8(const std::wstring& text) { return wideToUtf8(text); }

TEST_F(HttpCancel, FlagSetBeforeTheCallSendsNothing)
{
    std::atomic<uint8_t> flag{1};
    HttpResponse response;
    std::wstring error = L"earlier text";
    HttpResult result = HttpClient::request(serverUrl("/_echo"), {}, nullptr, L"GET", DataSink(), response, error, &flag);
    EXPECT_EQ(result, HttpResult::Cancelled);
    EXPECT_EQ(error, L"earlier text");
    EXPECT_EQ(response.status, 0u);
    EXPECT_TRUE(response.finalUrl.empty());
    EXPECT_TRUE(loggedPaths().empty());
}

TEST_F(HttpCancel, FlagSetDuringAPieceStopsBeforeTheNext)
{
    std::atomic<uint8_t> flag{0};
    int pieces = 0;
    HttpResponse response;
    std::wstring error = L"earlier text";
    HttpResult result = HttpClient::request(
        serverUrl("/_bytes/1000000"), {}, nullptr, L"GET",
        [&](const unsigned char*, unsigned long) {
            ++pieces;
            flag = 1;
            return true;
        },
        response, error, &flag);
    EXPECT_EQ(result, HttpResult::Cancelled);
    EXPECT_EQ(pieces, 1);
    EXPECT_EQ(error, L"earlier text");
    EXPECT_EQ(response.status, 200u);
}

TEST_F(HttpCancel, SinkReturningFalseStopsTheCall)
{
    int pieces = 0;
    HttpResponse response;
    std::wstring error = L"earlier text";
    HttpResult result = HttpClient::request(
        serverUrl("/_bytes/1000000"), {}, nullptr, L"GET",
        [&](const unsigned char*, unsigned long) { return ++pieces < 2; }, response, error, nullptr);
    EXPECT_EQ(result, HttpResult::Cancelled);
    EXPECT_EQ(pieces, 2);
    EXPECT_EQ(error, L"earlier text");
}

TEST_F(HttpCancel, FlagFromAnotherThreadStopsAThrottledDownload)
{
    // At 40 kB/s the whole body would take 50 s; the cancel ends it at the
    // next piece.
    addServerRule(R"({"path":"/_bytes/2000000","steps":[{"bytesPerSecond":40000}]})");
    std::atomic<uint8_t> flag{0};
    std::atomic<bool> streaming{false};
    std::size_t received = 0;
    std::thread canceller([&] {
        for (int i = 0; i < 1000 && !streaming; ++i) Sleep(10);
        flag = 1;
    });
    HttpCall call = httpGet("/_bytes/2000000",
                            [&](const unsigned char*, unsigned long size) {
                                received += size;
                                streaming = true;
                                return true;
                            },
                            &flag);
    canceller.join();
    EXPECT_EQ(call.result, HttpResult::Cancelled) << u8(call.error);
    EXPECT_GT(received, 0u);
    EXPECT_LT(received, 2000000u);
    EXPECT_TRUE(waitUntilServerIdle()) << "the server is still sending: the connection was not closed";
}

TEST_F(HttpCancel, StoppedDownloadLetsGoOfTheConnection)
{
    // The server would trickle this body for 50 s; once the call has
    // returned, the closed connection makes its next write fail at once.
    addServerRule(R"({"path":"/_bytes/2000000","steps":[{"bytesPerSecond":40000}]})");
    HttpCall call = httpGet("/_bytes/2000000", [](const unsigned char*, unsigned long) { return false; });
    EXPECT_EQ(call.result, HttpResult::Cancelled);
    EXPECT_TRUE(waitUntilServerIdle()) << "the server is still sending: the request was not closed";
}

TEST_F(HttpCancel, FreshRequestWhileACancelledCallIsBlockedGetsItsWholeBody)
{
    // The cancelled call's server falls silent after half the body and sends
    // the rest 1.5 s later, while a fresh request is still reading its own
    // throttled body. The old call must never read from the fresh one.
    addServerRule(R"({"path":"/_bytes/200000","steps":[{"hostile":"stall","stallMs":1500}]})");
    addServerRule(R"({"path":"/_bytes/300000","steps":[{"bytesPerSecond":100000}]})");
    std::atomic<uint8_t> flag{0};
    std::atomic<std::size_t> stalledBytes{0};
    HttpResult stalledResult = HttpResult::Ok;
    std::thread stalled([&] {
        stalledResult = httpGet("/_bytes/200000",
                                [&](const unsigned char*, unsigned long size) {
                                    stalledBytes += size;
                                    return true;
                                },
                                &flag).result;
    });
    for (int i = 0; i < 1000 && stalledBytes < 100000; ++i) Sleep(10);
    Sleep(200);  // blocked inside WinHTTP by now
    flag = 1;
    stalled.join();
    EXPECT_EQ(stalledResult, HttpResult::Cancelled);
    EXPECT_EQ(stalledBytes.load(), 100000u);

    HttpCall fresh = httpGet("/_bytes/300000");
    EXPECT_EQ(fresh.result, HttpResult::Ok) << u8(fresh.error);
    EXPECT_TRUE(fresh.response.body == patternBytes(0, 300000));
    EXPECT_EQ(stalledBytes.load(), 100000u) << "the cancelled call went on reading";
}

TEST_F(HttpCancel, BufferedBodyIsDroppedWhenCancelled)
{
    addServerRule(R"({"path":"/_bytes/2000000","steps":[{"bytesPerSecond":40000}]})");
    std::atomic<uint8_t> flag{0};
    std::thread canceller([&] {
        waitForRequest("/_bytes/2000000");
        flag = 1;
    });
    HttpCall call = httpGet("/_bytes/2000000", DataSink(), &flag);
    canceller.join();
    EXPECT_EQ(call.result, HttpResult::Cancelled);
    EXPECT_TRUE(call.response.body.empty());
    EXPECT_TRUE(call.error.empty());
}

TEST_F(HttpCancel, SlowServerIsLeftAtTheFirstCheckAfterItAnswers)
{
    // WinHTTP blocks in the receive until the server answers or the 30 s
    // time-out passes; the flag is honoured as soon as that call returns.
    // Against /_hang that is the time-out: under Wine the call then ends
    // with 服务器无响应 (winhttp 10060), or Cancelled when the flag was set.
    // A delayed answer shows the same check without the 30 s wait.
    addServerRule(R"({"path":"/c/slow","steps":[{"delayMs":1500,"status":200,"body":"late answer"}]})");
    std::atomic<uint8_t> flag{0};
    std::thread canceller([&] {
        waitForRequest("/c/slow");
        flag = 1;
    });
    HttpCall call = httpGet("/c/slow", DataSink(), &flag);
    canceller.join();
    EXPECT_EQ(call.result, HttpResult::Cancelled);
    EXPECT_TRUE(call.response.body.empty());
}

TEST_F(HttpCancel, FlagIsCheckedBeforeEachRedirectHop)
{
    addServerRule(R"({"path":"/c/hop","steps":[{"delayMs":800,"location":"/_echo"}]})");
    std::atomic<uint8_t> flag{0};
    std::thread canceller([&] {
        waitForRequest("/c/hop");
        flag = 1;
    });
    HttpCall call = httpGet("/c/hop", DataSink(), &flag);
    canceller.join();
    EXPECT_EQ(call.result, HttpResult::Cancelled);
    EXPECT_EQ(call.response.status, 0u);
    EXPECT_EQ(loggedPaths(), std::vector<std::string>{"/c/hop"});
}

TEST_F(HttpThreads, CallsOnSeveralThreadsShareNothing)
{
    const int kThreads = 6;
    std::vector<HttpCall> calls(kThreads);
    std::vector<std::size_t> streamed(kThreads, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            std::string path = "/_chain/2";
            if (i % 3 == 1) path = "/_bytes/" + std::to_string(300000 + i);
            if (i % 3 == 2) {
                calls[i] = httpGet("/_bytes/" + std::to_string(500000 + i), [&, i](const unsigned char*, unsigned long n) {
                    streamed[i] += n;
                    return true;
                });
                return;
            }
            calls[i] = httpGet(path);
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(calls[i].result, HttpResult::Ok) << i << " " << u8(calls[i].error);
        if (i % 3 == 0) {
            EXPECT_EQ(calls[i].response.body, "end");
        } else if (i % 3 == 1) {
            EXPECT_TRUE(calls[i].response.body == patternBytes(0, 300000 + i)) << i;
        } else {
            EXPECT_EQ(streamed[i], static_cast<std::size_t>(500000 + i));
        }
    }
}

}  // namespace
