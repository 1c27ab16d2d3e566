// A download into a filesystem too small for it. tests/run_wine_test.sh mounts
// a 1 MiB tmpfs and names it in PAKVANE_TEST_SMALLFS; without one the test skips.
// Pre-sizing the part file succeeds there (tmpfs keeps it sparse), so the
// failure comes from WriteFile once the space runs out, as on a real full disk.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "core/text.h"
#include "download/download_folder.h"
#include "download/download_manager.h"
#include "download/file_name.h"
#include "tests/support/test_server.h"

namespace {

constexpr int64_t kSmallFsBytes = 1 << 20;

std::string smallFsUnixPath()
{
    const char* value = std::getenv("PAKVANE_TEST_SMALLFS");
    return value ? std::string(value) : std::string();
}

// Polls (bounded) until the task has left Downloading; the last view seen.
TaskView waitWhileDownloading(int32_t id)
{
    TaskView view = {};
    for (int i = 0; i < 3000; ++i) {
        auto all = DownloadManager::instance().snapshot();
        auto it = all.find(id);
        if (it != all.end()) {
            view = it->second;
            if (view.state != TaskState::Downloading) break;
        }
        Sleep(20);
    }
    return view;
}

int requestsTo(const std::string& path)
{
    std::string log;
    if (!serverGet("/_control/log", &log)) return -1;
    const std::string needle = "\"path\":\"" + path + "\"";
    int count = 0;
    for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) ++count;
    return count;
}

struct DiskFullCase {
    const char* label;
    int32_t id;
    const char* path;
    const char* ruleJson;  // empty: the server answers normally
    int64_t size;          // what the task learns from the probe
};

void PrintTo(const DiskFullCase& c, std::ostream* os) { *os << c.label; }

class DiskFull : public testing::TestWithParam<DiskFullCase> {
protected:
    void SetUp() override
    {
        std::string smallFs = smallFsUnixPath();
        if (smallFs.empty()) {
            GTEST_SKIP() << "no small filesystem: PAKVANE_TEST_SMALLFS is unset (mounting a tmpfs needs root)";
        }
        folder = windowsPathFromUnix(smallFs) + L"\\" + utf8ToWide(GetParam().label);
        setDownloadFolderOverride(folder);
        resetServer();
    }
    void TearDown() override
    {
        DownloadManager::instance().clearFinished();
        if (!folder.empty()) {
            DeleteFileW(partPath().c_str());
            RemoveDirectoryW(folder.c_str());
        }
        setDownloadFolderOverride(L"");
    }
    std::wstring partPath() const { return folder + L"\\" + fileNameFromAppName(kName) + L".exe.part"; }

    static constexpr const wchar_t* kName = L"Disk Full 测试";
    std::wstring folder;
};

}  // namespace

TEST_P(DiskFull, EndsAtOnceWithTheWriteFailure)
{
    const DiskFullCase& c = GetParam();
    if (*c.ruleJson) addServerRule(c.ruleJson);

    DownloadManager::instance().startDownload(c.id, kName, wideToUtf8(testServerUrl()) + c.path, "", 0);
    TaskView view = waitWhileDownloading(c.id);

    EXPECT_EQ(view.state, TaskState::Failed);
    EXPECT_EQ(view.error, L"磁盘写入失败");
    EXPECT_EQ(view.size, c.size);
    EXPECT_EQ(view.retries, 0) << "a full disk is not worth a retry";
    EXPECT_GT(view.received, 0) << "bytes were written until the space ran out";
    EXPECT_LE(view.received, kSmallFsBytes);
    // The probe and one transfer attempt, nothing after the failed write.
    EXPECT_EQ(requestsTo(c.path), 2);

    WIN32_FILE_ATTRIBUTE_DATA data = {};
    EXPECT_TRUE(GetFileAttributesExW(partPath().c_str(), GetFileExInfoStandard, &data))
        << "the part file stays after a failure";
}

INSTANTIATE_TEST_SUITE_P(
    SmallFilesystem, DiskFull,
    testing::Values(
        // 206 with a total: the part file is pre-sized to 4 MiB, the writes hit the limit.
        DiskFullCase{"presized", 990101, "/_bytes/4194304", "", 4194304},
        // No length and no ranges: the file grows until the filesystem is full.
        DiskFullCase{"growing", 990102, "/_bytes/3000000",
                     R"({"path": "/_bytes/3000000", "steps": [], "then": {"ignoreRange": true, "noContentLength": true}})", 0}),
    [](const testing::TestParamInfo<DiskFullCase>& info) { return std::string(info.param.label); });
