#include "download/download_folder.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "core/handles.h"
#include "core/text.h"
#include "download/file_name.h"
#include "tests/download/engine_harness.h"
#include "tests/support/test_server.h"

namespace {

bool isFolder(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// What the shell says the Downloads folder is, asked independently of the code under test.
std::wstring shellDownloads()
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &path)) && path) result = path;
    CoTaskMemFree(path);
    return result;
}

// Every test leaves the process without a chosen folder, as it found it.
class DownloadFolder : public testing::Test {
protected:
    void SetUp() override { setDownloadFolderOverride(L""); }
    void TearDown() override { setDownloadFolderOverride(L""); }
    std::wstring scratch = makeScratchDir(L"folder");
};

}  // namespace

TEST_F(DownloadFolder, ChosenFolderLosesItsTrailingBackslashes)
{
    std::wstring chosen = scratch + L"\\mine";
    setDownloadFolderOverride(chosen + L"\\\\");
    EXPECT_EQ(downloadFolder(), chosen);
}

TEST_F(DownloadFolder, ChosenFolderKeepsATrailingForwardSlash)
{
    std::wstring chosen = scratch + L"\\forward/";
    setDownloadFolderOverride(chosen);
    EXPECT_EQ(downloadFolder(), chosen);
    EXPECT_TRUE(isFolder(scratch + L"\\forward"));
}

TEST_F(DownloadFolder, ChosenFolderIsCreatedOnUse)
{
    std::wstring chosen = scratch + L"\\new folder 下载";
    setDownloadFolderOverride(chosen);
    EXPECT_FALSE(exists(chosen)) << "set alone creates nothing";
    EXPECT_EQ(downloadFolder(), chosen);
    EXPECT_TRUE(isFolder(chosen));
    // An existing folder is fine on the next call.
    EXPECT_EQ(downloadFolder(), chosen);
    EXPECT_TRUE(isFolder(chosen));
}

TEST_F(DownloadFolder, OnlyTheLastLevelIsCreatedYetThePathIsReturned)
{
    std::wstring chosen = scratch + L"\\missing\\deeper";
    setDownloadFolderOverride(chosen);
    EXPECT_EQ(downloadFolder(), chosen);
    EXPECT_FALSE(exists(scratch + L"\\missing"));
}

TEST_F(DownloadFolder, WithoutAChoiceDownloadsGoToPakvaneUnderDownloads)
{
    std::wstring downloads = shellDownloads();
    ASSERT_FALSE(downloads.empty()) << "the prefix has no Downloads folder";
    std::wstring expected = downloads + L"\\Pakvane";
    EXPECT_EQ(downloadFolder(), expected);
    EXPECT_TRUE(isFolder(expected));
}

TEST_F(DownloadFolder, EmptyChoiceReturnsToTheDefault)
{
    std::wstring expected = shellDownloads() + L"\\Pakvane";
    setDownloadFolderOverride(scratch);
    EXPECT_EQ(downloadFolder(), scratch);
    setDownloadFolderOverride(L"");
    EXPECT_EQ(downloadFolder(), expected);
    EXPECT_TRUE(isFolder(expected));
}

TEST_F(DownloadFolder, ChoiceOfBackslashesOnlyCountsAsEmpty)
{
    std::wstring expected = shellDownloads() + L"\\Pakvane";
    setDownloadFolderOverride(scratch);
    setDownloadFolderOverride(L"\\\\\\");
    EXPECT_EQ(downloadFolder(), expected);
}

TEST_F(DownloadFolder, NewChoiceAppliesToTheNextCall)
{
    std::wstring first = scratch + L"\\first";
    std::wstring second = scratch + L"\\second";
    setDownloadFolderOverride(first);
    EXPECT_EQ(downloadFolder(), first);
    setDownloadFolderOverride(second);
    EXPECT_EQ(downloadFolder(), second);
    EXPECT_TRUE(isFolder(first));
    EXPECT_TRUE(isFolder(second));
}

TEST_F(DownloadFolder, ReadersNeverSeeAHalfWrittenChoice)
{
    // Choices of equal length are copied in place, and long ones take a while
    // to copy, so an unguarded reader would see both letters in one folder.
    const std::wstring a = scratch + L"\\" + std::wstring(1 << 17, L'a');
    const std::wstring b = scratch + L"\\" + std::wstring(1 << 17, L'b');
    setDownloadFolderOverride(a);
    EXPECT_TRUE(enginetest::readersNeverSeeATornValue([&](int i) { setDownloadFolderOverride((i % 2) ? a : b); },
                                                      [] { return downloadFolder(); }, a, b));
}

TEST_F(DownloadFolder, DeviceNamedAppsGetRealFilesInTheFolder)
{
    // Without the guard "nul.exe.part" would open the null device and the bytes
    // would vanish; the stem must name an ordinary file the finishing can move.
    setDownloadFolderOverride(scratch);
    const std::wstring folder = downloadFolder();
    for (const wchar_t* name : {L"nul", L"CON.txt", L"com1", L"Lpt2 ", L"aux"}) {
        std::wstring part = folder + L"\\" + fileNameFromAppName(name) + L".exe.part";
        {
            UniqueFile file(CreateFileW(part.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(file.valid()) << wideToUtf8(part);
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(file.get(), "abc", 3, &written, nullptr));
        }
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        ASSERT_TRUE(GetFileAttributesExW(part.c_str(), GetFileExInfoStandard, &data)) << wideToUtf8(part);
        EXPECT_EQ(data.nFileSizeLow, 3u) << wideToUtf8(part);
    }
}

TEST_F(DownloadFolder, UiThreadCallsTouchNoDiskAndAWorkerMakesTheFolder)
{
    auto within20s = [](const std::function<bool()>& done) {
        for (ULONGLONG deadline = GetTickCount64() + 20000; GetTickCount64() < deadline; Sleep(20))
            if (done()) return true;
        return done();
    };
    const std::wstring chosen = scratch + L"\\made later";
    setDownloadFolderOverride(chosen);
    EXPECT_EQ(knownDownloadFolder(), chosen);
    EXPECT_EQ(downloadFolderInUse(), chosen);
    EXPECT_FALSE(exists(chosen)) << "the UI thread's calls made the folder";
    refreshDownloadFolder(nullptr);
    EXPECT_TRUE(within20s([&] { return isFolder(chosen); }));

    // Without a choice the worker resolves the default and makes it too.
    const std::wstring expected = shellDownloads() + L"\\Pakvane";
    setDownloadFolderOverride(L"");
    RemoveDirectoryW(expected.c_str());  // only when empty; else it is there already
    refreshDownloadFolder(nullptr);
    EXPECT_TRUE(within20s([&] { return knownDownloadFolder() == expected && isFolder(expected); }));

    // A download's worker makes the folder of its part file.
    createFolderOf(scratch + L"\\for a task\\app.exe.part");
    EXPECT_TRUE(isFolder(scratch + L"\\for a task"));
}
