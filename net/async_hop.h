#pragma once
// One hop of an HTTP request over WinHTTP's asynchronous mode, driven from
// the thread that makes the request.
//
// Ownership rule: every WinHTTP call on the hop's handles is made by the
// owning thread, and it closes each handle once, as its last call on it.
// Stopping never touches a handle from another thread: the owner sees the
// abort flag while it polls and closes the handles itself, which is
// asynchronous WinHTTP's documented way to cancel a pending operation.
// WinHTTP's status callbacks make no WinHTTP call; they only record an outcome
// in the hop's shared record and wake the owner. The record (with the read
// buffer and the request body an operation may still use) lives until the last
// of the hop's handles reports HANDLE_CLOSING, so an operation that completes
// after the owner has gone writes into memory that is still there.
//
// Nothing here blocks: an operation is started, and its end is polled for;
// the owner sleeps on a HopWaker, which one thread may share between the hops
// of several requests it drives at once.

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "net/winhttp_handle.h"

struct HopRecord;

// How an operation ended.
enum class HopWait { Completed, Failed, Aborted };

// Wakes the thread that drives one or more hops when any of them has
// something to report. Any thread may notify; one thread waits.
class HopWaker {
public:
    void notify();
    // Returns once notified since the previous wait ended, or after timeout.
    void wait(std::chrono::milliseconds timeout);

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool notified_ = false;
};

class AsyncHop {
public:
    // heldUntilClosed is kept until every handle of the hop is closed, also
    // when the owner leaves a pending operation behind. The waker is notified
    // whenever an operation ends or a handle is reported closed.
    AsyncHop(std::shared_ptr<void> heldUntilClosed, std::shared_ptr<HopWaker> waker);
    // Closes what is still open.
    ~AsyncHop();
    AsyncHop(const AsyncHop&) = delete;
    AsyncHop& operator=(const AsyncHop&) = delete;

    // Each false when a handle cannot be opened (or cannot report to the hop).
    bool openSession(const wchar_t* userAgent);
    bool openRequest(const std::wstring& host, uint16_t port, const std::wstring& method,
                     const std::wstring& pathWithQuery, bool secure);
    HINTERNET session() const { return session_.get(); }
    HINTERNET request() const { return request_.get(); }

    // Each starts one operation; false, with the error number in code, when
    // it could not start (nothing is then pending). The request body is
    // copied into the hop's record.
    bool startSend(const std::string* body, DWORD& code);
    bool startReceive(DWORD& code);
    bool startQueryAvailable(DWORD& code);
    bool startRead(DWORD wanted, DWORD& code);
    // True once the operation started last has ended (outcome, and code on
    // Failed, say how), or at once with Aborted when the abort flag is set.
    bool poll(HopWait& outcome, DWORD& code, const std::atomic<uint8_t>* abortFlag);
    // Of the last completed operation: the bytes available, or those read
    // (valid until the next operation starts).
    DWORD count() const;
    const unsigned char* data() const;

    // Closes every handle; never waits.
    void close();
    // True once WinHTTP has reported every handle of the hop closed, so its
    // connection is gone.
    bool gone() const;

private:
    bool track(HINTERNET handle);
    // Call before starting an operation: its outcome may be reported before
    // the starting call returns.
    void arm();
    bool started(BOOL ok, DWORD& code);

    std::shared_ptr<HopRecord> record_;
    bool closed_ = false;
    UniqueInternet session_;
    UniqueInternet connection_;
    UniqueInternet request_;
};
