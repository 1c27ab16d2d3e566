// downloads.json: its text and the reader that trusts a list only whole.

#include "download/task_list.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

StoredTask pausedTask()
{
    StoredTask t;
    t.id = 7;
    t.name = "压缩助手 \"专业版\"";
    t.url = "http://127.0.0.1:8080/api/client/download/7";
    t.md5 = "0cc175b9c0f1b6a831c399e269772661";
    t.size = 1048576;
    t.received = 524288;
    t.state = kStoredPausedState;
    t.partPath = "D:\\下载\\压缩助手.exe.part";
    t.finalPath = "D:\\下载\\压缩助手.exe";
    t.validatorKind = ValidatorKind::ETag;
    t.validator = "\"5f3a-1b2c\"";
    t.spans = spansFromStart(t.received);
    return t;
}

// Several spans, an unknown size, a date validator, both flags changed.
StoredTask segmentedTask()
{
    StoredTask t = pausedTask();
    t.id = -3;
    t.name = "";
    t.size = 0;
    t.received = 150;
    t.state = 2;
    t.isArchive = true;
    t.md5Ok = false;
    t.validatorKind = ValidatorKind::LastModified;
    t.validator = "Sat, 29 Oct 1994 19:43:31 GMT";
    t.spans = {{0, 50}, {50, 100}, {1000, 1050}};
    t.error = "下载失败：\"磁盘写入失败\"";
    return t;
}

TEST(TaskListText, RoundTripsEveryFieldWithChineseNamesAndPaths)
{
    const std::vector<StoredTask> tasks = {pausedTask(), segmentedTask()};
    const std::string text = taskListText(tasks);
    EXPECT_NE(text.find("\"partPath\": \"D:\\\\下载\\\\压缩助手.exe.part\""), std::string::npos) << text;
    const TaskListRead read = readTaskList("\xEF\xBB\xBF" + text);
    ASSERT_TRUE(read.ok()) << read.detail;
    EXPECT_EQ(read.tasks, tasks);
    EXPECT_TRUE(readTaskList(taskListText({})).ok());
}

TEST(TaskListRead, RejectsTheTextCutAtEveryByte)
{
    const std::string text = taskListText({pausedTask()});
    // Only the final line feed may go.
    for (size_t length = 0; length + 1 < text.size(); ++length)
        EXPECT_FALSE(readTaskList(text.substr(0, length)).ok()) << "accepted " << length << " bytes";
}

TEST(TaskListRead, RejectsEveryKindOfDamage)
{
    using P = TaskListProblem;
    const struct {
        const char* from;  // occurs once in the valid text
        std::string to;
        TaskListProblem problem;
    } cases[] = {
        {"\"id\": 7", "\"id\": \"7\"", P::BadField},
        {"\"id\": 7", "\"id\": 7.5", P::BadField},
        {"\"id\": 7", "\"id\": 2147483648", P::BadField},
        {"\"name\": \"压缩助手 \\\"专业版\\\"\"", "\"name\": 12", P::BadField},
        {"压缩助手 ", "\xE5\x8E", P::BadField},  // not UTF-8
        {"压缩助手.exe\"", "\\u0000.exe\"", P::BadField},
        {"\"url\": \"http://127.0.0.1:8080/api/client/download/7\"", "\"url\": \"\"", P::BadField},
        {"\"size\": 1048576", "\"size\": -1", P::BadField},
        {"\"size\": 1048576", "\"size\": 1e300", P::BadField},
        {"\"received\": 524288", "\"received\": -5", P::BadField},
        {"\"size\": 1048576", "\"size\": 524287", P::Inconsistent},  // received > size
        {"\"state\": 8", "\"state\": 9", P::BadField},
        {"\"state\": 8", "\"state\": -1", P::BadField},
        {"\"isArchive\": false", "\"isArchive\": 0", P::BadField},
        {"\"md5Ok\": true,\n", "", P::BadField},
        {"\"etag\"", "\"weak\"", P::BadField},
        {"\"etag\"", "\"none\"", P::Inconsistent},
        {"[[0, 524288]]", "{}", P::BadField},
        {"[[0, 524288]]", "[[0, 1, 524288]]", P::BadField},
        {"[[0, 524288]]", "[[-1, 524287]]", P::BadField},
        {"[[0, 524288]]", "[[524288, 0]]", P::Inconsistent},
        {"[[0, 524288]]", "[[0, 300000], [200000, 424288]]", P::Inconsistent},
        {"[[0, 524288]]", "[[600000, 724288], [0, 400000]]", P::Inconsistent},
        {"[[0, 524288]]", "[[600000, 1124288]]", P::Inconsistent},  // past size
        {"[[0, 524288]]", "[[0, 524287]]", P::Inconsistent},        // short of received
        {"\"version\": 1", "\"version\": 2", P::NewerVersion},
        {"\"version\": 1", "\"version\": 0", P::BadLayout},
        {"\"version\": 1", "\"version\": \"1\"", P::BadLayout},
        {"\"tasks\": [", "\"tasks\": 5, \"x\": [", P::BadLayout},
        {"\"tasks\": [", "\"tasks\": [1, ", P::BadLayout},
        {"\n}\n", "\n} x", P::NotJson},
        {"\"error\": \"\"", "\"error\": 5", P::BadField},
    };
    const std::string valid = taskListText({pausedTask()});
    for (const auto& c : cases) {
        std::string text = valid;
        const size_t at = text.find(c.from);
        ASSERT_TRUE(at != std::string::npos && text.find(c.from, at + 1) == std::string::npos) << c.from;
        const TaskListRead read = readTaskList(text.replace(at, std::strlen(c.from), c.to));
        EXPECT_EQ(read.problem, c.problem) << c.to << ": " << read.detail;
        EXPECT_TRUE(read.tasks.empty() && !read.detail.empty()) << c.to;
    }
    EXPECT_EQ(readTaskList("[]").problem, P::BadLayout);
    const TaskListRead twice = readTaskList(taskListText({pausedTask(), segmentedTask(), pausedTask()}));
    EXPECT_EQ(twice.problem, P::DuplicateId);
    EXPECT_EQ(twice.detail, "tasks[2].id: 7 appears twice");
}

TEST(TaskListRead, AListWithoutTheLaterErrorMemberReadsWithAnEmptyText)
{
    std::string text = taskListText({segmentedTask()});
    const std::string member = ",\n      \"error\": \"下载失败：\\\"磁盘写入失败\\\"\"";
    const size_t at = text.find(member);
    ASSERT_NE(at, std::string::npos) << text;
    const TaskListRead read = readTaskList(text.erase(at, member.size()));
    ASSERT_TRUE(read.ok()) << read.detail;
    StoredTask expected = segmentedTask();
    expected.error.clear();
    EXPECT_EQ(read.tasks, std::vector<StoredTask>{expected});
}

TEST(TaskListRead, HeldBytesFromTheStartAndWhatMayBeStored)
{
    EXPECT_EQ(heldFromStart(segmentedTask().spans), 50);  // one stream continues the first span only
    EXPECT_EQ(heldFromStart({{10, 20}}), 0);
    StoredTask bad = pausedTask();
    EXPECT_TRUE(isStorable(bad));
    bad.name = std::string("a\0b", 3);
    EXPECT_FALSE(isStorable(bad));
}

}  // namespace
