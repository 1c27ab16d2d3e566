#pragma once
// The program's only road to the network: one blocking WinHTTP request that
// follows redirects itself, buffers the body or streams it to a sink.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

enum class HttpResult : int32_t {
    Ok = 0, BadUrl = 1, InitFailed = 2, SendFailed = 3, ReadFailed = 4,
    RedirectFailed = 5, Cancelled = 6, HttpError = 7, TlsFailure = 8
};

struct HttpResponse {
    uint32_t status = 0;
    int64_t contentLength = -1;
    int64_t totalLength = -1;
    int64_t rangeFirst = -1;  // first byte a Content-Range names; -1 when there is none
    bool hasContentRange = false;
    std::string body;
    std::wstring finalUrl;
};

// Receives the body piece by piece (at most 64 KiB each); false stops the call.
using DataSink = std::function<bool(const unsigned char* data, unsigned long size)>;
using HttpHeaders = std::vector<std::pair<std::wstring, std::wstring>>;

struct UrlParts {
    bool secure;
    std::wstring scheme;
    std::wstring host;
    uint16_t port;
    std::wstring pathWithQuery;
};

bool splitUrl(const std::wstring& url, UrlParts& out);

struct HttpClient {
    // A null body sends none; an empty sink buffers the body (8 MiB at most).
    // errorText is replaced on failure and left alone on Ok and Cancelled.
    // Safe on any thread; nothing is shared between calls.
    static HttpResult request(const std::wstring& url, const HttpHeaders& headers,
                              const std::string* body, const std::wstring& method,
                              const DataSink& sink, HttpResponse& response,
                              std::wstring& errorText, const std::atomic<uint8_t>* abortFlag);
    // Closes the request handle of every call running with this abort flag, so
    // that a call blocked on a silent server returns now. Set the flag first;
    // the calls then end as Cancelled. Any thread.
    static void abort(const std::atomic<uint8_t>* abortFlag);
};
