// DownloadManager::startInstall with the installer worker behind it, and the
// whole road from a served NSIS installer to an installed program.

#include <gtest/gtest.h>

#include <string>

#include "core/text.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "download/verify.h"
#include "install/installer.h"
#include "tests/support/download_manager_access.h"
#include "tests/install/install_harness.h"
#include "tests/install/uninstall_registry.h"
#include "tests/support/test_server.h"

namespace {

class StartInstallTest : public ::testing::Test {
protected:
    // One unrelated entry, so that the worker's before-snapshot is never empty.
    void SetUp() override
    {
        DownloadManager::instance().setInstallerLauncher(&startInstallerWorker);
        ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::Machine64, L"PakvaneTest-Background-" + uniqueToken(),
                                               L"Background " + uniqueToken()));
    }

    ScratchUninstallKeys keys;
    RefreshWindow window;
};

struct RefusalRow {
    const char* what;
    int32_t state;
    bool isArchive;
    bool md5Ok;
};

const RefusalRow kRefusals[] = {
    {"downloading", TaskState::Downloading, false, true},
    {"verifying", TaskState::Verifying, false, true},
    {"failed", TaskState::Failed, false, true},
    {"cancelled", TaskState::Cancelled, false, true},
    {"installed", TaskState::Installed, false, true},
    {"installing", TaskState::Installing, false, true},
    {"downloaded archive", TaskState::Downloaded, true, true},
    {"unconfirmed archive", TaskState::InstallUnconfirmed, true, true},
    {"downloaded, digest mismatch", TaskState::Downloaded, false, false},
    {"unconfirmed, digest mismatch", TaskState::InstallUnconfirmed, false, false},
};

TEST_F(StartInstallTest, RefusesWhatIsNotADownloadedVerifiedInstaller)
{
    // A real installer that would make an entry, so a wrongly started worker shows.
    TestInstallerPlan plan;
    plan.uninstallKey = L"PakvaneTest-Refused-" + uniqueToken();
    keys.track(UninstallRoot::User, plan.uninstallKey);
    const std::wstring installer = prepareTestInstaller(plan);
    ASSERT_FALSE(installer.empty());

    for (const auto& row : kRefusals) {
        SCOPED_TRACE(row.what);
        auto task = makeInstallerTask(L"Probe " + uniqueToken(), installer, row.state);
        task->id = uniqueAppId();
        task->isArchive = row.isArchive;
        task->md5Ok = row.md5Ok;
        DownloadManagerTestAccess::addTask(task);
        window.takeRefreshes();

        EXPECT_FALSE(DownloadManager::instance().startInstall(task->id));
        EXPECT_EQ(task->state.load(), row.state);
        EXPECT_EQ(window.takeRefreshes(), 0);
    }
}

TEST_F(StartInstallTest, RefusesAnUnknownId)
{
    EXPECT_FALSE(DownloadManager::instance().startInstall(uniqueAppId()));
    EXPECT_EQ(window.takeRefreshes(), 0);
}

TEST_F(StartInstallTest, DownloadedInstallerRunsAndEndsInstalled)
{
    TestInstallerPlan plan;
    plan.uninstallKey = L"PakvaneTest-Accepted-" + uniqueToken();
    keys.track(UninstallRoot::User, plan.uninstallKey);
    const std::wstring installer = prepareTestInstaller(plan);
    ASSERT_FALSE(installer.empty());
    auto task = makeInstallerTask(L"Probe " + uniqueToken(), installer, TaskState::Downloaded);
    task->id = uniqueAppId();
    DownloadManagerTestAccess::addTask(task);
    window.takeRefreshes();

    ASSERT_TRUE(DownloadManager::instance().startInstall(task->id));
    EXPECT_EQ(waitWhileInState(*task, TaskState::Installing), TaskState::Installed);
    // One refresh when accepted, one when the worker ends.
    EXPECT_EQ(window.waitForRefreshes(2), 2);
    EXPECT_TRUE(ScratchUninstallKeys::exists(UninstallRoot::User, plan.uninstallKey));
}

TEST_F(StartInstallTest, UnconfirmedInstallCanStartAgain)
{
    TestInstallerPlan plan;
    plan.exitCode = 1223;
    const std::wstring installer = prepareTestInstaller(plan);
    ASSERT_FALSE(installer.empty());
    auto task = makeInstallerTask(L"Probe " + uniqueToken(), installer, TaskState::InstallUnconfirmed);
    task->id = uniqueAppId();
    DownloadManagerTestAccess::addTask(task);

    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(DownloadManager::instance().startInstall(task->id));
        EXPECT_EQ(waitWhileInState(*task, TaskState::Installing), TaskState::InstallUnconfirmed);
    }
}

// ---- From the server to the registry, with the NSIS installer.

const wchar_t kDemoKey[] = L"PakvaneDemoApp";
const wchar_t kDemoName[] = L"Pakvane Demo App";

// Where the demo installer puts its files (its InstallDir, $TEMP\PakvaneDemo).
std::wstring demoInstallDir()
{
    wchar_t temp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    return std::wstring(temp) + L"PakvaneDemo";
}

// Removes the files the demo installer leaves; its entry goes with the test's keys.
void removeDemoInstall()
{
    const std::wstring dir = demoInstallDir();
    if (dir.empty()) return;
    DeleteFileW((dir + L"\\readme.txt").c_str());
    DeleteFileW((dir + L"\\uninstall.exe").c_str());
    RemoveDirectoryW(dir.c_str());
}

class InstallEndToEndTest : public StartInstallTest {
protected:
    void SetUp() override
    {
        DownloadManager::instance().setInstallerLauncher(&startInstallerWorker);
        StartInstallTest::SetUp();
        // An entry left by an earlier run would turn "new entry" into "update".
        keys.track(UninstallRoot::User, kDemoKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PakvaneDemoApp");
        removeDemoInstall();
    }
    void TearDown() override
    {
        setDownloadFolderOverride(L"");
        removeDemoInstall();
    }
};

TEST_F(InstallEndToEndTest, ServedNsisInstallerIsDownloadedVerifiedAndInstalled)
{
    const std::wstring built = testBuildDir() + L"\\pakvane_demo_setup.exe";
    std::string bytes;
    ASSERT_TRUE(readWholeFile(built, bytes)) << "missing " << wideToUtf8(built) << " (is makensis installed?)";
    std::string md5;
    ASSERT_TRUE(fileMd5Hex(built, md5));

    const std::string fileName = "pakvane-demo-" + wideToUtf8(uniqueToken()) + ".exe";
    putServerFile(fileName, bytes);
    setDownloadFolderOverride(makeScratchDir(L"downloads"));
    const int32_t id = uniqueAppId();
    ASSERT_FALSE(ScratchUninstallKeys::exists(UninstallRoot::User, kDemoKey));

    DownloadManager& manager = DownloadManager::instance();
    manager.startDownload(id, kDemoName, wideToUtf8(testServerUrl()) + "/files/" + fileName, md5,
                          static_cast<int64_t>(bytes.size()));
    std::shared_ptr<Task> task = manager.findTask(id);
    ASSERT_TRUE(task);
    waitWhileInState(*task, TaskState::Downloading);
    ASSERT_EQ(waitWhileInState(*task, TaskState::Verifying), TaskState::Downloaded) << wideToUtf8(task->error());
    EXPECT_TRUE(task->md5Ok.load());
    EXPECT_FALSE(task->isArchive.load());

    ASSERT_TRUE(manager.startInstall(id));
    EXPECT_EQ(waitWhileInState(*task, TaskState::Installing), TaskState::Installed);

    std::wstring displayName;
    EXPECT_TRUE(ScratchUninstallKeys::exists(UninstallRoot::User, kDemoKey, &displayName));
    EXPECT_EQ(displayName, kDemoName);
    const std::wstring installed = demoInstallDir() + L"\\readme.txt";
    EXPECT_NE(GetFileAttributesW(installed.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing installed at "
                                                                             << wideToUtf8(installed);
}

}  // namespace
