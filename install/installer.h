#pragma once
// The installer worker: starts a downloaded installer, waits for it and judges
// the outcome from its exit code and the Uninstall keys.

#include <windows.h>

#include <memory>

struct Task;

struct InstallStart {
    Task* task;
    std::shared_ptr<Task> keepAlive;
};

// Thread body; takes ownership of the InstallStart (allocated with new).
DWORD WINAPI InstallerRun(void* param);
