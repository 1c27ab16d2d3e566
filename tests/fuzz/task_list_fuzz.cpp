// Feeds arbitrary bytes to readTaskList. Besides the sanitizers' checks: a
// rejected file yields no tasks and says why, and an accepted list written
// out again reads back as the same list.

#include "download/task_list.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TaskListRead read = readTaskList(std::string(reinterpret_cast<const char*>(data), size));
    if (!read.ok()) {
        check(read.tasks.empty() && !read.detail.empty());
        return 0;
    }
    const TaskListRead again = readTaskList(taskListText(read.tasks));
    check(again.ok() && again.tasks == read.tasks);
    return 0;
}
