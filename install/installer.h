#pragma once
// The installer worker: starts a downloaded installer, waits for it and judges
// the outcome from its exit code and the Uninstall keys.

#include <memory>

struct Task;

// Starts the installer worker on a detached thread for a task already set to
// Installing; false when no thread could be started. This is the launcher the
// download manager is given at start-up (DownloadManager::setInstallerLauncher).
bool startInstallerWorker(const std::shared_ptr<Task>& task);

// The worker's body, on the calling thread: runs the installer, sets the
// task's state (Installed, InstallUnconfirmed, or Downloaded when it could not
// be started) and posts a redraw. Holds the task until it returns.
void runInstaller(std::shared_ptr<Task> task);
