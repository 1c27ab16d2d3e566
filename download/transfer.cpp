// The first half of a download worker: the probe, the part file and the
// resumable ranged transfer.

#include <algorithm>

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
        const DataSink stopAtOnce = [](const unsigned char*, unsigned long) { return false; };
        acquireSlot();
        const HttpResult result =
            HttpClient::request(url, headers, nullptr, L"GET", stopAtOnce, probe, probeError, &task->cancelRequested);
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
        if (size > 0) {
            // Pre-sized once, so resumed writes never extend the file.
            LARGE_INTEGER end;
            end.QuadPart = size;
            SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN);
            SetEndOfFile(file.get());
        }
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
    for (;;) {
        std::wstring address;
        {
            std::lock_guard<std::mutex> guard(task->urlLock);
            address = task->resolvedUrl.empty() ? url : utf8ToWide(task->resolvedUrl);
        }
        const bool throughUrl = address == url;
        HttpHeaders headers;
        if (ranged) headers.emplace_back(L"Range", rangeValue(position, last));

        UniqueFile file(CreateFileW(task->partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            task->setError(L"无法打开下载文件");
            return false;
        }
        if (position > 0) {
            LARGE_INTEGER offset;
            offset.QuadPart = position;
            if (!SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN)) {
                task->setError(L"定位写入失败");
                return false;
            }
        }

        const int64_t attemptStart = position;
        bool writeFailed = false;
        bool rangeRefused = false;
        HttpResponse response;
        std::wstring clientError;
        // The client fills response.status before it hands over the first block.
        const DataSink sink = [&](const unsigned char* data, unsigned long count) {
            if (task->cancelRequested.load()) return false;
            // The body of an error answer is never part of the file. It is read
            // through rather than refused, so the answer is judged by its status
            // (a refused body would count as a broken connection).
            if (response.status >= 400) return true;
            if (ranged && response.status != 206 && !(whole && attemptStart == 0)) {
                rangeRefused = true;
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
        acquireSlot();
        const HttpResult result =
            HttpClient::request(address, headers, nullptr, L"GET", sink, response, clientError, &task->cancelRequested);
        releaseSlot();
        file.reset();

        if (task->cancelRequested.load()) return false;
        if (writeFailed) {
            task->setError(L"磁盘写入失败");
            return false;
        }

        AttemptRange range;
        range.first = first;
        range.last = last;
        range.ranged = ranged;
        range.whole = whole;
        range.attemptStart = attemptStart;
        range.position = position;
        AttemptAnswer answer;
        answer.result = static_cast<int32_t>(result);
        answer.status = response.status;
        answer.contentLength = response.contentLength;
        answer.totalLength = response.totalLength;
        answer.hasContentRange = response.hasContentRange;
        answer.hasFinalUrl = !response.finalUrl.empty();
        answer.rangeRefused = rangeRefused;
        const AttemptDecision decision = decideAttempt(range, answer);

        if (decision.rememberFinalUrl) rememberFinalUrl(task, wideToUtf8(response.finalUrl));
        if (decision.newSize > 0) task->size = decision.newSize;
        if (decision.staleAddress) markStale(task, throughUrl, wideToUtf8(response.finalUrl));
        if (decision.restart && position > first) {
            task->received.fetch_sub(position - first);
            position = first;
        }
        if (decision.verdict == AttemptVerdict::Complete) return true;
        if (decision.verdict == AttemptVerdict::Fail) return failTransfer(task, clientError, false);

        ++failedAttempts;
        if (failedAttempts >= kMaxAttempts) return failTransfer(task, clientError, true);
        task->retries.exchange(failedAttempts);
        post(WM_APP_REFRESH, 0);
        if (!pause(task, std::min(kStepsPerRetry * failedAttempts, kMaxWaitSteps))) return false;
    }
}
