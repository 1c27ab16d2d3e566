#include <gtest/gtest.h>

#include "ui/app_actions.h"

namespace {

TaskView taskIn(int32_t state, int64_t received = 0, int64_t size = 0, bool isArchive = false)
{
    TaskView task{};
    task.state = state;
    task.received = received;
    task.size = size;
    task.isArchive = isArchive;
    task.md5Ok = true;
    return task;
}

}  // namespace

TEST(CardButtonLabel, FollowsTheTaskState)
{
    AppInfo app;
    app.hasPackage = true;
    const struct { TaskView task; const wchar_t* label; } cases[] = {
        {taskIn(TaskState::Downloading, 0, 100), L"下载中 0%"},
        {taskIn(TaskState::Downloading, 37, 100), L"下载中 37%"},
        {taskIn(TaskState::Downloading, 500, 0), L"下载中 0%"},
        {taskIn(TaskState::Verifying), L"校验中"},
        {taskIn(TaskState::Downloaded), L"立即安装"},
        {taskIn(TaskState::Downloaded, 0, 0, true), L"打开文件夹"},
        {taskIn(TaskState::InstallUnconfirmed), L"立即安装"},
        {taskIn(TaskState::InstallUnconfirmed, 0, 0, true), L"打开文件夹"},
        {taskIn(TaskState::Failed), L"重试"},
        {taskIn(TaskState::Cancelled), L"重新下载"},
        {taskIn(TaskState::Installed), L"已安装"},
        {taskIn(TaskState::Installing), L"安装中"},
    };
    for (const auto& c : cases) EXPECT_EQ(cardButtonLabel(app, &c.task), c.label) << c.task.state;
}

TEST(CardButtonLabel, WithoutTaskDependsOnThePackage)
{
    AppInfo app;
    app.hasPackage = true;
    EXPECT_EQ(cardButtonLabel(app, nullptr), L"安 装");
    app.hasPackage = false;
    EXPECT_EQ(cardButtonLabel(app, nullptr), L"敬请期待");
    // A task from an earlier catalog still decides the label.
    TaskView done = taskIn(TaskState::Installed);
    EXPECT_EQ(cardButtonLabel(app, &done), L"已安装");
}

TEST(CardButton, BusyTasksOnlyOpenTheDownloadList)
{
    // By state number: downloading, verifying, downloaded, failed, cancelled,
    // installed, installing, install unconfirmed, paused.
    const bool opens[] = {true, true, false, false, false, false, true, false, true};
    for (int32_t state = TaskState::Downloading; state <= TaskState::Paused; ++state) {
        TaskView task = taskIn(state);
        EXPECT_EQ(buttonOpensDownloads(&task), opens[state]) << state;
    }
    EXPECT_FALSE(buttonOpensDownloads(nullptr));
}

TEST(AppAction, AppWithoutPackageOnlyShowsTheError)
{
    AppInfo app;
    app.id = 990001;
    app.hasPackage = false;
    std::wstring shown;
    ToastKind kind = ToastKind::Neutral;
    onAppAction(&app, [&](const std::wstring& text, ToastKind k) { shown = text; kind = k; });
    EXPECT_EQ(shown, L"该应用暂未上架安装包");
    EXPECT_EQ(kind, ToastKind::Error);
    EXPECT_EQ(DownloadManager::instance().snapshot().count(app.id), 0u);
    onAppAction(nullptr, [&](const std::wstring& text, ToastKind) { shown = text + L"!"; });
    EXPECT_EQ(shown, L"该应用暂未上架安装包!");
}
