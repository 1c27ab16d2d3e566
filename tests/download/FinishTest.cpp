// Finishing a complete download: the digest check, archive recognition and
// renaming, the move into place and the two messages.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app_messages.h"
#include "core/handles.h"
#include "core/text.h"
#include "download/download_manager.h"
#include "download/verify.h"
#include "tests/download/engine_harness.h"
#include "tests/support/test_server.h"

using namespace enginetest;

namespace {

std::string md5Of(const std::string& bytes, const std::wstring& scratch)
{
    const std::wstring path = scratch + L"\\digest.bin";
    writeWholeFile(path, bytes);
    std::string digest;
    EXPECT_TRUE(fileMd5Hex(path, digest));
    DeleteFileW(path.c_str());
    return digest;
}

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void expectFileIs(const std::wstring& path, const std::string& expected)
{
    std::string got;
    ASSERT_TRUE(readWholeFile(path, got)) << wideToUtf8(path);
    EXPECT_EQ(firstDifference(got, expected), -1);
}

}  // namespace

TEST(FinishDigest, ComparesIgnoringTheCaseOfHexLettersAndKeepsAMismatchedFile)
{
    EngineTest env(L"digest");
    const std::string content = patternBytes(200000, 40);
    putServerFile("f-digest.bin", content);
    const std::string digest = md5Of(content, env.folder());
    ASSERT_EQ(digest.size(), 32u);
    std::string wrong = digest;
    wrong[0] = wrong[0] == '0' ? '1' : '0';

    struct Case {
        const char* label;
        std::string md5;
        bool md5Ok;
    };
    const Case cases[] = {
        {"lower case", digest, true},
        {"upper case", upper(digest), true},
        {"empty: not checked", "", true},
        {"one digit off", wrong, false},
        {"too short", digest.substr(0, 31), false},
    };
    int32_t id = 5400;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::wstring stem = L"Digest " + std::to_wstring(id);
        runTask(id, stem, fileUrl("f-digest.bin"), c.md5);
        TaskView view = viewOf(id);
        EXPECT_EQ(view.state, TaskState::Downloaded);  // a mismatch still puts the file in place
        EXPECT_EQ(view.md5Ok, c.md5Ok);
        EXPECT_FALSE(view.isArchive);
        EXPECT_EQ(view.error, L"");
        expectFileIs(env.folder() + L"\\" + stem + L".exe", content);
        if (!c.md5Ok) {
            EXPECT_FALSE(DownloadManager::instance().startInstall(id));
        }
        ++id;
    }
}

TEST(FinishDigest, FileThatCannotBeHashedIsNotVerifiedAndNeverInstalled)
{
    EngineTest env(L"unreadable");
    const std::string content = patternBytes(300000, 48);
    putServerFile("f-unreadable.bin", content);
    addServerRule(R"({"path":"/files/f-unreadable.bin","steps":[{}],"then":{"bytesPerSecond":150000}})");
    std::shared_ptr<Task> task =
        startTask(5433, L"Unreadable", fileUrl("f-unreadable.bin"), md5Of(content, env.folder()));
    ASSERT_TRUE(task);
    ASSERT_TRUE(waitUntil([&] { return fileExists(task->partPath); }));
    // Another program reads the part file and lets nobody else read it.
    UniqueFile holder(CreateFileW(task->partPath.c_str(), GENERIC_READ, FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.valid()) << GetLastError();
    ASSERT_TRUE(waitForWorker(task));

    TaskView view = viewOf(5433);
    EXPECT_EQ(view.state, TaskState::Downloaded);
    EXPECT_FALSE(view.md5Ok);
    EXPECT_EQ(view.error, L"无法读取下载的文件，MD5 校验未完成");
    EXPECT_FALSE(DownloadManager::instance().startInstall(5433));
}

TEST(FinishArchive, FirstBytesDecideTheKindAndTheExtension)
{
    EngineTest env(L"archive");
    struct Case {
        const char* label;
        std::string bytes;
        const wchar_t* extension;  // the final file's
        bool isArchive;
    };
    const std::string zip("PK\x03\x04", 4);
    const std::string rar("Rar!\x1A\x07", 6);
    const std::string sevenZip("7z\xBC\xAF\x27\x1C", 6);
    const Case cases[] = {
        {"zip, 4 bytes", zip, L".zip", true},
        {"zip with data", zip + patternBytes(5000, 41), L".zip", true},
        {"rar, 6 bytes", rar, L".rar", true},
        {"rar with data", rar + patternBytes(5000, 42), L".rar", true},
        {"rar cut to 5 bytes", rar.substr(0, 5), L".exe", false},
        {"7z, 6 bytes", sevenZip, L".7z", true},
        {"7z cut to 5 bytes", sevenZip.substr(0, 5), L".exe", false},
        {"zip cut to 3 bytes", zip.substr(0, 3), L".exe", false},
        {"an installer", "MZ" + patternBytes(5000, 43), L".exe", false},
        {"an MSI package", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + patternBytes(5000, 47), L".msi",
         false},
    };
    int32_t id = 5410;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string name = "f-archive-" + std::to_string(id) + ".bin";
        putServerFile(name, c.bytes);
        const std::wstring stem = L"Archive " + std::to_wstring(id);
        std::shared_ptr<Task> task = runTask(id, stem, fileUrl(name));
        ASSERT_TRUE(task);

        TaskView view = viewOf(id);
        EXPECT_EQ(view.state, TaskState::Downloaded);
        EXPECT_EQ(view.isArchive, c.isArchive);
        const std::wstring expectedPath = env.folder() + L"\\" + stem + c.extension;
        EXPECT_EQ(task->finalPath(), expectedPath);
        expectFileIs(expectedPath, c.bytes);
        EXPECT_FALSE(fileExists(task->partPath));
        if (c.isArchive || std::wstring(c.extension) == L".msi") {
            EXPECT_FALSE(fileExists(env.folder() + L"\\" + stem + L".exe"));
        }
        if (c.isArchive) {
            EXPECT_FALSE(DownloadManager::instance().startInstall(id)) << "an archive is never launched";
        }
        ++id;
    }
}

TEST(FinishMove, ReplacesTheFileOfAnEarlierDownload)
{
    EngineTest env(L"replace");
    const std::string content = patternBytes(100000, 44);
    putServerFile("f-replace.bin", content);
    writeWholeFile(env.folder() + L"\\Replace Me.exe", "an older download, longer or shorter");
    writeWholeFile(env.folder() + L"\\Replace Me.exe.part", "left by an earlier, broken run");

    runTask(5430, L"Replace Me", fileUrl("f-replace.bin"));

    EXPECT_EQ(viewOf(5430).state, TaskState::Downloaded);
    expectFileIs(env.folder() + L"\\Replace Me.exe", content);
}

TEST(FinishMove, FailsWhileTheFinalFileIsOpenElsewhereAndKeepsThePartFile)
{
    EngineTest env(L"locked");
    const std::string content = patternBytes(100000, 45);
    putServerFile("f-locked.bin", content);
    const std::wstring final = env.folder() + L"\\Locked App.exe";
    writeWholeFile(final, "in use");
    // Another program holds the file without sharing it.
    UniqueFile holder(CreateFileW(final.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    ASSERT_TRUE(holder.valid());
    MessageCollector messages;

    std::shared_ptr<Task> task = runTask(5431, L"Locked App", fileUrl("f-locked.bin"));

    TaskView view = viewOf(5431);
    EXPECT_EQ(view.state, TaskState::Failed);
    EXPECT_EQ(view.error, L"保存文件失败（文件被占用？）");
    expectFileIs(task->partPath, content);
    for (const auto& message : messages.take()) EXPECT_NE(message.first, WM_APP_TASK_DONE);
    holder.reset();
    expectFileIs(final, "in use");
}

TEST(FinishMessages, RedrawForEachStepThenDoneWithTheIdLast)
{
    EngineTest env(L"messages");
    putServerFile("f-messages.bin", patternBytes(50000, 46));
    MessageCollector messages;

    runTask(5432, L"Messages", fileUrl("f-messages.bin"));

    ASSERT_EQ(viewOf(5432).state, TaskState::Downloaded);
    // Start, verifying, downloaded, then the file is in place.
    const std::vector<std::pair<UINT, WPARAM>> expected{
        {WM_APP_REFRESH, 0}, {WM_APP_REFRESH, 0}, {WM_APP_REFRESH, 0}, {WM_APP_TASK_DONE, 5432}};
    EXPECT_EQ(messages.take(), expected);
}
