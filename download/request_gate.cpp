#include "download/request_gate.h"

RequestGate::Slot RequestGate::take(const void* owner)
{
    ++active_;
    ++held_[owner];
    // The gate outlives every slot; the pointer only makes the slot non-null.
    return Slot(static_cast<void*>(this), [this, owner](void*) { release(owner); });
}

RequestGate::Slot RequestGate::acquireFirst(const void* owner, const std::atomic<uint8_t>& stop)
{
    std::unique_lock<std::mutex> guard(lock_);
    ++firstWaiting_;
    slotFree_.wait(guard, [&] { return active_ < capacity_ || stop.load() != 0; });
    --firstWaiting_;
    if (stop.load() != 0) return nullptr;
    return take(owner);
}

RequestGate::Slot RequestGate::tryAcquireExtra(const void* owner)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (active_ >= capacity_ || firstWaiting_ > 0) return nullptr;
    return take(owner);
}

bool RequestGate::shouldYield(const void* owner)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (firstWaiting_ <= yieldsPending_ || active_ < capacity_) return false;
    const auto mine = held_.find(owner);
    if (mine == held_.end() || mine->second < 2) return false;
    for (const auto& other : held_)
        if (other.second > mine->second) return false;
    ++yieldsPending_;
    ++yielding_[owner];
    return true;
}

void RequestGate::release(const void* owner)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        --active_;
        const auto mine = held_.find(owner);
        if (mine != held_.end() && --mine->second == 0) held_.erase(mine);
        const auto asked = yielding_.find(owner);
        if (asked != yielding_.end()) {
            --yieldsPending_;
            if (--asked->second == 0) yielding_.erase(asked);
        }
    }
    slotFree_.notify_all();
}

void RequestGate::wakeWaiters()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
    }
    slotFree_.notify_all();
}

int RequestGate::active() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return active_;
}
