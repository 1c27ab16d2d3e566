#include "download/task_restore.h"

RestoredTask restoredTask(const StoredTask& stored, const TaskFiles& files)
{
    RestoredTask restored;
    switch (stored.state) {
    case TaskState::Downloading:
    case TaskState::Verifying:
    case kStoredPausedState: {
        if (!files.partExists) return restored;
        int64_t held = heldFromStart(stored.spans);
        if (held > files.partLength) held = files.partLength;
        if (stored.size > 0 && held > stored.size) held = stored.size;
        return {true, kStoredPausedState, held < 0 ? 0 : held};
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
