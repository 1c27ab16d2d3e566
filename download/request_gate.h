#pragma once
// The engine's request gate: at most `capacity` requests whose connection may
// be open, over all tasks. Platform-free.
//
// A task's first request (its probe, the attempts of a single stream, the
// first connection of a segmented download) waits for a slot. Any further
// connection of a task (another segment) takes a free slot at once or none.
// Waiting first requests come before extra connections: none is handed out
// while a first request waits, and the task holding the most connections is
// asked to give one back. So one task's segments never keep another task
// from starting, and a task's first connection never waits behind its own
// other ones.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

class RequestGate {
public:
    // Given back when its last owner lets go (a request keeps it until its
    // connection is really closed).
    using Slot = std::shared_ptr<void>;

    explicit RequestGate(int capacity) : capacity_(capacity) {}
    RequestGate(const RequestGate&) = delete;
    RequestGate& operator=(const RequestGate&) = delete;

    // Waits for a free slot; null once stop is set (wakeWaiters wakes the wait).
    Slot acquireFirst(const void* owner, const std::atomic<uint8_t>& stop);
    // A slot at once, or null when none is free or a first request waits.
    Slot tryAcquireExtra(const void* owner);
    // True when owner should end one of its connections for a first request
    // that waits: no slot is free and owner holds the most connections, more
    // than one. Said once per waiting request until owner gives one back.
    bool shouldYield(const void* owner);
    // A stop flag was set: waiting requests look at theirs.
    void wakeWaiters();
    // Slots taken now.
    int active() const;

private:
    Slot take(const void* owner);
    void release(const void* owner);

    const int capacity_;
    mutable std::mutex lock_;  // guards everything below
    std::condition_variable slotFree_;
    int active_ = 0;
    int firstWaiting_ = 0;
    int yieldsPending_ = 0;            // asked to give a slot back, not yet given
    std::map<const void*, int> held_;  // slots per owner
    std::map<const void*, int> yielding_;
};
