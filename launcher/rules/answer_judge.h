// What one attempt of a fetch makes of the server's answer, before a byte of
// its body is read: take the body (from its start, or appended to what is
// held), try again (now, from the start, or after the wait the server asked
// for), or fail. The transfer reads the answer's status and headers into an
// Answer, and acts on the Judgement; nothing here touches the network, so
// every hostile header can be tried in a unit test and under the fuzzer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vt::launcher {

// Bytes of a body already held, and the validator they were sent with (an
// ETag, else a Last-Modified date: sent back as If-Range). `total`: the whole
// body's length as announced when the bytes came (0: not known).
struct ResumePoint {
    std::uint64_t bytes = 0;
    std::string validator;
    std::uint64_t total = 0;
};

// An answer's status and the headers that decide what it is, as they came.
// A header that is absent is nothing.
struct Answer {
    unsigned status = 0;
    std::optional<std::string> contentLength;
    bool contentLengthTooLong = false;  // present, but longer than any number
    std::optional<std::string> contentRange;
    std::optional<std::string> contentType;  // a range answer's pieces are read by it
    std::optional<std::string> acceptRanges;
    std::optional<std::string> etag;
    std::optional<std::string> lastModified;
    std::optional<std::string> retryAfter;
};

struct JudgeLimits {
    std::uint64_t maxBytes = ~std::uint64_t{0};  // the caller's cap on the whole body
    std::uint64_t maxRetryAfterMs = 30000;       // the longest wait honoured
    std::int64_t nowEpochSeconds = 0;            // for a Retry-After given as a date
    std::uint64_t resumeRecordFrom = 1024 * 1024;  // a body this long gets a resume record
    // The request set its own Range (a partial update's ranges): a 206 is
    // then the whole body asked for, its pieces the caller's to read, and no
    // body of it is ever continued.
    bool ownRange = false;
};

struct Judgement {
    enum class Step {
        Take,       // read the body
        Retry,      // the attempt failed; another may succeed
        StartOver,  // a range answer does not fit: ask for the whole, at once
        Fail,       // no attempt will do better
    };
    Step step = Step::Fail;
    std::string error;             // why it is not Take, for the log
    std::uint32_t retryAfterMs = 0;  // the server asked to wait this long (429 or 503 with Retry-After)

    // With Take:
    bool continues = false;         // the body is the rest of what is held: append it
    std::optional<std::uint64_t> length;  // the body's Content-Length
    ResumePoint resumable;          // a body from the start that a later attempt can continue (empty validator: cannot)
    bool record = false;            // long enough to keep a resume record for a later run
};

// `from`: what the attempt holds and asked the rest of (bytes 0: it asked for
// the whole). A 200 is the whole body; a 206 only when a range was asked for,
// carries the validator sent, and is exactly the rest of the same whole, or
// when the caller asked for ranges of its own (limits.ownRange); another 2xx
// is no body. 5xx and 429 are tried again; other statuses fail.
Judgement Judge(const Answer& answer, const ResumePoint& from, const JudgeLimits& limits);

}  // namespace vt::launcher
