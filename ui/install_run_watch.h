#pragma once
// Notices on the UI thread that an installer run has ended, so that a new
// snapshot of installed programs can be taken. Platform-free.

#include <cstdint>
#include <set>
#include <vector>

class InstallRunWatch {
public:
    // Right after DownloadManager::startInstall accepted the app's task, so that
    // a run ending before the next look at the tasks is not missed.
    void started(int32_t appId);
    // Takes the ids of the tasks installing now; true when a run known before
    // has ended since (the task left the installing state or went away).
    bool ended(const std::vector<int32_t>& installingNow);

private:
    std::set<int32_t> running_;
};
