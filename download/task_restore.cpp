#include "download/task_restore.h"

#include <algorithm>

#include "download/segment_plan.h"

RestoredTask restoredTask(const StoredTask& stored, const TaskFiles& files)
{
    RestoredTask restored;
    switch (stored.state) {
    case TaskState::Downloading:
    case TaskState::Verifying:
    case kStoredPausedState: {
        if (!files.partExists) return restored;
        return {true, kStoredPausedState, bytesIn(heldSpans(stored, files))};
    }
    case TaskState::Installing:
        // The installer's outcome died with the program; the file is still there.
        return {files.finalExists || files.partExists, TaskState::Downloaded, stored.received};
    case TaskState::Downloaded:
    case TaskState::Failed:
    case TaskState::Cancelled:
    case TaskState::Installed:
    case TaskState::InstallUnconfirmed: return {files.finalExists || files.partExists, stored.state, stored.received};
    default: break;
    }
    return restored;
}

std::vector<ByteSpan> heldSpans(const StoredTask& stored, const TaskFiles& files)
{
    switch (stored.state) {
    case TaskState::Downloading:
    case TaskState::Verifying:
    case kStoredPausedState: {
        const int64_t length = stored.size > 0 ? std::min(files.partLength, stored.size) : files.partLength;
        return normalizedSpans(stored.spans, length);
    }
    default: return stored.spans;
    }
}
