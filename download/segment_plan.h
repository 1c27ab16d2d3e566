#pragma once
// How a large file is shared among several connections: whether it is, which
// spans are still to fetch, which span a free connection takes, whether an
// answer's body may be written, and when an attempt counts as progress.
// Platform-free.
//
// Progress: an attempt counts as progress when the span it worked on moved at
// least kProgressBytes since the last attempt on that span that counted (a
// span split off starts from its first byte). The count of attempts without
// progress belongs to the task: kMaxAttempts in a row end it, and the wait
// before a span is tried again follows that count. While the count is above
// 0 the task opens no further connection: after a failure it goes on with
// the connections it has, and with one when none is left, so an outage meets
// one connection and the single stream's waits.

#include <cstdint>
#include <memory>
#include <vector>

#include "download/task_list.h"
#include "download/transfer_decision.h"

constexpr int64_t kSegmentedMinimum = 8 * 1024 * 1024;  // smaller files come as one stream
constexpr int kMaxSegments = 4;                          // connections of one task at most
constexpr int64_t kSplitRemainder = 2 * 1024 * 1024;     // a span is split only with more than this to go

// Several connections only when ranges are honoured, the file is large
// enough, and its part file may have the server's size without the server's
// word alone: the catalog gives that size, or it gives none and the part
// file of an earlier run already has that length (partFileLength < 0: none
// to continue).
bool usesSegments(bool rangesHonoured, int64_t size, int64_t catalogSize, int64_t partFileLength);

int64_t bytesIn(const std::vector<ByteSpan>& spans);
// The spans ascending, cut to [0, length), touching or overlapping ones joined.
std::vector<ByteSpan> normalizedSpans(std::vector<ByteSpan> spans, int64_t length);

// Whether the body of an answer to a segment's request may be written at
// attemptStart: a 206 for exactly that byte, for a file of this size and
// version. A 206 without its total cannot prove the size and counts as
// another size.
BodyUse checkSegmentBody(int64_t attemptStart, const FileVersion& version, const AttemptAnswer& answer,
                         int64_t size);

// The size a task starts again with when a segment's answer restarted it:
// the size the answer names (a new total, or the length of a whole body);
// when it names none, 0 (unknown) only for a file that changed (the request
// carried If-Range), else the confirmed size stays, so that a cut stream of
// unstated length can never pass for the whole file.
int64_t sizeAfterRestart(int64_t newSize, const AttemptAnswer& answer, bool versionKnown, int64_t size);

// One span being fetched.
struct SegmentWork {
    int64_t start = 0;     // bytes [start, position) of the span are held
    int64_t position = 0;  // the next byte to fetch
    int64_t end = 0;       // one past its last byte; lowered when the rest is split off
    int64_t mark = 0;      // position when an attempt on it last counted as progress
    bool running = false;
    uint64_t dueMs = 0;    // while idle: not tried again before this tick
};

enum class AttemptOutcome {
    Done,       // the span is complete
    Again,      // progress: tried again at once
    Wait,       // no progress: tried again after the wait
    Exhausted,  // kMaxAttempts in a row without progress
};

class SegmentBoard {
public:
    // The file's size and the bytes held already; what is missing is cut into
    // at most kMaxSegments spans, the largest halved while over kSplitRemainder.
    SegmentBoard(int64_t size, const std::vector<ByteSpan>& held);

    bool complete() const { return works_.empty(); }
    std::vector<ByteSpan> held() const;
    int running() const;
    int failedAttempts() const { return failed_; }

    // When nothing runs: the idle span of lowest offset whose wait is over.
    SegmentWork* firstWork(uint64_t now);
    // Whether one more connection has something worth taking: the task had no
    // attempt without progress since the last one with, fewer than
    // kMaxSegments run, and a span waits idle or a running one has more than
    // kSplitRemainder to go.
    bool extraWanted(uint64_t now) const;
    // Takes that work: the idle span of lowest offset, else the second half
    // of the running span with the most to go. Null when extraWanted is false.
    SegmentWork* takeExtra(uint64_t now);
    // The tick when an idle span may be tried next; UINT64_MAX when none is idle.
    uint64_t nextDue() const;

    void started(SegmentWork& work) { work.running = true; }
    // An attempt on work ended (its bytes are counted in position); work is
    // gone when Done. waitStepMs is the length of one 100 ms step of the wait.
    AttemptOutcome attemptEnded(SegmentWork& work, uint64_t now, uint64_t waitStepMs);
    // An attempt stopped to give its connection to another task: no count.
    void stopped(SegmentWork& work, uint64_t now);

private:
    void remove(SegmentWork& work);
    void insert(std::unique_ptr<SegmentWork> work);

    int64_t size_;
    std::vector<ByteSpan> done_;
    std::vector<std::unique_ptr<SegmentWork>> works_;  // ascending by start
    int failed_ = 0;
};
