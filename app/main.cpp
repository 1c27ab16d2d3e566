#include <windows.h>

#include "core/config.h"
#include "download/download_manager.h"
#include "install/installer.h"
#include "ui/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    SetProcessDPIAware();
    g_config = loadConfig();
    DownloadManager::instance().setInstallerLauncher(&startInstallerWorker);
    if (!createMainWindow(instance)) return 1;

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
