// downloads.json through the real file system: the store, the damaged-file
// rule and the writer's worker.

#include "core/config.h"
#include "core/handles.h"
#include "download/task_list_store.h"
#include "download/task_list_writer.h"
#include "tests/support/test_server.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
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
    t.validatorKind = ValidatorKind::ETag;
    t.validator = "\"e-1\"";
    t.spans = spansFromStart(received);
    return t;
}

void writeBytes(const std::wstring& path, const std::string& bytes)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    ASSERT_TRUE(file.valid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
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

class TaskListStore : public ::testing::Test {
protected:
    void SetUp() override { path_ = makeScratchDir(L"task-list") + L"\\downloads.json"; }
    std::wstring path_;
};

TEST_F(TaskListStore, LivesBesideConfigJson)
{
    const std::wstring config = configFilePath();
    EXPECT_EQ(taskListFilePath(), config.substr(0, config.size() - 11) + L"downloads.json");
}

TEST_F(TaskListStore, RoundTripsThroughTheRealFile)
{
    const std::vector<StoredTask> tasks = {task(1, 0), task(2, 4096)};
    ASSERT_TRUE(saveTaskList(path_, tasks));
    EXPECT_FALSE(exists(path_ + L".tmp"));
    const TaskListLoad load = loadTaskList(path_);
    EXPECT_FALSE(load.setAside) << load.reason;
    EXPECT_EQ(load.tasks, tasks);
}

TEST_F(TaskListStore, AMissingFileIsAnEmptyList)
{
    const TaskListLoad load = loadTaskList(path_);
    EXPECT_FALSE(load.setAside);
    EXPECT_TRUE(load.tasks.empty());
    EXPECT_FALSE(exists(path_ + L".bad"));
}

TEST_F(TaskListStore, ADamagedFileIsSetAsideOverAnOlderOne)
{
    const std::string whole = taskListText({task(1, 10)});
    const std::string damages[] = {"", whole.substr(0, whole.size() / 2), "{\"version\": 1, \"tasks\": 3}"};
    for (const std::string& bytes : damages) {
        writeBytes(path_ + L".bad", "older damage");
        writeBytes(path_, bytes);
        const TaskListLoad load = loadTaskList(path_);
        EXPECT_TRUE(load.setAside) << bytes;
        EXPECT_FALSE(load.reason.empty());
        EXPECT_TRUE(load.tasks.empty());
        EXPECT_FALSE(exists(path_));
        EXPECT_EQ(fileBytes(path_ + L".bad"), bytes);
    }
}

TEST_F(TaskListStore, AnUnreadableFileGivesAnEmptyList)
{
    writeBytes(path_, taskListText({task(1, 10)}));
    UniqueFile lock(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock.valid());
    const TaskListLoad load = loadTaskList(path_);
    EXPECT_TRUE(load.setAside);
    EXPECT_TRUE(load.tasks.empty());
}

TEST_F(TaskListStore, AFailedWriteLeavesThePreviousFileWhole)
{
    const std::vector<StoredTask> before = {task(1, 10)};
    ASSERT_TRUE(saveTaskList(path_, before));
    const std::string bytes = fileBytes(path_);

    // The temporary file cannot be made.
    ASSERT_TRUE(CreateDirectoryW((path_ + L".tmp").c_str(), nullptr));
    EXPECT_FALSE(saveTaskList(path_, {task(1, 20)}));
    ASSERT_TRUE(RemoveDirectoryW((path_ + L".tmp").c_str()));
    EXPECT_EQ(fileBytes(path_), bytes);

    // A record the reader would refuse is never written.
    StoredTask broken = task(2, 20);
    broken.size = 10;
    EXPECT_FALSE(saveTaskList(path_, {task(1, 30), broken}));
    EXPECT_EQ(fileBytes(path_), bytes);
    EXPECT_EQ(loadTaskList(path_).tasks, before);
}

// A list that the test changes while the writer's worker reads it.
class LiveList {
public:
    std::vector<StoredTask> snapshot()
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++calls_;
        return tasks_;
    }
    void set(std::vector<StoredTask> tasks)
    {
        std::lock_guard<std::mutex> guard(lock_);
        tasks_ = std::move(tasks);
    }
    int calls()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return calls_;
    }

private:
    std::mutex lock_;
    std::vector<StoredTask> tasks_;
    int calls_ = 0;
};

TEST_F(TaskListStore, WriterCoalescesABurstAndTheNewestListWins)
{
    LiveList list;
    std::mutex gateLock;
    std::condition_variable gateOpened;
    bool open = false;
    std::atomic<int> calls{0};
    TaskListWriter writer(path_, [&] {
        if (calls++ == 0) {
            // Held inside the first write until the burst below is over. If
            // announcing a change blocked on the worker, the gate would time out.
            std::unique_lock<std::mutex> guard(gateLock);
            EXPECT_TRUE(gateOpened.wait_for(guard, 8s, [&] { return open; })) << "a caller was blocked";
        }
        return list.snapshot();
    });
    writer.stateChanged();
    ASSERT_TRUE(eventually([&] { return calls > 0; }));
    for (int i = 1; i <= 100; ++i) {
        list.set({task(1, i)});
        i % 2 ? writer.bytesArrived() : writer.stateChanged();
    }
    {
        std::lock_guard<std::mutex> guard(gateLock);
        open = true;
    }
    gateOpened.notify_all();
    ASSERT_TRUE(writer.flush(20s));
    EXPECT_EQ(list.calls(), 2) << "one write for the burst";
    EXPECT_EQ(fileBytes(path_), taskListText({task(1, 100)}));
}

TEST_F(TaskListStore, WriterPacesProgressAndWritesAStateChangeAtOnce)
{
    constexpr auto interval = 200ms;
    LiveList list;
    TaskListWriter writer(path_, [&] { return list.snapshot(); }, interval);
    const auto started = std::chrono::steady_clock::now();
    int received = 0;
    while (std::chrono::steady_clock::now() - started < 1500ms) {
        list.set({task(1, ++received)});
        writer.bytesArrived();
        std::this_thread::sleep_for(1ms);
    }
    // The last bytes reach the file by themselves, without a flush.
    EXPECT_TRUE(fileHolds(path_, {task(1, received)}));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LE(list.calls(), 1 + static_cast<int>(seconds / 0.2)) << "writes closer together than the interval";

    // A state change does not wait for the interval (an hour here).
    TaskListWriter slow(path_, [&] { return list.snapshot(); }, std::chrono::hours(1));
    list.set({task(1, 1)});
    slow.bytesArrived();
    ASSERT_TRUE(fileHolds(path_, {task(1, 1)}));
    list.set({task(1, 2)});
    slow.bytesArrived();
    list.set({task(1, 3)});
    slow.stateChanged();
    EXPECT_TRUE(fileHolds(path_, {task(1, 3)}));
}

TEST_F(TaskListStore, WriterTriesAFailedWriteAgain)
{
    LiveList list;
    list.set({task(1, 5)});
    TaskListWriter writer(path_, [&] { return list.snapshot(); }, 100ms);
    ASSERT_TRUE(CreateDirectoryW((path_ + L".tmp").c_str(), nullptr));
    writer.stateChanged();
    // A second attempt means the first one failed.
    ASSERT_TRUE(eventually([&] { return list.calls() >= 2; }));
    EXPECT_FALSE(exists(path_));
    ASSERT_TRUE(RemoveDirectoryW((path_ + L".tmp").c_str()));
    EXPECT_TRUE(fileHolds(path_, {task(1, 5)}));
}

}  // namespace
