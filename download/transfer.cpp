// The first half of a download worker: the probe, the part file and the
// resumable ranged transfer as one stream (a large file over several
// connections: segments.cpp).

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>

#include "core/app_messages.h"
#include "core/text.h"
#include "download/download_manager.h"
#include "download/segment_plan.h"
#include "download/transfer_decision.h"
#include "download/transfer_shared.h"
#include "net/http_client.h"

namespace {

constexpr int kProbeAttempts = 5;
constexpr int kProbeWaitSteps = 5;  // 100 ms steps between probe attempts

// Hands the task list byte counts the part file is known to hold: the file's
// data goes to the disk first (at most every 2 s while bytes arrive), so
// that after a power cut the list never claims bytes the disk lacks.
class HeldBytes {
public:
    // What the list must keep: bytes that arrived, a change nobody sees, or
    // bytes no longer held (on disk before the part file changes).
    enum class Keep { Progress, Change, Forgotten };
    using Announce = std::function<void(Keep)>;
    HeldBytes(Task* task, Announce announce) : task_(task), announce_(std::move(announce)), point_(task->resumePoint())
    {
    }

    const FileVersion& version() const { return point_.version; }

    // Nothing is held any more (the bytes are to be written again from
    // first), of a size and version perhaps new: said before any such byte
    // is written.
    void restart(int64_t first, int64_t size, const FileVersion& version)
    {
        const ResumePoint point{size > 0 ? size : 0, spansFromStart(first), version};
        if (point.size == point_.size && point.spans == point_.spans && point.version == point_.version) return;
        point_ = point;
        publish(Keep::Forgotten);
    }

    // The bytes written so far are of this version.
    void adopt(const FileVersion& version)
    {
        if (point_.version == version) return;
        point_.version = version;
        publish(Keep::Change);
    }

    void sizeIs(int64_t size)
    {
        size = size > 0 ? size : 0;
        if (point_.size == size) return;
        point_.size = size;
        const bool forgotten = size > 0 && heldFromStart(point_.spans) > size;
        if (forgotten) point_.spans.clear();
        publish(forgotten ? Keep::Forgotten : Keep::Change);
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
        if (position == heldFromStart(point_.spans) || !FlushFileBuffers(file)) return;
        point_.spans = spansFromStart(position);
        publish(Keep::Progress);
    }

private:
    static constexpr ULONGLONG kFlushIntervalMs = 2000;

    void publish(Keep keep)
    {
        task_->setResumePoint(point_);
        announce_(keep);
    }

    Task* task_;
    Announce announce_;
    ResumePoint point_;
    ULONGLONG lastFlush_ = GetTickCount64();
};

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
    const bool sameFile = !held.spans.empty() && mayContinue(held.size, held.version, rangesHonoured,
                                                             probe.totalLength, probe.etag, probe.lastModified);
    const int64_t partLength = sameFile ? partFileLength(task->partPath) : -1;
    if (rangesHonoured) {
        if (probe.totalLength >= 1) task->size = probe.totalLength;
    } else if (probe.status == 200 && probe.contentLength > 0) {
        task->size = probe.contentLength;
    }
    if (!probe.finalUrl.empty()) {
        std::lock_guard<std::mutex> guard(task->urlLock);
        task->resolvedUrl = wideToUtf8(probe.finalUrl);
    }

    // A transfer that failed left its text in the task's error.
    const auto failWithItsText = [&] {
        const std::wstring text = task->error();
        failTask(task, text.empty() ? std::wstring(kTextInterrupted) : text);
    };
    int64_t from = sameFile ? std::min(heldFromStart(held.spans), std::max<int64_t>(partLength, 0)) : 0;
    FileVersion version = held.version;
    if (usesSegments(rangesHonoured, task->size.load(), task->packageSize, partLength)) {
        // Held bytes without a known version are taken as the probe's, as
        // the single stream takes them as its first answer's.
        if (!sameFile || !version.known()) version = answerVersion(probe.etag, probe.lastModified);
        const std::vector<ByteSpan> kept =
            sameFile ? normalizedSpans(held.spans, std::min(partLength, task->size.load())) : std::vector<ByteSpan>();
        switch (downloadSegments(task, version, kept)) {
        case SegmentsEnd::Complete: finish(task); return;
        case SegmentsEnd::Stopped: return;
        case SegmentsEnd::Failed: failWithItsText(); return;
        case SegmentsEnd::Restart: break;
        }
        // The file changed on the server, or its ranges are no longer
        // honoured: it comes again from its first byte, as one stream.
        from = 0;
    }

    const int64_t size = task->size.load();
    if (from == 0) {
        // A new start never keeps an old part file, and the list stops
        // claiming its bytes before it is cut.
        task->received = 0;
        task->setResumePoint({size > 0 ? size : 0, {}, {}});
        recordBeforeCutting();
        UniqueFile file(CreateFileW(task->partPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            failTask(task, kTextCannotCreate);
            return;
        }
        setPartFileLength(file.get(), trustedLength(*task, size));
    } else {
        task->received = from;
        task->setResumePoint({size > 0 ? size : 0, spansFromStart(from), version});
        recordNow();
    }

    const bool complete =
        downloadPart(task, 0, size > 0 ? size - 1 : -1, rangesHonoured && size > 0, true, from);
    if (task->cancelRequested.load()) return;
    if (!complete) {
        failWithItsText();
        return;
    }
    finish(task);
}

bool DownloadManager::takeOver(Task* task)
{
    const std::shared_ptr<Task> paused = std::move(task->predecessor);
    const UniqueHandle pausedWorker = std::move(task->predecessorThread);
    if (!paused) return true;
    // Waited for even when this task is stopped meanwhile: this worker must
    // outlive the old one, or a later continuation or download of the same
    // part file would start beside it. The old worker's stop flag is set, so
    // it ends soon.
    if (pausedWorker) WaitForSingleObject(pausedWorker.get(), INFINITE);
    // Its worker has ended: the resume point is final now.
    ResumePoint point = paused->resumePoint();
    // The catalog now names another file than the one whose bytes are held.
    if (!task->md5.empty() && !paused->md5.empty() && task->md5 != paused->md5) point = {point.size, {}, {}};
    task->setResumePoint(point);
    task->received = bytesIn(point.spans);
    return !task->cancelRequested.load();
}

bool DownloadManager::downloadPart(Task* task, int64_t first, int64_t last, bool ranged, bool whole, int64_t from)
{
    const std::wstring url = utf8ToWide(task->url);
    int64_t position = std::max(first, from);
    int64_t furthest = position;      // the furthest byte the task has held, plus one
    int64_t progressMark = position;  // furthest when an attempt last counted as progress
    int failedAttempts = 0;
    bool resizeFile = false;  // the size changed: the part file's length follows before the next attempt
    HeldBytes held(task, [this](HeldBytes::Keep keep) {
        if (keep == HeldBytes::Keep::Progress)
            progressChanged();
        else if (keep == HeldBytes::Keep::Change)
            recordNow();
        else
            recordBeforeCutting();
    });
    for (;;) {
        // Every byte of the range is already there (held from an earlier run).
        if (last >= 0 && position > last) return true;
        const std::wstring address = attemptAddress(task, url);
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
            task->setError(kTextCannotOpen);
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
                readAnswerHead(answer, head);
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
            task->setError(kTextWriteFailed);
            return false;
        }

        range.position = position;
        answer.result = result;
        readAnswerHead(answer, response);
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
        if (!waitSteps(task, retryWaitSteps(failedAttempts))) return false;
    }
}
