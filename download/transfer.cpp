// The first half of a download worker: the probe, the part file and the
// resumable ranged transfer.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "core/text.h"
#include "download/download_manager.h"
#include "download/transfer_decision.h"
#include "net/http_client.h"

namespace {

constexpr int kProbeAttempts = 5;
constexpr int kProbeWaitSteps = 5;  // 100 ms steps between probe attempts
constexpr int kMaxAttempts = 13;
constexpr int kStepsPerRetry = 5;   // 500 ms more wait per retry...
constexpr int kMaxWaitSteps = 40;   // ...up to 4000 ms

constexpr int kCancelPollMs = 50;  // how often a worker waiting for its request looks at the cancel flag

const wchar_t kTextInterrupted[] = L"下载中断，请重试";
const wchar_t kTextExhausted[] = L"网络不稳定，重试多次仍失败，请稍后再试";

std::wstring rangeValue(int64_t position, int64_t last)
{
    std::wstring value = L"bytes=" + std::to_wstring(position) + L"-";
    if (last >= 0) value += std::to_wstring(last);
    return value;
}

// The stale-address rule: a final address that answered 403/404/410 is
// remembered, and the next attempt goes back through the original link once.
void markStale(Task* task, bool throughUrl, const std::string& finalUrl)
{
    std::lock_guard<std::mutex> guard(task->urlLock);
    if (throughUrl) {
        task->staleUrls.insert(finalUrl);
        task->resolvedUrl = finalUrl;
    } else if (task->staleUrls.count(finalUrl) == 0) {
        if (!task->resolvedUrl.empty()) task->staleUrls.insert(task->resolvedUrl);
        task->resolvedUrl.clear();
    }
}

void rememberFinalUrl(Task* task, const std::string& finalUrl)
{
    std::lock_guard<std::mutex> guard(task->urlLock);
    if (task->resolvedUrl != finalUrl) task->resolvedUrl = finalUrl;
}

// The length a part file is given before any byte arrives: a size the server
// reported only when the catalog agrees (or says nothing), so that a hostile
// total cannot reserve disk space; 0 lets the file grow as bytes arrive.
int64_t trustedLength(const Task& task, int64_t size)
{
    if (size <= 0) return 0;
    return task.packageSize <= 0 || task.packageSize == size ? size : 0;
}

// Pre-sized once, so resumed writes never extend the file. Results are ignored:
// a file that could not be sized grows as it is written.
void setPartFileLength(HANDLE file, int64_t length)
{
    LARGE_INTEGER end;
    end.QuadPart = length;
    if (SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) SetEndOfFile(file);
}

// A body sink that also sees the answer's status and headers.
using ResponseSink = std::function<bool(const HttpResponse& response, const unsigned char* data, unsigned long size)>;

// The state one engine request shares between the worker and the thread
// that makes the call.
struct RequestCall {
    std::mutex lock;  // held while the sink runs
    std::condition_variable ended;
    bool finished = false;
    bool abandoned = false;  // the worker has gone: the sink must not run again
    HttpResult result = HttpResult::Cancelled;
    HttpResponse response;
    std::wstring errorText;
};

// One GET on a thread of its own, waited for until it ends or the task is
// cancelled. A cancel closes the request handle (HttpClient::abort), which
// ends a blocked call on Windows; where WinHTTP stays blocked anyway (Wine),
// the worker leaves the call behind at once: it ends by itself at the latest
// with its receive time-out and never runs the sink again.
HttpResult requestUntilCancelled(const std::shared_ptr<Task>& task, const std::wstring& url,
                                 const HttpHeaders& headers, const ResponseSink& sink, HttpResponse& response,
                                 std::wstring& errorText)
{
    auto call = std::make_shared<RequestCall>();
    const DataSink guarded = [call, &sink](const unsigned char* data, unsigned long size) {
        std::lock_guard<std::mutex> guard(call->lock);
        return !call->abandoned && sink(call->response, data, size);
    };
    UniqueHandle thread = startDetachedThread([call, task, url, headers, guarded] {
        const HttpResult result = HttpClient::request(url, headers, nullptr, L"GET", guarded, call->response,
                                                      call->errorText, &task->cancelRequested);
        {
            std::lock_guard<std::mutex> guard(call->lock);
            call->result = result;
            call->finished = true;
        }
        call->ended.notify_all();
    });
    if (!thread) {
        errorText = L"网络初始化失败";
        return HttpResult::InitFailed;
    }
    std::unique_lock<std::mutex> guard(call->lock);
    while (!call->finished) {
        if (task->cancelRequested.load()) {
            call->abandoned = true;
            return HttpResult::Cancelled;
        }
        call->ended.wait_for(guard, std::chrono::milliseconds(kCancelPollMs));
    }
    response = call->response;
    if (!call->errorText.empty()) errorText = call->errorText;
    return call->result;
}

bool failTransfer(Task* task, const std::wstring& clientError, bool exhausted)
{
    std::wstring text = task->error();
    if (exhausted)
        text = kTextExhausted;
    else if (text.empty())
        text = clientError.empty() ? std::wstring(kTextInterrupted) : clientError;
    task->setError(text);
    return false;
}

}  // namespace

void DownloadManager::run(std::shared_ptr<Task> owner)
{
    Task* task = owner.get();
    const std::wstring url = utf8ToWide(task->url);

    // The probe: one byte, to learn the size and whether ranges are honoured.
    HttpResponse probe;
    std::wstring probeError;
    bool probed = false;
    for (int attempt = 0; attempt < kProbeAttempts && !probed; ++attempt) {
        probe = HttpResponse();
        const HttpHeaders headers{{L"Range", L"bytes=0-0"}};
        const ResponseSink stopAtOnce = [](const HttpResponse&, const unsigned char*, unsigned long) { return false; };
        if (!acquireSlot(task)) return;
        const HttpResult result = requestUntilCancelled(owner, url, headers, stopAtOnce, probe, probeError);
        releaseSlot();
        if (task->cancelRequested.load()) return;
        probed = result == HttpResult::Ok || result == HttpResult::Cancelled;
        if (!probed && !pause(task, kProbeWaitSteps)) return;
    }
    if (!probed) {
        failTask(task, probeError.empty() ? std::wstring(L"连接失败") : probeError);
        return;
    }

    const bool rangesHonoured = probe.hasContentRange && probe.status == 206;
    if (rangesHonoured) {
        if (probe.totalLength >= 1) task->size = probe.totalLength;
    } else if (probe.status == 200 && probe.contentLength > 0) {
        task->size = probe.contentLength;
    }
    if (!probe.finalUrl.empty()) {
        std::lock_guard<std::mutex> guard(task->urlLock);
        task->resolvedUrl = wideToUtf8(probe.finalUrl);
    }

    const int64_t size = task->size.load();
    {
        // A new run never resumes an old part file.
        UniqueFile file(CreateFileW(task->partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            failTask(task, L"无法创建下载文件");
            return;
        }
        setPartFileLength(file.get(), trustedLength(*task, size));
    }

    const bool complete = downloadPart(task, 0, size > 0 ? size - 1 : -1, rangesHonoured && size > 0, true);
    if (task->cancelRequested.load()) return;
    if (!complete) {
        const std::wstring text = task->error();
        failTask(task, text.empty() ? std::wstring(kTextInterrupted) : text);
        return;
    }
    finish(task);
}

bool DownloadManager::downloadPart(Task* task, int64_t first, int64_t last, bool ranged, bool whole)
{
    const std::wstring url = utf8ToWide(task->url);
    int64_t position = first;
    int failedAttempts = 0;
    bool resizeFile = false;  // the size changed: the part file's length follows before the next attempt
    for (;;) {
        std::wstring address;
        {
            std::lock_guard<std::mutex> guard(task->urlLock);
            address = task->resolvedUrl.empty() ? url : utf8ToWide(task->resolvedUrl);
        }
        const bool throughUrl = address == url;
        HttpHeaders headers;
        if (ranged) headers.emplace_back(L"Range", rangeValue(position, last));

        // The slot first: a worker that waits for one holds no file open, so
        // clearFinished can delete the part file of a task cancelled meanwhile.
        if (!acquireSlot(task)) return false;
        UniqueFile file(CreateFileW(task->partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            releaseSlot();
            task->setError(L"无法打开下载文件");
            return false;
        }
        const bool resized = resizeFile;
        if (resizeFile) {
            setPartFileLength(file.get(), whole ? trustedLength(*task, last + 1) : position);
            resizeFile = false;
        }
        if (position > 0 || resized) {
            LARGE_INTEGER offset;
            offset.QuadPart = position;
            if (!SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN)) {
                releaseSlot();
                task->setError(L"定位写入失败");
                return false;
            }
        }

        AttemptRange range;
        range.first = first;
        range.last = last;
        range.ranged = ranged;
        range.whole = whole;
        range.attemptStart = position;
        const int64_t attemptStart = position;
        bool writeFailed = false;
        AttemptAnswer answer;
        bool bodyChecked = false;
        HttpResponse response;
        std::wstring clientError;
        // The client fills the status and headers before it hands over the first block.
        const ResponseSink sink = [&](const HttpResponse& head, const unsigned char* data, unsigned long count) {
            if (task->cancelRequested.load()) return false;
            // The body of an error answer is never part of the file. It is read
            // through rather than refused, so the answer is judged by its status
            // (a refused body would count as a broken connection).
            if (head.status >= 400) return true;
            if (!bodyChecked) {
                bodyChecked = true;
                answer.status = head.status;
                answer.contentLength = head.contentLength;
                answer.totalLength = head.totalLength;
                answer.rangeFirst = head.rangeFirst;
                switch (checkBody(range, answer, task->size.load())) {
                case BodyUse::Write: break;
                case BodyUse::RangeRefused: answer.rangeRefused = true; return false;
                case BodyUse::WrongStart: answer.wrongStart = true; return false;
                case BodyUse::ChangedTotal: answer.changedTotal = true; return false;
                }
            }
            // Never more than the range holds: the file keeps its known size.
            if (last >= 0 && position + static_cast<int64_t>(count) > last + 1) {
                answer.overrun = true;
                return false;
            }
            DWORD written = 0;
            if (!WriteFile(file.get(), data, count, &written, nullptr) || written != count) {
                writeFailed = true;
                return false;
            }
            task->received.fetch_add(count);
            position += count;
            return true;
        };
        const HttpResult result =
            requestUntilCancelled(task->shared_from_this(), address, headers, sink, response, clientError);
        releaseSlot();
        file.reset();

        if (task->cancelRequested.load()) return false;
        if (writeFailed) {
            task->setError(L"磁盘写入失败");
            return false;
        }

        range.position = position;
        answer.result = result;
        answer.status = response.status;
        answer.contentLength = response.contentLength;
        answer.totalLength = response.totalLength;
        answer.rangeFirst = response.rangeFirst;
        answer.hasContentRange = response.hasContentRange;
        answer.hasFinalUrl = !response.finalUrl.empty();
        const AttemptDecision decision = decideAttempt(range, answer);

        if (decision.rememberFinalUrl) rememberFinalUrl(task, wideToUtf8(response.finalUrl));
        if (decision.newSize > 0 && decision.newSize != task->size.load()) {
            task->size = decision.newSize;
            if (whole && last >= 0) {
                last = first + decision.newSize - 1;
                resizeFile = true;
            }
        }
        if (decision.staleAddress) markStale(task, throughUrl, wideToUtf8(response.finalUrl));
        if (decision.restart && position > first) {
            task->received.fetch_sub(position - first);
            position = first;
        }
        // Bytes of the abandoned attempt must not outlive it behind a shorter body.
        if (decision.restart && whole) resizeFile = true;
        if (decision.verdict == AttemptVerdict::Complete) return true;
        if (decision.verdict == AttemptVerdict::Fail) return failTransfer(task, clientError, false);

        if (position > attemptStart) {
            // Bytes kept: the connection is worth trying again at once, and only
            // attempts that bring nothing count towards giving up.
            failedAttempts = 0;
            if (task->retries.exchange(0) != 0) post(WM_APP_REFRESH, 0);
            continue;
        }
        ++failedAttempts;
        if (failedAttempts >= kMaxAttempts) return failTransfer(task, clientError, true);
        task->retries.exchange(failedAttempts);
        post(WM_APP_REFRESH, 0);
        if (!pause(task, std::min(kStepsPerRetry * failedAttempts, kMaxWaitSteps))) return false;
    }
}
