#include "download/transfer_decision.h"

namespace {

// Every byte of the range is in the file: with a known last byte exactly up to
// it, else as many bytes as the answer announced, else whatever the stream gave.
bool allBytesThere(const AttemptRange& range, const AttemptAnswer& answer)
{
    if (range.last >= 0) return range.position == range.last + 1;
    if (answer.contentLength > 0) return range.position - range.attemptStart == answer.contentLength;
    return true;
}

void decideComplete(const AttemptRange& range, const AttemptAnswer& answer, AttemptDecision& decision)
{
    if (answer.rangeRefused) {
        decision.restart = true;
    } else if (!range.ranged) {
        // A shorter body means the connection ended early: start again.
        if (allBytesThere(range, answer))
            decision.verdict = AttemptVerdict::Complete;
        else
            decision.restart = true;
    } else if (answer.status == 206) {
        if (answer.hasContentRange && answer.totalLength > 0) decision.newSize = answer.totalLength;
        if (allBytesThere(range, answer)) decision.verdict = AttemptVerdict::Complete;
    } else {
        // Only a whole-file attempt from byte 0 may take a full body.
        if (range.whole && range.attemptStart == 0 && answer.contentLength > 0 &&
            range.position == answer.contentLength && allBytesThere(range, answer))
            decision.verdict = AttemptVerdict::Complete;
    }
}

void decideHttpError(const AttemptAnswer& answer, AttemptDecision& decision)
{
    const uint32_t status = answer.status;
    if ((status == 403 || status == 404 || status == 410) && answer.hasFinalUrl) {
        decision.staleAddress = true;
    } else if (status == 408 || status == 403 || status == 429 || status >= 500) {
        // worth another try
    } else if (status >= 400 && status <= 499) {
        decision.verdict = AttemptVerdict::Fail;
    }
}

}  // namespace

FileVersion answerVersion(const std::string& etag, const std::string& lastModified)
{
    const bool weak = etag.size() >= 2 && etag[0] == 'W' && etag[1] == '/';
    if (!etag.empty() && !weak) return {ValidatorKind::ETag, etag};
    if (!lastModified.empty()) return {ValidatorKind::LastModified, lastModified};
    return {};
}

bool sameVersion(const FileVersion& stored, const std::string& etag, const std::string& lastModified)
{
    switch (stored.kind) {
    case ValidatorKind::ETag: return etag == stored.value;
    case ValidatorKind::LastModified: return lastModified == stored.value;
    case ValidatorKind::None: break;
    }
    return false;
}

bool mayContinue(int64_t storedSize, const FileVersion& stored, bool rangesHonoured, int64_t probeTotal,
                 const std::string& etag, const std::string& lastModified)
{
    if (!rangesHonoured) return false;
    if (storedSize > 0 && probeTotal > 0 && storedSize != probeTotal) return false;
    return !stored.known() || sameVersion(stored, etag, lastModified);
}

int retryWaitSteps(int failedAttempts)
{
    constexpr int kStepsPerAttempt = 5;
    constexpr int kMostSteps = 40;
    return failedAttempts < kMostSteps / kStepsPerAttempt ? kStepsPerAttempt * failedAttempts : kMostSteps;
}

bool sendsIfRange(const AttemptRange& range) { return range.ranged && range.attemptStart > 0 && range.version.known(); }

BodyUse checkBody(const AttemptRange& range, const AttemptAnswer& answer, int64_t knownSize)
{
    if (!range.ranged) return BodyUse::Write;
    if (answer.status != 206) {
        // The If-Range did not hold: this is the file as it is now, whole.
        if (range.whole && sendsIfRange(range)) return BodyUse::Replace;
        // A full-body answer is acceptable only for a whole-file attempt from byte 0.
        if (!range.whole || range.attemptStart != 0) return BodyUse::RangeRefused;
        const bool otherSize = answer.contentLength > 0 && knownSize > 0 && answer.contentLength != knownSize;
        return otherSize ? BodyUse::ChangedTotal : BodyUse::Write;
    }
    if (answer.totalLength > 0 && knownSize > 0 && answer.totalLength != knownSize) return BodyUse::ChangedTotal;
    // A server that ignores If-Range still must not add another version's
    // bytes to the ones held.
    if (range.attemptStart > 0 && range.version.known() &&
        !sameVersion(range.version, answer.etag, answer.lastModified))
        return BodyUse::ChangedVersion;
    if (answer.rangeFirst != range.attemptStart) return BodyUse::WrongStart;
    return BodyUse::Write;
}

AttemptDecision decideAttempt(const AttemptRange& range, const AttemptAnswer& answer)
{
    AttemptDecision decision;
    if (answer.changedTotal || answer.changedVersion) {
        // The file changed on the server: never splice two versions.
        const int64_t total = answer.status == 206 ? answer.totalLength : answer.contentLength;
        decision.newSize = total > 0 ? total : 0;
        decision.restart = true;
        return decision;
    }
    if (answer.overrun) {
        decision.restart = true;
        return decision;
    }
    if (answer.wrongStart) return decision;  // nothing was written: ask again from here

    const bool restartIfNeeded = !range.ranged || answer.rangeRefused;
    switch (answer.result) {
    case HttpResult::Ok:
        decision.rememberFinalUrl = answer.status <= 399 && answer.hasFinalUrl;
        decideComplete(range, answer, decision);
        break;
    case HttpResult::BadUrl:
    case HttpResult::RedirectFailed:
    case HttpResult::TlsFailure:  // an untrusted certificate stays untrusted
        decision.restart = restartIfNeeded;
        decision.verdict = AttemptVerdict::Fail;
        break;
    case HttpResult::HttpError:
        decision.restart = restartIfNeeded;
        decideHttpError(answer, decision);
        break;
    default:
        decision.restart = restartIfNeeded;
        break;
    }
    return decision;
}
