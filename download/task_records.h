#pragma once
// downloads.json and the manager, at start-up.

class TaskListWriter;

// Before the window shows: reads downloads.json (setting a damaged one
// aside), puts its tasks back into the manager and from now on keeps the
// file up to date through the process's one writer, which is returned and
// never destroyed.
TaskListWriter& keepDownloadsOnDisk();
