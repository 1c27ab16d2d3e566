#pragma once
// What a finished transfer attempt means: complete, try again, or give up;
// and whether an answer's body may go into the file at all. Platform-free.

#include <cstdint>

#include "net/http_client.h"

// The range one downloadPart call fetches, and where the attempt stood.
struct AttemptRange {
    int64_t first = 0;
    int64_t last = -1;  // < 0: to the end of the body, length unknown
    bool ranged = false;
    bool whole = false;
    int64_t attemptStart = 0;  // position when the attempt began
    int64_t position = 0;      // next offset to write, after the attempt
};

// What the HTTP client reported for the attempt.
struct AttemptAnswer {
    HttpResult result = HttpResult::Ok;
    uint32_t status = 0;
    int64_t contentLength = -1;
    int64_t totalLength = -1;
    int64_t rangeFirst = -1;  // first byte named by the Content-Range; -1 when none
    bool hasContentRange = false;
    bool hasFinalUrl = false;
    bool rangeRefused = false;  // the body callback refused a full body on a resumed attempt
    bool wrongStart = false;    // a 206 that does not start at the byte asked for: nothing written
    bool changedTotal = false;  // a 206 for another size than the one known: nothing written
    bool overrun = false;       // more bytes than the range holds: the rest was refused
};

// Whether a body may be written at the attempt's start. knownSize is the task's
// size now (<= 0: not known).
enum class BodyUse { Write, RangeRefused, WrongStart, ChangedTotal };
BodyUse checkBody(const AttemptRange& range, const AttemptAnswer& answer, int64_t knownSize);

enum class AttemptVerdict { Complete, Retry, Fail };

struct AttemptDecision {
    AttemptVerdict verdict = AttemptVerdict::Retry;
    bool restart = false;           // go back to the range's first byte
    bool rememberFinalUrl = false;  // a good answer: later attempts go straight to it
    bool staleAddress = false;      // the final address answered 403/404/410
    int64_t newSize = 0;            // > 0: the total size a Content-Range reported
};

AttemptDecision decideAttempt(const AttemptRange& range, const AttemptAnswer& answer);
