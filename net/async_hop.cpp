#include "net/async_hop.h"

#include <utility>
#include <vector>

namespace {

constexpr DWORD kReadBufferBytes = 65536;
constexpr DWORD kNotifications = WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES;

bool aborted(const std::atomic<uint8_t>* abortFlag) { return abortFlag && abortFlag->load() != 0; }

}  // namespace

// Shared between the owning thread and WinHTTP's callbacks; guarded by lock.
struct HopRecord {
    std::mutex lock;
    std::shared_ptr<HopWaker> waker;

    bool pending = false;  // an operation was started and has not reported yet
    HopWait outcome = HopWait::Completed;
    DWORD error = 0;
    DWORD count = 0;

    // The handles whose closing is still awaited, by value. A value is only
    // compared with what WinHTTP reports for this record's own handles.
    HINTERNET handles[3] = {};
    int open = 0;
    bool closing = false;  // the owner has closed every handle
    std::shared_ptr<HopRecord> self;  // keeps the record until the last handle is gone
    std::shared_ptr<void> heldUntilClosed;

    std::vector<unsigned char> buffer;  // read target of a pending WinHttpReadData
    std::string body;                   // request body of a pending WinHttpSendRequest

    void report(HopWait how, DWORD errorCode, DWORD bytes)
    {
        if (!pending) return;
        pending = false;
        outcome = how;
        error = errorCode;
        count = bytes;
    }

    // Under lock: once the owner has closed everything and WinHTTP reported
    // every handle gone, hands the last references to the caller to drop.
    void takeLastReferences(std::shared_ptr<HopRecord>& record, std::shared_ptr<void>& held)
    {
        if (!closing || open != 0) return;
        record = std::move(self);
        held = std::move(heldUntilClosed);
    }
};

namespace {

void CALLBACK onStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length)
{
    auto* record = reinterpret_cast<HopRecord*>(context);
    if (!record) return;
    // Dropped after the lock: the record itself, and what the hop held (the
    // download engine's request slot).
    std::shared_ptr<HopRecord> lastReference;
    std::shared_ptr<void> held;
    std::shared_ptr<HopWaker> waker;
    {
        std::lock_guard<std::mutex> guard(record->lock);
        switch (status) {
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: record->report(HopWait::Completed, 0, 0); break;
        case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
            record->report(HopWait::Completed, 0, info ? *static_cast<DWORD*>(info) : 0);
            break;
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE: record->report(HopWait::Completed, 0, length); break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
            record->report(HopWait::Failed, info ? static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError : 0, 0);
            break;
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
            for (HINTERNET& tracked : record->handles) {
                if (tracked && tracked == handle) {
                    tracked = nullptr;
                    --record->open;
                }
            }
            record->takeLastReferences(lastReference, held);
            break;
        default: return;
        }
        waker = record->waker;
    }
    if (waker) waker->notify();
}

}  // namespace

void HopWaker::notify()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        notified_ = true;
    }
    changed_.notify_all();
}

void HopWaker::wait(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, timeout, [this] { return notified_; });
    notified_ = false;
}

AsyncHop::AsyncHop(std::shared_ptr<void> heldUntilClosed, std::shared_ptr<HopWaker> waker)
    : record_(std::make_shared<HopRecord>())
{
    record_->self = record_;
    record_->heldUntilClosed = std::move(heldUntilClosed);
    record_->waker = std::move(waker);
}

AsyncHop::~AsyncHop() { close(); }

bool AsyncHop::track(HINTERNET handle)
{
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(record_.get());
    if (!WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context))) return false;
    std::lock_guard<std::mutex> guard(record_->lock);
    for (HINTERNET& slot : record_->handles) {
        if (!slot) {
            slot = handle;
            ++record_->open;
            return true;
        }
    }
    return false;
}

bool AsyncHop::openSession(const wchar_t* userAgent)
{
    session_.reset(WinHttpOpen(userAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (!session_) return false;
    // Handles opened below inherit the callback. Without it no closing would
    // ever be reported, so such a hop is not used at all.
    if (WinHttpSetStatusCallback(session_.get(), onStatus, kNotifications, 0) == WINHTTP_INVALID_STATUS_CALLBACK)
        return false;
    return track(session_.get());
}

bool AsyncHop::openRequest(const std::wstring& host, uint16_t port, const std::wstring& method,
                           const std::wstring& pathWithQuery, bool secure)
{
    connection_.reset(WinHttpConnect(session_.get(), host.c_str(), port, 0));
    if (!connection_ || !track(connection_.get())) return false;
    request_.reset(WinHttpOpenRequest(connection_.get(), method.c_str(), pathWithQuery.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      secure ? WINHTTP_FLAG_SECURE : 0));
    return request_ && track(request_.get());
}

void AsyncHop::arm()
{
    std::lock_guard<std::mutex> guard(record_->lock);
    record_->pending = true;
    record_->error = 0;
    record_->count = 0;
}

bool AsyncHop::started(BOOL ok, DWORD& code)
{
    if (ok) return true;
    code = GetLastError();
    // A call that fails at once reports nothing later.
    std::lock_guard<std::mutex> guard(record_->lock);
    record_->pending = false;
    return false;
}

bool AsyncHop::startSend(const std::string* body, DWORD& code)
{
    // The platform reads the body until the send completes, maybe after the
    // owner has gone: it lives in the record.
    record_->body = body ? *body : std::string();
    void* data = body ? &record_->body[0] : WINHTTP_NO_REQUEST_DATA;
    const DWORD length = static_cast<DWORD>(record_->body.size());
    arm();
    return started(WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, length, length,
                                      reinterpret_cast<DWORD_PTR>(record_.get())),
                   code);
}

bool AsyncHop::startReceive(DWORD& code)
{
    arm();
    return started(WinHttpReceiveResponse(request_.get(), nullptr), code);
}

bool AsyncHop::startQueryAvailable(DWORD& code)
{
    arm();
    return started(WinHttpQueryDataAvailable(request_.get(), nullptr), code);
}

bool AsyncHop::startRead(DWORD wanted, DWORD& code)
{
    if (record_->buffer.empty()) record_->buffer.resize(kReadBufferBytes);
    if (wanted > kReadBufferBytes) wanted = kReadBufferBytes;
    arm();
    return started(WinHttpReadData(request_.get(), record_->buffer.data(), wanted, nullptr), code);
}

bool AsyncHop::poll(HopWait& outcome, DWORD& code, const std::atomic<uint8_t>* abortFlag)
{
    std::lock_guard<std::mutex> guard(record_->lock);
    if (record_->pending) {
        if (!aborted(abortFlag)) return false;
        outcome = HopWait::Aborted;
        return true;
    }
    outcome = record_->outcome;
    code = record_->error;
    return true;
}

DWORD AsyncHop::count() const
{
    std::lock_guard<std::mutex> guard(record_->lock);
    return record_->count;
}

const unsigned char* AsyncHop::data() const { return record_->buffer.data(); }

void AsyncHop::close()
{
    if (closed_) return;
    closed_ = true;
    // Children before their parents; these are the owner's last calls on them.
    request_.reset();
    connection_.reset();
    session_.reset();
    std::shared_ptr<HopRecord> lastReference;
    std::shared_ptr<void> held;
    std::lock_guard<std::mutex> guard(record_->lock);
    record_->closing = true;
    record_->takeLastReferences(lastReference, held);
}

bool AsyncHop::gone() const
{
    std::lock_guard<std::mutex> guard(record_->lock);
    return record_->open == 0;
}
