#include "download/transfer_decision.h"

namespace {

constexpr int32_t kOk = 0;
constexpr int32_t kBadUrl = 1;
constexpr int32_t kRedirectFailed = 5;
constexpr int32_t kHttpError = 7;

void decideComplete(const AttemptRange& range, const AttemptAnswer& answer, AttemptDecision& decision)
{
    const bool toEnd = range.last < 0 || range.position > range.last;
    if (answer.rangeRefused) {
        decision.restart = true;
    } else if (!range.ranged) {
        // A shorter body means the connection ended early: start again.
        if (toEnd)
            decision.verdict = AttemptVerdict::Complete;
        else
            decision.restart = true;
    } else if (answer.status == 206) {
        if (answer.hasContentRange && answer.totalLength > 0) decision.newSize = answer.totalLength;
        const bool gotAll =
            answer.contentLength > 0 && range.position - range.attemptStart >= answer.contentLength;
        if (toEnd || gotAll) decision.verdict = AttemptVerdict::Complete;
    } else {
        // Only a whole-file attempt from byte 0 may take a full body.
        if (range.whole && range.attemptStart == 0 && answer.contentLength > 0 &&
            range.position >= answer.contentLength)
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

AttemptDecision decideAttempt(const AttemptRange& range, const AttemptAnswer& answer)
{
    AttemptDecision decision;
    const bool restartIfNeeded = !range.ranged || answer.rangeRefused;
    switch (answer.result) {
    case kOk:
        decision.rememberFinalUrl = answer.status <= 399 && answer.hasFinalUrl;
        decideComplete(range, answer, decision);
        break;
    case kBadUrl:
    case kRedirectFailed:
        decision.restart = restartIfNeeded;
        decision.verdict = AttemptVerdict::Fail;
        break;
    case kHttpError:
        decision.restart = restartIfNeeded;
        decideHttpError(answer, decision);
        break;
    default:
        decision.restart = restartIfNeeded;
        break;
    }
    return decision;
}
