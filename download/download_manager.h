#pragma once
// Download tasks and the process-wide manager that owns them. Every public
// operation but the worker bodies is called on the UI thread.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/handles.h"
#include "download/installer_signature.h"
#include "download/request_gate.h"
#include "download/task_list.h"
#include "download/task_state.h"
#include "download/transfer_decision.h"

class TaskListWriter;
class SegmentedTransfer;

// What the task list may claim of a task's part file: the bytes of spans
// (ascending, apart) are on the disk (flushed), of this version of the file,
// whose size is size (0: unknown). One stream holds one span from byte 0.
// The worker changes it; a later run continues from it.
struct ResumePoint {
    int64_t size = 0;
    std::vector<ByteSpan> spans;
    FileVersion version;
};

struct Task {
    int32_t id = 0;
    std::wstring name;
    std::string url;
    std::string md5;
    int64_t packageSize = 0;  // the catalog's size; never changes after creation
    std::wstring partPath;    // never changes after creation
    std::atomic<int64_t> size{0};
    std::atomic<int64_t> received{0};
    std::atomic<int64_t> lastReceived{0};
    std::atomic<uint32_t> lastTick{0};
    std::atomic<int32_t> speed{0};
    std::atomic<int32_t> state{TaskState::Downloading};
    std::atomic<bool> md5Ok{true};
    std::atomic<bool> isArchive{false};
    std::atomic<int32_t> retries{0};
    // Set by cancel and pause: the worker stops (the HTTP call's abort flag).
    std::atomic<uint8_t> cancelRequested{0};
    // Set by clearFinished when it removed the task while its worker may still
    // hold the part file: the worker deletes the file when it lets go.
    std::atomic<bool> deletePartFile{false};
    UniqueHandle thread;  // the download worker; detached, never waited on by the product
    // A paused task that this one continues, and its worker's thread: the new
    // worker waits for the old one to let go of the part file, then takes its
    // resume point. Set before the worker starts; only the worker uses them.
    std::shared_ptr<Task> predecessor;
    UniqueHandle predecessorThread;

    std::mutex urlLock;  // guards resolvedUrl and staleUrls
    std::string resolvedUrl;
    std::set<std::string> staleUrls;

    std::wstring finalPath() const;
    void setFinalPath(const std::wstring& path);
    std::wstring error() const;
    void setError(const std::wstring& text);
    // What the check before the last launch found; Unchecked until then.
    InstallerSignature signature() const;
    void setSignature(const InstallerSignature& signature);
    ResumePoint resumePoint() const;
    void setResumePoint(const ResumePoint& point);

private:
    // The worker renames finalPath while the UI thread may read it.
    mutable std::mutex pathLock;
    std::wstring finalPath_;
    mutable std::mutex errorLock;  // guards error_ and signature_
    std::wstring error_;
    InstallerSignature signature_;
    mutable std::mutex resumeLock;  // guards resume_
    ResumePoint resume_;
    friend class DownloadManager;
};

struct TaskView {
    int32_t id;
    std::wstring name;
    int32_t state;
    int64_t received;
    int64_t size;
    int32_t speed;
    bool md5Ok;
    bool isArchive;
    std::wstring error;
    int32_t retries;
    SignatureState signature;
    std::wstring publisher;
};

// What the catalog says of an app's package now.
struct PackageFacts {
    std::string md5;
    int64_t size = 0;
};

// Starts the installer worker for a task already set to Installing; false when
// no thread could be started.
using InstallerLauncher = bool (*)(const std::shared_ptr<Task>& task);

// One of the engine's request slots, given back when its last owner lets go:
// the worker, and the HTTP call until its connection is really closed.
using RequestSlot = RequestGate::Slot;

// How a transfer over several connections ended. Failed: the task's error
// holds the text. Restart: the file changed on the server (or no longer
// honours ranges); nothing held is kept and the task's size is the new one.
enum class SegmentsEnd { Complete, Stopped, Failed, Restart };

class DownloadManager {
public:
    static DownloadManager& instance();

    // Set once at start-up, before the first startInstall; without it no
    // installer starts (the task goes back to Downloaded).
    void setInstallerLauncher(InstallerLauncher launcher);

    HWND hwnd = nullptr;  // may stay null: then nothing is posted

    void startDownload(int32_t id, const std::wstring& name, const std::string& url, const std::string& md5,
                       int64_t size);
    void cancel(int32_t id);
    // Stops a downloading task within about a second and keeps its part file
    // (state Paused).
    void pause(int32_t id);
    // Continues a paused task from the bytes its part file holds, through a
    // new worker (probe, request gate, checks). catalogNow, when the app is in
    // the catalog: its digest and size replace those of the task's start (a
    // task put back after a restart may be older than the catalog).
    void resume(int32_t id, const PackageFacts* catalogNow = nullptr);
    void clearFinished();
    // True when the task qualified: a downloaded, verified installer whose
    // signature was not found broken. The installer worker checks the file
    // again before it launches it.
    bool startInstall(int32_t id);
    void revealInFolder(int32_t id);
    std::map<int32_t, TaskView> snapshot();
    void tickSpeed();

    // The task for an id, or null.
    std::shared_ptr<Task> findTask(int32_t id);
    // Posts msg to hwnd when it is set.
    void post(UINT msg, WPARAM wParam, LPARAM lParam = 0);
    // A task changed in a way the task list must keep: redraw, and write the
    // list at once (from the writer's worker).
    void taskChanged();

    // The writer that keeps downloads.json; set once at start-up, never
    // destroyed. Without one nothing is written.
    void keepTaskListIn(TaskListWriter* writer);
    // Puts the tasks of the last run back, before the window shows: finished
    // ones whose file is still there as they were, unfinished ones paused
    // with the bytes their part file holds; the rest are dropped. UI thread.
    void restore(const std::vector<StoredTask>& stored);
    // Every task as the list stores it, in id order. Runs on the writer's worker.
    std::vector<StoredTask> storedTasks();

private:
    friend struct DownloadManagerTestAccess;  // the tests' seams: tests/support/download_manager_access.h
    friend class SegmentedTransfer;

    DownloadManager() = default;
    void run(std::shared_ptr<Task> task);
    // The bytes [first, last] of the file; the transfer starts at from (the
    // first byte not yet held, first when none is) and restarts at first.
    bool downloadPart(Task* task, int64_t first, int64_t last, bool ranged, bool whole, int64_t from);
    // The whole file of a known, trusted size over up to four connections,
    // each fetching its own span into the pre-sized part file; held are the
    // spans kept from an earlier run (of this version), empty for a new start.
    SegmentsEnd downloadSegments(Task* task, const FileVersion& version, const std::vector<ByteSpan>& held);
    // The worker's start as a continuation: waits until the paused task it
    // continues has let go of the part file and takes its resume point (also
    // when this task is stopped meanwhile, which makes it false).
    bool takeOver(Task* task);
    // Starts the worker of a task already in the map.
    void startWorker(const std::shared_ptr<Task>& task);
    // The task list must keep a change nobody sees (a size, a validator,
    // bytes held from byte 0 again): written at once, nothing redrawn.
    void recordNow();
    // Before a part file is cut, or its bytes are written again: the list on
    // disk stops claiming the bytes held first, or a crash in between would
    // bring them back as zeros or as bytes of another version. Written at
    // once and waited for (at most a few seconds) on the calling worker,
    // which must hold no lock.
    void recordBeforeCutting();
    // The task list must keep bytes that arrived (written at most every 2 s).
    void progressChanged();
    // Digest, archive check and the move into place, once the bytes are complete.
    void finish(Task* task);
    void failTask(Task* task, const std::wstring& text);
    // Waits steps x 100 ms, checking the stop flag before each step; false when stopped.
    bool waitSteps(Task* task, int steps);
    // A task's first request: waits for a slot, before any extra connection
    // of another task. Null when the task is stopped while it waits.
    RequestSlot acquireSlot(const Task* task);
    // At the end of a worker: deletes the part file if clearFinished asked for it.
    void letGoOfPartFile(const Task& task);
    struct PartFileRelease {
        DownloadManager& manager;
        std::shared_ptr<Task> task;
        ~PartFileRelease() { manager.letGoOfPartFile(*task); }
    };

    std::mutex lock;  // guards tasks
    std::map<int32_t, std::shared_ptr<Task>> tasks;
    RequestGate gate{6};  // the requests whose connection may be open, over all tasks
    std::atomic<int> waitStepMs{100};
    std::atomic<InstallerLauncher> installerLauncher{nullptr};
    std::atomic<TaskListWriter*> listWriter{nullptr};
};
