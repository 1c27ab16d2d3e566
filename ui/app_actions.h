#pragma once
// What an app's action button says and does, and what the window does when a
// download finishes. UI thread only.

#include <cstdint>
#include <functional>
#include <string>

#include "download/download_manager.h"
#include "net/catalog.h"
#include "ui/card_look.h"
#include "ui/view_state.h"

class InstallRunWatch;

using ShowToast = std::function<void(const std::wstring& text, ToastKind kind)>;

// The card button of an app and its task (null when it has none). Without a
// task, an app the adopted installed-apps snapshot lists shows "已安装" or "可更新".
CardButtonLook cardButtonLookFor(const AppInfo& app, const TaskView* task, bool hovered);
// Its label.
std::wstring cardButtonLabel(const AppInfo& app, const TaskView* task);
// True when clicking the button only opens the download list (the task is busy
// or paused: it goes on from the list).
bool buttonOpensDownloads(const TaskView* task);
// The app's task in a fresh snapshot; false when it has none.
bool findTaskView(int32_t appId, TaskView& out);

// Downloads, installs or reveals the app's file depending on its task.
void onAppAction(const AppInfo* app, const ShowToast& toast);
// The download list's install button.
void onInstallClicked(const Catalog& catalog, int32_t appId, const ShowToast& toast);
// WM_APP_TASK_DONE: announces the file and starts a verified installer.
void onTaskFinished(int32_t appId, const ShowToast& toast);
// The installer runs started from the window, watched for their end.
InstallRunWatch& installRunWatch();
