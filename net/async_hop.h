#pragma once
// One hop of an HTTP request over WinHTTP's asynchronous mode, driven from
// the thread that makes the request.
//
// Ownership rule: every WinHTTP call on the hop's handles is made by the
// owning thread, and it closes each handle once, as its last call on it.
// Stopping never touches a handle from another thread: the owner sees the
// abort flag while it waits and closes the handles itself, which is
// asynchronous WinHTTP's documented way to cancel a pending operation.
// WinHTTP's status callbacks make no WinHTTP call; they only record an outcome
// in the hop's shared record and wake the owner. The record (with the read
// buffer and the request body an operation may still use) lives until the last
// of the hop's handles reports HANDLE_CLOSING, so an operation that completes
// after the owner has gone writes into memory that is still there.

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "net/winhttp_handle.h"

struct HopRecord;

// How a wait for a pending operation ended.
enum class HopWait { Completed, Failed, Aborted };

class AsyncHop {
public:
    // heldUntilClosed is kept until every handle of the hop is closed, also
    // when the owner leaves a pending operation behind.
    explicit AsyncHop(std::shared_ptr<void> heldUntilClosed);
    // Closes what is still open without waiting.
    ~AsyncHop();
    AsyncHop(const AsyncHop&) = delete;
    AsyncHop& operator=(const AsyncHop&) = delete;

    // Each false when a handle cannot be opened (or cannot report to the hop).
    bool openSession(const wchar_t* userAgent);
    bool openRequest(const std::wstring& host, uint16_t port, const std::wstring& method,
                     const std::wstring& pathWithQuery, bool secure);
    HINTERNET session() const { return session_.get(); }
    HINTERNET request() const { return request_.get(); }

    // Each starts one operation and waits for it; code is the error number on
    // Failed. The request body is copied into the hop's record.
    HopWait send(const std::string* body, DWORD& code, const std::atomic<uint8_t>* abortFlag);
    HopWait receive(DWORD& code, const std::atomic<uint8_t>* abortFlag);
    HopWait queryAvailable(DWORD& available, DWORD& code, const std::atomic<uint8_t>* abortFlag);
    // On Completed, data points at `got` bytes valid until the next operation.
    HopWait read(DWORD wanted, const unsigned char*& data, DWORD& got, DWORD& code,
                 const std::atomic<uint8_t>* abortFlag);

    // Closes every handle. With waitUntilGone, waits (polling the abort flag)
    // until WinHTTP reports each of them closed, so their connection is gone.
    void close(bool waitUntilGone, const std::atomic<uint8_t>* abortFlag = nullptr);

private:
    bool track(HINTERNET handle);
    // Call before starting an operation: its outcome may be reported before
    // the starting call returns.
    void arm();
    HopWait await(BOOL started, DWORD startError, DWORD& code, const std::atomic<uint8_t>* abortFlag);

    std::shared_ptr<HopRecord> record_;
    UniqueInternet session_;
    UniqueInternet connection_;
    UniqueInternet request_;
};
