#include "download/download_manager.h"

#include <shlobj.h>

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "download/download_folder.h"
#include "download/file_name.h"
#include "download/task_list_writer.h"

namespace {

// A download not over yet: its worker runs, or it is paused and goes on
// through resume.
bool isUnfinished(int32_t state)
{
    return state == TaskState::Downloading || state == TaskState::Verifying || state == TaskState::Paused;
}

// A task uses its part file while it downloads or verifies, while it is paused
// (the file waits to be continued), and after a cancel until its worker has
// ended: the finishing steps ignore the flag and still hash and move the file.
bool usesPartFile(const Task& task)
{
    const int32_t state = task.state.load();
    if (isUnfinished(state)) return true;
    return state == TaskState::Cancelled && task.thread && WaitForSingleObject(task.thread.get(), 0) == WAIT_TIMEOUT;
}

// Windows file names ignore case, so "Foo" and "foo" are one file.
bool samePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// True when a task other than except writes, hashes or moves this part file.
bool partFileInUse(const std::map<int32_t, std::shared_ptr<Task>>& tasks, const std::wstring& partPath,
                   const Task* except)
{
    for (const auto& entry : tasks)
        if (entry.second.get() != except && usesPartFile(*entry.second) && samePath(entry.second->partPath, partPath))
            return true;
    return false;
}

// True when a new task for id may not use this part file (and the final file
// that goes with it): its own earlier task still works on it, or the task of
// another application, in any state, has or will have its final file there.
// Without the second rule one application's finished installer could be
// replaced by another's, and "install" would start the wrong program.
bool pathTaken(const std::map<int32_t, std::shared_ptr<Task>>& tasks, const std::wstring& partPath, int32_t id)
{
    for (const auto& entry : tasks) {
        const Task& other = *entry.second;
        if (!samePath(other.partPath, partPath)) continue;
        if (other.id != id || usesPartFile(other)) return true;
    }
    return false;
}

}  // namespace

std::wstring Task::finalPath() const
{
    std::lock_guard<std::mutex> guard(pathLock);
    return finalPath_;
}

void Task::setFinalPath(const std::wstring& path)
{
    std::lock_guard<std::mutex> guard(pathLock);
    finalPath_ = path;
}

std::wstring Task::error() const
{
    std::lock_guard<std::mutex> guard(errorLock);
    return error_;
}

void Task::setError(const std::wstring& text)
{
    std::lock_guard<std::mutex> guard(errorLock);
    error_ = text;
}

InstallerSignature Task::signature() const
{
    std::lock_guard<std::mutex> guard(errorLock);
    return signature_;
}

void Task::setSignature(const InstallerSignature& signature)
{
    std::lock_guard<std::mutex> guard(errorLock);
    signature_ = signature;
}

ResumePoint Task::resumePoint() const
{
    std::lock_guard<std::mutex> guard(resumeLock);
    return resume_;
}

void Task::setResumePoint(const ResumePoint& point)
{
    std::lock_guard<std::mutex> guard(resumeLock);
    resume_ = point;
}

DownloadManager& DownloadManager::instance()
{
    // Never destroyed: detached workers may still use the request gate while
    // the process exits.
    static DownloadManager* const manager = new DownloadManager();
    return *manager;
}

void DownloadManager::startDownload(int32_t id, const std::wstring& name, const std::string& url,
                                    const std::string& md5, int64_t size)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = tasks.find(id);
        if (it != tasks.end() && isUnfinished(it->second->state.load())) return;
    }

    auto task = std::make_shared<Task>();
    task->id = id;
    task->name = name;
    task->url = url;
    task->md5 = md5;
    task->packageSize = size;
    task->size = size;
    task->setResumePoint({size > 0 ? size : 0, {}, {}});

    // No disk is touched here (the UI thread): the worker creates the folder.
    const std::wstring folder = downloadFolderInUse();
    std::wstring stem = fileNameFromAppName(name);
    {
        std::lock_guard<std::mutex> guard(lock);
        // Two applications whose names give one stem must not share files.
        // Each round takes a longer name; tasks.size() + 1 rounds always find
        // one that no task has.
        for (size_t round = 0; round <= tasks.size() && pathTaken(tasks, folder + L"\\" + stem + L".exe.part", id);
             ++round)
            stem += L" (" + std::to_wstring(id) + L")";
        task->setFinalPath(folder + L"\\" + stem + L".exe");
        task->partPath = folder + L"\\" + stem + L".exe.part";
        tasks[id] = task;
    }
    taskChanged();
    startWorker(task);
}

void DownloadManager::startWorker(const std::shared_ptr<Task>& task)
{
    UniqueHandle thread = startDetachedThread([task] {
        createFolderOf(task->partPath);
        instance().run(task);
    });
    if (!thread) {
        // Without a worker the task would show as downloading for ever.
        failTask(task.get(), L"下载中断，请重试");
        return;
    }
    // Under the lock: workers look at other tasks' threads (letGoOfPartFile).
    std::lock_guard<std::mutex> guard(lock);
    task->thread = std::move(thread);
}

void DownloadManager::cancel(int32_t id)
{
    std::shared_ptr<Task> task = findTask(id);
    if (!task || !isUnfinished(task->state.load())) return;
    task->cancelRequested = 1;
    // Only from a state the worker is still in, or from a pause: a task that
    // has just finished or failed keeps that outcome.
    bool cancelled = false;
    for (const int32_t from : {TaskState::Downloading, TaskState::Verifying, TaskState::Paused}) {
        int32_t state = from;
        if (task->state.compare_exchange_strong(state, TaskState::Cancelled)) {
            cancelled = true;
            break;
        }
    }
    if (!cancelled) return;
    // The worker's request sees the flag within 50 ms; a worker waiting for a
    // request slot gives up waiting.
    gate.wakeWaiters();
    taskChanged();
}

void DownloadManager::pause(int32_t id)
{
    std::shared_ptr<Task> task = findTask(id);
    if (!task) return;
    // Only a transfer pauses: the bytes of a verifying task are all there.
    int32_t state = TaskState::Downloading;
    if (!task->state.compare_exchange_strong(state, TaskState::Paused)) return;
    task->cancelRequested = 1;
    task->speed = 0;
    gate.wakeWaiters();
    taskChanged();
}

void DownloadManager::resume(int32_t id, const PackageFacts* catalogNow)
{
    std::shared_ptr<Task> paused = findTask(id);
    if (!paused || paused->state.load() != TaskState::Paused) return;

    // A new task with a stop flag of its own: the paused one's worker may not
    // have ended yet, and its flag must keep it stopped.
    auto task = std::make_shared<Task>();
    task->id = paused->id;
    task->name = paused->name;
    task->url = paused->url;
    task->md5 = catalogNow && !catalogNow->md5.empty() ? catalogNow->md5 : paused->md5;
    task->packageSize = catalogNow ? catalogNow->size : paused->packageSize;
    task->partPath = paused->partPath;
    task->setFinalPath(paused->finalPath());
    task->size = paused->size.load();
    task->received = paused->received.load();
    task->setResumePoint(paused->resumePoint());
    task->predecessor = paused;
    if (paused->thread) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), paused->thread.get(), GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE,
                            0))
            task->predecessorThread.reset(copy);
        else if (WaitForSingleObject(paused->thread.get(), 0) == WAIT_TIMEOUT)
            return;  // the old worker cannot be waited for: try again later
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = tasks.find(id);
        if (it == tasks.end() || it->second != paused || paused->state.load() != TaskState::Paused) return;
        it->second = task;
    }
    taskChanged();
    startWorker(task);
}

void DownloadManager::clearFinished()
{
    std::lock_guard<std::mutex> guard(lock);
    for (auto it = tasks.begin(); it != tasks.end();) {
        const int32_t state = it->second->state.load();
        // A paused download stays, with its part file.
        if (isUnfinished(state) || state == TaskState::Installing) {
            ++it;
            continue;
        }
        // A later task of another application with the same stem may be
        // downloading into that part file by now. A worker that still holds the
        // file (just cancelled) deletes it when it lets go.
        if ((state == TaskState::Failed || state == TaskState::Cancelled) &&
            !partFileInUse(tasks, it->second->partPath, it->second.get())) {
            it->second->deletePartFile = true;
            DeleteFileW(it->second->partPath.c_str());
        }
        it = tasks.erase(it);
    }
    taskChanged();
}

bool DownloadManager::startInstall(int32_t id)
{
    std::shared_ptr<Task> task;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = tasks.find(id);
        if (it == tasks.end()) return false;
        const Task& found = *it->second;
        const int32_t state = found.state.load();
        if ((state != TaskState::Downloaded && state != TaskState::InstallUnconfirmed) || found.isArchive.load() ||
            !found.md5Ok.load() || found.signature().state == SignatureState::Broken)
            return false;
        task = it->second;
    }
    task->state = TaskState::Installing;
    taskChanged();

    const InstallerLauncher launch = installerLauncher.load();
    if (!launch || !launch(task)) {
        task->state = TaskState::Downloaded;
        taskChanged();
    }
    return true;
}

void DownloadManager::setInstallerLauncher(InstallerLauncher launcher) { installerLauncher = launcher; }

void DownloadManager::revealInFolder(int32_t id)
{
    std::shared_ptr<Task> task = findTask(id);
    if (!task) return;
    const std::wstring path = task->finalPath();
    if (path.empty()) return;
    PIDLIST_ABSOLUTE item = ILCreateFromPathW(path.c_str());
    if (!item) return;
    SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
    ILFree(item);
}

std::map<int32_t, TaskView> DownloadManager::snapshot()
{
    std::map<int32_t, TaskView> views;
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& entry : tasks) {
        const Task& task = *entry.second;
        TaskView view;
        view.id = task.id;
        view.name = task.name;
        view.state = task.state.load();
        view.received = task.received.load();
        view.size = task.size.load();
        view.speed = task.speed.load();
        view.md5Ok = task.md5Ok.load();
        view.isArchive = task.isArchive.load();
        view.error = task.error();
        view.retries = task.retries.load();
        const InstallerSignature signature = task.signature();
        view.signature = signature.state;
        view.publisher = signature.publisher;
        views.emplace(entry.first, std::move(view));
    }
    return views;
}

void DownloadManager::tickSpeed()
{
    const uint32_t now = GetTickCount();
    bool changed = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (const auto& entry : tasks) {
            Task& task = *entry.second;
            if (task.state.load() != TaskState::Downloading) continue;
            const int64_t received = task.received.load();
            const uint32_t lastTick = task.lastTick.load();
            if (lastTick == 0) {
                task.lastTick = now;
                task.lastReceived = received;
                continue;
            }
            // Unsigned difference: a wrap of the tick count does no harm.
            const double seconds = static_cast<uint32_t>(now - lastTick) / 1000.0;
            if (seconds < 0.25) continue;
            const double speed = static_cast<double>(received - task.lastReceived.load()) / seconds;
            task.speed = speed <= 0 ? 0 : speed >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(speed);
            task.lastTick = now;
            task.lastReceived = received;
            changed = true;
        }
    }
    if (changed) post(WM_APP_REFRESH, 0);
}

std::shared_ptr<Task> DownloadManager::findTask(int32_t id)
{
    std::lock_guard<std::mutex> guard(lock);
    auto it = tasks.find(id);
    return it == tasks.end() ? nullptr : it->second;
}

void DownloadManager::post(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (hwnd) PostMessageW(hwnd, msg, wParam, lParam);
}

void DownloadManager::taskChanged()
{
    post(WM_APP_REFRESH, 0);
    recordNow();
}

void DownloadManager::recordNow()
{
    if (TaskListWriter* writer = listWriter.load()) writer->stateChanged();
}

void DownloadManager::recordBeforeCutting()
{
    constexpr std::chrono::seconds kWait{5};
    TaskListWriter* writer = listWriter.load();
    if (!writer) return;
    writer->stateChanged();
    writer->flush(kWait);
}

void DownloadManager::progressChanged()
{
    if (TaskListWriter* writer = listWriter.load()) writer->bytesArrived();
}

void DownloadManager::keepTaskListIn(TaskListWriter* writer) { listWriter = writer; }

void DownloadManager::failTask(Task* task, const std::wstring& text)
{
    task->setError(text);
    // A task paused meanwhile stays paused: its part file is continued later.
    int32_t state = task->state.load();
    do {
        if (state == TaskState::Paused) return;
    } while (!task->state.compare_exchange_weak(state, TaskState::Failed));
    taskChanged();
}

RequestSlot DownloadManager::acquireSlot(const Task* task)
{
    return gate.acquireFirst(task, task->cancelRequested);
}

void DownloadManager::letGoOfPartFile(const Task& task)
{
    // Under the lock, like clearFinished: a new task that took the same part
    // file meanwhile keeps it.
    std::lock_guard<std::mutex> guard(lock);
    if (task.deletePartFile.load() && !partFileInUse(tasks, task.partPath, &task))
        DeleteFileW(task.partPath.c_str());
}

bool DownloadManager::waitSteps(Task* task, int steps)
{
    for (int step = 0; step < steps; ++step) {
        if (task->cancelRequested.load()) return false;
        Sleep(static_cast<DWORD>(waitStepMs.load()));
    }
    return task->cancelRequested.load() == 0;
}
