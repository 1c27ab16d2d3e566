#include "download/task_restore.h"

namespace {

// The stored numbers of TaskState (download/download_manager.h).
enum : int32_t { kDownloading, kVerifying, kDownloaded, kFailed, kCancelled, kInstalled, kInstalling, kUnconfirmed };

}  // namespace

RestoredTask restoredTask(const StoredTask& stored, const TaskFiles& files)
{
    RestoredTask restored;
    switch (stored.state) {
    case kDownloading:
    case kVerifying:
    case kStoredPausedState: {
        if (!files.partExists) return restored;
        int64_t held = heldFromStart(stored.spans);
        if (held > files.partLength) held = files.partLength;
        if (stored.size > 0 && held > stored.size) held = stored.size;
        return {true, kStoredPausedState, held < 0 ? 0 : held};
    }
    case kInstalling:
        // The installer's outcome died with the program; the file is still there.
        return {files.finalExists || files.partExists, kDownloaded, stored.received};
    case kDownloaded:
    case kFailed:
    case kCancelled:
    case kInstalled:
    case kUnconfirmed: return {files.finalExists || files.partExists, stored.state, stored.received};
    default: break;
    }
    return restored;
}
