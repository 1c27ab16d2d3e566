#include "download/task_list_writer.h"

#include "core/detached_thread.h"
#include "download/task_list_store.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kStopWait{10};

}  // namespace

struct TaskListWriter::Shared {
    Shared(std::wstring path, Snapshot snapshot, std::chrono::milliseconds interval)
        : path(std::move(path)), snapshot(std::move(snapshot)), interval(interval),
          // The first progress write need not wait.
          lastWriteStart(Clock::now() - interval)
    {
    }

    const std::wstring path;
    const Snapshot snapshot;
    const std::chrono::milliseconds interval;

    std::mutex lock;  // guards everything below
    std::condition_variable wake;     // a change, or stopping
    std::condition_variable progress; // a write ended, or the worker left
    bool workerRunning = false;
    bool stopping = false;
    bool pending = false;  // changes not yet taken by a write
    bool urgent = false;   // one of them must not wait for the interval
    uint64_t changes = 0;  // changes announced so far
    uint64_t saved = 0;    // changes covered by the last write that succeeded
    Clock::time_point lastWriteStart;

    // The worker's loop; the lock is held except while writing.
    void run()
    {
        std::unique_lock<std::mutex> guard(lock);
        while (!stopping) {
            if (!pending) {
                wake.wait(guard);
                continue;
            }
            const Clock::time_point now = Clock::now();
            const Clock::time_point due = urgent ? now : lastWriteStart + interval;
            if (now < due) {
                wake.wait_until(guard, due);
                continue;
            }
            pending = urgent = false;
            const uint64_t covers = changes;
            lastWriteStart = now;
            guard.unlock();
            // The snapshot takes the engine's locks: never with ours held, so
            // a caller that holds them can still announce a change.
            const bool ok = saveTaskList(path, snapshot());
            guard.lock();
            if (ok) saved = covers;
            else pending = true;  // again after the interval, or sooner on a state change
            progress.notify_all();
        }
        workerRunning = false;
        progress.notify_all();
    }
};

TaskListWriter::TaskListWriter(std::wstring path, Snapshot snapshot, std::chrono::milliseconds progressInterval)
    : shared_(std::make_shared<Shared>(std::move(path), std::move(snapshot), progressInterval))
{
}

TaskListWriter::~TaskListWriter()
{
    std::unique_lock<std::mutex> guard(shared_->lock);
    shared_->stopping = true;
    shared_->wake.notify_all();
    shared_->progress.wait_for(guard, kStopWait, [this] { return !shared_->workerRunning; });
}

void TaskListWriter::stateChanged()
{
    changed(true);
}

void TaskListWriter::bytesArrived()
{
    changed(false);
}

void TaskListWriter::changed(bool urgent)
{
    std::lock_guard<std::mutex> guard(shared_->lock);
    ++shared_->changes;
    shared_->pending = true;
    shared_->urgent = shared_->urgent || urgent;
    if (!shared_->workerRunning && !shared_->stopping) {
        // If no thread can be started now, the next change tries again.
        std::shared_ptr<Shared> shared = shared_;
        shared_->workerRunning = static_cast<bool>(startDetachedThread([shared] { shared->run(); }));
    }
    shared_->wake.notify_one();
}

bool TaskListWriter::flush(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(shared_->lock);
    const uint64_t target = shared_->changes;
    if (shared_->pending) {
        shared_->urgent = true;
        shared_->wake.notify_one();
    }
    // A write that fails meanwhile is tried again after the interval.
    return shared_->progress.wait_for(guard, timeout, [&] {
        return shared_->saved >= target || !shared_->workerRunning;
    }) && shared_->saved >= target;
}
