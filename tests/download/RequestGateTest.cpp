// The request gate: six slots over all tasks, a task's first request before
// any extra connection, and the task with the most connections giving way.

#include "download/request_gate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

// Owners are told apart by address only.
char taskA, taskB, taskC;
const void* const a = &taskA;
const void* const b = &taskB;

// Polls (bounded) until pred holds; pred is not asked again after it held.
template <typename Pred>
bool eventually(Pred pred)
{
    for (int i = 0; i < 5000; ++i) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

TEST(RequestGate, AWaitingFirstRequestComesBeforeExtrasAndTheBusiestTaskGivesWay)
{
    RequestGate gate(6);
    const std::atomic<uint8_t> running{0};
    std::vector<RequestGate::Slot> slotsOfA{gate.acquireFirst(a, running)};
    for (int k = 0; k < 3; ++k) slotsOfA.push_back(gate.tryAcquireExtra(a));
    std::vector<RequestGate::Slot> slotsOfB{gate.acquireFirst(b, running), gate.tryAcquireExtra(b)};
    EXPECT_EQ(gate.active(), 6);
    EXPECT_EQ(gate.tryAcquireExtra(a), nullptr) << "no seventh";
    EXPECT_FALSE(gate.shouldYield(a)) << "nobody waits";

    RequestGate::Slot slotOfC;
    std::thread c([&] { slotOfC = gate.acquireFirst(&taskC, running); });
    ASSERT_TRUE(eventually([&] { return gate.shouldYield(a); })) << "A holds the most";
    EXPECT_FALSE(gate.shouldYield(a)) << "asked once per waiting request";
    EXPECT_FALSE(gate.shouldYield(b));
    slotsOfB.pop_back();  // a slot comes back elsewhere: C takes it, not an extra
    EXPECT_EQ(gate.tryAcquireExtra(b), nullptr);
    c.join();
    EXPECT_NE(slotOfC, nullptr);
    slotsOfA.pop_back();  // A gives its connection back after all
    EXPECT_EQ(gate.active(), 5);
    EXPECT_NE(gate.tryAcquireExtra(b), nullptr) << "nobody waits any more";
}

TEST(RequestGate, AStoppedRequestStopsWaiting)
{
    RequestGate gate(1);
    const std::atomic<uint8_t> running{0};
    RequestGate::Slot only = gate.acquireFirst(a, running);
    std::atomic<uint8_t> stop{0};
    RequestGate::Slot got = only;
    std::thread waiter([&] { got = gate.acquireFirst(b, stop); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = 1;
    gate.wakeWaiters();
    waiter.join();
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(gate.active(), 1);
}

}  // namespace
