#include "launcher/rules/answer_judge.h"

#include "platform/text.h"
#include "launcher/rules/http_rules.h"

namespace vt::launcher {
namespace {

Judgement Failing(Judgement::Step step, std::string error) {
    Judgement judgement;
    judgement.step = step;
    judgement.error = std::move(error);
    return judgement;
}

// A status that is neither a whole body nor the rest of one.
Judgement JudgeOtherStatus(const Answer& answer, const JudgeLimits& limits) {
    Judgement judgement = Failing(answer.status >= 500 || answer.status == 429 ? Judgement::Step::Retry
                                                                                : Judgement::Step::Fail,
                                  "HTTP status " + std::to_string(answer.status));
    if ((answer.status == 429 || answer.status == 503) && answer.retryAfter) {
        if (const auto seconds = ParseRetryAfterSeconds(*answer.retryAfter, limits.nowEpochSeconds)) {
            const std::uint64_t ms =
                *seconds > limits.maxRetryAfterMs / 1000 ? limits.maxRetryAfterMs : *seconds * 1000;
            judgement.retryAfterMs = ms > 0 ? static_cast<std::uint32_t>(ms) : 1;  // 0 would mean "not asked"
            judgement.error += ", Retry-After \"" + *answer.retryAfter + "\"";
        }
    }
    return judgement;
}

// The validator a later range request can send as If-Range, when the server
// offers ranges at all; empty when the body cannot be continued.
std::string ResumeValidator(const Answer& answer) {
    if (!answer.acceptRanges || answer.acceptRanges->find("bytes") == std::string::npos) return {};
    if (answer.etag && UsableValidator(*answer.etag)) return *answer.etag;
    if (answer.lastModified && ParseHttpDate(*answer.lastModified)) return *answer.lastModified;
    return {};
}

// A 206 to "Range: bytes=OFFSET-": appended only when it is of the same
// version and exactly the rest of the same whole.
std::optional<Judgement> MisfitRange(const Answer& answer, const ResumePoint& from,
                                     const std::optional<std::uint64_t>& length) {
    if (!AnswerHasValidator(from.validator, answer.etag.value_or(""), answer.lastModified.value_or("")))
        return Failing(Judgement::Step::StartOver,
                       "the answer to a range request is of another version of the file (ETag " +
                           answer.etag.value_or("none") + ", sent " + from.validator + "), asking for the whole");
    const auto range = answer.contentRange ? ParseContentRange(*answer.contentRange) : std::nullopt;
    const std::optional<std::uint64_t> knownTotal = from.total > 0 ? std::optional(from.total) : std::nullopt;
    if (!length || !range || !RangeContinues(*range, from.bytes, *length, knownTotal))
        return Failing(Judgement::Step::StartOver,
                       "the answer to a range request is not the rest of the body (Content-Range \"" +
                           answer.contentRange.value_or("") + "\"), asking for the whole");
    return std::nullopt;
}

}  // namespace

Judgement Judge(const Answer& answer, const ResumePoint& from, const JudgeLimits& limits) {
    const bool continues = answer.status == 206 && from.bytes > 0 && !limits.ownRange;
    const bool ranges = answer.status == 206 && limits.ownRange;
    if (answer.status != 200 && !continues && !ranges) return JudgeOtherStatus(answer, limits);

    Judgement judgement;
    if (answer.contentLengthTooLong) return Failing(Judgement::Step::Fail, "unreadable Content-Length (too long)");
    if (answer.contentLength) {
        judgement.length = DecimalDigits(Trim(*answer.contentLength));
        if (!judgement.length)
            return Failing(Judgement::Step::Fail, "unreadable Content-Length \"" + *answer.contentLength + "\"");
    }
    if (continues) {
        if (std::optional<Judgement> misfit = MisfitRange(answer, from, judgement.length)) return *misfit;
        judgement.continues = true;
    } else if (judgement.length && !limits.ownRange) {
        const std::string validator = ResumeValidator(answer);
        if (!validator.empty()) {
            judgement.resumable = ResumePoint{0, validator, *judgement.length};
            judgement.record = *judgement.length >= limits.resumeRecordFrom;
        }
    }
    const std::uint64_t base = judgement.continues ? from.bytes : 0;
    if (judgement.length && (*judgement.length > limits.maxBytes || base > limits.maxBytes - *judgement.length))
        return Failing(Judgement::Step::Fail, "the body of " + std::to_string(base + *judgement.length) +
                                                  " bytes is over the cap of " + std::to_string(limits.maxBytes));
    judgement.step = Judgement::Step::Take;
    return judgement;
}

}  // namespace vt::launcher
