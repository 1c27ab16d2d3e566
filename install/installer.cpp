// The installer worker: runs one downloaded installer through the shell, waits
// for it and sets the task's state from its exit code and the Uninstall keys.

#include "install/installer.h"

#include <objbase.h>
#include <shellapi.h>

#include "core/app_messages.h"
#include "core/detached_thread.h"
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

TaskState::Value installOutcome(const Task& task)
{
    const InstalledIndex before;
    const bool wasListed = isListed(task.name, before.displayNames);

    DWORD exitCode = 0;
    switch (launchAndWait(task.finalPath(), exitCode)) {
    case Launch::Failed:
        return TaskState::Downloaded;
    case Launch::NoProcess:
        return TaskState::Installed;
    case Launch::Exited:
        break;
    }
    // Any non-zero code, a cancelled wizard's 1223 included, is not an install.
    if (exitCode != 0) return TaskState::InstallUnconfirmed;

    const InstalledIndex after;
    return installationConfirmed(before.entries, after.entries, wasListed) ? TaskState::Installed
                                                                           : TaskState::InstallUnconfirmed;
}

}  // namespace

void runInstaller(std::shared_ptr<Task> task)
{
    if (!task) return;
    {
        ComApartment com;
        task->state = installOutcome(*task);
    }
    DownloadManager::instance().post(WM_APP_REFRESH, 0);
}

bool startInstallerWorker(const std::shared_ptr<Task>& task)
{
    return static_cast<bool>(startDetachedThread([task]() mutable { runInstaller(std::move(task)); }));
}
