// Sharing a large file among connections: when it is shared, which spans go
// to which connection, when an attempt counts, which answers may be written.

#include "download/segment_plan.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t kMiB = 1024 * 1024;

// Starts the first connection and up to count - 1 more, as a task does.
std::vector<SegmentWork*> startAll(SegmentBoard& board, int count, uint64_t now = 0)
{
    std::vector<SegmentWork*> works;
    SegmentWork* work = board.firstWork(now);
    while (work && static_cast<int>(works.size()) < count) {
        board.started(*work);
        works.push_back(work);
        work = board.takeExtra(now);
    }
    return works;
}

std::vector<int64_t> startsOf(const std::vector<SegmentWork*>& works)
{
    std::vector<int64_t> starts;
    for (const SegmentWork* work : works) starts.push_back(work->position);
    return starts;
}

TEST(SegmentPlan, SeveralConnectionsOnlyForALargeFileOfATrustedSize)
{
    const struct {
        bool ranges;
        int64_t size, catalog, partFile;
        bool expected;
    } cases[] = {
        {true, 8 * kMiB, 8 * kMiB, -1, true},
        {true, 8 * kMiB - 1, 8 * kMiB - 1, -1, false},  // too small to share
        {false, 24 * kMiB, 24 * kMiB, -1, false},       // no ranges
        {true, 24 * kMiB, 0, -1, false},                // the server's word alone
        {true, 24 * kMiB, 25 * kMiB, -1, false},        // the catalog names another size
        {true, 24 * kMiB, 0, 24 * kMiB, true},          // an earlier run's part file has that length
        {true, 24 * kMiB, 0, 10 * kMiB, false},
        {true, 24 * kMiB, 25 * kMiB, 24 * kMiB, false},  // the catalog disagrees, whatever the part file
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ranges << " " << c.size << " " << c.catalog << " " << c.partFile);
        EXPECT_EQ(usesSegments(c.ranges, c.size, c.catalog, c.partFile), c.expected);
    }
}

TEST(SegmentPlan, SpansAreSortedJoinedAndCut)
{
    const std::vector<ByteSpan> spans = normalizedSpans({{50, 60}, {0, 10}, {10, 20}, {55, 70}, {90, 120}}, 100);
    EXPECT_EQ(spans, (std::vector<ByteSpan>{{0, 20}, {50, 70}, {90, 100}}));
    EXPECT_EQ(bytesIn(spans), 50);
}

TEST(SegmentPlan, ASegmentWritesOnlyA206ForItsByteOfTheFilesSizeAndVersion)
{
    const FileVersion v1{ValidatorKind::ETag, "\"v1\""};
    const struct {
        const char* label;
        uint32_t status;
        int64_t rangeFirst, total;
        const char* etag;
        int64_t start;
        FileVersion version;
        BodyUse expected;
    } cases[] = {
        {"its byte", 206, 400, 1000, "\"v1\"", 400, v1, BodyUse::Write},
        {"the first span", 206, 0, 1000, "\"v1\"", 0, v1, BodyUse::Write},
        {"the first span of another version", 206, 0, 1000, "\"v2\"", 0, v1, BodyUse::ChangedVersion},
        {"another byte", 206, 300, 1000, "\"v1\"", 400, v1, BodyUse::WrongStart},
        {"another total", 206, 400, 2000, "\"v1\"", 400, v1, BodyUse::ChangedTotal},
        {"no total", 206, 400, -1, "\"v1\"", 400, v1, BodyUse::ChangedTotal},
        {"the whole file", 200, -1, -1, "\"v1\"", 0, v1, BodyUse::RangeRefused},
        {"no version known", 206, 400, 1000, "\"v9\"", 400, FileVersion{}, BodyUse::Write},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        AttemptAnswer answer;
        answer.status = c.status;
        answer.rangeFirst = c.rangeFirst;
        answer.totalLength = c.total;
        answer.etag = c.etag;
        EXPECT_EQ(checkSegmentBody(c.start, c.version, answer, 1000), c.expected);
    }
}

TEST(SegmentPlan, ARestartKeepsTheConfirmedSizeUnlessTheAnswerNamesAnotherOrTheFileChanged)
{
    const struct {
        const char* label;
        int64_t newSize, contentLength;
        bool rangeRefused, versionKnown;
        int64_t expected;
    } cases[] = {
        {"a new total", 2000, -1, false, true, 2000},
        {"a whole body of stated length", 0, 1500, true, false, 1500},
        {"a whole body of unstated length, ranges ignored", 0, -1, true, false, 1000},
        {"a whole new version of unstated length", 0, -1, true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        AttemptAnswer answer;
        answer.contentLength = c.contentLength;
        answer.rangeRefused = c.rangeRefused;
        EXPECT_EQ(sizeAfterRestart(c.newSize, answer, c.versionKnown, 1000), c.expected);
    }
}

TEST(SegmentBoard, AFreshFileIsCutInFourAndHeldSpansLeaveOnlyTheirGaps)
{
    SegmentBoard fresh(24 * kMiB, {});
    EXPECT_EQ(startsOf(startAll(fresh, 5)), (std::vector<int64_t>{0, 6 * kMiB, 12 * kMiB, 18 * kMiB}));

    const std::vector<ByteSpan> held{{0, 5 * kMiB}, {12 * kMiB, 13 * kMiB}};
    SegmentBoard continued(24 * kMiB, held);
    EXPECT_EQ(continued.held(), held);
    EXPECT_EQ(startsOf(startAll(continued, 5)),
              (std::vector<int64_t>{5 * kMiB, 17 * kMiB / 2, 13 * kMiB, 37 * kMiB / 2}));

    SegmentBoard small(3 * kMiB, {});  // halves of 1.5 MiB are not cut again
    EXPECT_EQ(startsOf(startAll(small, 5)), (std::vector<int64_t>{0, 3 * kMiB / 2}));
}

TEST(SegmentBoard, AFreeConnectionTakesTheSecondHalfOfTheSpanWithTheMostToGo)
{
    SegmentBoard board(24 * kMiB, {});
    std::vector<SegmentWork*> w = startAll(board, 4);
    EXPECT_FALSE(board.extraWanted(0)) << "four run";
    w[1]->position += 1 * kMiB;  // 5 MiB to go
    w[2]->position += 4 * kMiB;  // 2 MiB to go
    w[3]->position += kMiB / 2;  // 5.5 MiB to go
    w[0]->position = w[0]->end;
    EXPECT_EQ(board.attemptEnded(*w[0], 0, 100), AttemptOutcome::Done);
    SegmentWork* half = board.takeExtra(0);
    ASSERT_NE(half, nullptr);
    EXPECT_EQ(half->position, 18 * kMiB + kMiB / 2 + 11 * kMiB / 4);
    EXPECT_EQ(half->end, 24 * kMiB);
    EXPECT_EQ(w[3]->end, half->position) << "the running span keeps its first half";
    board.started(*half);
    // Nothing has more than 2 MiB to go any more once these are near their ends.
    for (SegmentWork* work : {w[1], w[3], half}) work->position = work->end - kMiB;
    board.attemptEnded(*w[2], 0, 100);  // its span is not done: idle again at once
    EXPECT_EQ(board.takeExtra(0), w[2]) << "an idle span before any split";
    board.started(*w[2]);
    w[2]->position = w[2]->end;
    board.attemptEnded(*w[2], 0, 100);
    EXPECT_FALSE(board.extraWanted(0));
    EXPECT_EQ(board.held(), (std::vector<ByteSpan>{{0, 11 * kMiB}, {12 * kMiB, 20 * kMiB + kMiB / 4},
                                                   {21 * kMiB + kMiB / 4, 23 * kMiB}}));
}

TEST(SegmentBoard, AttemptsWithoutProgressCountForTheTaskAndMeetOneConnection)
{
    constexpr uint64_t kStep = 100;
    SegmentBoard board(24 * kMiB, {});
    std::vector<SegmentWork*> w = startAll(board, 4);
    // An outage: every connection fails without progress. The first three
    // wait beside the others; only when none runs does one try again.
    for (int k = 0; k < 4; ++k) {
        w[k]->position += 1000;
        EXPECT_EQ(board.attemptEnded(*w[k], 1000, kStep), AttemptOutcome::Wait);
        EXPECT_FALSE(board.extraWanted(100000)) << "no new connection while attempts fail";
    }
    EXPECT_EQ(board.failedAttempts(), 4);
    EXPECT_EQ(board.nextDue(), 1000 + 5 * kStep);
    EXPECT_EQ(board.firstWork(1000 + 5 * kStep - 1), nullptr) << "the wait first";
    SegmentWork* again = board.firstWork(1000 + 5 * kStep);
    ASSERT_EQ(again, w[0]);

    // Cuts after 10 kB: progress once 64 KiB arrived since the last that counted.
    int attempts = 0;
    AttemptOutcome outcome = AttemptOutcome::Wait;
    while (outcome == AttemptOutcome::Wait && attempts < 20) {
        board.started(*again);
        again->position += 10000;
        outcome = board.attemptEnded(*again, 0, kStep);
        ++attempts;
    }
    EXPECT_EQ(outcome, AttemptOutcome::Again);
    EXPECT_EQ(attempts, 7);
    EXPECT_EQ(board.failedAttempts(), 0);
    EXPECT_EQ(board.firstWork(0), again);
    board.started(*again);
    EXPECT_TRUE(board.extraWanted(100000)) << "healthy again: the others may run beside it";

    // Thirteen in a row without progress end the task; the waits grow to 4 s.
    for (int k = 1; k <= kMaxAttempts; ++k) {
        board.started(*again);
        again->position += 100;
        outcome = board.attemptEnded(*again, 0, kStep);
        if (k < kMaxAttempts) {
            EXPECT_EQ(again->dueMs, static_cast<uint64_t>(std::min(5 * k, 40)) * kStep);
        }
    }
    EXPECT_EQ(outcome, AttemptOutcome::Exhausted);
}

}  // namespace
