// What becomes of each task of the last run at start-up.

#include "download/task_restore.h"

#include <gtest/gtest.h>

namespace {

constexpr int32_t kPaused = kStoredPausedState;

TEST(TaskRestore, EachStateWithItsFilesThereOrGone)
{
    const TaskFiles none{false, false, 0};
    const TaskFiles finalOnly{true, false, 0};
    const TaskFiles fullPart{false, true, 1000};
    const TaskFiles shortPart{false, true, 300};
    const struct {
        int32_t state;
        TaskFiles files;
        RestoredTask expected;
    } cases[] = {
        {0, fullPart, {true, kPaused, 600}},
        {1, fullPart, {true, kPaused, 600}},
        {kPaused, shortPart, {true, kPaused, 300}},  // the file holds less than the record says
        {0, none, {false, 0, 0}},
        {kPaused, finalOnly, {false, 0, 0}},
        {2, finalOnly, {true, 2, 600}},
        {3, fullPart, {true, 3, 600}},
        {4, none, {false, 0, 0}},
        {6, finalOnly, {true, 2, 600}},  // an install cut short by the end of the program
        {7, none, {false, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << c.state << ", part " << c.files.partExists << " "
                                        << c.files.partLength << ", final " << c.files.finalExists);
        StoredTask stored;
        stored.state = c.state;
        stored.size = 1000;
        stored.received = 600;
        stored.spans = spansFromStart(600);
        const RestoredTask got = restoredTask(stored, c.files);
        EXPECT_EQ(got.keep, c.expected.keep);
        if (!c.expected.keep) continue;
        EXPECT_EQ(got.state, c.expected.state);
        EXPECT_EQ(got.held, c.expected.held);
    }
}

TEST(TaskRestore, SpansOfSeveralConnectionsAreCutToWhatThePartFileHolds)
{
    StoredTask stored;
    stored.state = kPaused;
    stored.size = 1000;
    stored.received = 600;
    stored.spans = {{0, 200}, {400, 600}, {800, 1000}};
    const TaskFiles files{false, true, 500};
    EXPECT_EQ(heldSpans(stored, files), (std::vector<ByteSpan>{{0, 200}, {400, 500}}));
    EXPECT_EQ(restoredTask(stored, files).held, 300);
}

}  // namespace
