#pragma once
// Which icon fetch runs next and which decoded icons are let go: the loader's
// bookkeeping, free of any platform call. Not thread-safe by itself; the icon
// loader guards its one instance with a mutex.
//
// Records are opaque here. A request keeps its record alive while it waits;
// a record holding a decoded icon is only watched (weakly), so a record the
// catalog drops takes its bitmap with it and is forgotten here.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

// Icon fetches running at once; the rest wait.
constexpr size_t kMaxIconFetches = 8;
// Decoded icons kept; beyond it the least recently drawn are let go.
constexpr size_t kMaxIconBitmaps = 300;

// What a waiting request carries to its worker: owns the record.
using IconJob = std::shared_ptr<void>;

class IconSchedule {
public:
    explicit IconSchedule(size_t maxFetches);

    // A frame starts. Every waiting request whose record was not drawn in the
    // frame that just ended leaves the queue; their jobs are returned so the
    // caller can mark them "not requested". Before the first frame nothing is
    // dropped.
    std::vector<IconJob> beginFrame();
    // The record was drawn now. Unknown records (never requested, or let go) are ignored.
    void noteDrawn(const void* record);

    // A new request for record, counted as drawn now. True: a fetch slot was
    // free and is now taken, run job at once. False: it waits (or the record
    // already waits or runs, and job is let go).
    bool request(const std::shared_ptr<void>& record, IconJob job);
    // The fetch for record ended; decoded: it now holds an icon. The slot goes
    // to the newest waiting request, whose job is returned; null when none
    // waits and the slot is free again.
    IconJob finishFetch(const void* record, bool decoded);

    // Records holding an icon beyond keepAtMost, least recently drawn first,
    // forgotten here; records already gone are forgotten silently.
    std::vector<std::shared_ptr<void>> takeOverLimit(size_t keepAtMost);

    size_t running() const { return running_; }
    size_t waiting() const { return queue_.size(); }
    // Records holding an icon, counting any already gone until they are forgotten.
    size_t holding() const { return holding_; }

private:
    enum class Phase { Waiting, Running, Holding };
    struct Slot {
        Phase phase = Phase::Waiting;
        // When it was last drawn or requested, on one increasing scale.
        uint64_t drawnAt = 0;
        std::weak_ptr<void> record;
    };
    struct Waiting {
        const void* record;
        IconJob job;
    };

    uint64_t stamp() { return ++clock_; }

    size_t maxFetches_;
    uint64_t clock_ = 0;
    // Stamp at the start of the frame in progress; 0 before the first frame.
    uint64_t frameStart_ = 0;
    size_t running_ = 0;
    size_t holding_ = 0;
    // Oldest first; served from the back.
    std::vector<Waiting> queue_;
    std::unordered_map<const void*, Slot> slots_;
};
