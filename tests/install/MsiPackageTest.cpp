// Windows Installer packages through the real msiexec of the test prefix:
// saved as .msi, started through the shell's "open", judged by the entry
// msiexec makes under HKLM ({ProductCode}, DisplayName the product's name).

#include <gtest/gtest.h>

#include <string>

#include "core/handles.h"
#include "core/text.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "install/installer.h"
#include "tests/install/install_harness.h"
#include "tests/install/uninstall_registry.h"
#include "tests/support/test_server.h"

namespace {

// As cmake/extras_install.cmake builds them.
const wchar_t kInstallsCode[] = L"{7D3A9E52-4B1C-4F60-9A0E-5C2B8D1E4A01}";
const wchar_t kInstallsName[] = L"Pakvane Test Package";
const wchar_t kRefusedCode[] = L"{7D3A9E52-4B1C-4F60-9A0E-5C2B8D1E4A02}";

// Removes the product the way Windows Installer does; true when it is gone.
bool uninstallProduct(const std::wstring& productCode)
{
    std::wstring command = L"msiexec.exe /x " + productCode + L" /qn";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        UniqueHandle thread(process.hThread), waited(process.hProcess);
        WaitForSingleObject(waited.get(), 60000);
    }
    return !ScratchUninstallKeys::exists(UninstallRoot::Machine64, productCode);
}

class MsiPackageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DownloadManager::instance().setInstallerLauncher(&startInstallerWorker);
        // An earlier, aborted run may have left the product installed.
        ASSERT_TRUE(uninstallProduct(kInstallsCode));
        ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Background-" + uniqueToken(),
                                               L"Background " + uniqueToken()));
    }
    void TearDown() override
    {
        setDownloadFolderOverride(L"");
        EXPECT_TRUE(uninstallProduct(kInstallsCode)) << "the test package stayed installed";
    }

    ScratchUninstallKeys keys;
    RefreshWindow window;
};

TEST_F(MsiPackageTest, ServedPackageIsSavedAsMsiInstalledAndJudgedInstalled)
{
    std::string bytes;
    ASSERT_TRUE(readWholeFile(testBuildDir() + L"\\test_package.msi", bytes)) << "is wixl installed?";
    const std::wstring folder = makeScratchDir(L"msi");
    setDownloadFolderOverride(folder);
    // Named ".exe" at first, like every download: only its first bytes tell what it is.
    std::shared_ptr<Task> task = downloadServed(uniqueAppId(), kInstallsName, bytes);
    ASSERT_TRUE(task);
    ASSERT_EQ(task->state.load(), TaskState::Downloaded) << wideToUtf8(task->error());
    EXPECT_EQ(task->finalPath(), folder + L"\\" + kInstallsName + L".msi");
    EXPECT_FALSE(task->isArchive.load());
    EXPECT_TRUE(task->md5Ok.load());

    ASSERT_TRUE(DownloadManager::instance().startInstall(task->id));
    EXPECT_EQ(waitWhileInState(*task, TaskState::Installing), TaskState::Installed) << wideToUtf8(task->error());
    EXPECT_EQ(task->signature().state, SignatureState::Unsigned);
    std::wstring displayName;
    EXPECT_TRUE(ScratchUninstallKeys::exists(UninstallRoot::Machine64, kInstallsCode, &displayName));
    EXPECT_EQ(displayName, kInstallsName);
}

TEST_F(MsiPackageTest, PackageThatFailsItsLaunchConditionReads1603)
{
    const std::wstring package = makeScratchDir(L"refused") + L"\\Refused.msi";
    ASSERT_TRUE(CopyFileW((testBuildDir() + L"\\test_package_refused.msi").c_str(), package.c_str(), FALSE))
        << "is wixl installed?";
    auto task = makeInstallerTask(L"Pakvane Refused Package", package, TaskState::Installing);

    // msiexec says why in a box of its own, which the harness confirms.
    ASSERT_TRUE(runInstallerWorker(task));
    EXPECT_EQ(task->state.load(), TaskState::InstallUnconfirmed);
    EXPECT_EQ(task->error(), L"安装失败（错误代码 1603）");
    EXPECT_FALSE(ScratchUninstallKeys::exists(UninstallRoot::Machine64, kRefusedCode));
}

}  // namespace
