// The checks before a launch: the digest once more and the Authenticode
// signature, with the test installer signed by the build's self-signed
// certificate. A refused installer would make an Uninstall entry if it ran.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/text.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "download/verify.h"
#include "install/installer.h"
#include "install/launch_refusal.h"
#include "tests/install/install_harness.h"
#include "tests/install/uninstall_registry.h"
#include "tests/support/download_manager_access.h"
#include "tests/support/test_server.h"

namespace {

const wchar_t kPublisher[] = L"Lorimund 示例发布者";  // tools/sign_installer.sh

// The file offset of the first section's code; 0 when the bytes are no PE image.
size_t firstCodeByte(const std::string& image)
{
    uint32_t header = 0;
    if (image.size() < 0x40) return 0;
    std::memcpy(&header, image.data() + 0x3C, 4);
    uint16_t optionalSize = 0;
    if (image.size() < header + 24) return 0;
    std::memcpy(&optionalSize, image.data() + header + 20, 2);
    const size_t section = header + 24 + optionalSize;
    uint32_t rawData = 0;
    if (image.size() < section + 24) return 0;
    std::memcpy(&rawData, image.data() + section + 20, 4);
    return rawData < image.size() ? rawData : 0;
}

class LaunchCheckTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DownloadManager::instance().setInstallerLauncher(&startInstallerWorker);
        ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Background-" + uniqueToken(),
                                               L"Background " + uniqueToken()));
    }
    void TearDown() override { setDownloadFolderOverride(L""); }

    // A plan whose installer makes a fresh entry, tracked for removal.
    TestInstallerPlan planWithEntry(bool signedCopy)
    {
        TestInstallerPlan plan;
        plan.uninstallKey = L"PakvaneTest-Launch-" + uniqueToken();
        plan.signedCopy = signedCopy;
        keys.track(UninstallRoot::User, plan.uninstallKey);
        return plan;
    }

    // A downloaded, verified task holding the test installer of this plan.
    std::shared_ptr<Task> verifiedTask(const TestInstallerPlan& plan)
    {
        const std::wstring installer = prepareTestInstaller(plan);
        if (installer.empty()) return nullptr;
        auto task = makeInstallerTask(L"Probe " + uniqueToken(), installer, TaskState::Downloaded);
        task->id = uniqueAppId();
        EXPECT_TRUE(fileMd5Hex(installer, task->md5));
        DownloadManagerTestAccess::addTask(task);
        return task;
    }

    ScratchUninstallKeys keys;
    RefreshWindow window;
};

TEST_F(LaunchCheckTest, SignedInstallerRunsAndTheRowNamesItsUnverifiedPublisher)
{
    const TestInstallerPlan plan = planWithEntry(true);
    auto task = verifiedTask(plan);
    ASSERT_TRUE(task);

    ASSERT_TRUE(DownloadManager::instance().startInstall(task->id));
    EXPECT_EQ(waitWhileInState(*task, TaskState::Installing), TaskState::Installed);
    EXPECT_TRUE(ScratchUninstallKeys::exists(UninstallRoot::User, plan.uninstallKey));
    const TaskView view = DownloadManager::instance().snapshot().at(task->id);
    // Self-signed: the signature fits the file, but nobody vouches for the name.
    EXPECT_EQ(view.signature, SignatureState::Untrusted);
    EXPECT_EQ(view.publisher, kPublisher);
    EXPECT_TRUE(window.takeRefusals().empty());
}

TEST_F(LaunchCheckTest, CodeChangedAfterSigningIsNeverStartedWhateverTheDigestSays)
{
    std::string image;
    ASSERT_TRUE(readWholeFile(testBuildDir() + L"\\signed_test_installer.exe", image));
    const size_t code = firstCodeByte(image);
    ASSERT_GT(code, 0u);
    image[code + 16] = static_cast<char>(image[code + 16] ^ 0xFF);
    const std::wstring folder = makeScratchDir(L"tampered");
    setDownloadFolderOverride(folder);
    const std::wstring appName = L"Tampered " + uniqueToken();
    // Were it started, it would make this entry.
    const TestInstallerPlan plan = planWithEntry(false);
    ASSERT_TRUE(writeTestInstallerSidecar(folder + L"\\" + appName + L".exe", plan));

    const int32_t id = uniqueAppId();
    std::shared_ptr<Task> task = downloadServed(id, appName, image);
    ASSERT_TRUE(task);
    ASSERT_EQ(task->state.load(), TaskState::Downloaded) << wideToUtf8(task->error());
    ASSERT_TRUE(task->md5Ok.load());  // the catalog's digest is the tampered file's
    window.takeRefusals();

    DownloadManager& manager = DownloadManager::instance();
    ASSERT_TRUE(manager.startInstall(id));
    EXPECT_EQ(waitWhileInState(*task, TaskState::Installing), TaskState::Downloaded);
    EXPECT_EQ(task->signature().state, SignatureState::Broken);
    EXPECT_EQ(task->error(), L"安装程序的数字签名已损坏，已阻止运行");
    window.waitForRefreshes(1);
    const auto refusals = window.takeRefusals();
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].first, static_cast<WPARAM>(id));
    EXPECT_EQ(refusals[0].second, static_cast<LPARAM>(LaunchRefusal::SignatureBroken));
    // The buttons refuse it from now on; it never ran.
    EXPECT_FALSE(manager.startInstall(id));
    EXPECT_FALSE(ScratchUninstallKeys::exists(UninstallRoot::User, plan.uninstallKey));
}

TEST_F(LaunchCheckTest, FileChangedSinceItWasVerifiedIsRefused)
{
    const TestInstallerPlan plan = planWithEntry(false);
    auto task = verifiedTask(plan);
    ASSERT_TRUE(task);
    {
        // Something appends to the verified file before the button is pressed.
        UniqueFile file(CreateFileW(task->finalPath().c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), "x", 1, &written, nullptr));
    }

    ASSERT_TRUE(DownloadManager::instance().startInstall(task->id));
    EXPECT_EQ(waitWhileInState(*task, TaskState::Installing), TaskState::Downloaded);
    EXPECT_FALSE(task->md5Ok.load());
    EXPECT_EQ(task->error(), launchRefusalText(LaunchRefusal::FileChanged));
    window.waitForRefreshes(2);
    const auto refusals = window.takeRefusals();
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].second, static_cast<LPARAM>(LaunchRefusal::FileChanged));
    EXPECT_FALSE(ScratchUninstallKeys::exists(UninstallRoot::User, plan.uninstallKey));
}

}  // namespace
