#pragma once
// The states of a download task, as plain 32-bit numbers (Task::state,
// TaskView::state), and the rules the engine and the window share about them.
// Platform-free.

#include <cstdint>

// Scoped, so that the names never clash with others.
namespace TaskState {
enum Value : int32_t {
    Downloading = 0,
    Verifying = 1,
    Downloaded = 2,
    Failed = 3,
    Cancelled = 4,
    Installed = 5,
    Installing = 6,
    InstallUnconfirmed = 7,
    Paused = 8  // stopped by the user or by the end of the program; the part file is kept
};
}  // namespace TaskState

// The task goes on from the download list: a worker owns it (its bytes are
// arriving, being checked, or its installer runs) or it is paused, waiting
// there for 继续. A card of such a task only opens the download list.
constexpr bool taskIsBusy(int32_t state)
{
    return state == TaskState::Downloading || state == TaskState::Verifying || state == TaskState::Installing ||
           state == TaskState::Paused;
}

// The transfer's share in whole percent, 0..100: 0 while the total is unknown
// (below 1), 100 once as many bytes as announced (or more) arrived. Never
// overflows, whatever the counts.
constexpr int transferPercent(int64_t received, int64_t size)
{
    if (size < 1 || received < 1) return 0;
    if (received >= size) return 100;
    // received < size: received * 100 fits unless received is beyond 2^63 / 100.
    constexpr int64_t kLargest = INT64_MAX / 100;
    return static_cast<int>(received <= kLargest ? received * 100 / size : received / (size / 100));
}
