// The decision after one transfer attempt, row by row.

#include "download/transfer_decision.h"

#include <gtest/gtest.h>

namespace {

constexpr HttpResult kOk = HttpResult::Ok, kBadUrl = HttpResult::BadUrl, kSendFailed = HttpResult::SendFailed,
                     kReadFailed = HttpResult::ReadFailed, kRedirect = HttpResult::RedirectFailed,
                     kCancelled = HttpResult::Cancelled, kHttpError = HttpResult::HttpError,
                     kTls = HttpResult::TlsFailure;
constexpr AttemptVerdict Complete = AttemptVerdict::Complete;
constexpr AttemptVerdict Retry = AttemptVerdict::Retry;
constexpr AttemptVerdict Fail = AttemptVerdict::Fail;

struct Row {
    const char* label;
    // range: last, ranged, whole, attemptStart, position (first is 0)
    int64_t last;
    bool ranged;
    bool whole;
    int64_t attemptStart;
    int64_t position;
    // answer
    HttpResult result;
    uint32_t status;
    int64_t contentLength;
    int64_t totalLength;
    bool hasContentRange;
    bool hasFinalUrl;
    bool rangeRefused;
    // expected
    AttemptVerdict verdict;
    bool restart;
    bool staleAddress;
    int64_t newSize;
};

const Row kRows[] = {
    // label                                   last  rng  whole start  pos  result       st   CL   total CR   URL  refused  verdict  restart stale size
    {"ranged 206 reaches last",                 999, true, true,    0, 1000, kOk,        206, 1000, 1000, true, true, false, Complete, false, false, 1000},
    {"ranged 206 short: resume",                999, true, true,    0,  400, kOk,        206, 1000, 1000, true, true, false, Retry,    false, false, 1000},
    {"ranged 206 short of the range: resume",   999, true, true,  400,  700, kOk,        206,  300,   -1, true, true, false, Retry,    false, false, 0},
    {"ranged 206 total * keeps size",           999, true, true,    0,  400, kOk,        206, 1000,   -1, true, true, false, Retry,    false, false, 0},
    {"ranged 206 unknown end",                   -1, true, true,    0,  400, kOk,        206,   -1,   -1, false, true, false, Complete, false, false, 0},
    {"ranged 200 whole from 0 complete",        999, true, true,    0, 1000, kOk,        200, 1000,   -1, false, true, false, Complete, false, false, 0},
    {"ranged 200 whole from 0 short",           999, true, true,    0,  400, kOk,        200, 1000,   -1, false, true, false, Retry,    false, false, 0},
    {"ranged 200 without Content-Length",       999, true, true,    0, 1000, kOk,        200,   -1,   -1, false, true, false, Retry,    false, false, 0},
    {"ranged 200 not whole",                    999, true, false,   0, 1000, kOk,        200, 1000,   -1, false, true, false, Retry,    false, false, 0},
    {"refused body restarts",                   999, true, true,  400,  400, kOk,        200, 1000,   -1, false, true, true,  Retry,    true,  false, 0},
    {"plain reaches last",                      999, false, true,   0, 1000, kOk,        200, 1000,   -1, false, true, false, Complete, false, false, 0},
    {"plain ended early restarts",              999, false, true,   0,  400, kOk,        200, 1000,   -1, false, true, false, Retry,    true,  false, 0},
    {"plain unknown size ends with the body",    -1, false, true,   0,  400, kOk,        200,   -1,   -1, false, true, false, Complete, false, false, 0},
    {"bad url fails",                           999, true, true,    0,  400, kBadUrl,      0,   -1,   -1, false, false, false, Fail,   false, false, 0},
    {"redirect failure fails, plain restarts",  999, false, true,   0,  400, kRedirect,    0,   -1,   -1, false, false, false, Fail,   true,  false, 0},
    {"404 with address: stale rule",            999, true, true,    0,  400, kHttpError, 404,   10,   -1, false, true, false, Retry,    false, true,  0},
    {"410 with address: stale rule",            999, true, true,    0,  400, kHttpError, 410,   10,   -1, false, true, false, Retry,    false, true,  0},
    {"403 with address: stale rule",            999, false, true,   0,  400, kHttpError, 403,   10,   -1, false, true, false, Retry,    true,  true,  0},
    {"403 without address retries",             999, true, true,    0,  400, kHttpError, 403,   10,   -1, false, false, false, Retry,   false, false, 0},
    {"404 without address fails",               999, true, true,    0,  400, kHttpError, 404,   10,   -1, false, false, false, Fail,    false, false, 0},
    {"408 retries",                             999, true, true,    0,  400, kHttpError, 408,   10,   -1, false, true, false, Retry,    false, false, 0},
    {"401 fails",                               999, true, true,    0,  400, kHttpError, 401,   10,   -1, false, true, false, Fail,     false, false, 0},
    {"416 fails",                               999, true, true,    0,  400, kHttpError, 416,   10,   -1, false, true, false, Fail,     false, false, 0},
    {"429 retries",                             999, true, true,    0,  400, kHttpError, 429,   10,   -1, false, true, false, Retry,    false, false, 0},
    {"500 retries",                             999, true, true,    0,  400, kHttpError, 500,   10,   -1, false, true, false, Retry,    false, false, 0},
    {"503 plain retries from the start",        999, false, true,   0,  400, kHttpError, 503,   10,   -1, false, true, false, Retry,    true,  false, 0},
    {"network failure resumes",                 999, true, true,    0,  400, kReadFailed, 206,  -1,   -1, false, true, false, Retry,    false, false, 0},
    {"send failure plain restarts",             999, false, true,   0,  400, kSendFailed,  0,   -1,   -1, false, false, false, Retry,  true,  false, 0},
    {"untrusted certificate fails at once",     999, true, true,    0,  400, kTls,         0,   -1,   -1, false, false, false, Fail,   false, false, 0},
    {"refused answer (cancelled by callback)",  999, true, true,  400,  400, kCancelled, 200, 1000,   -1, false, true, true,  Retry,    true,  false, 0},
};

}  // namespace

TEST(TransferDecision, EveryRowOfTheTable)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.label);
        AttemptRange range;
        range.first = 0;
        range.last = row.last;
        range.ranged = row.ranged;
        range.whole = row.whole;
        range.attemptStart = row.attemptStart;
        range.position = row.position;
        AttemptAnswer answer;
        answer.result = row.result;
        answer.status = row.status;
        answer.contentLength = row.contentLength;
        answer.totalLength = row.totalLength;
        answer.hasContentRange = row.hasContentRange;
        answer.hasFinalUrl = row.hasFinalUrl;
        answer.rangeRefused = row.rangeRefused;
        const AttemptDecision decision = decideAttempt(range, answer);
        EXPECT_EQ(decision.verdict, row.verdict);
        EXPECT_EQ(decision.restart, row.restart);
        EXPECT_EQ(decision.staleAddress, row.staleAddress);
        EXPECT_EQ(decision.newSize, row.newSize);
    }
}

TEST(TransferDecision, OnlyAGoodAnswerIsRememberedAsTheAddress)
{
    AttemptRange range;
    range.last = 999;
    range.ranged = true;
    range.whole = true;
    range.position = 1000;
    AttemptAnswer answer;
    answer.result = kOk;
    answer.status = 206;
    answer.hasFinalUrl = true;
    EXPECT_TRUE(decideAttempt(range, answer).rememberFinalUrl);
    answer.hasFinalUrl = false;
    EXPECT_FALSE(decideAttempt(range, answer).rememberFinalUrl);
    answer.hasFinalUrl = true;
    answer.result = kHttpError;
    answer.status = 404;
    EXPECT_FALSE(decideAttempt(range, answer).rememberFinalUrl);
}

TEST(TransferDecision, HeldBytesAreContinuedOnlyFromTheSameVersionOfTheFile)
{
    const FileVersion tag{ValidatorKind::ETag, "\"v1\""};
    const FileVersion date{ValidatorKind::LastModified, "Sat, 29 Oct 1994 19:43:31 GMT"};
    // A weak tag proves nothing byte for byte: the date stands in.
    EXPECT_EQ(answerVersion("\"v1\"", date.value), tag);
    EXPECT_EQ(answerVersion("W/\"v1\"", date.value), date);
    EXPECT_TRUE(sameVersion(date, "\"v2\"", date.value));
    EXPECT_TRUE(mayContinue(1000, tag, true, 1000, "\"v1\"", ""));
    EXPECT_FALSE(mayContinue(1000, tag, false, -1, "\"v1\"", ""));    // no ranges
    EXPECT_FALSE(mayContinue(1000, tag, true, 1001, "\"v1\"", ""));   // another size
    EXPECT_FALSE(mayContinue(1000, tag, true, 1000, "", date.value));  // no tag to compare

    const struct {
        int64_t attemptStart;
        FileVersion version;
        uint32_t status;
        const char* etag;
        bool ifRange;
        BodyUse use;
    } cases[] = {
        {400, tag, 206, "\"v1\"", true, BodyUse::Write},
        {400, tag, 206, "\"v2\"", true, BodyUse::ChangedVersion},
        {400, tag, 206, "", true, BodyUse::ChangedVersion},
        {400, tag, 200, "\"v2\"", true, BodyUse::Replace},  // the If-Range did not hold
        {400, FileVersion(), 200, "\"v2\"", false, BodyUse::RangeRefused},
        {0, tag, 206, "\"v2\"", false, BodyUse::Write},  // nothing held yet
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.attemptStart << " " << c.status << " " << c.etag);
        AttemptRange range;
        range.last = 999;
        range.ranged = range.whole = true;
        range.attemptStart = c.attemptStart;
        range.version = c.version;
        AttemptAnswer answer;
        answer.status = c.status;
        answer.etag = c.etag;
        answer.contentLength = c.status == 206 ? 1000 - c.attemptStart : 1000;
        answer.totalLength = c.status == 206 ? 1000 : -1;
        answer.rangeFirst = c.status == 206 ? c.attemptStart : -1;
        EXPECT_EQ(sendsIfRange(range), c.ifRange);
        EXPECT_EQ(checkBody(range, answer, 1000), c.use);
        answer.changedVersion = c.use == BodyUse::ChangedVersion;
        EXPECT_EQ(decideAttempt(range, answer).restart, answer.changedVersion);
    }
}
