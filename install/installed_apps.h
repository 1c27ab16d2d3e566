#pragma once
// Which catalog apps are installed, found off the UI thread.
//
// Hand-over: a worker takes a snapshot of the Uninstall keys, matches the app
// names against it and stores the result as pending; the UI thread swaps it in
// with adoptPending when WM_APP_INSTALLED_READY arrives. A snapshot that fails,
// or that a later-started one overtook, leaves what is in place.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "install/installed_match.h"
#include "net/catalog.h"

class InstalledApps {
public:
    // UI thread: takes the newest stored result. False (nothing changed) when
    // there is none.
    bool adoptPending();
    // UI thread: the app's state in the adopted result; not installed when the
    // app is unknown or no result has been adopted yet.
    InstalledState stateFor(int32_t appId) const;

    // Any thread: numbers snapshots in the order they are started.
    uint64_t nextSnapshotNumber();
    // Any thread: stores the result of snapshot `number`, unless one started
    // later was stored already.
    void setPending(uint64_t number, std::unique_ptr<InstalledStates> states);

private:
    InstalledStates adopted_;
    std::atomic<uint64_t> lastNumber_{0};
    std::mutex pendingLock_;
    std::unique_ptr<InstalledStates> pending_;
    uint64_t newestStored_ = 0;  // guarded by pendingLock_
};

// The ids and names of a list of apps, copied for a worker.
std::vector<CatalogAppName> catalogAppNames(const AppList& apps);

// Starts a detached worker that takes a snapshot, matches `apps` against it,
// stores the result in `target` and posts WM_APP_INSTALLED_READY to window
// (wParam 1 when a result was made, 0 when the snapshot failed). `target`
// must outlive the worker. False when the thread could not be started
// (nothing is posted then).
bool startInstalledSnapshot(InstalledApps& target, HWND window, std::vector<CatalogAppName> apps);

// The process-wide result the cards are painted from, and the UI thread's
// shortcuts to it.
InstalledApps& installedApps();
bool startInstalledSnapshot(HWND window, std::vector<CatalogAppName> apps);
bool adoptInstalledPending();
InstalledState installedStateFor(int32_t appId);
