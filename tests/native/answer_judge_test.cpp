// What an attempt makes of an answer: the statuses, lengths, ranges and
// validators a server (or a proxy in between) may send.
#include "launcher/rules/answer_judge.h"

#include <gtest/gtest.h>

namespace vt::launcher {
namespace {

using Step = Judgement::Step;

constexpr char kEtag[] = "\"v2\"";

Answer Whole(std::string length = "1000") {
    Answer answer;
    answer.status = 200;
    answer.contentLength = std::move(length);
    return answer;
}

Answer Rest(std::string range, std::string length, std::string etag = kEtag) {
    Answer answer;
    answer.status = 206;
    answer.contentRange = std::move(range);
    answer.contentLength = std::move(length);
    answer.etag = std::move(etag);
    return answer;
}

const ResumePoint kHolding{400, kEtag, 1000};

TEST(Judge, AWholeBodyIsTakenFromItsStartAndOnlyARangeOfferWithAValidatorCanBeContinued) {
    const Judgement plain = Judge(Whole(), {}, {});
    EXPECT_EQ(plain.step, Step::Take);
    EXPECT_FALSE(plain.continues);
    EXPECT_EQ(plain.length, 1000u);
    EXPECT_TRUE(plain.resumable.validator.empty());  // no Accept-Ranges

    Answer offered = Whole("3000000");
    offered.acceptRanges = "bytes";
    offered.etag = kEtag;
    const Judgement big = Judge(offered, {}, {});
    EXPECT_EQ(big.resumable.validator, kEtag);
    EXPECT_EQ(big.resumable.total, 3000000u);
    EXPECT_TRUE(big.record);

    offered.contentLength = "1000";  // too short to be worth a record, still continued within the run
    EXPECT_FALSE(Judge(offered, {}, {}).record);
    EXPECT_EQ(Judge(offered, {}, {}).resumable.validator, kEtag);

    offered.etag = "W/\"weak\"";  // not allowed in If-Range: the date instead
    offered.lastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
    EXPECT_EQ(Judge(offered, {}, {}).resumable.validator, "Sun, 06 Nov 1994 08:49:37 GMT");
    offered.lastModified = "yesterday";
    EXPECT_TRUE(Judge(offered, {}, {}).resumable.validator.empty());

    offered.acceptRanges = "none";
    offered.etag = kEtag;
    EXPECT_TRUE(Judge(offered, {}, {}).resumable.validator.empty());

    Answer noLength = Whole();
    noLength.contentLength.reset();
    noLength.acceptRanges = "bytes";
    noLength.etag = kEtag;
    const Judgement unbounded = Judge(noLength, {}, {});
    EXPECT_EQ(unbounded.step, Step::Take);
    EXPECT_FALSE(unbounded.length);
    EXPECT_TRUE(unbounded.resumable.validator.empty());  // the end of such a body is not known
}

// A request that set its own Range (a partial update's ranges): a 206 is the
// whole answer, whatever its Content-Range (the caller reads the pieces), a
// 200 is a server that ignored the ranges, and neither is ever continued.
TEST(Judge, ARangeRequestOfTheCallersOwnTakesA206WholeAndNeverContinues) {
    JudgeLimits own;
    own.ownRange = true;
    Answer pieces = Rest("bytes 10-19/1000", "10");
    pieces.acceptRanges = "bytes";
    const Judgement taken = Judge(pieces, {}, own);
    EXPECT_EQ(taken.step, Step::Take);
    EXPECT_FALSE(taken.continues);
    EXPECT_EQ(taken.length, 10u);
    EXPECT_TRUE(taken.resumable.validator.empty());
    EXPECT_FALSE(taken.record);
    pieces.contentRange.reset();  // multipart/byteranges: no Content-Range of its own
    EXPECT_EQ(Judge(pieces, {}, own).step, Step::Take);
    // Held bytes do not make it the rest of anything.
    EXPECT_FALSE(Judge(pieces, kHolding, own).continues);

    Answer whole = Whole("3000000");
    whole.acceptRanges = "bytes";
    whole.etag = kEtag;
    const Judgement ignored = Judge(whole, {}, own);
    EXPECT_EQ(ignored.step, Step::Take);
    EXPECT_TRUE(ignored.resumable.validator.empty());
    own.maxBytes = 4096;  // the caller's cap holds as for any body
    EXPECT_EQ(Judge(whole, {}, own).step, Step::Fail);
    // Without ownRange a 206 to a request for the whole is still no body.
    EXPECT_NE(Judge(pieces, {}, {}).step, Step::Take);
}

TEST(Judge, StatusesOtherThanABodyFailOrAreTriedAgain) {
    for (const unsigned status : {500u, 502u, 503u, 504u, 429u}) {
        Answer answer;
        answer.status = status;
        EXPECT_EQ(Judge(answer, {}, {}).step, Step::Retry) << status;
    }
    for (const unsigned status : {204u, 206u, 304u, 400u, 403u, 404u, 410u, 0u}) {
        Answer answer;
        answer.status = status;
        const Judgement judgement = Judge(answer, {}, {});
        EXPECT_EQ(judgement.step, Step::Fail) << status;  // a 206 without a range asked for is no body either
        EXPECT_EQ(judgement.error, "HTTP status " + std::to_string(status));
    }
}

TEST(Judge, RetryAfterIsHonouredOnlyFor429And503AndOnlyUpToTheLimit) {
    JudgeLimits limits;
    limits.nowEpochSeconds = 1700000000;
    Answer busy;
    busy.status = 503;
    busy.retryAfter = "2";
    Judgement judgement = Judge(busy, {}, limits);
    EXPECT_EQ(judgement.retryAfterMs, 2000u);
    EXPECT_EQ(judgement.error, "HTTP status 503, Retry-After \"2\"");

    busy.retryAfter = "0";  // "now" still counts as asked
    EXPECT_EQ(Judge(busy, {}, limits).retryAfterMs, 1u);
    busy.retryAfter = "86400";
    EXPECT_EQ(Judge(busy, {}, limits).retryAfterMs, 30000u);
    busy.retryAfter = "99999999999999999999999";
    EXPECT_EQ(Judge(busy, {}, limits).retryAfterMs, 30000u);
    busy.retryAfter = "-5";
    EXPECT_EQ(Judge(busy, {}, limits).retryAfterMs, 0u);

    busy.status = 500;
    busy.retryAfter = "2";
    EXPECT_EQ(Judge(busy, {}, limits).retryAfterMs, 0u);
    EXPECT_EQ(Judge(busy, {}, limits).error, "HTTP status 500");
}

TEST(Judge, AContentLengthIsDigitsOnly) {
    for (const char* bad : {"", "-1", "1e3", "0x10", "12 34", "+5", "99999999999999999999999"}) {
        const Judgement judgement = Judge(Whole(bad), {}, {});
        EXPECT_EQ(judgement.step, Step::Fail) << bad;
        EXPECT_EQ(judgement.error, std::string("unreadable Content-Length \"") + bad + "\"");
    }
    EXPECT_EQ(Judge(Whole(" 17\t"), {}, {}).length, 17u);
    Answer tooLong = Whole();
    tooLong.contentLengthTooLong = true;
    EXPECT_EQ(Judge(tooLong, {}, {}).step, Step::Fail);
}

TEST(Judge, OnlyTheRestOfTheSameVersionIsAppended) {
    const Judgement rest = Judge(Rest("bytes 400-999/1000", "600"), kHolding, {});
    EXPECT_EQ(rest.step, Step::Take);
    EXPECT_TRUE(rest.continues);

    // Another version (a proxy that ignores If-Range), another place, another
    // whole, a length that disagrees, no length, an unreadable range.
    for (const Answer& misfit :
         {Rest("bytes 400-999/1000", "600", "\"v3\""), Rest("bytes 399-999/1000", "601"),
          Rest("bytes 400-1099/1100", "700"), Rest("bytes 400-999/1000", "599"), Rest("bytes 400-999/*", "600"),
          Rest("bytes 400-998/1000", "599"), Rest("garbage", "600")}) {
        const Judgement judgement = Judge(misfit, kHolding, {});
        EXPECT_EQ(judgement.step, Step::StartOver) << *misfit.contentRange << " " << *misfit.etag;
        EXPECT_FALSE(judgement.error.empty());
    }
    Answer noLength = Rest("bytes 400-999/1000", "600");
    noLength.contentLength.reset();
    EXPECT_EQ(Judge(noLength, kHolding, {}).step, Step::StartOver);

    // A date validator must come back as the answer's Last-Modified.
    const ResumePoint byDate{400, "Sun, 06 Nov 1994 08:49:37 GMT", 1000};
    Answer dated = Rest("bytes 400-999/1000", "600", "");
    dated.etag.reset();
    dated.lastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
    EXPECT_EQ(Judge(dated, byDate, {}).step, Step::Take);
    dated.lastModified = "Mon, 07 Nov 1994 08:49:37 GMT";
    EXPECT_EQ(Judge(dated, byDate, {}).step, Step::StartOver);

    // A 200 to a range request is the whole again, from its start.
    const Judgement whole = Judge(Whole(), kHolding, {});
    EXPECT_EQ(whole.step, Step::Take);
    EXPECT_FALSE(whole.continues);
}

TEST(Judge, TheCapCountsWhatIsHeldAndNeverOverflows) {
    JudgeLimits limits;
    limits.maxBytes = 1000;
    EXPECT_EQ(Judge(Whole("1000"), {}, limits).step, Step::Take);
    const Judgement over = Judge(Whole("1001"), {}, limits);
    EXPECT_EQ(over.step, Step::Fail);
    EXPECT_EQ(over.error, "the body of 1001 bytes is over the cap of 1000");

    limits.maxBytes = 999;
    EXPECT_EQ(Judge(Rest("bytes 400-999/1000", "600"), kHolding, limits).step, Step::Fail);  // 400 held + 600

    limits.maxBytes = ~std::uint64_t{0} - 10;
    const ResumePoint nearTheEnd{~std::uint64_t{0} - 20, kEtag, 0};
    Answer huge = Rest("bytes 18446744073709551595-18446744073709551614/18446744073709551615", "20");
    EXPECT_EQ(Judge(huge, nearTheEnd, limits).step, Step::Fail);
}

}  // namespace
}  // namespace vt::launcher
