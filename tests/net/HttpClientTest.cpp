// HttpClient::request against the development server: redirects, statuses,
// request headers and the failures before a response exists.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/net/HttpTestHelpers.h"

namespace {

using HttpRedirect = HttpServerTest;
using HttpStatus = HttpServerTest;
using HttpRequestHeaders = HttpServerTest;
using HttpFailure = HttpServerTest;

std::string u8(const std::wstring& text) { return wideToUtf8(text); }

const json::Value* member(const std::shared_ptr<json::Value>& value, const char* key)
{
    return value ? value->get(key) : nullptr;
}

TEST_F(HttpRedirect, TenRedirectsAreFollowed)
{
    HttpCall call = httpGet("/_chain/10");
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.status, 200u);
    EXPECT_EQ(call.response.body, "end");
    EXPECT_EQ(u8(call.response.finalUrl), u8(serverUrl("/_chain/0")));
    EXPECT_EQ(loggedPaths().size(), 11u);
}

TEST_F(HttpRedirect, EleventhRedirectIsRefused)
{
    HttpCall call = httpGet("/_chain/11");
    EXPECT_EQ(call.result, HttpResult::RedirectFailed);
    EXPECT_EQ(u8(call.error), "重定向次数过多");
    EXPECT_EQ(call.response.status, 0u);
    EXPECT_TRUE(call.response.finalUrl.empty());
    std::vector<std::string> paths = loggedPaths();
    ASSERT_EQ(paths.size(), 11u);
    EXPECT_EQ(paths.front(), "/_chain/11");
    EXPECT_EQ(paths.back(), "/_chain/1");
}

TEST_F(HttpRedirect, AbsoluteLocationsAreFollowed)
{
    HttpCall call = httpGet("/_chain/3?abs=1");
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.body, "end");
    EXPECT_EQ(u8(call.response.finalUrl), u8(serverUrl("/_chain/0?abs=1")));
}

TEST_F(HttpRedirect, LocationEqualToTheCurrentUrlFailsAtOnce)
{
    HttpCall call = httpGet("/_loop?x=1");
    EXPECT_EQ(call.result, HttpResult::RedirectFailed);
    EXPECT_EQ(u8(call.error), "重定向死循环");
    EXPECT_EQ(call.response.status, 0u);
    EXPECT_EQ(loggedPaths().size(), 1u);
}

TEST_F(HttpRedirect, LoopCheckIsCaseSensitive)
{
    addServerRule(R"({"path":"/r/case","steps":[{"location":"/R/CASE"}]})");
    addServerRule(R"({"path":"/R/CASE","steps":[{"status":200,"body":"upper"}]})");
    HttpCall call = httpGet("/r/case");
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.body, "upper");
    EXPECT_EQ(u8(call.response.finalUrl), u8(serverUrl("/R/CASE")));
}

TEST_F(HttpRedirect, RootRelativeLocationKeepsHostAndPort)
{
    addServerRule(R"({"path":"/r/deep/root","steps":[{"location":"/_echo?from=root"}]})");
    HttpCall call = httpGet("/r/deep/root");
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(u8(call.response.finalUrl), u8(serverUrl("/_echo?from=root")));
    EXPECT_EQ(loggedPaths(), (std::vector<std::string>{"/r/deep/root", "/_echo"}));
}

TEST_F(HttpRedirect, PathRelativeLocationReplacesTheLastSegment)
{
    addServerRule(R"({"path":"/a/c","steps":[{"location":"b"}]})");
    addServerRule(R"({"path":"/a/b","steps":[{"status":200,"body":"at b"}]})");
    HttpCall call = httpGet("/a/c?next=/x/y");
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.body, "at b");
    EXPECT_EQ(u8(call.response.finalUrl), u8(serverUrl("/a/b")));
}

TEST_F(HttpRedirect, AbsoluteLocationToAnotherPortIsTaken)
{
    // Nothing listens on port 1: the failure shows that the client went there.
    addServerRule(R"({"path":"/r/elsewhere","steps":[{"status":307,"location":"http://127.0.0.1:1/x"}]})");
    HttpCall call = httpGet("/r/elsewhere");
    EXPECT_EQ(call.result, HttpResult::SendFailed);
    EXPECT_EQ(u8(call.error), "请求发送失败 (winhttp 12029)");
    EXPECT_TRUE(call.response.finalUrl.empty());
}

TEST_F(HttpRedirect, EveryRedirectStatusIsHandledByTheClient)
{
    for (int status : {301, 302, 303, 307, 308}) {
        resetServer();
        addServerRule(R"({"path":"/r/status","steps":[{"status":)" + std::to_string(status) +
                      R"(,"location":"/_chain/0"}]})");
        HttpCall call = httpGet("/r/status");
        EXPECT_EQ(call.result, HttpResult::Ok) << status << " " << u8(call.error);
        EXPECT_EQ(call.response.body, "end") << status;
        EXPECT_EQ(u8(call.response.finalUrl), u8(serverUrl("/_chain/0"))) << status;
    }
}

TEST_F(HttpRedirect, RedirectWithoutLocationIsTheFinalResponse)
{
    addServerRule(R"({"path":"/r/none","steps":[{"status":302,"body":"no way on"}]})");
    HttpCall call = httpGet("/r/none");
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.status, 302u);
    EXPECT_EQ(call.response.body, "no way on");
    EXPECT_EQ(u8(call.response.finalUrl), u8(serverUrl("/r/none")));
}

TEST_F(HttpRedirect, EmptyLocationIsTheFinalResponse)
{
    addServerRule(R"({"path":"/r/empty","steps":[{"status":301,"body":"empty","headers":{"Location":""}}]})");
    HttpCall call = httpGet("/r/empty");
    EXPECT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    EXPECT_EQ(call.response.status, 301u);
    EXPECT_EQ(call.response.body, "empty");
}

TEST_F(HttpRedirect, PostStaysPostWithItsBodyAndHeaders)
{
    addServerRule(R"({"path":"/r/post","steps":[{"status":302,"location":"/r/post2"}]})");
    addServerRule(R"({"path":"/r/post2","steps":[{"status":301,"location":"/_echo"}]})");
    const std::string body = R"({"appId":7,"event":"install"})";
    HttpCall call = httpCall(serverUrl("/r/post"), L"POST", {{L"Content-Type", L"application/json"}}, &body);
    ASSERT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    auto echo = json::parse(call.response.body);
    ASSERT_TRUE(member(echo, "method")) << call.response.body;
    EXPECT_EQ(member(echo, "method")->string, "POST");
    EXPECT_EQ(member(echo, "body")->string, body);
    const json::Value* contentType = member(echo, "headers")->get("Content-Type");
    ASSERT_TRUE(contentType);
    EXPECT_EQ(contentType->string, "application/json");
}

TEST_F(HttpRequestHeaders, AreSentInListOrderWithTheUserAgent)
{
    HttpHeaders headers = {{L"X-Third", L"3"}, {L"X-First", L"1"}, {L"Range", L"bytes=0-0"}, {L"X-Second", L"two words"}};
    HttpCall call = httpCall(serverUrl("/_echo"), L"GET", headers);
    ASSERT_EQ(call.result, HttpResult::Ok) << u8(call.error);
    auto echo = json::parse(call.response.body);
    const json::Value* sent = member(echo, "headers");
    ASSERT_TRUE(sent) << call.response.body;
    std::vector<std::string> ours;
    for (const auto& field : sent->object)
        if (field.first.rfind("X-", 0) == 0 || field.first == "Range") ours.push_back(field.first + "=" + field.second->string);
    EXPECT_EQ(ours, (std::vector<std::string>{"X-Third=3", "X-First=1", "Range=bytes=0-0", "X-Second=two words"}));
    ASSERT_TRUE(sent->get("User-Agent"));
    EXPECT_EQ(sent->get("User-Agent")->string,
              "Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
              "Chrome/109.0.0.0 Safari/537.36");
    EXPECT_EQ(member(echo, "method")->string, "GET");
    EXPECT_EQ(member(echo, "body")->string, "");
}

TEST_F(HttpStatus, ClientErrorBodyIsDeliveredWithHttpError)
{
    for (int status : {400, 404, 410, 499}) {
        resetServer();
        addServerRule(R"({"path":"/s/client","steps":[{"status":)" + std::to_string(status) +
                      R"(,"body":"missing here"}]})");
        HttpCall call = httpGet("/s/client");
        EXPECT_EQ(call.result, HttpResult::HttpError) << status;
        EXPECT_EQ(u8(call.error), "HTTP " + std::to_string(status));
        EXPECT_EQ(call.response.status, static_cast<uint32_t>(status));
        EXPECT_EQ(call.response.body, "missing here") << status;
        EXPECT_EQ(call.response.contentLength, 12);
        EXPECT_EQ(u8(call.response.finalUrl), u8(serverUrl("/s/client")));
    }
}

TEST_F(HttpStatus, ClientErrorBodyStreamsToTheSink)
{
    addServerRule(R"({"path":"/s/404","steps":[{"status":404,"body":"gone"}]})");
    std::string streamed;
    HttpCall call = httpGet("/s/404", [&](const unsigned char* data, unsigned long size) {
        streamed.append(reinterpret_cast<const char*>(data), size);
        return true;
    });
    EXPECT_EQ(call.result, HttpResult::HttpError);
    EXPECT_EQ(u8(call.error), "HTTP 404");
    EXPECT_EQ(streamed, "gone");
    EXPECT_TRUE(call.response.body.empty());
}

TEST_F(HttpStatus, ServerErrorBodyIsNotReadWithoutASink)
{
    for (int status : {500, 502, 503, 599}) {
        resetServer();
        addServerRule(R"({"path":"/s/server","steps":[{"status":)" + std::to_string(status) +
                      R"(,"body":"busy"}]})");
        HttpCall call = httpGet("/s/server");
        EXPECT_EQ(call.result, HttpResult::HttpError) << status;
        EXPECT_EQ(u8(call.error), "HTTP " + std::to_string(status));
        EXPECT_EQ(call.response.status, static_cast<uint32_t>(status));
        EXPECT_TRUE(call.response.body.empty()) << status;
        EXPECT_EQ(call.response.contentLength, 4);
    }
}

TEST_F(HttpStatus, UnreadServerErrorBodyDoesNotHoldTheConnection)
{
    // 60,000 bytes at 2,000 bytes/s: the server is still sending when the
    // call returns without reading, and stops once the request is closed.
    addServerRule(R"({"path":"/s/slow503","steps":[{"status":503,"body":")" + std::string(60000, 'b') +
                  R"(","bytesPerSecond":2000}]})");
    HttpCall call = httpGet("/s/slow503");
    EXPECT_EQ(call.result, HttpResult::HttpError);
    EXPECT_EQ(u8(call.error), "HTTP 503");
    EXPECT_TRUE(call.response.body.empty());
    EXPECT_TRUE(waitUntilServerIdle()) << "the server is still sending: the request was not closed";
}

TEST_F(HttpStatus, ServerErrorBodyStreamsToASinkFirst)
{
    addServerRule(R"({"path":"/s/503","steps":[{"status":503,"body":"busy, retry"}]})");
    std::string streamed;
    HttpCall call = httpGet("/s/503", [&](const unsigned char* data, unsigned long size) {
        streamed.append(reinterpret_cast<const char*>(data), size);
        return true;
    });
    EXPECT_EQ(call.result, HttpResult::HttpError);
    EXPECT_EQ(u8(call.error), "HTTP 503");
    EXPECT_EQ(streamed, "busy, retry");
}

TEST_F(HttpStatus, SuccessLeavesTheErrorTextAlone)
{
    HttpResponse response;
    std::wstring error = L"earlier text";
    HttpResult result = HttpClient::request(serverUrl("/_bytes/3"), {}, nullptr, L"GET", DataSink(), response, error,
                                            nullptr);
    EXPECT_EQ(result, HttpResult::Ok);
    EXPECT_EQ(error, L"earlier text");
    EXPECT_EQ(response.body, patternBytes(0, 3));
}

TEST_F(HttpFailure, UnsplittableUrlIsBadUrl)
{
    const wchar_t* urls[] = {L"", L"nonsense", L"ftp://127.0.0.1/x", L"http:///x", L"http://127.0.0.1:70000/"};
    for (const wchar_t* url : urls) {
        HttpResponse response;
        response.contentLength = 5;
        std::wstring error = L"earlier text";
        HttpResult result = HttpClient::request(url, {}, nullptr, L"GET", DataSink(), response, error, nullptr);
        EXPECT_EQ(result, HttpResult::BadUrl) << u8(url);
        EXPECT_EQ(u8(error), "地址无效");
        EXPECT_EQ(response.status, 0u);
        EXPECT_EQ(response.contentLength, 5);
        EXPECT_TRUE(response.finalUrl.empty());
    }
}

TEST_F(HttpFailure, RefusedConnectionIsSendFailedWithTheCode)
{
    HttpCall call = httpCall(L"http://127.0.0.1:1/nothing");
    EXPECT_EQ(call.result, HttpResult::SendFailed);
    EXPECT_EQ(u8(call.error), "请求发送失败 (winhttp 12029)");
    EXPECT_EQ(call.response.status, 0u);
    EXPECT_EQ(call.response.contentLength, -1);
    EXPECT_TRUE(call.response.finalUrl.empty());
}

}  // namespace
