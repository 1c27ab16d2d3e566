// The checks before a launch: the digest once more and the Authenticode
// signature (the test installer signed by tools/sign_installer.sh). A refused
// installer would make an Uninstall entry if it ran.

#include <gtest/gtest.h>

#include <cstring>

#include "core/text.h"
#include "download/download_folder.h"
#include "download/verify.h"
#include "install/installer.h"
#include "install/launch_refusal.h"
#include "tests/install/install_harness.h"
#include "tests/install/uninstall_registry.h"
#include "tests/support/download_manager_access.h"
#include "tests/support/test_server.h"

namespace {

// File offset of the first section (the code) of a PE image.
uint32_t firstSectionOffset(const std::string& image)
{
    uint32_t header = 0, raw = 0;
    uint16_t optionalSize = 0;
    std::memcpy(&header, image.data() + 0x3C, 4);
    std::memcpy(&optionalSize, image.data() + header + 20, 2);
    std::memcpy(&raw, image.data() + header + 24 + optionalSize + 20, 4);
    return raw;
}

class LaunchCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DownloadManager::instance().setInstallerLauncher(&startInstallerWorker);
        ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Background-" + uniqueToken(),
                                               L"Background " + uniqueToken()));
        plan.uninstallKey = L"PakvaneTest-Launch-" + uniqueToken();
        keys.track(UninstallRoot::User, plan.uninstallKey);
    }
    void TearDown() override { setDownloadFolderOverride(L""); }

    // A downloaded, verified task holding the test installer of `plan`.
    std::shared_ptr<Task> verifiedTask()
    {
        const std::wstring installer = prepareTestInstaller(plan);
        if (installer.empty()) return nullptr;
        auto task = makeInstallerTask(L"Probe " + uniqueToken(), installer, TaskState::Downloaded);
        task->id = uniqueAppId();
        EXPECT_TRUE(fileMd5Hex(installer, task->md5));
        DownloadManagerTestAccess::addTask(task);
        return task;
    }
    // The worker's one refusal, checked; then the installer never ran.
    void expectRefused(const Task& task, LaunchRefusal why)
    {
        EXPECT_EQ(task.state.load(), TaskState::Downloaded);
        EXPECT_EQ(task.error(), launchRefusalText(why));
        window.waitForRefreshes(1);
        const auto refusals = window.takeRefusals();
        ASSERT_EQ(refusals.size(), 1u);
        EXPECT_EQ(refusals[0], std::make_pair(static_cast<WPARAM>(task.id), static_cast<LPARAM>(why)));
        EXPECT_FALSE(ScratchUninstallKeys::exists(UninstallRoot::User, plan.uninstallKey));
    }

    TestInstallerPlan plan;
    ScratchUninstallKeys keys;
    RefreshWindow window;
};

TEST_F(LaunchCheckTest, SignedInstallerRunsAndNamesItsUnverifiedPublisher)
{
    plan.signedCopy = true;
    auto task = verifiedTask();
    ASSERT_TRUE(task);
    ASSERT_TRUE(DownloadManager::instance().startInstall(task->id));
    EXPECT_EQ(waitWhileInState(*task, TaskState::Installing), TaskState::Installed);
    EXPECT_TRUE(ScratchUninstallKeys::exists(UninstallRoot::User, plan.uninstallKey));
    // Self-signed: the signature fits the file, but nobody vouches for the name.
    const TaskView view = DownloadManager::instance().snapshot().at(task->id);
    EXPECT_EQ(view.signature, SignatureState::Untrusted);
    EXPECT_EQ(view.publisher, L"Lorimund 示例发布者");
}

TEST_F(LaunchCheckTest, CodeChangedAfterSigningIsNeverStartedThoughTheDigestMatches)
{
    std::string image;
    ASSERT_TRUE(readWholeFile(testBuildDir() + L"\\signed_test_installer.exe", image));
    image[firstSectionOffset(image) + 16] ^= 0x7F;
    const std::wstring folder = makeScratchDir(L"tampered");
    setDownloadFolderOverride(folder);
    const std::wstring appName = L"Tampered " + uniqueToken();
    ASSERT_TRUE(writeTestInstallerSidecar(folder + L"\\" + appName + L".exe", plan));
    std::shared_ptr<Task> task = downloadServed(uniqueAppId(), appName, image);
    ASSERT_TRUE(task);
    ASSERT_EQ(task->state.load(), TaskState::Downloaded) << wideToUtf8(task->error());
    ASSERT_TRUE(task->md5Ok.load());  // the catalog's digest is the changed file's

    ASSERT_TRUE(DownloadManager::instance().startInstall(task->id));
    waitWhileInState(*task, TaskState::Installing);
    expectRefused(*task, LaunchRefusal::SignatureBroken);
    EXPECT_EQ(task->signature().state, SignatureState::Broken);
    EXPECT_FALSE(DownloadManager::instance().startInstall(task->id));  // the buttons refuse it from now on
}

TEST_F(LaunchCheckTest, FileChangedSinceItWasVerifiedIsRefused)
{
    auto task = verifiedTask();
    ASSERT_TRUE(task);
    {
        UniqueFile file(CreateFileW(task->finalPath().c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), "x", 1, &written, nullptr));
    }
    ASSERT_TRUE(DownloadManager::instance().startInstall(task->id));
    waitWhileInState(*task, TaskState::Installing);
    expectRefused(*task, LaunchRefusal::FileChanged);
    EXPECT_FALSE(task->md5Ok.load());
}

}  // namespace
