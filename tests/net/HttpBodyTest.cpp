// Reading the response body: the buffered limit, streaming pieces, broken
// bodies, and the length headers.

#include <gtest/gtest.h>

#include <string>

#include "tests/net/HttpTestHelpers.h"

namespace {

using HttpBody = HttpServerTest;
using HttpLengths = HttpServerTest;

std::string u8(const std::wstring& text) { return wideToUtf8(text); }

TEST_F(HttpBody, ExactlyEightMiBIsBuffered)
{
    HttpCall call = httpGet("/_bytes/8388608");
    ASSERT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.contentLength, 8388608);
    ASSERT_EQ(call.response.body.size(), 8388608u);
    EXPECT_TRUE(call.response.body == patternBytes(0, 8388608));
}

TEST_F(HttpBody, OneByteMoreThanEightMiBIsTooLarge)
{
    HttpCall call = httpGet("/_bytes/8388609");
    EXPECT_EQ(call.result, HttpResult::ReadFailed);
    EXPECT_EQ(u8(call.error), "响应过大");
    EXPECT_TRUE(call.response.body.empty());
    EXPECT_EQ(call.response.status, 200u);
    EXPECT_EQ(call.response.contentLength, 8388609);
}

TEST_F(HttpBody, StreamingHasNoSizeLimitAndPiecesStayWithin64KiB)
{
    const std::size_t total = 9000001;
    std::size_t received = 0;
    unsigned long largest = 0;
    bool inOrder = true;
    HttpCall call = httpGet("/_bytes/" + std::to_string(total), [&](const unsigned char* data, unsigned long size) {
        for (unsigned long i = 0; i < size; ++i)
            if (data[i] != (received + i) % 251) inOrder = false;
        received += size;
        if (size > largest) largest = size;
        return true;
    });
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(received, total);
    EXPECT_TRUE(inOrder);
    EXPECT_LE(largest, 65536u);
    EXPECT_GT(largest, 0u);
    EXPECT_TRUE(call.response.body.empty());
}

TEST_F(HttpBody, EmptyBodyIsOk)
{
    HttpCall call = httpGet("/_bytes/0");
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.contentLength, 0);
    EXPECT_TRUE(call.response.body.empty());
}

// A connection closed before Content-Length bytes arrived: Wine's WinHTTP
// reports the end of the body (0 bytes available) rather than an error, so
// the call may end Ok. Either way the caller gets exactly the bytes that came
// and the announced length, which is how the download engine sees the break.
TEST_F(HttpBody, BodyCutShortDeliversWhatCameAndTheAnnouncedLength)
{
    addServerRule(R"({"path":"/_bytes/200000","steps":[{"closeAfter":70000}]})");
    std::size_t received = 0;
    HttpCall call = httpGet("/_bytes/200000", [&](const unsigned char*, unsigned long size) {
        received += size;
        return true;
    });
    EXPECT_TRUE(call.result == HttpResult::Ok || call.result == HttpResult::ReadFailed) << u8(call.error);
    if (call.result == HttpResult::ReadFailed) {
        EXPECT_EQ(u8(call.error).rfind("读取数据", 0), 0u) << u8(call.error);
    }
    EXPECT_EQ(received, 70000u);
    EXPECT_EQ(call.response.status, 200u);
    EXPECT_EQ(call.response.contentLength, 200000);
}

TEST_F(HttpBody, BodyWithoutContentLengthIsReadToTheEnd)
{
    addServerRule(R"({"path":"/_bytes/70001","steps":[{"noContentLength":true}]})");
    HttpCall call = httpGet("/_bytes/70001");
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.contentLength, -1);
    EXPECT_TRUE(call.response.body == patternBytes(0, 70001));
}

struct ContentRangeCase {
    const char* header;
    bool hasContentRange;
    int64_t totalLength;
};

TEST_F(HttpLengths, ContentRangeGivesTheTotalAfterTheLastSlash)
{
    const ContentRangeCase cases[] = {
        {"bytes 0-99/1000", true, 1000},
        {"bytes */1000", true, 1000},
        {"bytes 0-99/*", true, 555},
        {"bytes 0-99", true, 555},
        {"bytes 0-99/", true, 555},
        {"bytes 0-4999999999/5000000000", true, 5000000000LL},
    };
    for (const auto& c : cases) {
        resetServer();
        addServerRule(std::string(R"({"path":"/l/range","steps":[{"status":206,"body":"x","headers":{"Content-Range":")") +
                      c.header + R"("}}]})");
        HttpResponse response;
        response.totalLength = 555;  // what the call learns replaces it; nothing else does
        std::wstring error;
        HttpResult result = HttpClient::request(serverUrl("/l/range"), {}, nullptr, L"GET", DataSink(), response, error,
                                                nullptr);
        EXPECT_EQ(result, HttpResult::Ok) << c.header << " " << u8(error);
        EXPECT_EQ(response.status, 206u);
        EXPECT_EQ(response.hasContentRange, c.hasContentRange) << c.header;
        EXPECT_EQ(response.totalLength, c.totalLength) << c.header;
        EXPECT_EQ(response.contentLength, 1);
    }
}

TEST_F(HttpLengths, NoContentRangeLeavesTheRangeFieldsAlone)
{
    HttpCall call = httpGet("/_bytes/10");
    EXPECT_EQ(call.result, HttpResult::Ok);
    EXPECT_FALSE(call.response.hasContentRange);
    EXPECT_EQ(call.response.totalLength, -1);
    EXPECT_EQ(call.response.contentLength, 10);
}

TEST_F(HttpLengths, EmptyContentRangeIsNoRange)
{
    addServerRule(R"({"path":"/l/empty","steps":[{"status":200,"body":"x","headers":{"Content-Range":""}}]})");
    HttpCall call = httpGet("/l/empty");
    EXPECT_EQ(call.result, HttpResult::Ok);
    EXPECT_FALSE(call.response.hasContentRange);
    EXPECT_EQ(call.response.totalLength, -1);
}

TEST_F(HttpLengths, RangeRequestGetsPartAndTotal)
{
    HttpCall call = httpCall(serverUrl("/_bytes/1000"), L"GET", {{L"Range", L"bytes=100-199"}});
    ASSERT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.status, 206u);
    EXPECT_EQ(call.response.contentLength, 100);
    EXPECT_TRUE(call.response.hasContentRange);
    EXPECT_EQ(call.response.totalLength, 1000);
    EXPECT_TRUE(call.response.body == patternBytes(100, 100));
}

TEST_F(HttpLengths, OneByteProbeLearnsTheTotalSize)
{
    std::string got;
    HttpCall call = httpCall(serverUrl("/_bytes/123457"), L"GET", {{L"Range", L"bytes=0-0"}}, nullptr,
                             [&](const unsigned char* data, unsigned long size) {
                                 got.append(reinterpret_cast<const char*>(data), size);
                                 return true;
                             });
    ASSERT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.status, 206u);
    EXPECT_EQ(call.response.contentLength, 1);
    EXPECT_EQ(call.response.totalLength, 123457);
    EXPECT_EQ(got, patternBytes(0, 1));
}

TEST_F(HttpLengths, UnsatisfiableRangeIsHttpErrorWithTheTotal)
{
    HttpCall call = httpCall(serverUrl("/_bytes/1000"), L"GET", {{L"Range", L"bytes=5000-"}});
    EXPECT_EQ(call.result, HttpResult::HttpError);
    EXPECT_EQ(u8(call.error), "HTTP 416");
    EXPECT_EQ(call.response.status, 416u);
    EXPECT_TRUE(call.response.hasContentRange);
    EXPECT_EQ(call.response.totalLength, 1000);
}

}  // namespace
