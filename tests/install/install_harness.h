#pragma once
// What the installer tests share: a message-only window standing in for the
// main window, tasks holding an installer, and bounded waits.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"  // readWholeFile
#include "download/download_manager.h"

// A message-only window registered as the manager's window for its lifetime;
// counts the WM_APP_REFRESH messages posted to it.
class RefreshWindow {
public:
    RefreshWindow();
    ~RefreshWindow();
    RefreshWindow(const RefreshWindow&) = delete;
    RefreshWindow& operator=(const RefreshWindow&) = delete;

    bool valid() const { return hwnd_ != nullptr; }
    // Removes the refresh messages queued so far and returns how many there were.
    int takeRefreshes();
    // Keeps taking refreshes until at least `count` arrived or 10 s passed.
    int waitForRefreshes(int count);
    // Removes the WM_APP_INSTALL_REFUSED messages queued so far: (app id, reason) each.
    std::vector<std::pair<WPARAM, LPARAM>> takeRefusals();

private:
    HWND hwnd_ = nullptr;
};

// A task that holds a downloaded, verified installer at `path`.
std::shared_ptr<Task> makeInstallerTask(const std::wstring& name, const std::wstring& path,
                                        int32_t state = TaskState::Downloaded);

// Runs the installer worker for the task on a thread of its own and waits up to 60 s
// for it. The shell reports a file it cannot start in an error box on that
// thread, msiexec a package that refuses to install in one of its own; the
// boxes are confirmed so the worker goes on. False (and a test failure) when
// the thread does not end.
bool runInstallerWorker(const std::shared_ptr<Task>& task);

// Polls (every 50 ms, up to 60 s) until the task leaves `state`, confirming
// error boxes of other processes meanwhile; the new state.
int32_t waitWhileInState(const Task& task, int32_t state);

// Serves bytes on the test server and downloads them for app id into the
// current download folder, with their MD5 as the catalog's; returns the task
// once it has left Downloading and Verifying (null and a failure when the
// download could not even start).
std::shared_ptr<Task> downloadServed(int32_t id, const std::wstring& appName, const std::string& bytes);

