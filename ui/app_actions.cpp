#include "ui/app_actions.h"

#include <windows.h>

#include "core/config.h"
#include "download/download_folder.h"
#include "install/installed_apps.h"
#include "install/launch_refusal.h"
#include "net/install_report.h"
#include "ui/card_look.h"
#include "ui/install_run_watch.h"
#include "ui/installed_card.h"

namespace {

void reportStartedInstall(int32_t appId) { reportInstall(g_config.server, appId, g_config.channel); }

// Every accepted install is watched, so its end brings a new snapshot of the
// installed programs even when it ends before the window looks again.
bool startWatchedInstall(int32_t appId)
{
    if (!DownloadManager::instance().startInstall(appId)) return false;
    installRunWatch().started(appId);
    return true;
}

// Why an install button refuses the task's file, or null when it may try:
// the worker checks the file once more before it launches it.
const wchar_t* installRefusal(const TaskView& task)
{
    if (!task.md5Ok) return L"文件校验不一致，已禁止安装，请删除后重新下载";
    if (task.signature == SignatureState::Broken) return launchRefusalText(LaunchRefusal::SignatureBroken);
    return nullptr;
}

}  // namespace

bool findTaskView(int32_t appId, TaskView& out)
{
    auto tasks = DownloadManager::instance().snapshot();
    auto it = tasks.find(appId);
    if (it == tasks.end()) return false;
    out = it->second;
    return true;
}

InstallRunWatch& installRunWatch()
{
    static InstallRunWatch* watch = new InstallRunWatch;
    return *watch;
}

CardButtonLook cardButtonLookFor(const AppInfo& app, const TaskView* task, bool hovered)
{
    if (task) {
        ButtonTask state{static_cast<int32_t>(task->state), task->received, task->size, task->isArchive};
        return cardButtonLook(app.hasPackage, &state, hovered);
    }
    const InstalledState installed = installedStateFor(app.id);
    return cardButtonLook(app.hasPackage, nullptr, hovered,
                          installedCardFor(false, app.hasPackage, installed.installed, installed.installedVersion,
                                           app.version));
}

std::wstring cardButtonLabel(const AppInfo& app, const TaskView* task)
{
    return cardButtonLookFor(app, task, false).label;
}

bool buttonOpensDownloads(const TaskView* task) { return task && taskIsBusy(task->state); }

void onAppAction(const AppInfo* app, const ShowToast& toast)
{
    if (!app || !app->hasPackage) {
        toast(L"该应用暂未上架安装包", ToastKind::Error);
        return;
    }
    TaskView task{};
    bool hasTask = findTaskView(app->id, task);
    if (hasTask && (task.state == TaskState::Downloaded || task.state == TaskState::InstallUnconfirmed)) {
        if (task.isArchive) {
            DownloadManager::instance().revealInFolder(app->id);
            toast(L"「" + app->name + L"」是压缩包，已保存到下载目录，解压后即可使用", ToastKind::Success);
        } else if (const wchar_t* refusal = installRefusal(task)) {
            toast(refusal, ToastKind::Error);
        } else if (startWatchedInstall(app->id)) {
            reportStartedInstall(app->id);
            toast(L"正在打开安装向导：" + app->name, ToastKind::Success);
        }
        return;
    }
    if (buttonOpensDownloads(hasTask ? &task : nullptr)) return;
    std::string url = buildDownloadUrl(g_config.server, app->id, g_config.channel);
    DownloadManager& manager = DownloadManager::instance();
    manager.startDownload(app->id, app->name, url, app->md5, app->packageSize);
    // The download made the folder; the page's folder line follows it.
    refreshDownloadFolder(manager.hwnd);
    toast(L"开始下载：" + app->name, ToastKind::Neutral);
}

void onInstallClicked(const Catalog& catalog, int32_t appId, const ShowToast& toast)
{
    TaskView task{};
    if (!findTaskView(appId, task)) return;
    if (const wchar_t* refusal = installRefusal(task)) {
        toast(refusal, ToastKind::Error);
        return;
    }
    if (!startWatchedInstall(appId)) return;
    reportStartedInstall(appId);
    auto app = findAnyApp(catalog, appId);
    toast(L"正在打开安装向导：" + (app ? app->name : std::wstring()), ToastKind::Success);
}

void onTaskFinished(int32_t appId, const ShowToast& toast)
{
    TaskView task{};
    if (!findTaskView(appId, task)) return;
    MessageBeep(MB_ICONASTERISK);
    ViewState& view = viewState();
    view.banner.title = task.name;
    view.banner.md5Ok = task.md5Ok;
    view.banner.isArchive = task.isArchive;
    view.banner.appId = appId;
    view.banner.shownAt = GetTickCount();
    if (view.mainWindow) InvalidateRect(view.mainWindow, nullptr, FALSE);
    if (task.isArchive) {
        toast(L"「" + task.name + L"」下载成功，压缩包已保存，可打开文件夹解压安装", ToastKind::Success);
    } else if (task.md5Ok) {
        toast(L"「" + task.name + L"」下载完成，正在打开安装向导", ToastKind::Success);
        if (startWatchedInstall(appId)) reportStartedInstall(appId);
    } else {
        // A file that could not be hashed says so instead of a mismatch.
        toast(task.error.empty() ? L"下载完成，但 MD5 校验不一致，请谨慎安装" : task.error, ToastKind::Error);
    }
}
