#include "ui/install_run_watch.h"

void InstallRunWatch::started(int32_t appId) { running_.insert(appId); }

bool InstallRunWatch::ended(const std::vector<int32_t>& installingNow)
{
    std::set<int32_t> now(installingNow.begin(), installingNow.end());
    bool anyEnded = false;
    for (int32_t id : running_) {
        if (now.count(id) == 0) anyEnded = true;
    }
    running_ = std::move(now);
    return anyEnded;
}
