#include "net/http_call.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "core/text.h"
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
// Steps one advance() takes at most before the owner's other calls get a turn.
constexpr int kStepsPerTurn = 64;
// With nothing pending the closings come at once; a platform that never
// reported one must not hold the caller for ever (the record then waits alone).
constexpr auto kClosingWait = std::chrono::seconds(5);

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

}  // namespace

HttpCall::HttpCall(std::wstring url, HttpHeaders headers, const std::string* body, std::wstring method,
                   DataSink sink, HttpResponse& response, std::wstring& errorText,
                   const std::atomic<uint8_t>* abortFlag, std::shared_ptr<void> heldUntilClosed,
                   std::shared_ptr<HopWaker> waker)
    : currentUrl_(std::move(url)), headers_(std::move(headers)), hasBody_(body != nullptr),
      body_(body ? *body : std::string()), method_(std::move(method)), sink_(std::move(sink)), response_(response),
      errorText_(errorText), abortFlag_(abortFlag), heldUntilClosed_(std::move(heldUntilClosed)),
      waker_(std::move(waker)), allowance_(kMaxRedirects + 1)
{
}

bool HttpCall::aborted() const { return abortFlag_ && abortFlag_->load() != 0; }

CallStep HttpCall::advance()
{
    for (int turn = 0; turn < kStepsPerTurn; ++turn) {
        if (stage_ == Stage::Done) return CallStep::Done;
        if (!step()) return CallStep::Waiting;
    }
    return stage_ == Stage::Done ? CallStep::Done : CallStep::Ready;
}

bool HttpCall::step()
{
    HopWait outcome = HopWait::Completed;
    DWORD code = 0;
    switch (stage_) {
    case Stage::Open: open(); return true;
    case Stage::Closing: return closing();
    case Stage::Done: return true;
    default: break;
    }
    if (!hop_->poll(outcome, code, abortFlag_)) return false;
    switch (stage_) {
    case Stage::Sending: sent(outcome, code); break;
    case Stage::Receiving: received(outcome, code); break;
    case Stage::Querying: available(outcome, code); break;
    case Stage::Reading: gotPiece(outcome, code); break;
    default: break;
    }
    return true;
}

void HttpCall::finish(HttpResult result)
{
    result_ = result;
    stage_ = Stage::Done;
}

void HttpCall::open()
{
    if (aborted()) return finish(HttpResult::Cancelled);
    if (!splitUrl(currentUrl_, parts_)) {
        errorText_ = L"地址无效";
        return finish(HttpResult::BadUrl);
    }
    hop_ = std::make_unique<AsyncHop>(heldUntilClosed_, waker_);
    const HttpResult opened = openHop(parts_, method_, headers_, *hop_, errorText_);
    if (opened != HttpResult::Ok) {
        hop_.reset();
        return finish(opened);
    }
    DWORD code = 0;
    if (!hop_->startSend(hasBody_ ? &body_ : nullptr, code)) return sent(HopWait::Failed, code);
    stage_ = Stage::Sending;
}

void HttpCall::sent(HopWait outcome, DWORD code)
{
    if (outcome == HopWait::Completed && !aborted()) {
        DWORD receiveCode = 0;
        if (!hop_->startReceive(receiveCode)) return received(HopWait::Failed, receiveCode);
        stage_ = Stage::Receiving;
        return;
    }
    if (outcome != HopWait::Failed) return closeThen(AfterClose::Finish, HttpResult::Cancelled);
    closeThen(AfterClose::FinishUnlessAborted, isTlsError(code) ? HttpResult::TlsFailure : HttpResult::SendFailed,
              withCode(L"请求发送失败 (winhttp ", code));
}

void HttpCall::received(HopWait outcome, DWORD code)
{
    if (outcome == HopWait::Completed) return headArrived();
    if (outcome == HopWait::Aborted) return closeThen(AfterClose::Finish, HttpResult::Cancelled);
    closeThen(AfterClose::FinishUnlessAborted, HttpResult::SendFailed, withCode(L"服务器无响应 (winhttp ", code));
}

void HttpCall::headArrived()
{
    if (aborted()) return closeThen(AfterClose::Finish, HttpResult::Cancelled);
    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    if (!WinHttpQueryHeaders(hop_->request(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX))
        status = 0;
    status_ = status;

    std::wstring location;
    if (status >= 300 && status <= 399 && queryText(hop_->request(), WINHTTP_QUERY_LOCATION, location) &&
        !location.empty()) {
        nextUrl_ = redirectTarget(location, parts_);
        return closeThen(AfterClose::Redirect, HttpResult::Ok);
    }

    response_.status = status;
    response_.finalUrl = currentUrl_;
    readHead(hop_->request(), response_);
    if (sink_ || status <= 499) return askAvailable();
    bodyEnded(HttpResult::Ok);
}

void HttpCall::askAvailable()
{
    if (aborted()) return bodyEnded(HttpResult::Cancelled);
    DWORD code = 0;
    if (!hop_->startQueryAvailable(code)) return available(HopWait::Failed, code);
    stage_ = Stage::Querying;
}

void HttpCall::available(HopWait outcome, DWORD code)
{
    if (outcome == HopWait::Aborted) return bodyEnded(HttpResult::Cancelled);
    if (outcome == HopWait::Failed) {
        errorText_ = withCode(L"读取数据失败 (winhttp ", code);
        return bodyEnded(HttpResult::ReadFailed);
    }
    const DWORD count = hop_->count();
    if (count == 0) {
        if (!sink_) response_.body = std::move(buffered_);
        return bodyEnded(HttpResult::Ok);
    }
    DWORD readCode = 0;
    if (!hop_->startRead(std::min(count, kReadPiece), readCode)) return gotPiece(HopWait::Failed, readCode);
    stage_ = Stage::Reading;
}

void HttpCall::gotPiece(HopWait outcome, DWORD code)
{
    if (outcome == HopWait::Aborted) return bodyEnded(HttpResult::Cancelled);
    const DWORD read = outcome == HopWait::Completed ? hop_->count() : 0;
    if (read == 0) {
        errorText_ = withCode(L"读取数据中断 (winhttp ", code);
        return bodyEnded(HttpResult::ReadFailed);
    }
    if (sink_) {
        if (!sink_(hop_->data(), read)) return bodyEnded(HttpResult::Cancelled);
    } else {
        buffered_.append(reinterpret_cast<const char*>(hop_->data()), read);
        if (buffered_.size() > kMaxBufferedBody) {
            errorText_ = L"响应过大";
            return bodyEnded(HttpResult::ReadFailed);
        }
    }
    askAvailable();
}

void HttpCall::bodyEnded(HttpResult result)
{
    // A partly buffered body is dropped on any end but the normal one.
    if (result != HttpResult::Ok) buffered_.clear();
    if (result == HttpResult::Ok && status_ >= 400) {
        errorText_ = L"HTTP " + std::to_wstring(status_);
        result = HttpResult::HttpError;
    }
    closeThen(AfterClose::Finish, result);
}

void HttpCall::closeThen(AfterClose after, HttpResult result, std::wstring failureText)
{
    afterClose_ = after;
    closeResult_ = result;
    closeText_ = std::move(failureText);
    hop_->close();
    // After an abort nothing waits: a pending operation may keep its
    // connection until it returns (Wine lets a blocked receive run to its
    // time-out), and the slot held until then follows the connection.
    if (aborted()) return closed();
    giveUpClosing_ = std::chrono::steady_clock::now() + kClosingWait;
    stage_ = Stage::Closing;
}

bool HttpCall::closing()
{
    if (!hop_->gone() && !aborted() && std::chrono::steady_clock::now() < giveUpClosing_) return false;
    closed();
    return true;
}

void HttpCall::closed()
{
    hop_.reset();
    switch (afterClose_) {
    case AfterClose::Finish: return finish(closeResult_);
    case AfterClose::FinishUnlessAborted:
        if (aborted()) return finish(HttpResult::Cancelled);
        errorText_ = closeText_;
        return finish(closeResult_);
    case AfterClose::Redirect: break;
    }
    if (nextUrl_ == currentUrl_) {
        errorText_ = L"重定向死循环";
        return finish(HttpResult::RedirectFailed);
    }
    currentUrl_ = nextUrl_;
    if (--allowance_ == 0) {
        errorText_ = L"重定向次数过多";
        return finish(HttpResult::RedirectFailed);
    }
    stage_ = Stage::Open;
}
