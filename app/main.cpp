#include <windows.h>

#include "app/crash_log.h"
#include "core/config.h"
#include "download/download_manager.h"
#include "install/installer.h"
#include "ui/main_window.h"
#include "ui/settings_dialog.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // The manifest makes the process per-monitor aware; this call only counts
    // where the manifest's setting is not understood.
    SetProcessDPIAware();
    SetUnhandledExceptionFilter(crashLogFilter);
    g_config = loadConfig();
    DownloadManager::instance().setInstallerLauncher(&startInstallerWorker);
    if (!createMainWindow(instance)) return 1;

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The settings dialog gets Tab, Enter and Esc while it is open.
        if (settingsDialogHwnd && IsDialogMessageW(settingsDialogHwnd, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
