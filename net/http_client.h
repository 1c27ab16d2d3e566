#pragma once
// The program's only road to the network: one blocking WinHTTP request that
// follows redirects itself, buffers the body or streams it to a sink.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
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
    // What identifies the version of the resource answered, as sent (UTF-8);
    // empty when the answer has none.
    std::string etag;
    std::string lastModified;
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
    // Safe on any thread; nothing is shared between calls. The sink runs on
    // the calling thread.
    //
    // abortFlag is this call's stop signal (null: none); any thread may set
    // it, and the call then returns Cancelled within about 50 ms, whatever it
    // waits for. Only the calling thread ever touches the call's handles.
    //
    // The call's connection is closed when it returns, except after an abort:
    // a pending operation may then keep it until it returns (Wine's WinHTTP
    // lets a blocked receive run to its time-out). heldUntilClosed is kept
    // until that connection is really gone.
    static HttpResult request(const std::wstring& url, const HttpHeaders& headers,
                              const std::string* body, const std::wstring& method,
                              const DataSink& sink, HttpResponse& response,
                              std::wstring& errorText, const std::atomic<uint8_t>* abortFlag,
                              const std::shared_ptr<void>& heldUntilClosed = nullptr);
};
