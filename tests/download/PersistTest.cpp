// Downloads that outlive the program: the task list the engine keeps, pause
// and continue, and held bytes continued after a restart only when the server
// still has the same version of the file.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "core/text.h"
#include "download/download_manager.h"
#include "download/task_list_store.h"
#include "download/task_list_writer.h"
#include "tests/download/engine_harness.h"
#include "tests/support/download_manager_access.h"
#include "tests/support/test_server.h"

using namespace enginetest;
using namespace std::chrono_literals;

namespace {

constexpr size_t kSize = 600000;

// The engine's task list, kept in the test's folder while it lives; its
// writes can be held back, as by a slow disk.
class KeptList {
public:
    explicit KeptList(const std::wstring& folder)
        : path_(folder + L"\\downloads.json"), writesMayGo_(CreateEventW(nullptr, TRUE, TRUE, nullptr)),
          writer_(path_,
                  [this] {
                      WaitForSingleObject(writesMayGo_.get(), INFINITE);
                      return DownloadManager::instance().storedTasks();
                  },
                  100ms)
    {
        DownloadManager::instance().keepTaskListIn(&writer_);
    }
    ~KeptList()
    {
        release();
        DownloadManager::instance().keepTaskListIn(nullptr);
    }
    void hold() { ResetEvent(writesMayGo_.get()); }
    void release() { SetEvent(writesMayGo_.get()); }

    // The file once every change so far is written.
    std::vector<StoredTask> onDisk()
    {
        EXPECT_TRUE(writer_.flush(20000ms));
        return loadTaskList(path_).tasks;
    }

private:
    std::wstring path_;
    UniqueHandle writesMayGo_;
    TaskListWriter writer_;
};

// Starts a paced download and pauses it once about half has arrived.
std::shared_ptr<Task> pausedHalfway(int32_t id, const std::string& name, const std::string& content)
{
    putServerFile(name, content);
    addServerRule("{\"path\":\"/files/" + name + "\",\"steps\":[{}],\"then\":{\"bytesPerSecond\":200000}}");
    std::shared_ptr<Task> task = startTask(id, L"Paused " + std::to_wstring(id), fileUrl(name));
    EXPECT_TRUE(waitUntil([&] { return task->received.load() >= static_cast<int64_t>(kSize / 2); }));
    DownloadManager::instance().pause(id);
    EXPECT_EQ(viewOf(id).state, TaskState::Paused) << "at once, before the worker stops";
    EXPECT_TRUE(waitForWorker(task, 10000)) << "the transfer did not stop";
    return task;
}

std::shared_ptr<Task> resumedToTheEnd(int32_t id)
{
    DownloadManager::instance().resume(id);
    std::shared_ptr<Task> task = DownloadManager::instance().findTask(id);
    EXPECT_TRUE(waitForWorker(task)) << "the continued worker did not end";
    return task;
}

std::string inverted(std::string bytes)
{
    for (char& c : bytes) c = static_cast<char>(255 - static_cast<unsigned char>(c));
    return bytes;
}

}  // namespace

TEST(PauseAndContinue, StopsTheTransferKeepsThePartFileAndContinuesFromTheHeldByte)
{
    EngineTest env(L"pause");
    KeptList list(env.folder());
    const std::string content = patternBytes(kSize, 81);
    std::shared_ptr<Task> paused = pausedHalfway(6101, "k-pause.bin", content);
    const size_t requestsBefore = requestsTo(serverLog(), "/files/k-pause.bin").size();

    // The record claims what the part file holds, of the version it came from.
    const std::vector<StoredTask> records = list.onDisk();
    ASSERT_EQ(records.size(), 1u);
    const StoredTask& record = records[0];
    EXPECT_EQ(record.state, kStoredPausedState);
    EXPECT_EQ(record.received, paused->received.load());
    EXPECT_EQ(record.validatorKind, ValidatorKind::ETag);
    ASSERT_GT(record.received, 0);
    const std::string held = fileBytes(paused->partPath).substr(0, record.received);
    EXPECT_EQ(firstDifference(held, content.substr(0, record.received)), -1);
    // A paused task is no finished one, and its app's card only opens the page.
    DownloadManager::instance().clearFinished();
    DownloadManager::instance().startDownload(6101, L"Paused 6101", fileUrl("k-pause.bin"), "", 0);
    EXPECT_EQ(DownloadManager::instance().findTask(6101), paused);

    std::shared_ptr<Task> resumed = resumedToTheEnd(6101);
    EXPECT_NE(resumed, paused);
    EXPECT_EQ(viewOf(6101).state, TaskState::Downloaded) << wideToUtf8(viewOf(6101).error);
    EXPECT_EQ(firstDifference(fileBytes(resumed->finalPath()), content), -1);
    std::vector<LoggedRequest> after = requestsTo(serverLog(), "/files/k-pause.bin");
    after.erase(after.begin(), after.begin() + requestsBefore);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].range, "bytes=0-0");
    EXPECT_EQ(after[1].range, "bytes=" + std::to_string(record.received) + "-" + std::to_string(kSize - 1));
    EXPECT_EQ(after[1].ifRange, record.validator);
    EXPECT_EQ(list.onDisk().at(0).state, TaskState::Downloaded);
}

// The task list of a run that ended halfway through a download, then a new run
// that puts it back and continues: the same file, a file changed before the
// probe, a file changed at the continued request (its 200 is the new file),
// and a server that ignores If-Range and answers another version's 206.
TEST(ResumeAfterRestart, HeldBytesAreContinuedOnlyFromTheSameVersion)
{
    const struct {
        const char* label;
        const char* stepsAfterRestart;
        bool changed;        // the file arrives in its new version
        bool continued;      // the first transfer asks from the held byte, with If-Range
        size_t transfers;    // requests after the probe
    } cases[] = {
        {"same file", "", false, true, 1},
        {"changed before the probe", R"({"changeFile":true})", true, false, 1},
        {"changed at the continued request", R"({},{"changeFile":true})", true, true, 1},
        {"206 of another version", R"({},{"headers":{"ETag":"\"other\""}})", false, true, 2},
    };
    int32_t id = 6110;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EngineTest env(L"restart");
        KeptList list(env.folder());
        const std::string name = "k-restart-" + std::to_string(id) + ".bin";
        const std::string content = patternBytes(kSize, static_cast<uint32_t>(id));
        pausedHalfway(id, name, content);
        std::vector<StoredTask> records = list.onDisk();
        ASSERT_EQ(records.size(), 1u);
        // A run ended hard leaves its last record saying "downloading".
        records[0].state = TaskState::Downloading;
        DownloadManagerTestAccess::forget(id);

        resetServer();
        if (*c.stepsAfterRestart)
            addServerRule("{\"path\":\"/files/" + name + "\",\"steps\":[" + c.stepsAfterRestart + "]}");
        DownloadManager::instance().restore(records);
        EXPECT_EQ(viewOf(id).state, TaskState::Paused);
        EXPECT_EQ(viewOf(id).received, records[0].received);

        std::shared_ptr<Task> resumed = resumedToTheEnd(id);
        EXPECT_EQ(viewOf(id).state, TaskState::Downloaded) << wideToUtf8(viewOf(id).error);
        EXPECT_EQ(firstDifference(fileBytes(resumed->finalPath()), c.changed ? inverted(content) : content), -1);
        const std::vector<LoggedRequest> requests = requestsTo(serverLog(), "/files/" + name);
        ASSERT_EQ(requests.size(), 1 + c.transfers);
        const std::string held = std::to_string(records[0].received);
        EXPECT_EQ(requests[1].range, "bytes=" + (c.continued ? held : "0") + "-" + std::to_string(kSize - 1));
        EXPECT_EQ(requests[1].ifRange, c.continued ? records[0].validator : "");
        if (c.transfers == 2) {
            EXPECT_EQ(requests[2].range, "bytes=0-" + std::to_string(kSize - 1));
        }
        ++id;
    }
}

// A file changed on the server comes again from byte 0: its part file is cut
// only once the list on disk no longer claims the old bytes, so that a crash
// in between cannot bring them back as held.
TEST(ResumeAfterRestart, APartFileIsCutOnlyOnceTheListNoLongerClaimsItsBytes)
{
    EngineTest env(L"cutlast");
    KeptList list(env.folder());
    constexpr int32_t id = 6118;
    const std::string name = "k-cutlast.bin";
    const std::string content = patternBytes(kSize, id);
    pausedHalfway(id, name, content);
    std::vector<StoredTask> records = list.onDisk();
    ASSERT_EQ(records.size(), 1u);
    DownloadManagerTestAccess::forget(id);
    resetServer();
    addServerRule("{\"path\":\"/files/" + name + "\",\"steps\":[{\"changeFile\":true}]}");
    DownloadManager::instance().restore(records);
    const std::wstring partPath = DownloadManager::instance().findTask(id)->partPath;
    const std::string partBefore = fileBytes(partPath);

    list.hold();
    DownloadManager::instance().resume(id);
    std::shared_ptr<Task> resumed = DownloadManager::instance().findTask(id);
    EXPECT_TRUE(waitUntil([&] { return !requestsTo(serverLog(), "/files/" + name).empty(); }));
    EXPECT_FALSE(waitForWorker(resumed, 1000)) << "the worker did not wait for the list";
    EXPECT_EQ(fileBytes(partPath), partBefore) << "cut while the list still claimed its bytes";
    list.release();

    EXPECT_TRUE(waitForWorker(resumed));
    EXPECT_EQ(viewOf(id).state, TaskState::Downloaded) << wideToUtf8(viewOf(id).error);
    EXPECT_EQ(firstDifference(fileBytes(resumed->finalPath()), inverted(content)), -1);
}

// A continuation stopped while the paused task's worker is still ending waits
// for that worker anyway: nothing may start on the same part file beside it.
TEST(PauseAndContinue, AContinuationStoppedMeanwhileStillOutlivesTheOldWorker)
{
    EngineTest env(L"takeover");
    constexpr int32_t id = 6119;
    UniqueHandle oldWorkerMayEnd(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    auto paused = std::make_shared<Task>();
    paused->id = id;
    paused->name = L"Slow to stop";
    paused->url = fileUrl("k-takeover.bin");
    paused->partPath = env.folder() + L"\\Slow to stop.exe.part";
    paused->state = TaskState::Paused;
    paused->setResumePoint({1000, spansFromStart(400), {}});
    paused->thread.reset(CreateThread(
        nullptr, 0, [](void* event) -> DWORD { return WaitForSingleObject(event, INFINITE); },
        oldWorkerMayEnd.get(), 0, nullptr));
    DownloadManagerTestAccess::addTask(paused);

    DownloadManager::instance().resume(id);
    std::shared_ptr<Task> continued = DownloadManager::instance().findTask(id);
    ASSERT_NE(continued, paused);
    DownloadManager::instance().pause(id);
    EXPECT_FALSE(waitForWorker(continued, 1000)) << "ended while the old worker still runs";
    SetEvent(oldWorkerMayEnd.get());
    EXPECT_TRUE(waitForWorker(continued));
    EXPECT_EQ(viewOf(id).state, TaskState::Paused);
    EXPECT_EQ(continued->received.load(), 400) << "the old worker's resume point";
    DownloadManagerTestAccess::forget(id);
}

TEST(ResumeAfterRestart, TasksWhoseFilesAreGoneAreDroppedAndTheListSaysSo)
{
    EngineTest env(L"restore");
    KeptList list(env.folder());
    const auto record = [&](int32_t id, int32_t state, const char* file) {
        StoredTask task;
        task.id = id;
        task.url = fileUrl("nothing.bin");
        task.size = 1000;
        task.received = 800;
        task.spans = spansFromStart(800);
        task.state = state;
        task.finalPath = wideToUtf8(env.folder()) + "\\r" + std::to_string(id) + ".exe";
        task.partPath = task.finalPath + ".part";
        task.error = "磁盘写入失败";
        if (file) writeWholeFile(utf8ToWide(*file == 'f' ? task.finalPath : task.partPath), std::string(300, 'p'));
        return task;
    };
    DownloadManager::instance().restore({record(6120, TaskState::Failed, "final"),
                                         record(6121, TaskState::Downloaded, nullptr),
                                         record(6122, TaskState::Downloading, nullptr),
                                         record(6123, TaskState::Verifying, "part")});
    EXPECT_EQ(viewOf(6120).state, TaskState::Failed);
    EXPECT_EQ(viewOf(6120).error, L"磁盘写入失败");
    EXPECT_EQ(viewOf(6123).state, TaskState::Paused);
    EXPECT_EQ(viewOf(6123).received, 300) << "no more than the part file holds";
    std::vector<int32_t> kept;
    for (const StoredTask& task : list.onDisk()) kept.push_back(task.id);
    EXPECT_EQ(kept, (std::vector<int32_t>{6120, 6123}));
}

TEST(PauseAndContinue, SegmentsKeepEverySpanAndEachContinuesAfterARestartFromItsOwnByte)
{
    EngineTest env(L"pausesegments");
    KeptList list(env.folder());
    constexpr int64_t kLarge = 24000000;
    const std::string content = patternBytes(kLarge, 91);
    putServerFile("k-segments.bin", content);
    addServerRule(R"({"path":"/files/k-segments.bin","steps":[{}],"then":{"bytesPerSecond":2000000}})");
    std::shared_ptr<Task> paused = startTask(6130, L"Paused Segments", fileUrl("k-segments.bin"), "", kLarge);
    ASSERT_TRUE(waitUntil([&] { return paused->received.load() >= kLarge / 3; }));
    DownloadManager::instance().pause(6130);
    ASSERT_TRUE(waitForWorker(paused, 10000)) << "every connection stopped";
    const size_t requestsBefore = requestsTo(serverLog(), "/files/k-segments.bin").size();

    const std::vector<StoredTask> records = list.onDisk();
    ASSERT_EQ(records.size(), 1u);
    const StoredTask& record = records[0];
    ASSERT_GT(record.spans.size(), 1u) << "spans held apart";
    EXPECT_EQ(record.received, paused->received.load());
    const std::string part = fileBytes(paused->partPath);
    for (const ByteSpan& span : record.spans)
        EXPECT_EQ(part.compare(span.first, span.end - span.first, content, span.first, span.end - span.first), 0);

    // The program ends and starts again (the catalog's size is not kept); 继续.
    DownloadManagerTestAccess::forget(6130);
    DownloadManager::instance().restore(records);
    EXPECT_EQ(viewOf(6130).received, record.received);
    std::shared_ptr<Task> resumed = resumedToTheEnd(6130);
    EXPECT_EQ(viewOf(6130).state, TaskState::Downloaded) << wideToUtf8(viewOf(6130).error);
    EXPECT_EQ(firstDifference(fileBytes(resumed->finalPath()), content), -1);
    std::vector<LoggedRequest> after = requestsTo(serverLog(), "/files/k-segments.bin");
    after.erase(after.begin(), after.begin() + requestsBefore + 1);  // and the probe
    std::vector<int64_t> starts;
    for (const LoggedRequest& request : after) {
        starts.push_back(std::stoll(request.range.substr(6)));
        EXPECT_EQ(request.ifRange, record.validator);
        for (const ByteSpan& span : record.spans)
            EXPECT_FALSE(starts.back() >= span.first && starts.back() < span.end) << request.range << " asks again";
    }
    for (const ByteSpan& span : record.spans) {
        if (span.end < kLarge) {
            EXPECT_NE(std::find(starts.begin(), starts.end(), span.end), starts.end()) << "a span not continued";
        }
    }
}
