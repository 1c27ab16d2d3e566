// The manager's tasks as the records of downloads.json: written out from the
// writer's worker, and put back at start-up.

#include "download/task_records.h"

#include "core/text.h"
#include "download/download_manager.h"
#include "download/segment_plan.h"
#include "download/task_list_store.h"
#include "download/task_list_writer.h"
#include "download/task_restore.h"

namespace {

// Counts the file's numbers hold exactly; anything larger is stored as unknown.
int64_t storableCount(int64_t count) { return count > 0 && count <= kLargestStoredSize ? count : 0; }

StoredTask recordOf(const Task& task)
{
    StoredTask record;
    record.id = task.id;
    record.name = wideToUtf8(task.name);
    record.url = task.url;
    record.md5 = task.md5;
    const ResumePoint point = task.resumePoint();
    record.size = storableCount(point.size);
    const int64_t length = record.size > 0 ? record.size : kLargestStoredSize;
    record.spans = normalizedSpans(point.spans, length);
    record.received = bytesIn(record.spans);
    record.state = task.state.load();
    record.partPath = wideToUtf8(task.partPath);
    record.finalPath = wideToUtf8(task.finalPath());
    record.isArchive = task.isArchive.load();
    record.md5Ok = task.md5Ok.load();
    if (!point.version.value.empty()) {
        record.validatorKind = point.version.kind;
        record.validator = point.version.value;
    }
    record.error = wideToUtf8(task.error());
    return record;
}

TaskFiles filesOf(const std::wstring& finalPath, const std::wstring& partPath)
{
    TaskFiles files;
    files.finalExists = GetFileAttributesW(finalPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(partPath.c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        files.partExists = true;
        files.partLength = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    return files;
}

std::shared_ptr<Task> taskFrom(const StoredTask& record, const RestoredTask& restored,
                               const std::vector<ByteSpan>& spans)
{
    auto task = std::make_shared<Task>();
    task->id = record.id;
    task->name = utf8ToWide(record.name);
    task->url = record.url;
    task->md5 = record.md5;
    // The catalog's size is not kept: a size the server gave is not trusted
    // to reserve disk space again.
    task->packageSize = 0;
    task->partPath = utf8ToWide(record.partPath);
    task->setFinalPath(utf8ToWide(record.finalPath));
    task->size = record.size;
    task->received = restored.held;
    task->state = restored.state;
    task->md5Ok = record.md5Ok;
    task->isArchive = record.isArchive;
    task->setError(utf8ToWide(record.error));
    FileVersion version;
    if (record.validatorKind != ValidatorKind::None) version = {record.validatorKind, record.validator};
    task->setResumePoint({record.size, spans, version});
    return task;
}

}  // namespace

std::vector<StoredTask> DownloadManager::storedTasks()
{
    std::vector<StoredTask> records;
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& entry : tasks) {
        StoredTask record = recordOf(*entry.second);
        // One task that cannot be stored must not keep the others from disk.
        if (isStorable(record)) records.push_back(std::move(record));
    }
    return records;
}

void DownloadManager::restore(const std::vector<StoredTask>& stored)
{
    bool changed = false;
    for (const StoredTask& record : stored) {
        const TaskFiles files = filesOf(utf8ToWide(record.finalPath), utf8ToWide(record.partPath));
        const RestoredTask restored = restoredTask(record, files);
        changed = changed || !restored.keep || restored.state != record.state || restored.held != record.received;
        if (!restored.keep) continue;
        std::shared_ptr<Task> task = taskFrom(record, restored, heldSpans(record, files));
        std::lock_guard<std::mutex> guard(lock);
        tasks[task->id] = task;
    }
    if (changed) taskChanged();
}

TaskListWriter& keepDownloadsOnDisk()
{
    const std::wstring path = taskListFilePath();
    const TaskListLoad loaded = loadTaskList(path);
    // Never destroyed: a worker may still be writing while the process ends.
    static TaskListWriter* const writer =
        new TaskListWriter(path, [] { return DownloadManager::instance().storedTasks(); });
    DownloadManager& manager = DownloadManager::instance();
    manager.keepTaskListIn(writer);
    manager.restore(loaded.tasks);
    return *writer;
}
