#include "download/segment_plan.h"

#include <algorithm>
#include <limits>

bool usesSegments(bool rangesHonoured, int64_t size, int64_t catalogSize, int64_t partFileLength)
{
    if (!rangesHonoured || size < kSegmentedMinimum) return false;
    return catalogSize == size || (catalogSize <= 0 && partFileLength >= size);
}

int64_t bytesIn(const std::vector<ByteSpan>& spans)
{
    int64_t total = 0;
    for (const ByteSpan& span : spans) total += span.end - span.first;
    return total;
}

std::vector<ByteSpan> normalizedSpans(std::vector<ByteSpan> spans, int64_t length)
{
    std::sort(spans.begin(), spans.end(), [](const ByteSpan& a, const ByteSpan& b) { return a.first < b.first; });
    std::vector<ByteSpan> joined;
    for (ByteSpan span : spans) {
        span.first = std::max<int64_t>(span.first, 0);
        span.end = std::min(span.end, length);
        if (span.first >= span.end) continue;
        if (!joined.empty() && span.first <= joined.back().end)
            joined.back().end = std::max(joined.back().end, span.end);
        else
            joined.push_back(span);
    }
    return joined;
}

BodyUse checkSegmentBody(int64_t attemptStart, const FileVersion& version, const AttemptAnswer& answer,
                         int64_t size)
{
    AttemptRange range;
    range.ranged = true;
    range.attemptStart = attemptStart;
    range.version = version;
    const BodyUse use = checkBody(range, answer, size);
    if (use != BodyUse::Write) return use;
    if (answer.totalLength != size) return BodyUse::ChangedTotal;
    // Every span is of one version, the first one included: the others are
    // held or on their way.
    if (version.known() && !sameVersion(version, answer.etag, answer.lastModified)) return BodyUse::ChangedVersion;
    return BodyUse::Write;
}

int64_t sizeAfterRestart(int64_t newSize, const AttemptAnswer& answer, bool versionKnown, int64_t size)
{
    if (answer.rangeRefused && answer.contentLength > 0) return answer.contentLength;
    if (newSize > 0 || versionKnown) return newSize;
    return size;
}

SegmentBoard::SegmentBoard(int64_t size, const std::vector<ByteSpan>& held)
    : size_(size), done_(normalizedSpans(held, size))
{
    std::vector<ByteSpan> missing;
    int64_t from = 0;
    for (const ByteSpan& span : done_) {
        if (span.first > from) missing.push_back({from, span.first});
        from = span.end;
    }
    if (from < size) missing.push_back({from, size});
    // The largest halved while there is room for another connection.
    while (static_cast<int>(missing.size()) < kMaxSegments) {
        auto largest = std::max_element(missing.begin(), missing.end(), [](const ByteSpan& a, const ByteSpan& b) {
            return a.end - a.first < b.end - b.first;
        });
        if (largest == missing.end() || largest->end - largest->first <= kSplitRemainder) break;
        const ByteSpan whole = *largest;
        const int64_t middle = whole.first + (whole.end - whole.first) / 2;
        largest->end = middle;
        missing.insert(largest + 1, ByteSpan{middle, whole.end});
    }
    for (const ByteSpan& span : missing) {
        auto work = std::make_unique<SegmentWork>();
        work->start = work->position = work->mark = span.first;
        work->end = span.end;
        works_.push_back(std::move(work));
    }
}

std::vector<ByteSpan> SegmentBoard::held() const
{
    std::vector<ByteSpan> spans = done_;
    for (const auto& work : works_)
        if (work->position > work->start) spans.push_back({work->start, work->position});
    return normalizedSpans(std::move(spans), size_);
}

int SegmentBoard::running() const
{
    return static_cast<int>(std::count_if(works_.begin(), works_.end(), [](const auto& w) { return w->running; }));
}

SegmentWork* SegmentBoard::firstWork(uint64_t now)
{
    if (running() > 0) return nullptr;
    for (const auto& work : works_)
        if (work->dueMs <= now) return work.get();
    return nullptr;
}

bool SegmentBoard::extraWanted(uint64_t now) const
{
    if (failed_ > 0 || running() == 0 || running() >= kMaxSegments) return false;
    for (const auto& work : works_) {
        if (!work->running && work->dueMs <= now) return true;
        if (work->running && work->end - work->position > kSplitRemainder) return true;
    }
    return false;
}

SegmentWork* SegmentBoard::takeExtra(uint64_t now)
{
    if (!extraWanted(now)) return nullptr;
    SegmentWork* most = nullptr;
    for (const auto& work : works_) {
        if (!work->running && work->dueMs <= now) return work.get();
        if (work->running && (!most || work->end - work->position > most->end - most->position))
            most = work.get();
    }
    // The running span with the most to go keeps its first half.
    const int64_t middle = most->position + (most->end - most->position) / 2;
    auto half = std::make_unique<SegmentWork>();
    half->start = half->position = half->mark = middle;
    half->end = most->end;
    half->dueMs = now;
    most->end = middle;
    SegmentWork* taken = half.get();
    insert(std::move(half));
    return taken;
}

uint64_t SegmentBoard::nextDue() const
{
    uint64_t due = std::numeric_limits<uint64_t>::max();
    for (const auto& work : works_)
        if (!work->running) due = std::min(due, work->dueMs);
    return due;
}

AttemptOutcome SegmentBoard::attemptEnded(SegmentWork& work, uint64_t now, uint64_t waitStepMs)
{
    work.running = false;
    const bool progress = work.position - work.mark >= kProgressBytes;
    if (progress) {
        work.mark = work.position;
        failed_ = 0;
    }
    if (work.position >= work.end) {
        remove(work);
        return AttemptOutcome::Done;
    }
    work.dueMs = now;
    if (progress) return AttemptOutcome::Again;
    if (++failed_ >= kMaxAttempts) return AttemptOutcome::Exhausted;
    work.dueMs = now + static_cast<uint64_t>(retryWaitSteps(failed_)) * waitStepMs;
    return AttemptOutcome::Wait;
}

void SegmentBoard::stopped(SegmentWork& work, uint64_t now)
{
    work.running = false;
    work.dueMs = now;
    if (work.position >= work.end) remove(work);
}

void SegmentBoard::remove(SegmentWork& work)
{
    done_ = normalizedSpans([&] {
        std::vector<ByteSpan> spans = done_;
        spans.push_back({work.start, work.end});
        return spans;
    }(), size_);
    works_.erase(std::find_if(works_.begin(), works_.end(), [&](const auto& w) { return w.get() == &work; }));
}

void SegmentBoard::insert(std::unique_ptr<SegmentWork> work)
{
    auto at = std::find_if(works_.begin(), works_.end(), [&](const auto& w) { return w->start > work->start; });
    works_.insert(at, std::move(work));
}
