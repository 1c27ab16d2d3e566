#pragma once
// The download list kept on disk, downloads.json beside config.json: one
// record per task, the file's text, and a strict reader. Platform-free.
//
// Version 1 of the file (UTF-8 without a byte order mark, line feeds,
// two-space indentation; every string written through json::escape):
//
//   {
//     "version": 1,
//     "tasks": [
//       {
//         "id": 7,
//         "name": "压缩助手",
//         "url": "https://…/api/client/download/7?channel=default",
//         "md5": "0cc175b9c0f1b6a831c399e269772661",
//         "size": 1048576,
//         "received": 524288,
//         "state": 8,
//         "partPath": "D:\\Downloads\\压缩助手.exe.part",
//         "finalPath": "D:\\Downloads\\压缩助手.exe",
//         "isArchive": false,
//         "md5Ok": true,
//         "validatorKind": "etag",
//         "validator": "\"5f3a-1b2c\"",
//         "spans": [[0, 524288]],
//         "error": ""
//       }
//     ]
//   }
//
// Every member above but "error" must be there with its type ("error", the
// failure text shown on the task's row, was added later: missing, it is
// empty); other members are ignored, so a later version 1 program may add
// some. A change that an older program must not misread raises "version":
// the reader refuses any version but 1 (NewerVersion above it), and a later
// program migrates older versions.
// Any damage rejects the whole file: the list is only trusted whole.

#include <cstdint>
#include <string>
#include <vector>

#include "download/task_state.h"

// What identifies the server's copy of a file: the ETag of the answer the
// bytes came from, else its Last-Modified.
enum class ValidatorKind : int32_t { None = 0, ETag = 1, LastModified = 2 };

// Bytes [first, end) of the file that the part file holds.
struct ByteSpan {
    int64_t first = 0;
    int64_t end = 0;
    bool operator==(const ByteSpan& other) const { return first == other.first && end == other.end; }
};

// The numbers of the task states as stored: those of TaskState (0 Downloading
// to 7 InstallUnconfirmed) and 8, a task paused with its part file kept.
constexpr int32_t kStoredPausedState = 8;
constexpr int32_t kHighestStoredState = kStoredPausedState;
static_assert(TaskState::Paused == kStoredPausedState, "downloads.json stores the paused state by its number");

// Sizes and offsets up to 2^53 are exact in the file's numbers (doubles).
constexpr int64_t kLargestStoredSize = int64_t(1) << 53;

// One task as stored. Text is UTF-8 (names and paths converted with
// wideToUtf8 / utf8ToWide by the caller).
struct StoredTask {
    int32_t id = 0;
    std::string name;
    std::string url;  // not empty
    std::string md5;
    int64_t size = 0;      // 0 = unknown; never negative
    int64_t received = 0;  // bytes the part file is known to hold; <= size when size is known
    int32_t state = 0;     // 0..kHighestStoredState
    std::string partPath;   // not empty
    std::string finalPath;  // not empty
    bool isArchive = false;
    bool md5Ok = true;
    ValidatorKind validatorKind = ValidatorKind::None;
    std::string validator;  // empty exactly when validatorKind is None
    // Ascending, each first < end, none overlapping, none past a known size,
    // together exactly `received` bytes. One stream: spansFromStart(received).
    std::vector<ByteSpan> spans;
    std::string error;  // the failure text shown on the task's row; may be empty

    bool operator==(const StoredTask& other) const;
};

// The spans of one stream that holds bytes [0, received): none for 0.
std::vector<ByteSpan> spansFromStart(int64_t received);

// The bytes [0, n) that the spans hold from the file's first byte on: what
// one stream may continue from.
int64_t heldFromStart(const std::vector<ByteSpan>& spans);

// The text of downloads.json for these tasks, in the order given.
std::string taskListText(const std::vector<StoredTask>& tasks);

enum class TaskListProblem : int32_t {
    None = 0,
    NotJson,        // empty, cut short, or not JSON at all
    BadLayout,      // no object with "version" and a "tasks" array of objects
    NewerVersion,   // written by a later program
    BadField,       // a member missing, of the wrong type, or out of its range
    Inconsistent,   // received past size, spans that disagree with received or size
    DuplicateId,    // two tasks of one application
};

struct TaskListRead {
    TaskListProblem problem = TaskListProblem::None;
    std::string detail;  // which task and member, and what is wrong with it; empty when none
    std::vector<StoredTask> tasks;  // empty unless problem is None
    bool ok() const { return problem == TaskListProblem::None; }
};

// Reads the bytes of downloads.json. A byte order mark is accepted.
TaskListRead readTaskList(const std::string& bytes);

// True when the task follows every rule above, so that a list holding it is
// written (a list that breaks a rule is not written at all).
bool isStorable(const StoredTask& task);
