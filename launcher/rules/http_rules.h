// The parts of HTTP that the launcher reads from a server's answer and must
// not trust: the range an answer to a range request covers, how long a busy
// server asks to be left alone, and the record that lets a stopped download
// continue. Every reader here takes hostile text and answers "nothing" for
// anything it does not fully understand.
#pragma once

#include "config/number_text.h"  // DecimalDigits, CanonicalDecimal: the numbers of headers and records

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vt::launcher {


// "Content-Range: bytes FIRST-LAST/TOTAL" (TOTAL may be "*").
struct ContentRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;                // inclusive
    std::optional<std::uint64_t> total;    // nothing for "*"
};
std::optional<ContentRange> ParseContentRange(std::string_view text);

// Whether a 206 answer to "Range: bytes=OFFSET-" is the rest of the body we
// hold the start of: it begins at OFFSET, runs to the end of the whole, is as
// long as its Content-Length says, and the whole is as long as we were told
// before (`knownTotal`, when known).
bool RangeContinues(const ContentRange& range, std::uint64_t offset, std::uint64_t contentLength,
                    std::optional<std::uint64_t> knownTotal);

// "Retry-After": delta-seconds, or an HTTP date (IMF-fixdate) measured
// against `nowEpochSeconds`. A date in the past is 0 s; nothing when unreadable.
std::optional<std::uint64_t> ParseRetryAfterSeconds(std::string_view text, std::int64_t nowEpochSeconds);

// Seconds since 1970 for an IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT").
std::optional<std::int64_t> ParseHttpDate(std::string_view text);

// A download that may continue later: where it came from, the server's
// validator for those bytes (an ETag, else a Last-Modified date, sent back as
// If-Range), the whole body's length, and how many of its first bytes were on
// the disk (flushed) before the record was written, with their checksum
// (content_sum.h). It is
// kept beside the partial file as a few CR LF lines, so that the next run can
// check what it keeps and ask for the rest. Bytes past `kept` (written after
// the last record, perhaps lost or zeroed by a power cut) are never trusted.
struct ResumeRecord {
    std::string url;
    std::string validator;
    std::uint64_t total = 0;
    std::uint64_t kept = 0;
    std::array<std::uint8_t, 16> keptSum{};
};
std::string FormatResumeRecord(const ResumeRecord& record);
std::optional<ResumeRecord> ParseResumeRecord(std::string_view text);

// A validator fit to be sent back in a header: not empty, printable ASCII,
// not weak ("W/" ETags are not allowed in If-Range), bounded in length.
bool UsableValidator(std::string_view validator);

// Whether a 206 answer is for the bytes the If-Range validator `sent` named:
// an ETag (it begins with a double quote) must come back as the answer's
// ETag, a date as its Last-Modified, each exactly. A server or proxy that
// ignores If-Range answers a range of another version of the file; appending
// that would splice two versions into one file.
bool AnswerHasValidator(std::string_view sent, std::string_view etag, std::string_view lastModified);

// Redirects are followed by the launcher itself, at most this many per fetch:
// a server that redirects to itself would otherwise hold a fetch for good.
inline constexpr int kMaxRedirects = 10;

bool IsRedirectStatus(unsigned status);

// Whether request header lines ("Name: value", each ending in CR LF) hold
// a header of that name (in any case, blanks allowed before the colon).
bool HasHeader(std::string_view headers, std::string_view name);

// Where a redirect leads: `location` (absolute, scheme-relative "//host/...",
// absolute-path "/..." or relative to `base`'s folder) as an http or https
// URL. Nothing for another scheme, blanks or control characters, or an empty
// host: hostile text is never sent on.
std::optional<std::string> ResolveRedirect(std::string_view base, std::string_view location);

}  // namespace vt::launcher
