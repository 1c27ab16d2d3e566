#include "net/http_client.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <vector>

#include "core/text.h"
#include "net/async_hop.h"
#include "net/http_text.h"

namespace {

constexpr wchar_t kUserAgent[] =
    L"Mozilla/5.0 (Windows NT 6.1; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/109.0.0.0 Safari/537.36";
constexpr bool kEnableTlsProtocols = true;
constexpr bool kIgnoreCertificateErrors = false;
// WinHTTP would otherwise follow 301/302/307 itself: the caller would then see
// neither the address that really answered (downloads cache it and resume
// there) nor our loop and count rules. Every 3xx goes through our loop.
constexpr bool kPlatformFollowsRedirects = false;

constexpr int kMaxRedirects = 10;
constexpr std::size_t kMaxBufferedBody = 8388608;
constexpr DWORD kReadPiece = 65536;
constexpr DWORD kHeaderBufferBytes = 8192;

constexpr int kResolveTimeoutMs = 10000;
constexpr int kConnectTimeoutMs = 10000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 30000;
constexpr DWORD kSecureProtocols =
    WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
constexpr DWORD kIgnoredCertificateProblems = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE |
                                              SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                              SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
constexpr DWORD kTls13 = 0x2000;  // WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3, missing from older headers
static_assert(kSecureProtocols == 0xA80, "TLS 1.0, 1.1 and 1.2 exactly");
static_assert(kIgnoredCertificateProblems == 0x3300, "unknown CA, usage, name and date");
static_assert(ERROR_WINHTTP_SECURE_INVALID_CA == 12045 && ERROR_WINHTTP_SECURE_CHANNEL_ERROR == 12157 &&
                  ERROR_WINHTTP_SECURE_FAILURE == 12175,
              "the codes reported as TLS failures");

bool aborted(const std::atomic<uint8_t>* abortFlag) { return abortFlag && abortFlag->load() != 0; }

std::wstring withCode(const wchar_t* text, DWORD code) { return text + std::to_wstring(code) + L")"; }

bool isTlsError(DWORD code)
{
    return code == ERROR_WINHTTP_SECURE_INVALID_CA || code == ERROR_WINHTTP_SECURE_CHANNEL_ERROR ||
           code == ERROR_WINHTTP_SECURE_FAILURE;
}

// TLS 1.3 where the platform knows it; older systems refuse the whole value,
// and then get exactly TLS 1.0 to 1.2.
void allowSecureProtocols(HINTERNET session)
{
    DWORD protocols = kSecureProtocols | kTls13;
    if (WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) return;
    protocols = kSecureProtocols;
    WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
}

HttpResult openHop(const UrlParts& parts, const std::wstring& method, const HttpHeaders& headers, AsyncHop& hop,
                   std::wstring& errorText)
{
    if (!hop.openSession(kUserAgent)) {
        errorText = L"网络初始化失败";
        return HttpResult::InitFailed;
    }
    WinHttpSetTimeouts(hop.session(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);
    if (kEnableTlsProtocols) allowSecureProtocols(hop.session());
    if (!hop.openRequest(parts.host, parts.port, method, parts.pathWithQuery, parts.secure)) {
        errorText = L"创建请求失败";
        return HttpResult::InitFailed;
    }
    HINTERNET request = hop.request();
    // WinHttpSetTimeouts does not cover the wait for the response head on
    // every WinHTTP (Wine waits forever there); the receive time-out should.
    DWORD responseTimeout = kReceiveTimeoutMs;
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout, sizeof(responseTimeout));
    if (kIgnoreCertificateErrors) {
        DWORD flags = kIgnoredCertificateProblems;
        WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
    }
    // Nothing outlives the call: a connection kept for reuse would stay open
    // to the server after the request has ended (Wine pools them process-wide).
    DWORD features = WINHTTP_DISABLE_KEEP_ALIVE;
    if (!kPlatformFollowsRedirects) features |= WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof(features));
    for (const auto& header : headers) {
        std::wstring line = header.first + L": " + header.second;
        WinHttpAddRequestHeaders(request, line.c_str(), static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
    }
    return HttpResult::Ok;
}

// Ends the hop: after an abort without waiting (a pending operation may keep
// its connection until it returns); otherwise until its connection is gone.
void endHop(AsyncHop& hop, const std::atomic<uint8_t>* abortFlag) { hop.close(!aborted(abortFlag), abortFlag); }

// Sends the request and waits for the response head. On failure the hop is
// closed before the result is decided.
HttpResult exchange(AsyncHop& hop, const std::string* body, std::wstring& errorText,
                    const std::atomic<uint8_t>* abortFlag)
{
    DWORD code = 0;
    HopWait sent = hop.send(body, code, abortFlag);
    if (sent == HopWait::Completed && !aborted(abortFlag)) {
        HopWait received = hop.receive(code, abortFlag);
        if (received == HopWait::Completed) return HttpResult::Ok;
        endHop(hop, abortFlag);
        if (received == HopWait::Aborted || aborted(abortFlag)) return HttpResult::Cancelled;
        errorText = withCode(L"服务器无响应 (winhttp ", code);
        return HttpResult::SendFailed;
    }
    endHop(hop, abortFlag);
    if (sent != HopWait::Failed || aborted(abortFlag)) return HttpResult::Cancelled;
    errorText = withCode(L"请求发送失败 (winhttp ", code);
    return isTlsError(code) ? HttpResult::TlsFailure : HttpResult::SendFailed;
}

bool queryText(HINTERNET request, DWORD query, std::wstring& value)
{
    std::vector<wchar_t> buffer(kHeaderBufferBytes / sizeof(wchar_t));
    DWORD size = kHeaderBufferBytes;
    if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                             WINHTTP_NO_HEADER_INDEX))
        return false;
    value.assign(buffer.data(), size / sizeof(wchar_t));
    return true;
}

void readHead(HINTERNET request, HttpResponse& response)
{
    std::wstring value;
    if (queryText(request, WINHTTP_QUERY_ETAG, value)) response.etag = wideToUtf8(value);
    if (queryText(request, WINHTTP_QUERY_LAST_MODIFIED, value)) response.lastModified = wideToUtf8(value);
    if (queryText(request, WINHTTP_QUERY_CONTENT_LENGTH, value) && !value.empty())
        response.contentLength = leadingDecimal(value);
    if (queryText(request, WINHTTP_QUERY_CONTENT_RANGE, value) && !value.empty()) {
        response.hasContentRange = true;
        response.rangeFirst = contentRangeFirst(value);
        int64_t total = contentRangeTotal(value);
        if (total >= 0) response.totalLength = total;
    }
}

// Reads the body to its end, into the sink or into response.body. Ok means the
// whole body arrived; a partly buffered body is dropped on any other result.
HttpResult readBody(AsyncHop& hop, const DataSink& sink, HttpResponse& response, std::wstring& errorText,
                    const std::atomic<uint8_t>* abortFlag)
{
    std::string buffered;
    for (;;) {
        if (aborted(abortFlag)) return HttpResult::Cancelled;
        DWORD available = 0;
        DWORD code = 0;
        HopWait asked = hop.queryAvailable(available, code, abortFlag);
        if (asked == HopWait::Aborted) return HttpResult::Cancelled;
        if (asked == HopWait::Failed) {
            errorText = withCode(L"读取数据失败 (winhttp ", code);
            return HttpResult::ReadFailed;
        }
        if (available == 0) {
            if (!sink) response.body = std::move(buffered);
            return HttpResult::Ok;
        }
        const unsigned char* data = nullptr;
        DWORD read = 0;
        HopWait got = hop.read(std::min(available, kReadPiece), data, read, code, abortFlag);
        if (got == HopWait::Aborted) return HttpResult::Cancelled;
        if (got == HopWait::Failed || read == 0) {
            errorText = withCode(L"读取数据中断 (winhttp ", code);
            return HttpResult::ReadFailed;
        }
        if (sink) {
            if (!sink(data, read)) return HttpResult::Cancelled;
        } else {
            buffered.append(reinterpret_cast<const char*>(data), read);
            if (buffered.size() > kMaxBufferedBody) {
                errorText = L"响应过大";
                return HttpResult::ReadFailed;
            }
        }
    }
}

}  // namespace

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
    std::wstring currentUrl = url;
    int allowance = kMaxRedirects + 1;
    for (;;) {
        if (aborted(abortFlag)) return HttpResult::Cancelled;
        UrlParts parts;
        if (!splitUrl(currentUrl, parts)) {
            errorText = L"地址无效";
            return HttpResult::BadUrl;
        }
        AsyncHop hop(heldUntilClosed);
        HttpResult opened = openHop(parts, method, headers, hop, errorText);
        if (opened != HttpResult::Ok) return opened;
        HttpResult exchanged = exchange(hop, body, errorText, abortFlag);
        if (exchanged != HttpResult::Ok) return exchanged;
        if (aborted(abortFlag)) {
            endHop(hop, abortFlag);
            return HttpResult::Cancelled;
        }

        DWORD status = 0;
        DWORD statusSize = sizeof(status);
        if (!WinHttpQueryHeaders(hop.request(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX))
            status = 0;

        std::wstring location;
        if (status >= 300 && status <= 399 && queryText(hop.request(), WINHTTP_QUERY_LOCATION, location) &&
            !location.empty()) {
            std::wstring next = redirectTarget(location, parts);
            endHop(hop, abortFlag);
            if (next == currentUrl) {
                errorText = L"重定向死循环";
                return HttpResult::RedirectFailed;
            }
            currentUrl = next;
            if (--allowance == 0) {
                errorText = L"重定向次数过多";
                return HttpResult::RedirectFailed;
            }
            continue;
        }

        response.status = status;
        response.finalUrl = currentUrl;
        readHead(hop.request(), response);
        HttpResult bodyResult = HttpResult::Ok;
        if (sink || status <= 499) bodyResult = readBody(hop, sink, response, errorText, abortFlag);
        endHop(hop, abortFlag);
        if (bodyResult != HttpResult::Ok) return bodyResult;
        if (status >= 400) {
            errorText = L"HTTP " + std::to_wstring(status);
            return HttpResult::HttpError;
        }
        return HttpResult::Ok;
    }
}
