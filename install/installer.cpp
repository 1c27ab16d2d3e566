// The installer worker: checks a downloaded installer again, runs it through
// the shell, waits for it and sets the task's state from its exit code and the
// Uninstall keys.

#include "install/installer.h"

#include <objbase.h>
#include <shellapi.h>

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "core/handles.h"
#include "download/download_manager.h"
#include "install/exit_code.h"
#include "install/install_outcome.h"
#include "install/installed_index.h"
#include "install/launch_check.h"

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

bool isInstallerPackage(const std::wstring& path)
{
    return path.size() >= 4 && CompareStringOrdinal(path.c_str() + path.size() - 4, 4, L".msi", 4, TRUE) == CSTR_EQUAL;
}

// Starts the file with its default verb (for a Windows Installer package the
// shell's "open", which runs msiexec /i) and waits for the process, however
// long the installer takes (the user may sit in its wizard for an hour).
Launch launchAndWait(const std::wstring& path, DWORD& exitCode)
{
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = isInstallerPackage(path) ? L"open" : nullptr;
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

struct Outcome {
    TaskState::Value state;
    std::wstring line;  // the task's error: what the exit code means, or empty
};

Outcome installOutcome(const Task& task, const std::wstring& path)
{
    const InstalledIndex before;
    const bool wasListed = isListed(task.name, before.displayNames);

    DWORD exitCode = 0;
    switch (launchAndWait(path, exitCode)) {
    case Launch::Failed:
        return {TaskState::Downloaded, L""};
    case Launch::NoProcess:
        return {TaskState::Installed, L""};
    case Launch::Exited:
        break;
    }
    const InstallerExit meaning = installerExitMeaning(exitCode);
    if (!meaning.judgeByUninstallKeys) return {TaskState::InstallUnconfirmed, meaning.line};

    const InstalledIndex after;
    if (installationConfirmed(before.entries, after.entries, wasListed)) return {TaskState::Installed, meaning.line};
    return {TaskState::InstallUnconfirmed, L""};
}

// The task goes back to Downloaded with the reason as its error, and the
// window is told so it can say it at once.
void refuse(Task& task, const LaunchCheck& check)
{
    if (check.refusal == LaunchRefusal::FileChanged) task.md5Ok = false;
    if (check.refusal == LaunchRefusal::SignatureBroken) task.setSignature(check.signature);
    task.setError(launchRefusalText(check.refusal));
    task.state = TaskState::Downloaded;
    DownloadManager::instance().post(WM_APP_INSTALL_REFUSED, static_cast<WPARAM>(task.id),
                                      static_cast<LPARAM>(check.refusal));
}

}  // namespace

void runInstaller(std::shared_ptr<Task> task)
{
    if (!task) return;
    {
        ComApartment com;
        const std::wstring path = task->finalPath();
        const LaunchCheck check = checkBeforeLaunch(path, task->md5);
        if (check.refusal != LaunchRefusal::None) {
            refuse(*task, check);
        } else {
            task->setSignature(check.signature);
            const Outcome outcome = installOutcome(*task, path);
            task->setError(outcome.line);
            task->state = outcome.state;
        }
    }
    DownloadManager::instance().taskChanged();
}

bool startInstallerWorker(const std::shared_ptr<Task>& task)
{
    return static_cast<bool>(startDetachedThread([task]() mutable { runInstaller(std::move(task)); }));
}
