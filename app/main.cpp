#include <windows.h>

#include "app/crash_log.h"
#include "app/single_instance.h"
#include "core/config.h"
#include "download/download_manager.h"
#include "download/task_list_writer.h"
#include "download/task_records.h"
#include "install/installer.h"
#include "ui/main_window.h"
#include "ui/settings_dialog.h"

namespace {

constexpr std::chrono::milliseconds kLastTaskListWriteMs{2000};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The manifest makes the process per-monitor aware; this call only counts
    // where the manifest's setting is not understood.
    SetProcessDPIAware();
    SetUnhandledExceptionFilter(crashLogFilter);
    // Before anything is created: a second start only brings the first one's
    // window to the front, so two processes never share part files.
    const InstanceClaim claim = claimSingleInstance(instanceMutexName(), L"KXMainWnd", kWaitForRunningWindowMs);
    if (claim.role != InstanceRole::First) return 0;
    g_config = loadConfig();
    DownloadManager::instance().setInstallerLauncher(&startInstallerWorker);
    // The downloads of the last run are back before the window shows them.
    TaskListWriter& taskList = keepDownloadsOnDisk();
    if (!createMainWindow(instance)) return 1;

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The settings dialog gets Tab, Enter and Esc while it is open.
        if (settingsDialogHwnd && IsDialogMessageW(settingsDialogHwnd, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // The bytes that arrived since the last write, if the disk allows it soon.
    taskList.flush(kLastTaskListWriteMs);
    return static_cast<int>(message.wParam);
}
