#include "net/http_client.h"

#include <windows.h>
#include <winhttp.h>

#include <chrono>

#include "net/http_call.h"

bool splitUrl(const std::wstring& url, UrlParts& out)
{
    static_assert(sizeof(URL_COMPONENTS) == 104, "the x64 layout of URL_COMPONENTS");
    if (url.find(L'\0') != std::wstring::npos) return false;
    // Some WinHTTP builds take everything up to the first '/' as the
    // authority, so a query right after it ("http://h?x=/y", "http://h:81?x")
    // lands in the host name or is lost. Give such a URL its empty path first.
    std::wstring crackable = url;
    std::size_t scheme = url.find(L"://");
    std::size_t authorityEnd = scheme == std::wstring::npos ? scheme : url.find_first_of(L"/?#", scheme + 3);
    if (authorityEnd != std::wstring::npos && url[authorityEnd] != L'/') crackable.insert(authorityEnd, 1, L'/');
    wchar_t host[256];
    wchar_t path[4096];
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 4096;
    // Asked for as a pointer into the URL: the query is then kept out of the
    // path buffer and joined back below.
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(crackable.c_str(), 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (parts.dwHostNameLength == 0) return false;

    UrlParts result;
    result.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    result.scheme = result.secure ? L"https" : L"http";
    result.host.assign(host, parts.dwHostNameLength);
    result.port = parts.nPort;
    result.pathWithQuery.assign(path, parts.dwUrlPathLength);
    std::wstring extra;
    if (parts.lpszExtraInfo && parts.dwExtraInfoLength > 0) extra.assign(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (result.pathWithQuery.empty()) result.pathWithQuery = L"/";
    result.pathWithQuery += extra;
    out = std::move(result);
    return true;
}

HttpResult HttpClient::request(const std::wstring& url, const HttpHeaders& headers, const std::string* body,
                               const std::wstring& method, const DataSink& sink, HttpResponse& response,
                               std::wstring& errorText, const std::atomic<uint8_t>* abortFlag,
                               const std::shared_ptr<void>& heldUntilClosed)
{
    // How often a waiting call looks at its abort flag.
    constexpr std::chrono::milliseconds kAbortPoll{50};
    auto waker = std::make_shared<HopWaker>();
    HttpCall call(url, headers, body, method, sink, response, errorText, abortFlag, heldUntilClosed, waker);
    for (;;) {
        switch (call.advance()) {
        case CallStep::Done: return call.result();
        case CallStep::Waiting: waker->wait(kAbortPoll); break;
        case CallStep::Ready: break;
        }
    }
}
