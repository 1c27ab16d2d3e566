#include "net/icon_queue.h"

#include <algorithm>
#include <utility>

IconSchedule::IconSchedule(size_t maxFetches) : maxFetches_(maxFetches) {}

std::vector<IconJob> IconSchedule::beginFrame()
{
    std::vector<IconJob> dropped;
    // Stamps taken since the last frame started belong to that frame.
    auto notDrawn = [this](const Waiting& waiting) { return slots_[waiting.record].drawnAt <= frameStart_; };
    auto kept = std::stable_partition(queue_.begin(), queue_.end(), [&](const Waiting& w) { return !notDrawn(w); });
    for (auto it = kept; it != queue_.end(); ++it) {
        slots_.erase(it->record);
        dropped.push_back(std::move(it->job));
    }
    queue_.erase(kept, queue_.end());
    frameStart_ = stamp();
    return dropped;
}

void IconSchedule::noteDrawn(const void* record)
{
    auto found = slots_.find(record);
    if (found != slots_.end()) found->second.drawnAt = stamp();
}

bool IconSchedule::request(const std::shared_ptr<void>& record, IconJob job)
{
    Slot& slot = slots_[record.get()];
    const bool known = !slot.record.expired();
    if (known && slot.phase != Phase::Holding) return false;  // already asked for
    // A record that held an icon before, or a gone one whose address was reused.
    if (slot.phase == Phase::Holding) --holding_;
    slot.record = record;
    slot.drawnAt = stamp();
    if (running_ < maxFetches_) {
        ++running_;
        slot.phase = Phase::Running;
        return true;
    }
    slot.phase = Phase::Waiting;
    queue_.push_back({record.get(), std::move(job)});
    return false;
}

IconJob IconSchedule::finishFetch(const void* record, bool decoded)
{
    auto found = slots_.find(record);
    if (found != slots_.end() && found->second.phase == Phase::Running) {
        if (decoded) {
            found->second.phase = Phase::Holding;
            ++holding_;
        } else {
            slots_.erase(found);
        }
    }
    if (queue_.empty()) {
        --running_;
        return nullptr;
    }
    Waiting next = std::move(queue_.back());
    queue_.pop_back();
    slots_[next.record].phase = Phase::Running;
    return std::move(next.job);
}

std::vector<std::shared_ptr<void>> IconSchedule::takeOverLimit(size_t keepAtMost)
{
    std::vector<std::shared_ptr<void>> taken;
    if (holding_ <= keepAtMost) return taken;
    struct Held {
        uint64_t drawnAt;
        std::shared_ptr<void> record;
    };
    std::vector<Held> held;
    for (auto it = slots_.begin(); it != slots_.end();) {
        if (it->second.phase != Phase::Holding) {
            ++it;
            continue;
        }
        std::shared_ptr<void> record = it->second.record.lock();
        if (!record) {
            --holding_;
            it = slots_.erase(it);
            continue;
        }
        held.push_back({it->second.drawnAt, std::move(record)});
        ++it;
    }
    if (held.size() <= keepAtMost) return taken;
    const size_t excess = held.size() - keepAtMost;
    auto older = [](const Held& a, const Held& b) { return a.drawnAt < b.drawnAt; };
    std::nth_element(held.begin(), held.begin() + (excess - 1), held.end(), older);
    std::sort(held.begin(), held.begin() + excess, older);
    for (size_t i = 0; i < excess; ++i) {
        slots_.erase(held[i].record.get());
        taken.push_back(std::move(held[i].record));
    }
    holding_ -= excess;
    return taken;
}
