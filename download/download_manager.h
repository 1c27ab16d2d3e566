#pragma once
// Download tasks and the process-wide manager that owns them. Every public
// operation but the worker bodies is called on the UI thread.

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "core/handles.h"
#include "download/installer_signature.h"
#include "download/task_state.h"

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
    std::atomic<uint8_t> cancelRequested{0};
    // Set by clearFinished when it removed the task while its worker may still
    // hold the part file: the worker deletes the file when it lets go.
    std::atomic<bool> deletePartFile{false};
    UniqueHandle thread;  // the download worker; detached, never waited on by the product

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

private:
    // The worker renames finalPath while the UI thread may read it.
    mutable std::mutex pathLock;
    std::wstring finalPath_;
    mutable std::mutex errorLock;  // guards error_ and signature_
    std::wstring error_;
    InstallerSignature signature_;
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

// Starts the installer worker for a task already set to Installing; false when
// no thread could be started.
using InstallerLauncher = bool (*)(const std::shared_ptr<Task>& task);

// One of the engine's request slots, given back when its last owner lets go:
// the worker, and the HTTP call until its connection is really closed.
using RequestSlot = std::shared_ptr<void>;

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

private:
    friend struct DownloadManagerTestAccess;  // the tests' seams: tests/support/download_manager_access.h

    DownloadManager() = default;
    void run(std::shared_ptr<Task> task);
    bool downloadPart(Task* task, int64_t first, int64_t last, bool ranged, bool whole);
    // Digest, archive check and the move into place, once the bytes are complete.
    void finish(Task* task);
    void failTask(Task* task, const std::wstring& text);
    // Waits steps x 100 ms, checking the cancel flag before each step; false when cancelled.
    bool pause(Task* task, int steps);
    // Null when the task is cancelled while it waits.
    RequestSlot acquireSlot(const Task* task);
    void releaseSlot();
    // At the end of a worker: deletes the part file if clearFinished asked for it.
    void letGoOfPartFile(const Task& task);
    struct PartFileRelease {
        DownloadManager& manager;
        std::shared_ptr<Task> task;
        ~PartFileRelease() { manager.letGoOfPartFile(*task); }
    };

    std::mutex lock;  // guards tasks
    std::map<int32_t, std::shared_ptr<Task>> tasks;
    std::mutex slotLock;  // guards activeRequests: the requests whose connection may be open
    std::condition_variable slotFree;
    int32_t activeRequests = 0;
    std::atomic<int> waitStepMs{100};
    std::atomic<InstallerLauncher> installerLauncher{nullptr};
};
