#pragma once
// What a finished transfer attempt means: complete, try again, or give up;
// and whether an answer's body may go into the file at all. Platform-free.

#include <cstdint>
#include <string>

#include "download/task_list.h"
#include "net/http_client.h"

// Which version of a file on the server some bytes came from.
struct FileVersion {
    ValidatorKind kind = ValidatorKind::None;
    std::string value;  // empty exactly when kind is None
    bool known() const { return kind != ValidatorKind::None; }
    bool operator==(const FileVersion& other) const { return kind == other.kind && value == other.value; }
};

// The version an answer shows: its ETag when that is a strong one (a weak
// tag never proves two bodies equal byte for byte), else its Last-Modified.
FileVersion answerVersion(const std::string& etag, const std::string& lastModified);

// True when the answer's header of the kind stored equals it; an answer
// without that header proves nothing and counts as another version.
bool sameVersion(const FileVersion& stored, const std::string& etag, const std::string& lastModified);

// Whether the bytes held from an earlier run may be continued, judged by the
// probe: ranges are honoured, its total is the size stored (when both are
// known) and it shows the version stored (when one is).
bool mayContinue(int64_t storedSize, const FileVersion& stored, bool rangesHonoured, int64_t probeTotal,
                 const std::string& etag, const std::string& lastModified);

// The retry rules every transfer shares. An attempt counts as progress only
// when the bytes it works on moved this far since the last attempt that did
// (or the file completed): a restart, a refused answer or a trickle does not
// keep the retries going. This many attempts in a row without progress end
// the task.
constexpr int64_t kProgressBytes = 65536;
constexpr int kMaxAttempts = 13;
// The wait before the next attempt, in 100 ms steps, after this many attempts
// in a row without progress: 500 ms more per attempt, up to 4000 ms.
int retryWaitSteps(int failedAttempts);

// The range one downloadPart call fetches, and where the attempt stood.
struct AttemptRange {
    int64_t first = 0;
    int64_t last = -1;  // < 0: to the end of the body, length unknown
    bool ranged = false;
    bool whole = false;
    int64_t attemptStart = 0;  // position when the attempt began
    int64_t position = 0;      // next offset to write, after the attempt
    FileVersion version;       // what the bytes held came from; None when not known
};

// A request that continues held bytes names their version in If-Range, so
// that a server whose file changed answers with the whole new one.
bool sendsIfRange(const AttemptRange& range);

// What the HTTP client reported for the attempt.
struct AttemptAnswer {
    HttpResult result = HttpResult::Ok;
    uint32_t status = 0;
    int64_t contentLength = -1;
    int64_t totalLength = -1;
    int64_t rangeFirst = -1;  // first byte named by the Content-Range; -1 when none
    bool hasContentRange = false;
    bool hasFinalUrl = false;
    std::string etag;
    std::string lastModified;
    bool rangeRefused = false;  // the body callback refused a full body on a resumed attempt
    bool wrongStart = false;    // a 206 that does not start at the byte asked for: nothing written
    bool changedTotal = false;  // a 206 for another size than the one known: nothing written
    bool changedVersion = false;  // a 206 of another version than the bytes held: nothing written
    bool overrun = false;       // more bytes than the range holds: the rest was refused
};

// Whether a body may be written at the attempt's start. knownSize is the task's
// size now (<= 0: not known). Replace: a 200 to an If-Range request, the whole
// new version of a changed file, to be written from byte 0 instead of the
// bytes held.
enum class BodyUse { Write, RangeRefused, WrongStart, ChangedTotal, ChangedVersion, Replace };
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
