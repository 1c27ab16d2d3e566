// downloads.json through the real file system: the store, the damaged-file
// rule and the writer's worker.

#include "core/atomic_file.h"
#include "core/handles.h"
#include "download/task_list_store.h"
#include "download/task_list_writer.h"
#include "tests/support/test_server.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

StoredTask task(int32_t id, int64_t received)
{
    StoredTask t;
    t.id = id;
    t.name = "视频播放器 " + std::to_string(id);
    t.url = "http://127.0.0.1/api/client/download/" + std::to_string(id);
    t.size = 1 << 20;
    t.received = received;
    t.partPath = "C:\\下载\\视频播放器.exe.part";
    t.finalPath = "C:\\下载\\视频播放器.exe";
    t.spans = spansFromStart(received);
    return t;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Polls the condition until it holds, or 20 s pass.
template <typename Condition>
bool eventually(Condition condition)
{
    for (auto deadline = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < deadline;) {
        if (condition()) return true;
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

bool fileHolds(const std::wstring& path, const std::vector<StoredTask>& tasks)
{
    const std::string want = taskListText(tasks);
    return eventually([&] { return fileBytes(path) == want; });
}

// A list the test changes while the writer's worker reads it.
struct LiveList {
    std::mutex lock;
    std::vector<StoredTask> tasks;
    int calls = 0;
    std::vector<StoredTask> snapshot() { std::lock_guard<std::mutex> g(lock); return ++calls, tasks; }
    void set(std::vector<StoredTask> t) { std::lock_guard<std::mutex> g(lock); tasks = std::move(t); }
    int count() { std::lock_guard<std::mutex> g(lock); return calls; }
};

class TaskListStore : public ::testing::Test {
protected:
    void SetUp() override { path_ = makeScratchDir(L"task-list") + L"\\downloads.json"; }
    std::wstring path_;
};

TEST_F(TaskListStore, RoundTripsAndSetsADamagedOrUnreadableFileAside)
{
    TaskListLoad load = loadTaskList(path_);
    EXPECT_TRUE(load.tasks.empty() && !load.setAside && !exists(path_ + L".bad")) << "no file yet";
    const std::vector<StoredTask> tasks = {task(1, 0), task(2, 4096)};
    ASSERT_TRUE(saveTaskList(path_, tasks));
    EXPECT_FALSE(exists(path_ + L".tmp"));
    load = loadTaskList(path_);
    EXPECT_FALSE(load.setAside) << load.reason;
    EXPECT_EQ(load.tasks, tasks);

    const std::string whole = taskListText(tasks);
    for (const std::string& bytes : {std::string(), whole.substr(0, whole.size() / 2), std::string("{\"tasks\": 3}")}) {
        ASSERT_TRUE(replaceFileAtomically(path_ + L".bad", "older damage"));
        ASSERT_TRUE(replaceFileAtomically(path_, bytes));
        load = loadTaskList(path_);
        EXPECT_TRUE(load.setAside && !load.reason.empty() && load.tasks.empty()) << bytes;
        EXPECT_FALSE(exists(path_));
        EXPECT_EQ(fileBytes(path_ + L".bad"), bytes);
    }

    ASSERT_TRUE(replaceFileAtomically(path_, whole));
    UniqueFile lock(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    load = loadTaskList(path_);
    EXPECT_TRUE(load.setAside && load.tasks.empty()) << "a file that cannot be opened";
}

TEST_F(TaskListStore, AFailedWriteLeavesThePreviousFileAndTheWriterTriesAgain)
{
    ASSERT_TRUE(saveTaskList(path_, {task(1, 10)}));
    const std::string before = fileBytes(path_);
    StoredTask broken = task(2, 20);
    broken.size = 10;  // received past size: the reader would refuse the list
    EXPECT_FALSE(saveTaskList(path_, {task(1, 30), broken}));
    EXPECT_EQ(fileBytes(path_), before);

    LiveList list;
    list.set({task(1, 40)});
    TaskListWriter writer(path_, [&] { return list.snapshot(); }, 100ms);
    ASSERT_TRUE(CreateDirectoryW((path_ + L".tmp").c_str(), nullptr));  // no temporary file can be made
    writer.stateChanged();
    ASSERT_TRUE(eventually([&] { return list.count() >= 2; })) << "a second attempt";
    EXPECT_EQ(fileBytes(path_), before);
    ASSERT_TRUE(RemoveDirectoryW((path_ + L".tmp").c_str()));
    EXPECT_TRUE(fileHolds(path_, {task(1, 40)}));
}

TEST_F(TaskListStore, WriterCoalescesABurstAndTheNewestListWins)
{
    LiveList list;
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::atomic<int> writes{0};
    TaskListWriter writer(path_, [&] {
        // The first write waits here until the burst is over: if announcing
        // a change blocked on the worker, the gate would time out.
        if (writes++ == 0) {
            EXPECT_EQ(gate.wait_for(8s), std::future_status::ready) << "a caller was blocked";
        }
        return list.snapshot();
    });
    writer.stateChanged();
    ASSERT_TRUE(eventually([&] { return writes > 0; }));
    for (int i = 1; i <= 100; ++i) {
        list.set({task(1, i)});
        i % 2 ? writer.bytesArrived() : writer.stateChanged();
    }
    open.set_value();
    ASSERT_TRUE(writer.flush(20s));
    EXPECT_EQ(list.count(), 2) << "one write for the burst";
    EXPECT_EQ(fileBytes(path_), taskListText({task(1, 100)}));
}

TEST_F(TaskListStore, WriterPacesProgressAndWritesAStateChangeAtOnce)
{
    LiveList list;
    {
        TaskListWriter writer(path_, [&] { return list.snapshot(); }, 200ms);
        const auto started = std::chrono::steady_clock::now();
        int received = 0;
        while (std::chrono::steady_clock::now() - started < 1500ms) {
            list.set({task(1, ++received)});
            writer.bytesArrived();
            std::this_thread::sleep_for(1ms);
        }
        // The last bytes reach the file by themselves, without a flush.
        EXPECT_TRUE(fileHolds(path_, {task(1, received)}));
        const int writes = list.count();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_LE(writes, 1 + static_cast<int>(seconds / 0.2)) << "writes closer together than the interval";
    }
    // A state change right after a write does not wait for the interval (an
    // hour here). The file is not polled meanwhile: a reader's handle makes
    // a replacement fail, and this writer would try again only in an hour.
    TaskListWriter slow(path_, [&] { return list.snapshot(); }, std::chrono::hours(1));
    const int before = list.count();
    slow.bytesArrived();
    ASSERT_TRUE(eventually([&] { return list.count() == before + 1; }));
    list.set({task(1, 3)});
    slow.stateChanged();
    EXPECT_TRUE(eventually([&] { return list.count() == before + 2; }));
    EXPECT_TRUE(slow.flush(20s));
    EXPECT_EQ(fileBytes(path_), taskListText({task(1, 3)}));
}

}  // namespace
