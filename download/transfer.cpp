// The first half of a download worker: the probe, the part file and the
// resumable ranged transfer.

#include <algorithm>
#include <functional>
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
constexpr DWORD kTakeOverPollMs = 100;  // how often a continuation waiting for the old worker looks at its flag

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

// -1 when the file is not there.
int64_t partFileLength(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Hands the task list byte counts the part file is known to hold: the file's
// data goes to the disk first (at most every 2 s while bytes arrive), so
// that after a power cut the list never claims bytes the disk lacks.
class HeldBytes {
public:
    using Announce = std::function<void(bool urgent)>;
    HeldBytes(Task* task, Announce announce) : task_(task), announce_(std::move(announce)), point_(task->resumePoint())
    {
    }

    const FileVersion& version() const { return point_.version; }

    // Nothing is held any more (the bytes are to be written again from
    // first), of a size and version perhaps new: said before any such byte
    // is written.
    void restart(int64_t first, int64_t size, const FileVersion& version)
    {
        const ResumePoint point{size > 0 ? size : 0, first, version};
        if (point.size == point_.size && point.held == point_.held && point.version == point_.version) return;
        point_ = point;
        publish(true);
    }

    // The bytes written so far are of this version.
    void adopt(const FileVersion& version)
    {
        if (point_.version == version) return;
        point_.version = version;
        publish(true);
    }

    void sizeIs(int64_t size)
    {
        size = size > 0 ? size : 0;
        if (point_.size == size) return;
        point_.size = size;
        if (size > 0 && point_.held > size) point_.held = 0;
        publish(true);
    }

    // Bytes up to position were written through file.
    void wrote(HANDLE file, int64_t position)
    {
        if (GetTickCount64() - lastFlush_ >= kFlushIntervalMs) flush(file, position);
    }

    // At once: the transfer stops or is complete.
    void flush(HANDLE file, int64_t position)
    {
        lastFlush_ = GetTickCount64();
        if (position == point_.held || !FlushFileBuffers(file)) return;
        point_.held = position;
        publish(false);
    }

private:
    static constexpr ULONGLONG kFlushIntervalMs = 2000;

    void publish(bool urgent)
    {
        task_->setResumePoint(point_);
        announce_(urgent);
    }

    Task* task_;
    Announce announce_;
    ResumePoint point_;
    ULONGLONG lastFlush_ = GetTickCount64();
};

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
    if (!takeOver(task)) return;
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
        if (!probed && !waitSteps(task, kProbeWaitSteps)) return;
    }
    if (!probed) {
        failTask(task, probeError.empty() ? std::wstring(L"连接失败") : probeError);
        return;
    }

    const bool rangesHonoured = probe.hasContentRange && probe.status == 206;
    // Bytes held from an earlier run are continued only when the probe shows
    // the same file; otherwise the part file starts again from byte 0.
    const ResumePoint held = task->resumePoint();
    int64_t from = 0;
    if (held.held > 0 && mayContinue(held.size, held.version, rangesHonoured, probe.totalLength, probe.etag,
                                     probe.lastModified))
        from = std::min(held.held, std::max<int64_t>(partFileLength(task->partPath), 0));
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
    if (from == 0) {
        // A new start never keeps an old part file.
        UniqueFile file(CreateFileW(task->partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            failTask(task, L"无法创建下载文件");
            return;
        }
        setPartFileLength(file.get(), trustedLength(*task, size));
        task->received = 0;
        task->setResumePoint({size > 0 ? size : 0, 0, {}});
    } else {
        task->received = from;
        task->setResumePoint({size > 0 ? size : 0, from, held.version});
    }
    recordNow();

    const bool complete =
        downloadPart(task, 0, size > 0 ? size - 1 : -1, rangesHonoured && size > 0, true, from);
    if (task->cancelRequested.load()) return;
    if (!complete) {
        const std::wstring text = task->error();
        failTask(task, text.empty() ? std::wstring(kTextInterrupted) : text);
        return;
    }
    finish(task);
}

bool DownloadManager::takeOver(Task* task)
{
    const std::shared_ptr<Task> paused = std::move(task->predecessor);
    const UniqueHandle pausedWorker = std::move(task->predecessorThread);
    if (!paused) return true;
    if (pausedWorker) {
        while (WaitForSingleObject(pausedWorker.get(), kTakeOverPollMs) == WAIT_TIMEOUT)
            if (task->cancelRequested.load()) return false;
    }
    // Its worker has ended: the resume point is final now.
    ResumePoint point = paused->resumePoint();
    // The catalog now names another file than the one whose bytes are held.
    if (!task->md5.empty() && !paused->md5.empty() && task->md5 != paused->md5) point = {point.size, 0, {}};
    task->setResumePoint(point);
    task->received = point.held;
    return true;
}

bool DownloadManager::downloadPart(Task* task, int64_t first, int64_t last, bool ranged, bool whole, int64_t from)
{
    const std::wstring url = utf8ToWide(task->url);
    int64_t position = std::max(first, from);
    int64_t furthest = position;      // the furthest byte the task has held, plus one
    int64_t progressMark = position;  // furthest when an attempt last counted as progress
    int failedAttempts = 0;
    bool resizeFile = false;  // the size changed: the part file's length follows before the next attempt
    HeldBytes held(task, [this](bool urgent) { urgent ? recordNow() : progressChanged(); });
    for (;;) {
        // Every byte of the range is already there (held from an earlier run).
        if (last >= 0 && position > last) return true;
        std::wstring address;
        {
            std::lock_guard<std::mutex> guard(task->urlLock);
            address = task->resolvedUrl.empty() ? url : utf8ToWide(task->resolvedUrl);
        }
        const bool throughUrl = address == url;
        AttemptRange range;
        range.first = first;
        range.last = last;
        range.ranged = ranged;
        range.whole = whole;
        range.attemptStart = position;
        range.version = held.version();
        HttpHeaders headers;
        if (ranged) headers.emplace_back(L"Range", rangeValue(position, last));
        if (sendsIfRange(range)) headers.emplace_back(L"If-Range", utf8ToWide(range.version.value));

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

        bool writeFailed = false;
        AttemptAnswer answer;
        bool bodyChecked = false;
        HttpResponse response;
        std::wstring clientError;
        // The file as it is on the server now replaces the bytes held: written
        // from the first byte, with its own size.
        const auto replaceHeldBytes = [&](const HttpResponse& head) {
            const int64_t newSize = head.contentLength > 0 ? head.contentLength : 0;
            if (position > first) task->received.fetch_sub(position - first);
            position = first;
            range.attemptStart = first;
            last = newSize > 0 ? first + newSize - 1 : -1;
            range.last = last;
            // Without a length there is no range to ask for next time.
            ranged = ranged && newSize > 0;
            range.ranged = ranged;
            task->size = newSize;
            held.restart(first, newSize, answerVersion(head.etag, head.lastModified));
            setPartFileLength(file.get(), trustedLength(*task, newSize));
            LARGE_INTEGER start;
            start.QuadPart = first;
            return SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) != 0;
        };
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
                answer.etag = head.etag;
                answer.lastModified = head.lastModified;
                switch (checkBody(range, answer, task->size.load())) {
                case BodyUse::Write: break;
                case BodyUse::RangeRefused: answer.rangeRefused = true; return false;
                case BodyUse::WrongStart: answer.wrongStart = true; return false;
                case BodyUse::ChangedTotal: answer.changedTotal = true; return false;
                case BodyUse::ChangedVersion: answer.changedVersion = true; return false;
                case BodyUse::Replace:
                    if (!replaceHeldBytes(head)) {
                        writeFailed = true;
                        return false;
                    }
                    break;
                }
                // Bytes held without a known version are of this one from now on.
                if (!held.version().known()) held.adopt(answerVersion(head.etag, head.lastModified));
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
            held.wrote(file.get(), position);
            return true;
        };
        const HttpResult result = HttpClient::request(address, headers, nullptr, L"GET", sink, response, clientError,
                                                      &task->cancelRequested, slot);
        slot.reset();
        // What a later run continues from: at once when the transfer stops here.
        if (task->cancelRequested.load() || (last >= 0 && position > last))
            held.flush(file.get(), position);
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
        if (decision.restart)
            held.restart(first, task->size.load(), {});
        else
            held.sizeIs(task->size.load());
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
        if (!waitSteps(task, std::min(kStepsPerRetry * failedAttempts, kMaxWaitSteps))) return false;
    }
}
