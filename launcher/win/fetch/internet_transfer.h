// The internet transfer component (`Download`): one WinINet session per
// transfer, reused for each of its fetches so that connections are kept alive
// (a run makes one for its pool's threads to share). A fetch
// streams the body in chunks into a DownloadSink, so memory does not grow with
// the file, and never answers from or writes to the URL cache.
//
// What counts as a good fetch: a final status of 200 after redirects (any
// other 2xx, a 204 above all, is no body: it fails and is not retried), a
// Content-Length that is missing or a plain decimal number (anything else
// fails the fetch, nothing throws), and a body that is complete: as long as
// Content-Length said (longer fails at once), and ended properly.
// Bounds: connecting 15 s; a stall of 30 s without a byte; a rate floor in
// the manner of curl's --speed-limit/--speed-time (less than 1 KiB in 30 s
// fails like a time-out, so a server dripping a byte now and then cannot hold
// a fetch for ever); and a cap on the body per fetch (the caller's).
// A time-out, a reset, a connection closed without an answer (the keep-alive
// race of every busy server: it closed an idle connection just as the request
// went out), a short body, a 5xx or a 429 is tried again, twice, after 0.5 s
// and 1.5 s; a 4xx, another status or a refused connection is not.
// Redirects are followed here, not by WinINet (Wine's follows a redirect to
// itself for ever): at most kMaxRedirects, then the fetch fails.
// A 429 or 503 with Retry-After waits as long as it asks, up to 30 s, instead.
//
// Resuming: a 200 answer with "Accept-Ranges: bytes", a Content-Length and a
// validator (a strong ETag, else Last-Modified) can be continued. When such a
// body is cut, the next attempt asks for the rest ("Range: bytes=N-", with the
// validator as If-Range) instead of the whole. Only a 206 that carries the
// validator sent and whose Content-Range is exactly the rest of the same whole
// is appended; a 200 to a range request
// (the file changed, or the server ignores ranges) starts the body over, and
// a 206 that does not fit is thrown away and the whole asked for again. A
// caller may start a fetch from bytes a stopped run left (ResumePoint).
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "launcher/rules/answer_judge.h"
#include "launcher/rules/http_rules.h"
#include "platform/win/handles.h"
#include "platform/win/request_target.h"

namespace vt::launcher {

using win::UniqueInternetHandle;

// Where a body goes. Begin starts a body, keeping the first `keep` bytes of
// what was written before (0: empty; more only when the fetch continues a
// body). Resumable hears that the body now being written could be continued
// later, and how (a sink may keep that beside the bytes for a later run).
class DownloadSink {
public:
    virtual ~DownloadSink() = default;
    virtual bool Begin(std::uint64_t keep) = 0;
    virtual bool Write(const char* data, std::size_t size) = 0;
    // The server announced that this many more bytes will come: false (with
    // why) when they cannot be taken (no room for them on the disk).
    virtual bool Reserve(std::uint64_t /*bytes*/) { return true; }
    // The body now being written (from its first byte) can be continued later
    // as `record` says; the sink keeps what it has written, with their digest.
    virtual void Resumable(const ResumeRecord& /*record*/) {}
    // The body has ended as HTTP says it should; false (with why) when it is
    // not what was expected after all (a size or hash the sink knows): the
    // fetch then counts it as cut and starts over.
    virtual bool Complete(std::string& /*why*/) { return true; }
    // The final answer's status and headers, as they came, before they are
    // judged (a memory sink keeps what a range answer's pieces are read by).
    virtual void Heard(const Answer& /*answer*/) {}
    virtual std::string LastError() const { return {}; }  // why Begin or Write failed, for the log
};

struct TransferTimeouts {
    DWORD connectMs = 15000;
    DWORD receiveMs = 30000;
    int attempts = 3;
    DWORD firstBackoffMs = 500;
    std::uint64_t speedLimitBytes = 1024;  // at least this many bytes ...
    DWORD speedTimeMs = 30000;             // ... in every window of this length
    DWORD maxRetryAfterMs = 30000;         // the longest Retry-After honoured
};

// A body this long or longer gets a record beside its partial file, so that a
// later run can continue it; shorter ones are fetched again whole (a read
// takes up to 1 MiB at once, so less would rarely leave anything to continue).
inline constexpr std::uint64_t kResumeRecordFrom = 1024 * 1024;

// No cap: a file's body is bounded by the disk's free space (the sink's reserve).
inline constexpr std::uint64_t kNoBodyCap = ~std::uint64_t{0};

struct FetchOutcome {
    bool ok = false;
    DWORD status = 0;          // the final HTTP status, 0 when none came
    std::uint64_t bytes = 0;   // body bytes of the last attempt
    int attempts = 0;
    DWORD elapsedMs = 0;
    std::string error;         // why it failed, for the log
    bool sinkFailed = false;   // it failed on this side: the sink could not take the body (or the run stopped)
    bool readAbandoned = false;  // a read did not finish within the rate floor's window
    std::uint64_t resumedFrom = 0;  // the last attempt continued the body from here
    int rangeRequests = 0;          // attempts that asked for the rest of a body
    bool throttled = false;         // the server said 429 or 503 with Retry-After
    DWORD waitedMs = 0;             // time spent waiting as Retry-After asked
    // A partial update (block_patch.h): the body was built from the old copy
    // and fetched ranges; `bytes` then counts the index and the ranges.
    bool patched = false;
    std::uint64_t reusedBytes = 0;  // bytes taken from the old copy
    std::string wholeBecause;       // why a partial update was tried and not used
    std::string source;             // the base URL the body came from, when it may come from mirrors
    std::string setAside;           // the sources set aside on the way, and why
};

// The body could not be taken on this side (the sink's write, its room, a
// stopped run): `why` as the error, and sinkFailed, since another source
// would do no better.
void NoteSinkFailure(FetchOutcome& outcome, std::string why);

// "\" in a URL's path is sent as "/", as browsers do: the patch list has had
// every "/" turned into "\".
std::string UrlForRequest(const std::string& url);

using win::CrackUrl;
using win::QueryHeader;
using win::RequestTarget;

class FastReadThread;
class SharedRateLimit;

// The request a body is read from (the reader takes them over when it
// abandons a read).
struct BodyReaderHandles {
    UniqueInternetHandle& connection;
    UniqueInternetHandle& request;
};

class InternetTransfer {
public:
    explicit InternetTransfer(TransferTimeouts timeouts = {});
    // Never throws: every failure is in the outcome.
    const TransferTimeouts& Timeouts() const { return timeouts_; }
    // Once `*stop` is true no new attempt starts and a pause between attempts
    // ends early: the fetch fails with what it has.
    void StopWhen(const std::atomic<bool>* stop) { stop_ = stop; }
    // Every read waits for its share of `limit` (shared_rate.h); none: no limit.
    void LimitRate(std::shared_ptr<SharedRateLimit> limit) { rate_ = std::move(limit); }

    // `from`: bytes the sink already holds of this URL's body (a stopped run's).
    // `headers`: more request header lines, each ending in CR LF. With a
    // Range line of its own among them the answer is taken as that range
    // request's (a 206 is the whole answer, and nothing is continued): how
    // a partial update asks for its ranges, into a MemorySink.
    // `attempts`: at most this many (0: the time-outs' number), for what is
    // worth one try only (an optional block index).
    FetchOutcome Fetch(const std::string& url, DownloadSink& sink, std::uint64_t maxBytes = kNoBodyCap,
                       const ResumePoint* from = nullptr, const std::string& headers = {}, int attempts = 0) noexcept;

private:
    enum class Verdict { Done, Retry, Fail };
    FetchOutcome FetchAttempts(const std::string& url, DownloadSink& sink, std::uint64_t maxBytes,
                               const ResumePoint* from, const std::string& headers, int attempts);
    struct Attempt;
    // One request and its answer: sends, judges the answer (answer_judge.h)
    // and pumps the body into the sink.
    Verdict FetchOnce(const RequestTarget& target, DownloadSink& sink, std::uint64_t maxBytes, Attempt& attempt,
                      FetchOutcome& outcome);
    // Connects and sends one request; Done with its status and handles.
    Verdict Request(const RequestTarget& target, const std::string& headers, UniqueInternetHandle& connection,
                    UniqueInternetHandle& request, DWORD& status, FetchOutcome& outcome);
    // Sends the request and follows redirects; Done with the final answer's
    // status (not a redirect) and its handles.
    Verdict Send(const RequestTarget& target, const std::string& url, const std::string& headers,
                 UniqueInternetHandle& connection, UniqueInternetHandle& request, DWORD& status, FetchOutcome& outcome);
    // What the judgement says before the body: the sink started over or told
    // the body can be continued, room reserved. Done when the body is to be read.
    Verdict Prepare(const Judgement& judgement, DownloadSink& sink, Attempt& attempt, FetchOutcome& outcome);
    // Reads the body into the sink, within the rate floor and the length.
    Verdict Pump(BodyReaderHandles handles, DownloadSink& sink, std::uint64_t maxBytes,
                 const std::optional<std::uint64_t>& length, std::uint64_t base, Attempt& attempt,
                 FetchOutcome& outcome);

    bool Pause(DWORD ms) const;  // false when stopped meanwhile

    TransferTimeouts timeouts_;
    const std::atomic<bool>* stop_ = nullptr;
    std::shared_ptr<SharedRateLimit> rate_;
    std::shared_ptr<FastReadThread> fastReads_;  // kept from fetch to fetch (body_reader.h)
    UniqueInternetHandle session_;
};

}  // namespace vt::launcher
