// The installer worker with real installers against the registry of the test
// prefix, and the decision it takes after an installer exits with 0.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/detached_thread.h"
#include "core/handles.h"
#include "core/text.h"
#include "download/download_manager.h"
#include "install/exit_code.h"
#include "install/install_outcome.h"
#include "install/installer.h"
#include "tests/install/install_harness.h"
#include "tests/install/uninstall_registry.h"
#include "tests/support/test_server.h"

namespace {

// ---- The decision after exit code 0, on made-up snapshots.

struct DecisionRow {
    const char* what;
    std::set<std::wstring> before;
    std::set<std::wstring> after;
    bool wasListed;
    bool confirmed;
};

TEST(InstallDecision, FollowsTheFourStepsInOrder)
{
    const std::set<std::wstring> none;
    const std::set<std::wstring> one = {L"CU\\A"};
    const std::set<std::wstring> two = {L"CU\\A", L"LM64\\B"};
    const std::set<std::wstring> moved = {L"LM32\\A"};
    const DecisionRow rows[] = {
        {"nothing anywhere, not listed", none, none, false, false},
        {"nothing anywhere, listed", none, none, true, true},
        {"everything removed, not listed", two, none, false, false},
        {"everything removed, listed", two, none, true, true},
        {"nothing before, something after", none, one, false, true},
        {"a new entry", one, two, false, true},
        {"a new entry, listed", one, two, true, true},
        {"same name in another location is new", one, moved, false, true},
        {"unchanged, not listed", two, two, false, false},
        {"unchanged, listed", two, two, true, true},
        {"one removed, none new, not listed", two, one, false, false},
        {"one removed, none new, listed", two, one, true, true},
    };
    for (const auto& row : rows)
        EXPECT_EQ(installationConfirmed(row.before, row.after, row.wasListed), row.confirmed) << row.what;
}

TEST(InstallDecision, ListedWhenAnyDisplayNameMatches)
{
    EXPECT_TRUE(isListed(L"Foo Editor", {L"Bar", L"foo editor 2.1 (x64)", L"Baz"}));
    EXPECT_FALSE(isListed(L"Foo Editor", {L"Bar", L"The Foo Editor"}));
    EXPECT_FALSE(isListed(L"Foo Editor", {}));
    // A name that normalises to nothing is never listed, not even by an empty DisplayName.
    EXPECT_FALSE(isListed(L" \u3000\t", {L"", L" "}));
}

// ---- The worker with the test installer.

enum class Made { Nothing, EntryWithName, EntryWithoutName };

struct OutcomeRow {
    const char* what;
    DWORD exitCode;
    Made made;
    bool listedBefore;
    int32_t expected;
    const wchar_t* line;  // the task's error afterwards
};

const OutcomeRow kOutcomeRows[] = {
    {"exit 0, new entry", 0, Made::EntryWithName, false, TaskState::Installed, L""},
    {"exit 0, new entry without DisplayName", 0, Made::EntryWithoutName, false, TaskState::Installed, L""},
    {"exit 0, nothing new, listed before (an update)", 0, Made::Nothing, true, TaskState::Installed, L""},
    {"exit 0, nothing new, not listed", 0, Made::Nothing, false, TaskState::InstallUnconfirmed, L""},
    {"exit 3010, new entry", 3010, Made::EntryWithName, false, TaskState::Installed, L"安装完成，重启电脑后生效"},
    {"exit 1641, nothing new, not listed", 1641, Made::Nothing, false, TaskState::InstallUnconfirmed, L""},
    {"exit 1, new entry naming the app", 1, Made::EntryWithName, true, TaskState::InstallUnconfirmed,
     L"安装失败（错误代码 1）"},
    {"exit 1223 (cancelled), new entry naming the app", 1223, Made::EntryWithName, true,
     TaskState::InstallUnconfirmed, L"安装已取消，可点击右侧按钮重新安装"},
    {"exit 1618, nothing new, not listed", 1618, Made::Nothing, false, TaskState::InstallUnconfirmed,
     L"另一个安装正在进行，请稍后重新安装"},
    {"exit 0x80004005, nothing new, listed", 0x80004005u, Made::Nothing, true, TaskState::InstallUnconfirmed,
     L"安装失败（错误代码 2147500037）"},
};

class InstallerRunTest : public ::testing::Test {
protected:
    // A fresh prefix lists nothing; one unrelated entry makes the before-snapshot
    // non-empty, so a new entry is judged by comparison, not by emptiness.
    void SetUp() override
    {
        ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Background-" + uniqueToken(),
                                               L"Background " + uniqueToken()));
    }

    ScratchUninstallKeys keys;
    RefreshWindow window;
};

TEST_F(InstallerRunTest, OutcomeFollowsExitCodeAndUninstallEntries)
{
    ASSERT_TRUE(window.valid());
    for (const auto& row : kOutcomeRows) {
        SCOPED_TRACE(row.what);
        const std::wstring token = uniqueToken();
        const std::wstring appName = L"Probe " + token;
        if (row.listedBefore) {
            ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Old-" + token, appName + L" 1.0"));
        }

        TestInstallerPlan plan;
        plan.exitCode = row.exitCode;
        if (row.made != Made::Nothing) {
            plan.uninstallKey = L"PakvaneTest-New-" + token;
            keys.track(UninstallRoot::User, plan.uninstallKey);
        }
        plan.withDisplayName = row.made == Made::EntryWithName;
        // Rows that judge by the keys name something else, so only the new identity can tell.
        plan.displayName = installerExitMeaning(row.exitCode).judgeByUninstallKeys ? L"Unrelated " + token : appName;
        const std::wstring installer = prepareTestInstaller(plan);
        ASSERT_FALSE(installer.empty());

        auto task = makeInstallerTask(appName, installer, TaskState::Installing);
        window.takeRefreshes();
        ASSERT_TRUE(runInstallerWorker(task));

        EXPECT_EQ(task->state.load(), row.expected);
        EXPECT_EQ(task->error(), row.line);
        EXPECT_EQ(task->signature().state, SignatureState::Unsigned);
        EXPECT_EQ(window.takeRefreshes(), 1);
        // The installer really ran: its entry is there when it was to make one.
        if (row.made != Made::Nothing) {
            std::wstring displayName;
            EXPECT_TRUE(ScratchUninstallKeys::exists(UninstallRoot::User, plan.uninstallKey, &displayName));
            EXPECT_EQ(displayName, plan.withDisplayName ? plan.displayName : L"");
        }
    }
}

TEST_F(InstallerRunTest, SameSubkeyInTheThirtyTwoBitKeyIsANewEntry)
{
    // A per-machine installer whose subkey name already exists in the native
    // key, made now in the 32-bit view's key: a different identity.
    const std::wstring token = uniqueToken();
    const std::wstring name = L"PakvaneTest-" + token;
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::Machine64, name, L"Unrelated " + token));
    TestInstallerPlan plan;
    plan.uninstallKey = name;
    plan.location = UninstallRoot::Machine32;
    keys.track(UninstallRoot::Machine32, name);
    const std::wstring installer = prepareTestInstaller(plan);
    ASSERT_FALSE(installer.empty());

    auto task = makeInstallerTask(L"Probe " + token, installer, TaskState::Installing);
    ASSERT_TRUE(runInstallerWorker(task));
    EXPECT_EQ(task->state.load(), TaskState::Installed);
    EXPECT_TRUE(ScratchUninstallKeys::exists(UninstallRoot::Machine32, name));
}

TEST_F(InstallerRunTest, RewrittenExistingEntryIsNoNewEntry)
{
    // The installer writes into the entry an earlier version left: nothing new,
    // and the app's name is not among the DisplayNames before the run.
    const std::wstring token = uniqueToken();
    const std::wstring name = L"PakvaneTest-" + token;
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::Machine64, name, L"Old name " + token));
    TestInstallerPlan plan;
    plan.uninstallKey = name;
    plan.location = UninstallRoot::Machine64;
    plan.withDisplayName = true;
    plan.displayName = L"Probe " + token;
    const std::wstring installer = prepareTestInstaller(plan);
    ASSERT_FALSE(installer.empty());

    auto task = makeInstallerTask(L"Probe " + token, installer, TaskState::Installing);
    ASSERT_TRUE(runInstallerWorker(task));
    EXPECT_EQ(task->state.load(), TaskState::InstallUnconfirmed);
    std::wstring displayName;
    EXPECT_TRUE(ScratchUninstallKeys::exists(UninstallRoot::Machine64, name, &displayName));
    EXPECT_EQ(displayName, L"Probe " + token);
}

TEST_F(InstallerRunTest, NameOfOnlySpacesIsNeverListed)
{
    const std::wstring token = uniqueToken();
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Empty-" + token, L""));
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Spaces-" + token, L"   "));
    const std::wstring installer = prepareTestInstaller(TestInstallerPlan());
    ASSERT_FALSE(installer.empty());

    auto task = makeInstallerTask(L" \u3000 \t", installer, TaskState::Installing);
    ASSERT_TRUE(runInstallerWorker(task));
    EXPECT_EQ(task->state.load(), TaskState::InstallUnconfirmed);
}

TEST_F(InstallerRunTest, MissingFileGoesBackToDownloaded)
{
    const std::wstring missing = makeScratchDir(L"missing") + L"\\not-there.exe";
    auto task = makeInstallerTask(L"Probe " + uniqueToken(), missing, TaskState::Installing);
    window.takeRefreshes();

    ASSERT_TRUE(runInstallerWorker(task));
    EXPECT_EQ(task->state.load(), TaskState::Downloaded);
    EXPECT_EQ(window.takeRefreshes(), 1);
}

TEST_F(InstallerRunTest, FileThatIsNoProgramGoesBackToDownloaded)
{
    const std::wstring path = makeScratchDir(L"broken") + L"\\setup.exe";
    {
        UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.valid());
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), "MZ but nothing else", 19, &written, nullptr));
    }
    auto task = makeInstallerTask(L"Probe " + uniqueToken(), path, TaskState::Installing);
    window.takeRefreshes();

    ASSERT_TRUE(runInstallerWorker(task));
    EXPECT_EQ(task->state.load(), TaskState::Downloaded);
    EXPECT_EQ(window.takeRefreshes(), 1);
}

TEST_F(InstallerRunTest, WithoutWindowNothingIsPosted)
{
    DownloadManager::instance().hwnd = nullptr;
    const std::wstring installer = prepareTestInstaller(TestInstallerPlan());
    ASSERT_FALSE(installer.empty());
    auto task = makeInstallerTask(L"Probe " + uniqueToken(), installer, TaskState::Installing);

    ASSERT_TRUE(runInstallerWorker(task));
    EXPECT_EQ(task->state.load(), TaskState::InstallUnconfirmed);
    EXPECT_EQ(window.takeRefreshes(), 0);
}

TEST_F(InstallerRunTest, WorkerKeepsTheTaskAliveOnItsOwn)
{
    TestInstallerPlan plan;
    plan.uninstallKey = L"PakvaneTest-" + uniqueToken();
    keys.track(UninstallRoot::User, plan.uninstallKey);
    const std::wstring installer = prepareTestInstaller(plan);
    ASSERT_FALSE(installer.empty());

    auto task = makeInstallerTask(L"Probe " + uniqueToken(), installer, TaskState::Installing);
    std::weak_ptr<Task> watch = task;
    // The manager's map let go; only the worker holds it.
    UniqueHandle thread = startDetachedThread([owner = std::move(task)]() mutable { runInstaller(std::move(owner)); });
    ASSERT_FALSE(watch.expired());
    ASSERT_TRUE(thread.valid());
    ASSERT_EQ(WaitForSingleObject(thread.get(), 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(ScratchUninstallKeys::exists(UninstallRoot::User, plan.uninstallKey));
}

}  // namespace
