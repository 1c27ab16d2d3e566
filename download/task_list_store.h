#pragma once
// downloads.json in the per-user folder: reading it at start-up, setting a
// damaged file aside, and replacing it atomically.

#include <string>
#include <vector>

#include "download/task_list.h"

// %APPDATA%\Lorimund\downloads.json, beside config.json; creates the folder.
std::wstring taskListFilePath();

struct TaskListLoad {
    std::vector<StoredTask> tasks;
    // The file was there but damaged or unreadable: it was moved to
    // path + ".bad" (replacing an older one) and the list starts empty.
    bool setAside = false;
    std::string reason;  // why it was set aside; empty otherwise
};

// Never fails: a missing file is an empty list, a damaged one is set aside.
TaskListLoad loadTaskList(const std::wstring& path);

// Replaces the file with this list, atomically. False when nothing was
// written: the disk refused, or the list would not read back (a task that
// breaks a rule of StoredTask), so a bad record never costs the whole file.
bool saveTaskList(const std::wstring& path, const std::vector<StoredTask>& tasks);
