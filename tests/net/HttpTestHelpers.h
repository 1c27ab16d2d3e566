#pragma once
// Shared by the HTTP client tests: one call against the development server and
// a look at what the server saw.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/json.h"
#include "core/text.h"
#include "net/http_client.h"
#include "tests/support/test_server.h"

struct HttpCall {
    HttpResult result = HttpResult::Ok;
    HttpResponse response;
    std::wstring error;
};

inline std::wstring serverUrl(const std::string& path) { return testServerUrl() + utf8ToWide(path); }

inline HttpCall httpCall(const std::wstring& url, const std::wstring& method = L"GET", const HttpHeaders& headers = {},
                         const std::string* body = nullptr, const DataSink& sink = DataSink(),
                         const std::atomic<uint8_t>* abortFlag = nullptr)
{
    HttpCall call;
    call.result = HttpClient::request(url, headers, body, method, sink, call.response, call.error, abortFlag);
    return call;
}

inline HttpCall httpGet(const std::string& path, const DataSink& sink = DataSink(),
                        const std::atomic<uint8_t>* abortFlag = nullptr)
{
    return httpCall(serverUrl(path), L"GET", {}, nullptr, sink, abortFlag);
}

// Paths of the requests the server logged since the last reset, in order.
inline std::vector<std::string> loggedPaths()
{
    std::string reply;
    std::vector<std::string> paths;
    if (!serverGet("/_control/log", &reply)) return paths;
    auto log = json::parse(reply);
    const json::Value* requests = log ? log->get("requests") : nullptr;
    if (!requests) {
        ADD_FAILURE() << "unreadable request log: " << reply;
        return paths;
    }
    for (const auto& entry : requests->array) paths.push_back(entry->get("path") ? entry->get("path")->string : "");
    return paths;
}

// Waits (bounded) until the server has logged a request to path.
inline bool waitForRequest(const std::string& path)
{
    for (int i = 0; i < 500; ++i) {
        for (const auto& logged : loggedPaths())
            if (logged == path) return true;
        Sleep(20);
    }
    return false;
}

// Requests the server is still answering (-1 when the log cannot be read).
inline int requestsInFlight()
{
    std::string reply;
    if (!serverGet("/_control/log", &reply)) return -1;
    auto log = json::parse(reply);
    const json::Value* count = log ? log->get("inFlight") : nullptr;
    return count ? count->asInt(-1) : -1;
}

// Waits (bounded) until the server has no request in hand.
inline bool waitUntilServerIdle()
{
    for (int i = 0; i < 100; ++i) {
        if (requestsInFlight() == 0) return true;
        Sleep(20);
    }
    return false;
}

// The bytes of /_bytes/<n>: byte i is i % 251.
inline std::string patternBytes(std::size_t from, std::size_t count)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((from + i) % 251);
    return bytes;
}

class HttpServerTest : public ::testing::Test {
protected:
    void SetUp() override { resetServer(); }
};
