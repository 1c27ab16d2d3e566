#pragma once
// One HTTP request driven step by step from the thread that owns it, so that
// one thread can drive several requests at once (a download's segments).
// HttpClient::request is one such call run to its end; the call behaves
// exactly as that function describes.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "net/async_hop.h"
#include "net/http_client.h"

enum class CallStep {
    Done,     // result() is final; the call touches nothing any more
    Waiting,  // WinHTTP must report first: the waker is notified then
    Ready,    // more can be done at once (the call let the others have a turn)
};

class HttpCall {
public:
    // The arguments of HttpClient::request. response, errorText, the abort
    // flag and whatever the sink uses must outlive the call; the sink runs
    // inside advance().
    HttpCall(std::wstring url, HttpHeaders headers, const std::string* body, std::wstring method, DataSink sink,
             HttpResponse& response, std::wstring& errorText, const std::atomic<uint8_t>* abortFlag,
             std::shared_ptr<void> heldUntilClosed, std::shared_ptr<HopWaker> waker);
    HttpCall(const HttpCall&) = delete;
    HttpCall& operator=(const HttpCall&) = delete;

    // Does what can be done without waiting. Only the owning thread calls it.
    CallStep advance();
    HttpResult result() const { return result_; }

private:
    enum class Stage { Open, Sending, Receiving, Querying, Reading, Closing, Done };
    // What follows once the hop's handles are closed.
    enum class AfterClose { Finish, FinishUnlessAborted, Redirect };

    // One step; false while the call waits for WinHTTP.
    bool step();
    void open();
    void sent(HopWait outcome, DWORD code);
    void received(HopWait outcome, DWORD code);
    void headArrived();
    void askAvailable();
    void available(HopWait outcome, DWORD code);
    void gotPiece(HopWait outcome, DWORD code);
    void bodyEnded(HttpResult result);
    // Closes the hop; result (and, unless the call was aborted meanwhile,
    // failureText) once its connection is gone.
    void closeThen(AfterClose after, HttpResult result, std::wstring failureText = std::wstring());
    bool closing();
    void closed();
    void finish(HttpResult result);
    bool aborted() const;

    std::wstring currentUrl_;
    const HttpHeaders headers_;
    const bool hasBody_;
    const std::string body_;
    const std::wstring method_;
    const DataSink sink_;
    HttpResponse& response_;
    std::wstring& errorText_;
    const std::atomic<uint8_t>* const abortFlag_;
    const std::shared_ptr<void> heldUntilClosed_;
    const std::shared_ptr<HopWaker> waker_;

    Stage stage_ = Stage::Open;
    HttpResult result_ = HttpResult::Ok;
    int allowance_;
    UrlParts parts_{};
    std::unique_ptr<AsyncHop> hop_;
    uint32_t status_ = 0;
    std::string buffered_;
    std::wstring nextUrl_;
    AfterClose afterClose_ = AfterClose::Finish;
    HttpResult closeResult_ = HttpResult::Ok;
    std::wstring closeText_;
    std::chrono::steady_clock::time_point giveUpClosing_;
};
