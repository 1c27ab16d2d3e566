// downloads.json: its text and the reader that trusts a list only whole.

#include "download/task_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

StoredTask chineseTask()
{
    StoredTask task;
    task.id = 7;
    task.name = "压缩助手 \"专业版\"";
    task.url = "http://127.0.0.1:8080/api/client/download/7?channel=%E9%BB%98%E8%AE%A4";
    task.md5 = "0cc175b9c0f1b6a831c399e269772661";
    task.size = 1048576;
    task.received = 524288;
    task.state = kStoredPausedState;
    task.partPath = "D:\\下载\\压缩助手.exe.part";
    task.finalPath = "D:\\下载\\压缩助手.exe";
    task.validatorKind = ValidatorKind::ETag;
    task.validator = "\"5f3a-1b2c\"";
    task.spans = spansFromStart(task.received);
    return task;
}

// Several spans, an unknown size and a date validator.
StoredTask segmentedTask()
{
    StoredTask task;
    task.id = -3;
    task.name = "";
    task.url = "https://example.com/a.zip";
    task.size = 0;
    task.received = 150;
    task.state = 2;
    task.partPath = "C:\\a.exe.part";
    task.finalPath = "C:\\a.zip";
    task.isArchive = true;
    task.md5Ok = false;
    task.validatorKind = ValidatorKind::LastModified;
    task.validator = "Sat, 29 Oct 1994 19:43:31 GMT";
    task.spans = {{0, 50}, {50, 100}, {1000, 1050}};
    return task;
}

std::string validText()
{
    return taskListText({chineseTask()});
}

// The valid text with `from` (which must occur exactly once) replaced.
std::string damaged(const std::string& from, const std::string& to)
{
    std::string text = validText();
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    EXPECT_EQ(text.find(from, at + 1), std::string::npos) << from << " occurs twice";
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(TaskListText, RoundTripsEveryField)
{
    const std::vector<StoredTask> tasks = {chineseTask(), segmentedTask()};
    const TaskListRead read = readTaskList(taskListText(tasks));
    ASSERT_TRUE(read.ok()) << read.detail;
    EXPECT_EQ(read.tasks, tasks);

    const TaskListRead empty = readTaskList(taskListText({}));
    ASSERT_TRUE(empty.ok()) << empty.detail;
    EXPECT_TRUE(empty.tasks.empty());
}

TEST(TaskListText, WritesChineseAsUtf8AndDoublesBackslashes)
{
    const std::string text = validText();
    EXPECT_NE(text.find("\"partPath\": \"D:\\\\下载\\\\压缩助手.exe.part\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"validator\": \"\\\"5f3a-1b2c\\\"\""), std::string::npos) << text;
    EXPECT_EQ(text.rfind("{\n  \"version\": 1,\n", 0), 0u);
}

TEST(TaskListRead, AcceptsAByteOrderMarkAndUnknownMembers)
{
    const TaskListRead read = readTaskList("\xEF\xBB\xBF" + damaged("\"md5Ok\": true", "\"md5Ok\": true, \"later\": [1]"));
    ASSERT_TRUE(read.ok()) << read.detail;
    EXPECT_EQ(read.tasks, std::vector<StoredTask>{chineseTask()});
}

TEST(TaskListRead, RejectsTheTextCutAtEveryByte)
{
    const std::string text = validText();
    // Only the final line feed may go.
    for (size_t length = 0; length + 1 < text.size(); ++length) {
        const TaskListRead read = readTaskList(text.substr(0, length));
        EXPECT_FALSE(read.ok()) << "accepted the first " << length << " bytes";
        EXPECT_TRUE(read.tasks.empty());
    }
}

struct Damage {
    const char* label;
    std::string from;
    std::string to;
    TaskListProblem problem;
};

TEST(TaskListRead, RejectsEveryKindOfDamage)
{
    constexpr auto Field = TaskListProblem::BadField, Layout = TaskListProblem::BadLayout,
                   Inconsistent = TaskListProblem::Inconsistent;
    const Damage cases[] = {
        {"id as text", "\"id\": 7", "\"id\": \"7\"", Field},
        {"fractional id", "\"id\": 7", "\"id\": 7.5", Field},
        {"id past 32 bits", "\"id\": 7", "\"id\": 2147483648", Field},
        {"name as number", "\"name\": \"压缩助手 \\\"专业版\\\"\"", "\"name\": 12", Field},
        {"name not UTF-8", "压缩助手 ", "\xE5\x8E", Field},
        {"NUL in a path", "D:\\\\下载\\\\压缩助手.exe\"", "D:\\\\下载\\u0000.exe\"", Field},
        {"empty url", "\"url\": \"http://127.0.0.1:8080/api/client/download/7?channel=%E9%BB%98%E8%AE%A4\"",
         "\"url\": \"\"", Field},
        {"negative size", "\"size\": 1048576", "\"size\": -1", Field},
        {"size as text", "\"size\": 1048576", "\"size\": \"1048576\"", Field},
        {"size past 2^53", "\"size\": 1048576", "\"size\": 1e300", Field},
        {"negative received", "\"received\": 524288", "\"received\": -5", Field},
        {"received past size", "\"size\": 1048576", "\"size\": 524287", Inconsistent},
        {"unknown state", "\"state\": 8", "\"state\": 9", Field},
        {"negative state", "\"state\": 8", "\"state\": -1", Field},
        {"flag as number", "\"isArchive\": false", "\"isArchive\": 0", Field},
        {"missing member", "\"md5Ok\": true,\n", "", Field},
        {"unknown validator kind", "\"etag\"", "\"weak\"", Field},
        {"kind without validator", "\"validator\": \"\\\"5f3a-1b2c\\\"\"", "\"validator\": \"\"", Inconsistent},
        {"validator without kind", "\"etag\"", "\"none\"", Inconsistent},
        {"spans not an array", "[[0, 524288]]", "{}", Field},
        {"span not a pair", "[[0, 524288]]", "[[0, 1, 524288]]", Field},
        {"negative span", "[[0, 524288]]", "[[-1, 524287]]", Field},
        {"reversed span", "[[0, 524288]]", "[[524288, 0]]", Inconsistent},
        {"overlapping spans", "[[0, 524288]]", "[[0, 300000], [200000, 424288]]", Inconsistent},
        {"spans out of order", "[[0, 524288]]", "[[600000, 724288], [0, 400000]]", Inconsistent},
        {"spans past size", "[[0, 524288]]", "[[600000, 1124288]]", Inconsistent},
        {"spans short of received", "[[0, 524288]]", "[[0, 524287]]", Inconsistent},
        {"version 2", "\"version\": 1", "\"version\": 2", TaskListProblem::NewerVersion},
        {"version 0", "\"version\": 1", "\"version\": 0", Layout},
        {"version as text", "\"version\": 1", "\"version\": \"1\"", Layout},
        {"tasks not an array", "\"tasks\": [", "\"tasks\": 5, \"x\": [", Layout},
        {"task not an object", "\"tasks\": [", "\"tasks\": [1, ", Layout},
    };
    for (const Damage& c : cases) {
        const TaskListRead read = readTaskList(damaged(c.from, c.to));
        EXPECT_EQ(read.problem, c.problem) << c.label << ": " << read.detail;
        EXPECT_FALSE(read.detail.empty()) << c.label;
        EXPECT_TRUE(read.tasks.empty()) << c.label;
    }
}

TEST(TaskListRead, RejectsTextThatIsNoList)
{
    const std::pair<std::string, TaskListProblem> cases[] = {
        {"", TaskListProblem::NotJson},
        {std::string(4, '\0'), TaskListProblem::NotJson},
        {"{\"version\": 1, \"tasks\": []} x", TaskListProblem::NotJson},
        {"[]", TaskListProblem::BadLayout},
        {"{\"tasks\": []}", TaskListProblem::BadLayout},
        {"{\"version\": 1}", TaskListProblem::BadLayout},
    };
    for (const auto& c : cases) EXPECT_EQ(readTaskList(c.first).problem, c.second) << c.first;
}

TEST(TaskListRead, RejectsTwoTasksOfOneApplication)
{
    const TaskListRead read = readTaskList(taskListText({chineseTask(), segmentedTask(), chineseTask()}));
    EXPECT_EQ(read.problem, TaskListProblem::DuplicateId);
    EXPECT_EQ(read.detail, "tasks[2].id: 7 appears twice");
}

TEST(TaskListRead, NamesTheTaskAndMemberThatIsWrong)
{
    const std::string text = taskListText({segmentedTask(), chineseTask()});
    std::string broken = text;
    broken.replace(broken.rfind("\"state\": 8"), 10, "\"state\": 12");
    EXPECT_EQ(readTaskList(broken).detail, "tasks[1].state: out of range");
}

TEST(TaskListSpans, OneStreamHoldsOneSpanFromZero)
{
    EXPECT_TRUE(spansFromStart(0).empty());
    EXPECT_EQ(spansFromStart(4096), (std::vector<ByteSpan>{{0, 4096}}));
}

}  // namespace
