// The task manager: starting, replacing, cancelling and clearing tasks, the
// install qualification, speed sampling and the request-slot gate.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "core/handles.h"
#include "core/text.h"
#include "download/download_manager.h"
#include "tests/download/engine_harness.h"
#include "tests/support/download_manager_access.h"
#include "tests/support/test_server.h"

using namespace enginetest;

namespace {

std::string throttledRule(const std::string& path, int bytesPerSecond)
{
    return "{\"path\":\"" + path + "\",\"steps\":[{}],\"then\":{\"bytesPerSecond\":" + std::to_string(bytesPerSecond) +
           "}}";
}

std::shared_ptr<Task> fakeTask(int32_t id, int32_t state, const std::wstring& folder)
{
    auto task = std::make_shared<Task>();
    task->id = id;
    task->name = L"Fake " + std::to_wstring(id);
    task->setFinalPath(folder + L"\\fake-" + std::to_wstring(id) + L".exe");
    task->partPath = task->finalPath() + L".part";
    task->state = state;
    return task;
}

// Tasks added by hand: make them finished so clearFinished removes them.
void forget(const std::vector<int32_t>& ids)
{
    for (int32_t id : ids)
        if (auto task = DownloadManager::instance().findTask(id)) task->state = TaskState::Failed;
    DownloadManager::instance().clearFinished();
}

size_t countOf(const std::vector<std::pair<UINT, WPARAM>>& messages, UINT message)
{
    size_t n = 0;
    for (const auto& m : messages) n += m.first == message;
    return n;
}

}  // namespace

TEST(StartDownload, SecondStartWhileRunningIsIgnoredAndAFinishedTaskIsReplaced)
{
    EngineTest env(L"restart");
    const std::string content = patternBytes(200000, 20);
    putServerFile("m-again.bin", content);
    addServerRule(throttledRule("/files/m-again.bin", 40000));
    MessageCollector messages;

    std::shared_ptr<Task> first = startTask(5201, L"Again", fileUrl("m-again.bin"));
    ASSERT_TRUE(first);
    EXPECT_EQ(messages.take().size(), 1u);
    DownloadManager::instance().startDownload(5201, L"Again, renamed", fileUrl("m-again.bin"), "", 0);
    EXPECT_EQ(DownloadManager::instance().findTask(5201), first);
    EXPECT_TRUE(messages.take().empty()) << "an ignored start posts nothing";

    DownloadManager::instance().cancel(5201);
    ASSERT_TRUE(waitForWorker(first, 10000));
    resetServer();  // the new task downloads at full speed
    std::shared_ptr<Task> second = runTask(5201, L"Again", fileUrl("m-again.bin"));
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_EQ(first->state.load(), TaskState::Cancelled);
    EXPECT_EQ(viewOf(5201).state, TaskState::Downloaded);
    std::string got;
    ASSERT_TRUE(readWholeFile(env.folder() + L"\\Again.exe", got));
    EXPECT_EQ(firstDifference(got, content), -1);
}

TEST(StartDownload, AppsWhoseNamesGiveOneStemNeverShareAPartFile)
{
    EngineTest env(L"samestem");
    const std::string slow = patternBytes(200000, 21);
    const std::string fast = patternBytes(150000, 22);
    putServerFile("m-stem-a.bin", slow);
    putServerFile("m-stem-b.bin", fast);
    putServerFile("m-stem-c.bin", fast);
    addServerRule(throttledRule("/files/m-stem-a.bin", 100000));

    std::shared_ptr<Task> a = startTask(5211, L"Shared Tool", fileUrl("m-stem-a.bin"));
    // Same stem once '?' is dropped; file names ignore case on Windows.
    std::shared_ptr<Task> b = startTask(5212, L"shared tool?", fileUrl("m-stem-b.bin"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->partPath, env.folder() + L"\\Shared Tool.exe.part");
    EXPECT_EQ(b->partPath, env.folder() + L"\\shared tool (5212).exe.part");
    ASSERT_TRUE(waitForWorker(a));
    ASSERT_TRUE(waitForWorker(b));

    std::string got;
    ASSERT_TRUE(readWholeFile(env.folder() + L"\\Shared Tool.exe", got));
    EXPECT_EQ(firstDifference(got, slow), -1);
    ASSERT_TRUE(readWholeFile(env.folder() + L"\\shared tool (5212).exe", got));
    EXPECT_EQ(firstDifference(got, fast), -1);

    // A finished task keeps its name: a third application must not replace
    // that file, or "install" on the first would start the third's installer.
    std::shared_ptr<Task> c = runTask(5213, L"Shared Tool", fileUrl("m-stem-c.bin"));
    ASSERT_TRUE(c);
    EXPECT_EQ(c->partPath, env.folder() + L"\\Shared Tool (5213).exe.part");
    EXPECT_EQ(viewOf(5213).state, TaskState::Downloaded);
    ASSERT_TRUE(readWholeFile(env.folder() + L"\\Shared Tool.exe", got));
    EXPECT_EQ(firstDifference(got, slow), -1);

    // The same application again reuses its own name; once the tasks are
    // cleared, the plain name is free again.
    std::shared_ptr<Task> again = runTask(5212, L"shared tool?", fileUrl("m-stem-b.bin"));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->partPath, env.folder() + L"\\shared tool (5212).exe.part");
    DownloadManager::instance().clearFinished();
    std::shared_ptr<Task> d = runTask(5214, L"Shared Tool", fileUrl("m-stem-c.bin"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->partPath, env.folder() + L"\\Shared Tool.exe.part");
}

TEST(StartDownload, SuffixGrowsUntilTheNameIsFree)
{
    EngineTest env(L"suffixes");
    putServerFile("m-suffix.bin", patternBytes(1000, 27));
    // Other applications' finished tasks hold X, X (9), X (9) (9) ... X (9) (9) (9) (9).
    std::vector<int32_t> others;
    std::wstring taken = L"X";
    for (int32_t id = 5245; id < 5250; ++id) {
        auto task = fakeTask(id, TaskState::Downloaded, env.folder());
        task->partPath = env.folder() + L"\\" + taken + L".exe.part";
        DownloadManagerTestAccess::addTask(task);
        others.push_back(id);
        taken += L" (9)";
    }
    std::shared_ptr<Task> task = runTask(9, L"X", fileUrl("m-suffix.bin"));
    ASSERT_TRUE(task);
    EXPECT_EQ(task->partPath, env.folder() + L"\\" + taken + L".exe.part");
    others.push_back(9);
    forget(others);
}

TEST(StartDownload, CancelledTaskWhoseWorkerStillRunsKeepsItsPartFile)
{
    EngineTest env(L"cancelledbusy");
    const std::string content = patternBytes(80000, 26);
    putServerFile("m-busy.bin", content);
    // Cancelled while verifying: the worker still hashes and moves the part file.
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(release.valid());
    auto busy = std::make_shared<Task>();
    busy->id = 5214;
    busy->name = L"Busy Tool";
    busy->setFinalPath(env.folder() + L"\\Busy Tool.exe");
    busy->partPath = env.folder() + L"\\Busy Tool.exe.part";
    busy->state = TaskState::Cancelled;
    HANDLE event = release.get();
    busy->thread = startDetachedThread([event] { WaitForSingleObject(event, 60000); });
    ASSERT_TRUE(busy->thread.valid());
    DownloadManagerTestAccess::addTask(busy);

    std::shared_ptr<Task> other = runTask(5215, L"Busy Tool", fileUrl("m-busy.bin"));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->partPath, env.folder() + L"\\Busy Tool (5215).exe.part");
    // The same application again: its old worker has not let go either.
    std::shared_ptr<Task> again = runTask(5214, L"Busy Tool", fileUrl("m-busy.bin"));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->partPath, env.folder() + L"\\Busy Tool (5214).exe.part");
    std::string got;
    ASSERT_TRUE(readWholeFile(env.folder() + L"\\Busy Tool (5215).exe", got));
    EXPECT_EQ(firstDifference(got, content), -1);

    SetEvent(release.get());
    ASSERT_TRUE(waitForWorker(busy, 10000));
    DownloadManagerTestAccess::addTask(busy);
    // Once that worker has ended and the tasks are cleared, the plain name is free again.
    DownloadManager::instance().clearFinished();
    std::shared_ptr<Task> later = runTask(5216, L"Busy Tool", fileUrl("m-busy.bin"));
    ASSERT_TRUE(later);
    EXPECT_EQ(later->partPath, env.folder() + L"\\Busy Tool.exe.part");
    EXPECT_EQ(viewOf(5216).state, TaskState::Downloaded);
}

TEST(TaskFinalPath, ReadersNeverSeeAHalfWrittenPath)
{
    // The worker renames the final path while the UI thread reads it. Paths
    // of equal length are copied in place, and long ones take a while to
    // copy, so an unguarded reader would see both letters in one path.
    Task task;
    const std::wstring zip(1 << 18, L'z');
    const std::wstring exe(1 << 18, L'e');
    task.setFinalPath(exe);
    EXPECT_TRUE(readersNeverSeeATornValue([&](int i) { task.setFinalPath((i % 2) ? exe : zip); },
                                          [&] { return task.finalPath(); }, zip, exe));
}

TEST(Cancel, DuringTheTransferStopsTheWorkerAndKeepsThePartFile)
{
    EngineTest env(L"canceltransfer");
    putServerFile("m-cancel.bin", patternBytes(300000, 23));
    addServerRule(throttledRule("/files/m-cancel.bin", 40000));
    MessageCollector messages;

    std::shared_ptr<Task> task = startTask(5221, L"Cancel Me", fileUrl("m-cancel.bin"));
    ASSERT_TRUE(task);
    ASSERT_TRUE(waitUntil([&] { return task->received.load() > 0; }));
    messages.take();

    DownloadManager::instance().cancel(5221);
    EXPECT_EQ(viewOf(5221).state, TaskState::Cancelled);  // at once, before the worker stops
    ASSERT_TRUE(waitForWorker(task, 10000));
    EXPECT_EQ(viewOf(5221).state, TaskState::Cancelled);
    EXPECT_TRUE(fileExists(task->partPath));
    EXPECT_FALSE(fileExists(env.folder() + L"\\Cancel Me.exe"));
    const auto posted = messages.take();
    ASSERT_EQ(posted.size(), 1u) << "only the cancel's own redraw";
    EXPECT_EQ(posted[0].first, WM_APP_REFRESH);
}

TEST(ClearFinished, RightAfterACancelDeletesThePartFileOnceTheWorkerLetsGo)
{
    EngineTest env(L"clearaftercancel");
    putServerFile("m-clear.bin", patternBytes(300000, 24));
    addServerRule(throttledRule("/files/m-clear.bin", 40000));

    std::shared_ptr<Task> task = startTask(5225, L"Clear Me", fileUrl("m-clear.bin"));
    ASSERT_TRUE(task);
    ASSERT_TRUE(waitUntil([&] { return task->received.load() > 0; }));
    DownloadManager::instance().cancel(5225);
    DownloadManager::instance().clearFinished();  // the worker may still hold the file
    EXPECT_FALSE(DownloadManager::instance().findTask(5225));
    ASSERT_TRUE(waitForWorker(task, 10000));
    EXPECT_FALSE(fileExists(task->partPath));
    // Its connection is gone too, as the server sees it.
    EXPECT_TRUE(waitUntil([] { return serverLog().openConnections == 0; }, 10000));
}

TEST(Cancel, DuringARetryWaitEndsTheWorkerWithoutAnotherRequest)
{
    EngineTest env(L"cancelwait", 100);  // the real waits: 500, 1000, 1500, 2000 ms...
    putServerFile("m-wait.bin", patternBytes(1000, 24));
    addServerRule("{\"path\":\"/files/m-wait.bin\",\"steps\":[{}],\"then\":{\"status\":503,\"body\":\"later\"}}");
    MessageCollector messages;

    std::shared_ptr<Task> task = startTask(5231, L"Wait For Me", fileUrl("m-wait.bin"));
    ASSERT_TRUE(task);
    // Retry 4 begins a 2000 ms wait.
    ASSERT_TRUE(waitUntil([&] { return task->retries.load() >= 4; }, 30000));
    DownloadManager::instance().cancel(5231);
    const size_t requestsAtCancel = requestsTo(serverLog(), "/files/m-wait.bin").size();
    messages.take();

    // No request after the cancel: the wait checks the flag before every step.
    EXPECT_TRUE(waitForWorker(task));
    EXPECT_EQ(viewOf(5231).state, TaskState::Cancelled);
    EXPECT_EQ(requestsTo(serverLog(), "/files/m-wait.bin").size(), requestsAtCancel);
    EXPECT_TRUE(messages.take().empty());
}

TEST(Cancel, FinishedTaskIsLeftAlone)
{
    EngineTest env(L"cancelfinished");
    putServerFile("m-done.bin", patternBytes(5000, 25));
    runTask(5241, L"Already Done", fileUrl("m-done.bin"));
    ASSERT_EQ(viewOf(5241).state, TaskState::Downloaded);
    MessageCollector messages;

    DownloadManager::instance().cancel(5241);

    EXPECT_EQ(viewOf(5241).state, TaskState::Downloaded);
    EXPECT_TRUE(messages.take().empty());
}

TEST(ClearFinished, KeepsActiveTasksAndDeletesOnlyPartFilesOfFailedAndCancelled)
{
    EngineTest env(L"clear");
    std::vector<int32_t> ids;
    for (int32_t state = 0; state <= 7; ++state) {
        auto task = fakeTask(5250 + state, state, env.folder());
        writeWholeFile(task->partPath, "part");
        writeWholeFile(task->finalPath(), "final");
        DownloadManagerTestAccess::addTask(task);
        ids.push_back(task->id);
    }
    MessageCollector messages;

    DownloadManager::instance().clearFinished();

    const auto views = DownloadManager::instance().snapshot();
    for (int32_t state = 0; state <= 7; ++state) {
        SCOPED_TRACE("state " + std::to_string(state));
        const int32_t id = 5250 + state;
        const bool kept =
            state == TaskState::Downloading || state == TaskState::Verifying || state == TaskState::Installing;
        EXPECT_EQ(views.count(id), kept ? 1u : 0u);
        const std::wstring final = env.folder() + L"\\fake-" + std::to_wstring(id) + L".exe";
        EXPECT_EQ(fileExists(final + L".part"), state != TaskState::Failed && state != TaskState::Cancelled);
        EXPECT_TRUE(fileExists(final));
    }
    EXPECT_EQ(countOf(messages.take(), WM_APP_REFRESH), 1u);
    forget(ids);
}

TEST(ClearFinished, KeepsAPartFileThatAnotherAppDownloadsInto)
{
    EngineTest env(L"clearshared");
    // "Foo" failed; "Foo?" (the same stem) started afterwards and now downloads
    // into the same part file.
    const std::wstring shared = env.folder() + L"\\Foo.exe.part";
    const std::wstring alone = env.folder() + L"\\Bar.exe.part";
    auto failed = fakeTask(5320, TaskState::Failed, env.folder());
    failed->partPath = shared;
    auto running = fakeTask(5321, TaskState::Downloading, env.folder());
    running->partPath = env.folder() + L"\\foo.exe.part";  // file names ignore case
    auto cancelled = fakeTask(5322, TaskState::Cancelled, env.folder());
    cancelled->partPath = alone;
    for (const auto& task : {failed, running, cancelled}) DownloadManagerTestAccess::addTask(task);
    writeWholeFile(shared, "bytes of the running download");
    writeWholeFile(alone, "part");

    DownloadManager::instance().clearFinished();

    EXPECT_TRUE(fileExists(shared));
    EXPECT_FALSE(fileExists(alone));
    const auto views = DownloadManager::instance().snapshot();
    EXPECT_EQ(views.count(5320), 0u);
    EXPECT_EQ(views.count(5321), 1u);
    EXPECT_EQ(views.count(5322), 0u);
    forget({5321});
}

TEST(StartInstall, RefusesArchivesMismatchesAndEveryStateButDownloadedAndUnconfirmed)
{
    EngineTest env(L"install");
    struct Case {
        int32_t state;
        bool isArchive;
        bool md5Ok;
    };
    std::vector<Case> cases;
    for (int32_t state = 0; state <= 7; ++state)
        if (state != TaskState::Downloaded && state != TaskState::InstallUnconfirmed)
            cases.push_back({state, false, true});
    cases.push_back({TaskState::Downloaded, true, true});
    cases.push_back({TaskState::Downloaded, false, false});
    cases.push_back({TaskState::InstallUnconfirmed, true, true});
    cases.push_back({TaskState::InstallUnconfirmed, false, false});

    MessageCollector messages;
    std::vector<int32_t> ids;
    int32_t id = 5260;
    for (const Case& c : cases) {
        SCOPED_TRACE("state " + std::to_string(c.state) + " archive " + std::to_string(c.isArchive) + " md5Ok " +
                     std::to_string(c.md5Ok));
        auto task = fakeTask(id, c.state, env.folder());
        task->isArchive = c.isArchive;
        task->md5Ok = c.md5Ok;
        DownloadManagerTestAccess::addTask(task);
        ids.push_back(id);

        EXPECT_FALSE(DownloadManager::instance().startInstall(id));
        EXPECT_EQ(task->state.load(), c.state);
        ++id;
    }
    EXPECT_FALSE(DownloadManager::instance().startInstall(5299)) << "no such task";
    EXPECT_TRUE(messages.take().empty());
    forget(ids);
}

// One unrelated Uninstall entry for the test's lifetime: a fresh Wine prefix
// has none, and an empty snapshot before the installer counts as "installed".
class BackgroundUninstallEntry {
public:
    BackgroundUninstallEntry()
    {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
            ADD_FAILURE() << "cannot create the background Uninstall entry";
            return;
        }
        const wchar_t name[] = L"Pakvane Background Entry";
        RegSetValueExW(key, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof name);
        RegCloseKey(key);
    }
    ~BackgroundUninstallEntry() { RegDeleteKeyW(HKEY_CURRENT_USER, kPath); }

private:
    static constexpr const wchar_t* kPath =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PakvaneTest-EngineBackground";
};

TEST(StartInstall, StartsAVerifiedDownloadedInstallerAndMayStartItAgain)
{
    const std::wstring installer = testBuildDir() + L"\\test_installer.exe";
    std::string bytes;
    if (!readWholeFile(installer, bytes)) GTEST_SKIP() << "test_installer.exe is not built";
    BackgroundUninstallEntry background;
    EngineTest env(L"installrun");
    putServerFile("m-setup.exe", bytes);
    runTask(5271, L"Pakvane Engine Test Setup", fileUrl("m-setup.exe"));
    ASSERT_EQ(viewOf(5271).state, TaskState::Downloaded);
    MessageCollector messages;

    ASSERT_TRUE(DownloadManager::instance().startInstall(5271));
    EXPECT_EQ(viewOf(5271).state, TaskState::Installing);
    // Without its sidecar the installer exits 0 and registers nothing: not confirmed.
    ASSERT_TRUE(waitUntil([] { return viewOf(5271).state != TaskState::Installing; }, 60000));
    EXPECT_EQ(viewOf(5271).state, TaskState::InstallUnconfirmed);
    // startInstall's redraw, then the worker's once it is done.
    size_t redraws = 0;
    waitUntil([&] { return (redraws += countOf(messages.take(), WM_APP_REFRESH)) >= 2; }, 10000);
    EXPECT_EQ(redraws, 2u);

    ASSERT_TRUE(DownloadManager::instance().startInstall(5271));
    ASSERT_TRUE(waitUntil([] { return viewOf(5271).state != TaskState::Installing; }, 60000));
    EXPECT_EQ(viewOf(5271).state, TaskState::InstallUnconfirmed);
    redraws = 0;
    waitUntil([&] { return (redraws += countOf(messages.take(), WM_APP_REFRESH)) >= 2; }, 10000);
    EXPECT_EQ(redraws, 2u);
}

TEST(TickSpeed, FirstTickOnlySamplesAndARolledBackCounterGivesZero)
{
    EngineTest env(L"speed");
    auto running = fakeTask(5281, TaskState::Downloading, env.folder());
    auto finished = fakeTask(5282, TaskState::Downloaded, env.folder());
    finished->speed = 777;
    DownloadManagerTestAccess::addTask(running);
    DownloadManagerTestAccess::addTask(finished);
    MessageCollector messages;

    DownloadManager::instance().tickSpeed();
    EXPECT_NE(running->lastTick.load(), 0u);
    EXPECT_EQ(running->speed.load(), 0);
    EXPECT_TRUE(messages.take().empty()) << "a first sample changes no speed";

    running->received = 100000;
    Sleep(300);
    DownloadManager::instance().tickSpeed();
    // 100000 bytes over at least the 0.25 s that a sample needs.
    EXPECT_GT(running->speed.load(), 0);
    EXPECT_LE(running->speed.load(), 400000);
    EXPECT_EQ(running->lastReceived.load(), 100000);
    EXPECT_EQ(countOf(messages.take(), WM_APP_REFRESH), 1u);

    running->received = 40000;  // a restart took bytes back
    Sleep(300);
    DownloadManager::instance().tickSpeed();
    EXPECT_EQ(running->speed.load(), 0);
    EXPECT_EQ(finished->speed.load(), 777);
    forget({5281, 5282});
}

TEST(RequestGate, TenTasksNeverHaveMoreThanSixRequestsInFlight)
{
    EngineTest env(L"gate");
    std::vector<std::string> contents;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "m-gate-" + std::to_string(i) + ".bin";
        contents.push_back(patternBytes(60000, 30 + i));
        putServerFile(name, contents.back());
        addServerRule(throttledRule("/files/" + name, 60000));
    }

    std::vector<std::shared_ptr<Task>> tasks;
    for (int i = 0; i < 10; ++i)
        tasks.push_back(startTask(5290 + i, L"Gate " + std::to_wstring(i),
                                  fileUrl("m-gate-" + std::to_string(i) + ".bin")));
    // Six in flight is a state that lasts (each throttled answer takes about
    // a second), so it is waited for rather than sampled.
    int mostSeen = 0;
    auto sample = [&] {
        mostSeen = std::max(mostSeen, DownloadManagerTestAccess::activeRequests());
        return mostSeen;
    };
    EXPECT_TRUE(waitUntil([&] { return sample() >= 6; }, 60000));
    waitUntil([&] {
        sample();
        for (const auto& task : tasks)
            if (WaitForSingleObject(task->thread.get(), 0) != WAIT_OBJECT_0) return false;
        return true;
    }, 120000);

    EXPECT_EQ(mostSeen, 6);
    EXPECT_EQ(DownloadManagerTestAccess::activeRequests(), 0);
    const ServerLog log = serverLog();
    EXPECT_LE(log.maxInFlight, 6);
    EXPECT_EQ(log.maxInFlight, 6);
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(viewOf(5290 + i).state, TaskState::Downloaded);
        std::string got;
        ASSERT_TRUE(readWholeFile(env.folder() + L"\\Gate " + std::to_wstring(i) + L".exe", got));
        EXPECT_EQ(firstDifference(got, contents[i]), -1);
    }
}
