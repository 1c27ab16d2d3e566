// A large file over several connections at once, all driven by the task's
// worker thread. Each connection is an HttpCall woken through the worker's one
// HopWaker; each writes its own span of the pre-sized part file at explicit
// offsets through the worker's one file handle, from that one thread, so no
// two writes can meet. The rules of the single stream hold per answer: a 206
// for exactly the byte asked, of the file's total and version (If-Range on
// every request when the version is known), or nothing is written.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "core/app_messages.h"
#include "core/text.h"
#include "download/download_manager.h"
#include "download/segment_plan.h"
#include "download/transfer_shared.h"
#include "net/http_call.h"

namespace {

// How often the worker looks at the task's stop flag while it waits.
constexpr uint64_t kPollMs = 50;
// Bytes that arrived go into the task list at most this often, flushed first.
constexpr ULONGLONG kFlushIntervalMs = 2000;

// One attempt on one span.
struct Connection {
    SegmentWork* work = nullptr;
    std::atomic<uint8_t> stop{0};  // the call's own abort flag
    bool yielded = false;          // stopped for another task's first request
    bool throughUrl = false;
    int64_t attemptStart = 0;
    bool checked = false;  // the answer's head was judged at its first block
    bool writeFailed = false;
    AttemptAnswer answer;
    HttpResponse response;
    std::wstring clientError;
    std::unique_ptr<HttpCall> call;  // last: gone before what it writes into
};

bool writeAt(HANDLE file, int64_t offset, const unsigned char* data, DWORD count)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    return WriteFile(file, data, count, &written, &at) && written == count;
}

}  // namespace

class SegmentedTransfer {
public:
    SegmentedTransfer(DownloadManager& manager, Task* task, const FileVersion& version,
                      const std::vector<ByteSpan>& held)
        : manager_(manager), task_(task), url_(utf8ToWide(task->url)), size_(task->size.load()),
          version_(version), held_(held), board_(size_, held)
    {
    }

    SegmentsEnd run();

private:
    bool openPartFile();
    // Judges an ended attempt; false when the transfer ends with `end`.
    bool judge(Connection& connection, SegmentsEnd& end);
    void fillAnswer(Connection& connection);
    // Starts what the board and the gate allow; false when the task was
    // stopped while it waited for its first slot.
    bool startConnections();
    void start(SegmentWork& work, RequestSlot slot);
    bool receive(Connection& connection, const unsigned char* data, unsigned long count);
    void yieldIfAsked();
    void showRetries();
    // The held spans go to the task list, the part file's data flushed first.
    void publish();
    SegmentsEnd stopAll(SegmentsEnd end);

    DownloadManager& manager_;
    Task* const task_;
    const std::wstring url_;
    const int64_t size_;
    const FileVersion version_;
    const std::vector<ByteSpan> held_;
    SegmentBoard board_;
    UniqueFile file_;
    const std::shared_ptr<HopWaker> waker_ = std::make_shared<HopWaker>();
    std::vector<std::unique_ptr<Connection>> connections_;
    bool unflushed_ = false;
    ULONGLONG lastFlush_ = GetTickCount64();
};

SegmentsEnd DownloadManager::downloadSegments(Task* task, const FileVersion& version,
                                              const std::vector<ByteSpan>& held)
{
    return SegmentedTransfer(*this, task, version, held).run();
}

bool SegmentedTransfer::openPartFile()
{
    // A new start never keeps an old part file, and the list stops claiming
    // its bytes before it is cut.
    const bool fresh = held_.empty();
    task_->received = bytesIn(held_);
    task_->setResumePoint({size_, held_, version_});
    if (fresh)
        manager_.recordBeforeCutting();
    else
        manager_.recordNow();
    file_.reset(CreateFileW(task_->partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            fresh ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        task_->setError(fresh ? kTextCannotCreate : kTextCannotOpen);
        return false;
    }
    // The size is trusted (usesSegments): every span has its place at once.
    markSparse(file_.get());
    setPartFileLength(file_.get(), size_);
    return true;
}

SegmentsEnd SegmentedTransfer::run()
{
    if (!openPartFile()) return SegmentsEnd::Failed;
    for (;;) {
        if (task_->cancelRequested.load()) return stopAll(SegmentsEnd::Stopped);
        bool ready = false;
        for (size_t i = 0; i < connections_.size();) {
            const CallStep step = connections_[i]->call->advance();
            if (step != CallStep::Done) {
                ready = ready || step == CallStep::Ready;
                ++i;
                continue;
            }
            const std::unique_ptr<Connection> ended = std::move(connections_[i]);
            connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(i));
            SegmentsEnd end = SegmentsEnd::Complete;
            if (!judge(*ended, end)) return stopAll(end);
        }
        if (board_.complete()) {
            publish();
            return SegmentsEnd::Complete;
        }
        if (unflushed_ && GetTickCount64() - lastFlush_ >= kFlushIntervalMs) publish();
        yieldIfAsked();
        if (!startConnections()) return stopAll(SegmentsEnd::Stopped);
        if (ready) continue;
        uint64_t wait = kPollMs;
        if (connections_.empty()) {
            const uint64_t now = GetTickCount64();
            const uint64_t due = board_.nextDue();
            wait = due <= now ? 1 : std::min(wait, due - now);
        }
        waker_->wait(std::chrono::milliseconds(wait));
    }
}

bool SegmentedTransfer::startConnections()
{
    if (connections_.empty()) {
        SegmentWork* work = board_.firstWork(GetTickCount64());
        if (!work) return true;
        // The task's first connection waits for a slot like any request,
        // before the extra connections of every task.
        RequestSlot slot = manager_.acquireSlot(task_);
        if (!slot) return false;
        start(*work, std::move(slot));
    }
    const uint64_t now = GetTickCount64();
    while (board_.extraWanted(now)) {
        RequestSlot slot = manager_.gate.tryAcquireExtra(task_);
        if (!slot) break;
        start(*board_.takeExtra(now), std::move(slot));
    }
    return true;
}

void SegmentedTransfer::start(SegmentWork& work, RequestSlot slot)
{
    board_.started(work);
    auto connection = std::make_unique<Connection>();
    Connection* c = connection.get();
    c->work = &work;
    c->attemptStart = work.position;
    const std::wstring address = attemptAddress(task_, url_);
    c->throughUrl = address == url_;
    HttpHeaders headers{{L"Range", rangeValue(work.position, work.end - 1)}};
    // Every span is of one version: a server whose file changed answers with
    // the whole new one instead of a piece of it.
    if (version_.known()) headers.emplace_back(L"If-Range", utf8ToWide(version_.value));
    const DataSink sink = [this, c](const unsigned char* data, unsigned long count) {
        return receive(*c, data, count);
    };
    c->call = std::make_unique<HttpCall>(address, std::move(headers), nullptr, L"GET", sink, c->response,
                                         c->clientError, &c->stop, std::move(slot), waker_);
    connections_.push_back(std::move(connection));
}

bool SegmentedTransfer::receive(Connection& c, const unsigned char* data, unsigned long count)
{
    // The body of an error answer is never part of the file; it is read
    // through so that the answer is judged by its status.
    if (c.response.status >= 400) return true;
    SegmentWork& work = *c.work;
    if (!c.checked) {
        c.checked = true;
        fillAnswer(c);
        switch (checkSegmentBody(c.attemptStart, version_, c.answer, size_)) {
        case BodyUse::Write: break;
        case BodyUse::WrongStart: c.answer.wrongStart = true; return false;
        case BodyUse::ChangedTotal: c.answer.changedTotal = true; return false;
        case BodyUse::ChangedVersion: c.answer.changedVersion = true; return false;
        case BodyUse::RangeRefused:
        case BodyUse::Replace: c.answer.rangeRefused = true; return false;
        }
    }
    // A span split meanwhile ends earlier than the range asked for.
    const DWORD take = static_cast<DWORD>(std::min<int64_t>(count, work.end - work.position));
    if (take > 0 && !writeAt(file_.get(), work.position, data, take)) {
        c.writeFailed = true;
        return false;
    }
    work.position += take;
    task_->received.fetch_add(take);
    unflushed_ = true;
    return work.position < work.end;
}

void SegmentedTransfer::fillAnswer(Connection& c)
{
    c.answer.result = c.call ? c.call->result() : HttpResult::Ok;
    readAnswerHead(c.answer, c.response);
}

bool SegmentedTransfer::judge(Connection& c, SegmentsEnd& end)
{
    SegmentWork& work = *c.work;
    const uint64_t now = GetTickCount64();
    if (c.writeFailed) {
        task_->setError(kTextWriteFailed);
        end = SegmentsEnd::Failed;
        return false;
    }
    if (c.yielded && work.position < work.end) {
        board_.stopped(work, now);
        return true;
    }
    if (work.position < work.end) {
        fillAnswer(c);
        AttemptRange range;
        range.first = work.start;
        range.last = work.end - 1;
        range.ranged = true;
        range.attemptStart = c.attemptStart;
        range.position = work.position;
        range.version = version_;
        const AttemptDecision decision = decideAttempt(range, c.answer);
        if (decision.rememberFinalUrl) rememberFinalUrl(task_, wideToUtf8(c.response.finalUrl));
        if (decision.staleAddress) markStale(task_, c.throughUrl, wideToUtf8(c.response.finalUrl));
        if (decision.restart) {
            // Never two versions in one file: it comes again from byte 0.
            task_->size = sizeAfterRestart(decision.newSize, c.answer, version_.known(), size_);
            end = SegmentsEnd::Restart;
            return false;
        }
        if (decision.verdict == AttemptVerdict::Fail) {
            if (c.answer.result == HttpResult::TlsFailure) task_->setError(kTextCertificate);
            failTransfer(task_, c.clientError, false);
            end = SegmentsEnd::Failed;
            return false;
        }
    }
    // The attempt retries (or its span is complete): counted per task.
    const uint64_t step = static_cast<uint64_t>(manager_.waitStepMs.load());
    if (board_.attemptEnded(work, now, step) == AttemptOutcome::Exhausted) {
        failTransfer(task_, c.clientError, true);
        end = SegmentsEnd::Failed;
        return false;
    }
    showRetries();
    return true;
}

void SegmentedTransfer::showRetries()
{
    const int failed = board_.failedAttempts();
    if (task_->retries.exchange(failed) != failed) manager_.post(WM_APP_REFRESH, 0);
}

void SegmentedTransfer::yieldIfAsked()
{
    if (connections_.size() < 2 || !manager_.gate.shouldYield(task_)) return;
    // The connection with the most to go gives way; its span waits idle.
    Connection* most = nullptr;
    for (const auto& c : connections_) {
        if (c->yielded) continue;
        if (!most || c->work->end - c->work->position > most->work->end - most->work->position) most = c.get();
    }
    if (!most) return;
    most->yielded = true;
    most->stop = 1;
}

void SegmentedTransfer::publish()
{
    lastFlush_ = GetTickCount64();
    if (!unflushed_ || !FlushFileBuffers(file_.get())) return;
    unflushed_ = false;
    task_->setResumePoint({size_, board_.held(), version_});
    manager_.progressChanged();
}

SegmentsEnd SegmentedTransfer::stopAll(SegmentsEnd end)
{
    // Each call sees its flag, closes its handles and ends without waiting;
    // its slot comes back once its connection is really gone.
    for (const auto& c : connections_) {
        c->stop = 1;
        c->call->advance();
    }
    connections_.clear();
    // What a later run continues from; after a restart nothing is kept.
    if (end != SegmentsEnd::Restart) publish();
    return end;
}
