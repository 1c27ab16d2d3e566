// The icon loader's bookkeeping: fetch slots, newest-first queue, dropping of
// requests scrolled away, and letting go of the least recently drawn icons.

#include "net/icon_queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Record = std::shared_ptr<void>;

Record makeRecord(int id) { return std::make_shared<int>(id); }
int idOf(const std::shared_ptr<void>& p) { return p ? *static_cast<const int*>(p.get()) : -1; }

// Records 0..count-1; each request's job is its record, as in the loader.
std::vector<Record> makeRecords(int count)
{
    std::vector<Record> records;
    for (int i = 0; i < count; ++i) records.push_back(makeRecord(i));
    return records;
}

// Ends fetches one after another, each slot taking the next job, and gives the
// order in which the waiting requests ran.
std::vector<int> drain(IconSchedule& schedule, std::vector<int> runningIds, const std::vector<Record>& records)
{
    std::vector<int> order;
    while (!runningIds.empty()) {
        const int done = runningIds.front();
        runningIds.erase(runningIds.begin());
        IconJob next = schedule.finishFetch(records[done].get(), false);
        if (next) {
            order.push_back(idOf(next));
            runningIds.push_back(idOf(next));
        }
    }
    return order;
}

TEST(IconSchedule, AtMostTheLimitRunsTheRestWaitAndRunNewestFirst)
{
    IconSchedule schedule(3);
    const auto records = makeRecords(8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(schedule.request(records[i], records[i]), i < 3) << i;
    EXPECT_EQ(schedule.running(), 3u);
    EXPECT_EQ(schedule.waiting(), 5u);

    EXPECT_EQ(drain(schedule, {0, 1, 2}, records), (std::vector<int>{7, 6, 5, 4, 3}));
    EXPECT_EQ(schedule.running(), 0u);
    EXPECT_EQ(schedule.waiting(), 0u);
    // Every slot is free again.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(schedule.request(makeRecord(10 + i), nullptr));
}

TEST(IconSchedule, ARecordWaitingOrRunningIsNotQueuedTwice)
{
    IconSchedule schedule(1);
    const auto records = makeRecords(2);
    EXPECT_TRUE(schedule.request(records[0], records[0]));
    EXPECT_FALSE(schedule.request(records[1], records[1]));
    EXPECT_FALSE(schedule.request(records[0], records[0]));
    EXPECT_FALSE(schedule.request(records[1], records[1]));
    EXPECT_EQ(schedule.waiting(), 1u);
    EXPECT_EQ(drain(schedule, {0}, records), (std::vector<int>{1}));
}

TEST(IconSchedule, WaitingRequestsNotDrawnInTheLastFrameAreDropped)
{
    IconSchedule schedule(1);
    const auto records = makeRecords(6);
    // Before any frame: nothing is dropped, whatever was drawn.
    EXPECT_TRUE(schedule.request(records[0], records[0]));
    EXPECT_FALSE(schedule.request(records[1], records[1]));
    EXPECT_TRUE(schedule.beginFrame().empty());

    // Frame 1: 2, 3, 4 are requested (request counts as drawn), 1 is not drawn.
    for (int i : {2, 3, 4}) EXPECT_FALSE(schedule.request(records[i], records[i]));
    std::vector<IconJob> dropped = schedule.beginFrame();
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(idOf(dropped[0]), 1);

    // Frame 2: only 2 and 4 are drawn.
    schedule.noteDrawn(records[2].get());
    schedule.noteDrawn(records[4].get());
    dropped = schedule.beginFrame();
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(idOf(dropped[0]), 3);

    // Frame 3: 2 drawn, then 4 drawn again before 5 arrives; 1 is back on screen.
    schedule.noteDrawn(records[2].get());
    schedule.noteDrawn(records[4].get());
    EXPECT_FALSE(schedule.request(records[5], records[5]));
    EXPECT_FALSE(schedule.request(records[1], records[1])) << "a dropped request can be made again";
    // Requests made in the frame in progress stay; order is by request time.
    EXPECT_TRUE(schedule.beginFrame().empty());
    EXPECT_EQ(drain(schedule, {0}, records), (std::vector<int>{1, 5, 4, 2}));

    // Drawn in an earlier frame but not in the last one is not enough.
    EXPECT_TRUE(schedule.request(records[0], records[0]));
    EXPECT_FALSE(schedule.request(records[3], records[3]));
    schedule.beginFrame();
    dropped = schedule.beginFrame();
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(idOf(dropped[0]), 3);
    EXPECT_EQ(schedule.waiting(), 0u);
    EXPECT_EQ(schedule.running(), 1u) << "a running fetch is never dropped";
}

// Requests, runs and decodes each record in turn, so each one holds an icon.
void holdAll(IconSchedule& schedule, const std::vector<Record>& records)
{
    for (const auto& record : records) {
        ASSERT_TRUE(schedule.request(record, record));
        ASSERT_EQ(schedule.finishFetch(record.get(), true), nullptr);
    }
}

std::vector<int> idsOf(const std::vector<std::shared_ptr<void>>& taken)
{
    std::vector<int> ids;
    for (const auto& p : taken) ids.push_back(idOf(p));
    return ids;
}

TEST(IconSchedule, LeastRecentlyDrawnIconsAreLetGoBeyondTheLimit)
{
    IconSchedule schedule(2);
    const auto records = makeRecords(6);
    holdAll(schedule, records);
    EXPECT_EQ(schedule.holding(), 6u);
    schedule.beginFrame();
    for (int i : {0, 3, 1}) schedule.noteDrawn(records[i].get());

    EXPECT_TRUE(schedule.takeOverLimit(6).empty());
    // Never drawn since they were requested: 2, 4, 5 (in request order), then 0, 3, 1.
    EXPECT_EQ(idsOf(schedule.takeOverLimit(2)), (std::vector<int>{2, 4, 5, 0}));
    EXPECT_EQ(schedule.holding(), 2u);
    EXPECT_EQ(idsOf(schedule.takeOverLimit(1)), (std::vector<int>{3}));

    // A record let go is unknown: drawing it does nothing, it can be requested again.
    schedule.noteDrawn(records[2].get());
    EXPECT_TRUE(schedule.request(records[2], records[2]));
    EXPECT_EQ(schedule.finishFetch(records[2].get(), true), nullptr);
    EXPECT_EQ(schedule.holding(), 2u);
    schedule.noteDrawn(records[1].get());
    EXPECT_EQ(idsOf(schedule.takeOverLimit(1)), (std::vector<int>{2}));
}

TEST(IconSchedule, FailedFetchesHoldNothingAndGoneRecordsAreForgotten)
{
    IconSchedule schedule(8);
    auto records = makeRecords(5);
    ASSERT_TRUE(schedule.request(records[0], records[0]));
    EXPECT_EQ(schedule.finishFetch(records[0].get(), false), nullptr);
    EXPECT_EQ(schedule.holding(), 0u);

    holdAll(schedule, {records[1], records[2], records[3], records[4]});
    EXPECT_EQ(schedule.holding(), 4u);
    // The catalog drops 1 and 3: their icons went with them.
    records[1].reset();
    records[3].reset();
    EXPECT_EQ(idsOf(schedule.takeOverLimit(1)), (std::vector<int>{2}));
    EXPECT_EQ(schedule.holding(), 1u);
    EXPECT_TRUE(schedule.takeOverLimit(1).empty());
    EXPECT_EQ(schedule.running(), 0u);
}

}  // namespace
