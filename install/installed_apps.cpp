// The snapshot worker and the hand-over of its result to the UI thread.

#include "install/installed_apps.h"

#include <new>

#include "core/app_messages.h"
#include "core/detached_thread.h"
#include "install/installed_index.h"

namespace {

struct SnapshotJob {
    InstalledApps* target;
    HWND window;
    uint64_t number;
    std::vector<CatalogAppName> apps;
};

// Only memory exhaustion can fail a snapshot: registry trouble just makes it smaller.
bool takeSnapshot(const SnapshotJob& job)
{
    try {
        InstalledIndex index;
        auto states = std::make_unique<InstalledStates>(
            matchInstalledApps(job.apps, index.displayNames, index.displayVersions));
        job.target->setPending(job.number, std::move(states));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void runSnapshot(SnapshotJob& job)
{
    const bool made = takeSnapshot(job);
    // The result waits in the pending slot: nothing leaks when the window is gone.
    PostMessageW(job.window, WM_APP_INSTALLED_READY, made ? 1 : 0, 0);
}

bool startSnapshotWorker(std::unique_ptr<SnapshotJob> job)
{
    std::shared_ptr<SnapshotJob> owned(std::move(job));
    return static_cast<bool>(startDetachedThread([owned] { runSnapshot(*owned); }));
}

}  // namespace

bool InstalledApps::adoptPending()
{
    std::unique_ptr<InstalledStates> states;
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        states = std::move(pending_);
    }
    if (!states) return false;
    adopted_.swap(*states);
    return true;
}

InstalledState InstalledApps::stateFor(int32_t appId) const
{
    auto it = adopted_.find(appId);
    return it == adopted_.end() ? InstalledState() : it->second;
}

uint64_t InstalledApps::nextSnapshotNumber() { return ++lastNumber_; }

void InstalledApps::setPending(uint64_t number, std::unique_ptr<InstalledStates> states)
{
    std::lock_guard<std::mutex> lock(pendingLock_);
    // Two snapshots may overlap (catalog arrival and an installer's end): the
    // one started later saw the registry later, whichever finishes first.
    if (number <= newestStored_) return;
    newestStored_ = number;
    pending_ = std::move(states);
}

std::vector<CatalogAppName> catalogAppNames(const AppList& apps)
{
    std::vector<CatalogAppName> names;
    names.reserve(apps.size());
    for (const auto& app : apps) {
        if (app) names.push_back(CatalogAppName{app->id, app->name});
    }
    return names;
}

bool startInstalledSnapshot(InstalledApps& target, HWND window, std::vector<CatalogAppName> apps)
{
    auto job = std::make_unique<SnapshotJob>(
        SnapshotJob{&target, window, target.nextSnapshotNumber(), std::move(apps)});
    return startSnapshotWorker(std::move(job));
}

InstalledApps& installedApps()
{
    // Never destroyed, like the catalog: a snapshot worker may still run at exit.
    static InstalledApps* const apps = new InstalledApps;
    return *apps;
}

bool startInstalledSnapshot(HWND window, std::vector<CatalogAppName> apps)
{
    return startInstalledSnapshot(installedApps(), window, std::move(apps));
}

bool adoptInstalledPending() { return installedApps().adoptPending(); }

InstalledState installedStateFor(int32_t appId) { return installedApps().stateFor(appId); }
