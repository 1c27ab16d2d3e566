// The installer worker: runs one downloaded installer through the shell, waits
// for it and sets the task's state from its exit code and the Uninstall keys.

#include "install/installer.h"

#include <objbase.h>
#include <shellapi.h>

#include "core/app_messages.h"
#include "core/handles.h"
#include "download/download_manager.h"
#include "install/install_outcome.h"
#include "install/installed_index.h"

namespace {

// COM for the worker thread: the shell may hand the file to a COM handler,
// which needs a single-threaded apartment.
class ComApartment {
public:
    ComApartment() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED |
                                                                          COINIT_DISABLE_OLE1DDE))) {}
    ~ComApartment()
    {
        if (initialized_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

enum class Launch { Failed, NoProcess, Exited };

// Starts the file with its default verb and waits for the process, however long
// the installer takes (the user may sit in its wizard for an hour).
Launch launchAndWait(const std::wstring& path, DWORD& exitCode)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = path.c_str();
    info.nShow = SW_SHOWNORMAL;
    // Fails too when the user refuses the elevation prompt.
    if (!ShellExecuteExW(&info)) return Launch::Failed;
    // A handler that opened the file in an existing process gives no handle.
    if (!info.hProcess) return Launch::NoProcess;
    UniqueHandle process(info.hProcess);
    WaitForSingleObject(process.get(), INFINITE);
    exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return Launch::Exited;
}

TaskState runInstaller(const Task& task)
{
    const InstalledIndex before;
    const bool wasListed = isListed(task.name, before.displayNames);

    DWORD exitCode = 0;
    switch (launchAndWait(task.finalPath(), exitCode)) {
    case Launch::Failed:
        return Downloaded;
    case Launch::NoProcess:
        return Installed;
    case Launch::Exited:
        break;
    }
    // Any non-zero code, a cancelled wizard's 1223 included, is not an install.
    if (exitCode != 0) return InstallUnconfirmed;

    const InstalledIndex after;
    return installationConfirmed(before.entries, after.entries, wasListed) ? Installed : InstallUnconfirmed;
}

}  // namespace

DWORD WINAPI InstallerRun(void* param)
{
    std::shared_ptr<Task> keepAlive;
    Task* task = nullptr;
    {
        std::unique_ptr<InstallStart> start(static_cast<InstallStart*>(param));
        task = start->task;
        keepAlive = std::move(start->keepAlive);
    }
    if (!task) task = keepAlive.get();
    if (!task) return 0;
    {
        ComApartment com;
        task->state = runInstaller(*task);
    }
    DownloadManager::instance().post(WM_APP_REFRESH, 0);
    return 0;
}
