#pragma once
// Keeps downloads.json up to date from a worker thread of its own.
//
// For the engine:
// - At start-up, on the UI thread before the window shows: loadTaskList(
//   taskListFilePath()) (download/task_list_store.h), then create the one
//   writer of the process with that path and a snapshot function, and never
//   destroy it (a worker may still be writing at exit; see the destructor).
// - The snapshot function returns the list as it is now: every task as a
//   StoredTask, in id order. It runs on the writer's worker only, never on the
//   caller's thread, so it may take the manager's lock and a task's locks to
//   copy the fields; it must not call back into the writer or wait for the UI
//   thread.
// - Each record keeps the rules of StoredTask (download/task_list.h): size 0
//   when unknown, never negative; received at most size, and only bytes the
//   part file holds; spans that add up to received (spansFromStart(received)
//   for one stream); every state by its TaskState number (paused:
//   kStoredPausedState, 8). A list that breaks a rule is not written at
//   all (the previous file stays), so keep them in the snapshot.
// - The list is flushed to the disk, the part file is not: after a power cut
//   the part file may lack bytes that received counts (the digest check then
//   fails). Flush the part file before its bytes go into a record if that
//   must not happen.
// - stateChanged(): after every change a crash must not lose: a task added
//   or removed, its state, size, paths, flags or validator changed, and when
//   a transfer restarts from byte 0.
// - bytesArrived(): whenever received grows; once per block is fine.
// - Both may be called from any thread, also while holding the manager's lock
//   or a task's lock: they only set a flag under the writer's own short lock,
//   never touch the disk and never call the snapshot function.
//
// What it guarantees:
// - Writes run one at a time on one detached worker, never on a caller's
//   thread and with no lock of the caller held.
// - Every write takes a fresh snapshot, so the newest list wins and a burst
//   of calls costs one write.
// - After stateChanged() a write starts at once (or as soon as the one
//   under way ends). While only bytes arrive, a write starts at most every
//   kProgressInterval, counted from the start of the previous write.
// - The file is replaced atomically: a crash leaves the previous list or the
//   new one, whole. A write that fails is tried again kProgressInterval later.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "download/task_list.h"

class TaskListWriter {
public:
    using Snapshot = std::function<std::vector<StoredTask>()>;
    static constexpr std::chrono::milliseconds kProgressInterval{2000};

    TaskListWriter(std::wstring path, Snapshot snapshot,
                   std::chrono::milliseconds progressInterval = kProgressInterval);
    // Stops the worker: waits up to 10 s for a write under way and the
    // snapshot it calls, then leaves the worker behind. Changes not yet
    // written are dropped (flush first to keep them).
    ~TaskListWriter();
    TaskListWriter(const TaskListWriter&) = delete;
    TaskListWriter& operator=(const TaskListWriter&) = delete;

    void stateChanged();
    void bytesArrived();
    // Writes at once whatever is pending and waits until every change
    // announced before the call is on disk. False when that took longer
    // than timeout (say, the disk refuses). Blocks: for the end of the
    // program and for tests.
    bool flush(std::chrono::milliseconds timeout);

private:
    struct Shared;
    void changed(bool urgent);
    std::shared_ptr<Shared> shared_;
};
