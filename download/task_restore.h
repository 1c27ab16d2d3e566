#pragma once
// What becomes of a task of the last run at start-up, from its record and the
// files found on disk. Platform-free.

#include <cstdint>
#include <vector>

#include "download/task_list.h"

// What the disk holds of a task's files.
struct TaskFiles {
    bool finalExists = false;
    bool partExists = false;
    int64_t partLength = 0;
};

struct RestoredTask {
    bool keep = false;
    int32_t state = 0;  // as stored: a TaskState number, Paused for an unfinished task
    int64_t held = 0;   // bytes of the part file to continue from (heldSpans)
};

// A finished task (downloaded, installed, failed, cancelled, install
// unconfirmed) comes back as it was while its final or part file is there; an
// install the end of the program cut short comes back downloaded. A task that
// was downloading, verifying or paused comes back paused while its part file
// is there, holding no more than the file's length (and its size): each span
// cut there. Everything else is dropped.
RestoredTask restoredTask(const StoredTask& stored, const TaskFiles& files);

// The spans of an unfinished task's part file to continue from: the stored
// ones cut to the file's length and the stored size. Those of any other task
// as stored.
std::vector<ByteSpan> heldSpans(const StoredTask& stored, const TaskFiles& files);
