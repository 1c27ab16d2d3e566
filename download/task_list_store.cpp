#include "download/task_list_store.h"

#include "core/atomic_file.h"
#include "core/config.h"
#include "download/download_manager.h"

#include <windows.h>

// The file stores TaskState's numbers as they are.
static_assert(TaskState::Downloading == 0 && TaskState::Verifying == 1 && TaskState::Downloaded == 2 &&
                  TaskState::Failed == 3 && TaskState::Cancelled == 4 && TaskState::Installed == 5 &&
                  TaskState::Installing == 6 && TaskState::InstallUnconfirmed == 7,
              "downloads.json stores task states by number");

namespace {

bool isMissing(const std::wstring& path)
{
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

TaskListLoad setAside(const std::wstring& path, const std::string& reason)
{
    TaskListLoad load;
    load.setAside = true;
    load.reason = reason;
    // Kept for a person to look at; if even the move fails, the next save
    // replaces the file, and the program still starts with an empty list.
    const std::wstring bad = path + L".bad";
    MoveFileExW(path.c_str(), bad.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    return load;
}

}  // namespace

std::wstring taskListFilePath()
{
    return userDataFolder() + L"\\downloads.json";
}

TaskListLoad loadTaskList(const std::wstring& path)
{
    std::string bytes;
    if (!readWholeFile(path, bytes)) {
        if (isMissing(path)) return TaskListLoad{};
        return setAside(path, "cannot be opened");
    }
    TaskListRead read = readTaskList(bytes);
    if (!read.ok()) return setAside(path, read.detail);
    TaskListLoad load;
    load.tasks = std::move(read.tasks);
    return load;
}

bool saveTaskList(const std::wstring& path, const std::vector<StoredTask>& tasks)
{
    const std::string text = taskListText(tasks);
    if (!readTaskList(text).ok()) return false;
    return replaceFileAtomically(path, text);
}
