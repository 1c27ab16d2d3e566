#pragma once
// What an installer's exit code means, for setup programs and Windows
// Installer packages alike. Platform-free.

#include <cstdint>
#include <string>

struct InstallerExit {
    // True when the Uninstall keys decide whether the program is installed
    // (the run succeeded); false when the code alone says it is not.
    bool judgeByUninstallKeys;
    // The status line for the row and the task's error; empty where the
    // state's own line is meant.
    std::wstring line;
};

InstallerExit installerExitMeaning(uint32_t exitCode);
