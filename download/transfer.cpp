// The first half of a download worker: the probe, the part file and the
// resumable ranged transfer.

#include <algorithm>
#include <memory>
#include <mutex>

#include "core/app_messages.h"
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

// An attempt counts as progress only when the furthest byte the task has held
// moved this far since the last one that did (or the file completed): a
// restart, a refused answer or a trickle does not keep the retries going.
constexpr int64_t kProgressBytes = 65536;

const wchar_t kTextInterrupted[] = L"下载中断，请重试";
const wchar_t kTextExhausted[] = L"网络不稳定，重试多次仍失败，请稍后再试";
const wchar_t kTextCertificate[] = L"服务器证书无效，已停止下载";

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
// reported only when the catalog gives the same one, so that the server's word
// alone never reserves disk space; 0 lets the file grow as bytes arrive.
int64_t trustedLength(const Task& task, int64_t size)
{
    return size > 0 && task.packageSize == size ? size : 0;
}

// Pre-sized once, so resumed writes never extend the file. Results are ignored:
// a file that could not be sized grows as it is written.
void setPartFileLength(HANDLE file, int64_t length)
{
    LARGE_INTEGER end;
    end.QuadPart = length;
    if (SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) SetEndOfFile(file);
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
    // Declared first, so it runs last: every file handle is closed by then.
    const PartFileRelease release{*this, owner};
    const std::wstring url = utf8ToWide(task->url);

    // The probe: one byte, to learn the size and whether ranges are honoured.
    HttpResponse probe;
    std::wstring probeError;
    bool probed = false;
    for (int attempt = 0; attempt < kProbeAttempts && !probed; ++attempt) {
        probe = HttpResponse();
        const HttpHeaders headers{{L"Range", L"bytes=0-0"}};
        const DataSink stopAtOnce = [](const unsigned char*, unsigned long) { return false; };
        RequestSlot slot = acquireSlot(task);
        if (!slot) return;
        const HttpResult result = HttpClient::request(url, headers, nullptr, L"GET", stopAtOnce, probe, probeError,
                                                      &task->cancelRequested, slot);
        slot.reset();
        if (task->cancelRequested.load()) return;
        if (result == HttpResult::TlsFailure) {
            // Another try meets the same certificate.
            failTask(task, kTextCertificate);
            return;
        }
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
    int64_t furthest = first;      // the furthest byte the task has held, plus one
    int64_t progressMark = first;  // furthest when an attempt last counted as progress
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
        RequestSlot slot = acquireSlot(task);
        if (!slot) return false;
        UniqueFile file(CreateFileW(task->partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            task->setError(L"无法打开下载文件");
            return false;
        }
        const bool resized = resizeFile;
        if (resizeFile) {
            // Never below the bytes already held.
            setPartFileLength(file.get(), whole ? std::max(trustedLength(*task, last + 1), position) : position);
            resizeFile = false;
        }
        if (position > 0 || resized) {
            LARGE_INTEGER offset;
            offset.QuadPart = position;
            if (!SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN)) {
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
        bool writeFailed = false;
        AttemptAnswer answer;
        bool bodyChecked = false;
        HttpResponse response;
        std::wstring clientError;
        // The client fills the status and headers before it hands over the first block.
        const HttpResponse& head = response;
        const DataSink sink = [&](const unsigned char* data, unsigned long count) {
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
        const HttpResult result = HttpClient::request(address, headers, nullptr, L"GET", sink, response, clientError,
                                                      &task->cancelRequested, slot);
        slot.reset();
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
        furthest = std::max(furthest, position);
        if (decision.restart && position > first) {
            task->received.fetch_sub(position - first);
            position = first;
        }
        // Bytes of the abandoned attempt must not outlive it behind a shorter body.
        if (decision.restart && whole) resizeFile = true;
        if (decision.verdict == AttemptVerdict::Complete) return true;
        if (decision.verdict == AttemptVerdict::Fail) {
            if (result == HttpResult::TlsFailure) task->setError(kTextCertificate);
            return failTransfer(task, clientError, false);
        }

        if (furthest - progressMark >= kProgressBytes) {
            // Real progress: the connection is worth trying again at once, and
            // the count towards giving up starts afresh.
            progressMark = furthest;
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
