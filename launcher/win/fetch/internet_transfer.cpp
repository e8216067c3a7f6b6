#include "launcher/win/fetch/internet_transfer.h"

#include <exception>
#include <utility>
#include <vector>

#include "launcher/rules/internet_errors.h"
#include "launcher/win/fetch/body_reader.h"
#include "launcher/win/fetch/shared_rate.h"
#include "platform/win/clock.h"
#include "platform/win/failure.h"

namespace vt::launcher {
namespace {

// The URL cache is neither read (RELOAD, PRAGMA_NOCACHE) nor written
// (NO_CACHE_WRITE); entries are not deleted either, which cost a lock and a
// look into the cache's index twice per fetch.
//
// Redirects are followed by FetchOnce itself (NO_AUTO_REDIRECT): a bounded
// number of them, http to http and http to https; https to http never.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_AUTO_REDIRECT;

bool IsTransient(DWORD error) {
    return error == ERROR_INTERNET_TIMEOUT || error == ERROR_INTERNET_CONNECTION_RESET ||
           error == ERROR_INTERNET_CONNECTION_ABORTED || error == ERROR_HTTP_INVALID_SERVER_RESPONSE ||
           error == ERROR_INTERNET_INCORRECT_HANDLE_STATE;
}

std::string ErrorText(const char* what, DWORD code) { return InternetErrorText(what, code); }

}  // namespace

void NoteSinkFailure(FetchOutcome& outcome, std::string why) {
    outcome.error = std::move(why);
    outcome.sinkFailed = true;
}

std::string UrlForRequest(const std::string& url) {
    std::string result = url;
    const std::size_t scheme = result.find("://");
    for (std::size_t i = scheme == std::string::npos ? 0 : scheme + 3; i < result.size(); ++i)
        if (result[i] == '\\') result[i] = '/';
    return result;
}

InternetTransfer::InternetTransfer(TransferTimeouts timeouts)
    : timeouts_(timeouts), session_(::InternetOpenA("VT_Update", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)) {
    if (!session_) win::ThrowSystemError("Cannot open an internet session");
    ::InternetSetOptionA(session_.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeouts_.connectMs, sizeof(DWORD));
    ::InternetSetOptionA(session_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeouts_.receiveMs, sizeof(DWORD));
    ::InternetSetOptionA(session_.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeouts_.receiveMs, sizeof(DWORD));
}

// What one attempt starts from and what it leaves for the next.
struct InternetTransfer::Attempt {
    std::string url;               // as requested: what a resume record names
    bool careful = false;          // after an abandoned read: only reads of what has arrived
    ResumePoint from;              // bytes held and their validator (empty: ask for the whole)
    DWORD retryAfterMs = 0;        // the server asked to wait this long before the next attempt
    bool startOver = false;        // a range answer did not fit: the next attempt asks for the whole at once
    std::string headers;           // the caller's own request headers
    bool ownRange = false;         // among them a Range: the answer is that range request's
};

FetchOutcome InternetTransfer::Fetch(const std::string& url, DownloadSink& sink, std::uint64_t maxBytes,
                                     const ResumePoint* from, const std::string& headers, int attempts) noexcept {
    FetchOutcome outcome;
    const std::optional<std::string> failed =
        win::FailureOf([&] { outcome = FetchAttempts(url, sink, maxBytes, from, headers, attempts); });
    if (failed) {
        outcome.ok = false;
        outcome.error = "failed: " + *failed;
    }
    return outcome;
}

// The attempts of one fetch, with their pauses; Fetch turns a throw into an outcome.
FetchOutcome InternetTransfer::FetchAttempts(const std::string& url, DownloadSink& sink, std::uint64_t maxBytes,
                                             const ResumePoint* from, const std::string& headers, int attempts) {
    const int most = attempts > 0 && attempts < timeouts_.attempts ? attempts : timeouts_.attempts;
    FetchOutcome outcome;
    const std::string requestUrl = UrlForRequest(url);
    const ULONGLONG begin = ::GetTickCount64();
    const std::optional<RequestTarget> target = CrackUrl(requestUrl);
    if (!target) {
        outcome.error = "not a URL: " + requestUrl;
        return outcome;
    }
    DWORD backoff = timeouts_.firstBackoffMs;
    Attempt attempt;
    attempt.url = requestUrl;
    attempt.headers = headers;
    attempt.ownRange = HasHeader(headers, "Range");
    if (from && from->bytes > 0 && !attempt.ownRange && UsableValidator(from->validator)) attempt.from = *from;
    int rangeRequests = 0;
    bool throttled = false;
    DWORD waited = 0;
    for (int number = 1; number <= most; ++number) {
        outcome = FetchOutcome{};
        outcome.attempts = number;
        attempt.retryAfterMs = 0;
        attempt.startOver = false;
        rangeRequests += attempt.from.bytes > 0;
        const Verdict verdict = FetchOnce(*target, sink, maxBytes, attempt, outcome);
        attempt.careful = attempt.careful || outcome.readAbandoned;
        throttled = throttled || attempt.retryAfterMs > 0;
        if (verdict != Verdict::Retry || number == most) break;
        if (attempt.startOver) continue;  // the whole, at once
        const DWORD pause = attempt.retryAfterMs > 0 ? attempt.retryAfterMs : backoff;
        if (!Pause(pause)) break;
        if (attempt.retryAfterMs > 0) waited += pause;
        backoff *= 3;
    }
    outcome.elapsedMs = static_cast<DWORD>(::GetTickCount64() - begin);
    outcome.rangeRequests = rangeRequests;
    outcome.throttled = throttled;
    outcome.waitedMs = waited;
    return outcome;
}

bool InternetTransfer::Pause(DWORD ms) const {
    if (!stop_) {
        ::Sleep(ms);
        return true;
    }
    const ULONGLONG end = ::GetTickCount64() + ms;
    for (ULONGLONG now = ::GetTickCount64(); now < end && !*stop_; now = ::GetTickCount64())
        ::Sleep(static_cast<DWORD>(end - now < 50 ? end - now : 50));
    return !*stop_;
}

namespace {

// The status and the headers Judge weighs. Content-Length is read on its
// own: a value too long for the buffer is an answer to refuse, not an absent
// header.
Answer ReadAnswer(HINTERNET request, DWORD status) {
    Answer answer;
    answer.status = status;
    char lengthText[64] = {};
    DWORD lengthSize = sizeof lengthText - 1;
    if (::HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, nullptr))
        answer.contentLength = std::string(lengthText, lengthSize);
    else if (::GetLastError() == ERROR_INSUFFICIENT_BUFFER)
        answer.contentLengthTooLong = true;
    answer.contentRange = QueryHeader(request, HTTP_QUERY_CONTENT_RANGE);
    answer.contentType = QueryHeader(request, HTTP_QUERY_CONTENT_TYPE);
    answer.acceptRanges = QueryHeader(request, HTTP_QUERY_ACCEPT_RANGES);
    answer.etag = QueryHeader(request, HTTP_QUERY_ETAG);
    answer.lastModified = QueryHeader(request, HTTP_QUERY_LAST_MODIFIED);
    if (status == 429 || status == 503) answer.retryAfter = QueryHeader(request, HTTP_QUERY_RETRY_AFTER);
    return answer;
}

}  // namespace

InternetTransfer::Verdict InternetTransfer::Request(const RequestTarget& target, const std::string& headers,
                                                    UniqueInternetHandle& connection, UniqueInternetHandle& request,
                                                    DWORD& status, FetchOutcome& outcome) {
    request.reset();  // a child goes before its parent
    connection.reset();
    // Connect and request separately: the time-outs must be set on the
    // request handle, since Wine's WinINet does not apply the session's to a request.
    connection.reset(::InternetConnectA(session_.get(), target.host.c_str(), target.port, nullptr, nullptr,
                                        INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        outcome.error = ErrorText("cannot connect", ::GetLastError());
        return Verdict::Fail;
    }
    request.reset(::HttpOpenRequestA(connection.get(), "GET", target.object.c_str(), nullptr, nullptr, nullptr,
                                     kRequestFlags | (target.secure ? INTERNET_FLAG_SECURE : 0), 0));
    if (!request) {
        outcome.error = ErrorText("cannot open the request", ::GetLastError());
        return Verdict::Fail;
    }
    ::InternetSetOptionA(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeouts_.receiveMs, sizeof(DWORD));
    ::InternetSetOptionA(request.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeouts_.receiveMs, sizeof(DWORD));
    if (!::HttpSendRequestA(request.get(), headers.empty() ? nullptr : headers.c_str(),
                            static_cast<DWORD>(headers.size()), nullptr, 0)) {
        const DWORD error = ::GetLastError();
        outcome.error = ErrorText("request failed", error);
        return IsTransient(error) ? Verdict::Retry : Verdict::Fail;
    }
    status = 0;
    DWORD size = sizeof status;
    if (!::HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
        status == 0) {
        // Wine reports a connection closed before any answer as status 0.
        outcome.error = "the server closed the connection without an answer";
        return Verdict::Retry;
    }
    return Verdict::Done;
}

namespace {

// Where a redirect answer sends the request next, or why it goes nowhere
// (in `outcome`): a Location that resolves to a URL, within kMaxRedirects,
// never from https to http.
std::optional<std::pair<RequestTarget, std::string>> NextHop(HINTERNET request, DWORD status, const RequestTarget& from,
                                                             const std::string& url, int redirects,
                                                             FetchOutcome& outcome) {
    const std::optional<std::string> location = QueryHeader(request, HTTP_QUERY_LOCATION);
    const std::optional<std::string> next = location ? ResolveRedirect(url, *location) : std::nullopt;
    outcome.status = status;
    if (!next) {
        outcome.error =
            "HTTP status " + std::to_string(status) + " without a usable Location (\"" + location.value_or("") + "\")";
        return std::nullopt;
    }
    if (redirects == kMaxRedirects) {
        outcome.error = "more than " + std::to_string(kMaxRedirects) + " redirects, the last to " + *next;
        return std::nullopt;
    }
    const std::optional<RequestTarget> hop = CrackUrl(*next);
    if (!hop) {
        outcome.error = "a redirect to what is not a URL: " + *next;
        return std::nullopt;
    }
    if (from.secure && !hop->secure) {
        outcome.error = "refused a redirect from https to http (" + *next + ")";
        return std::nullopt;
    }
    return std::make_pair(*hop, *next);
}

// The rate floor: at least speedLimitBytes in every window of speedTimeMs.
class RateFloor {
public:
    explicit RateFloor(const TransferTimeouts& timeouts)
        : leastBytes_(timeouts.speedLimitBytes), windowMs_(timeouts.speedTimeMs), start_(::GetTickCount64()) {}
    // The time waited for our own limit is no time the server took: the
    // window moves on by it.
    void Waited(ULONGLONG ms) { start_ += ms; }
    // After `got` bytes more: false when a window ended with fewer than its least.
    bool Holds(std::uint64_t got) {
        bytes_ += got;
        const ULONGLONG now = ::GetTickCount64();
        if (now - start_ < windowMs_) return true;
        if (bytes_ < leastBytes_) return false;
        start_ = now;
        bytes_ = 0;
        return true;
    }

private:
    std::uint64_t leastBytes_;
    ULONGLONG windowMs_;
    ULONGLONG start_;
    std::uint64_t bytes_ = 0;
};

// Why a body that has come to `bytes` is more than it may be, or nothing.
std::optional<std::string> OverTheBody(std::uint64_t bytes, std::uint64_t base, std::uint64_t maxBytes,
                                       const std::optional<std::uint64_t>& length) {
    if (length && bytes > *length) return "the body is longer than its Content-Length of " + std::to_string(*length);
    if (base + bytes > maxBytes) return "the body is over the cap of " + std::to_string(maxBytes) + " bytes";
    return std::nullopt;
}

}  // namespace

InternetTransfer::Verdict InternetTransfer::Send(const RequestTarget& first, const std::string& firstUrl,
                                                 const std::string& headers, UniqueInternetHandle& connection,
                                                 UniqueInternetHandle& request, DWORD& status, FetchOutcome& outcome) {
    RequestTarget target = first;
    std::string url = firstUrl;
    for (int redirects = 0;; ++redirects) {
        if (const Verdict sent = Request(target, headers, connection, request, status, outcome); sent != Verdict::Done)
            return sent;
        if (!IsRedirectStatus(status)) return Verdict::Done;
        auto hop = NextHop(request.get(), status, target, url, redirects, outcome);
        if (!hop) return Verdict::Fail;
        target = std::move(hop->first);
        url = std::move(hop->second);
    }
}

InternetTransfer::Verdict InternetTransfer::FetchOnce(const RequestTarget& target, DownloadSink& sink,
                                                      std::uint64_t maxBytes, Attempt& attempt, FetchOutcome& outcome) {
    const std::uint64_t offset = attempt.from.bytes;
    if (!sink.Begin(offset)) {
        NoteSinkFailure(outcome, "cannot write the target file: " + sink.LastError());
        return Verdict::Fail;
    }
    std::string rangeHeaders = attempt.headers;
    if (offset > 0)
        rangeHeaders += "Range: bytes=" + std::to_string(offset) + "-\r\nIf-Range: " + attempt.from.validator + "\r\n";
    UniqueInternetHandle connection, request;
    DWORD status = 0;
    if (const Verdict sent = Send(target, attempt.url, rangeHeaders, connection, request, status, outcome);
        sent != Verdict::Done)
        return sent;
    outcome.status = status;
    JudgeLimits limits;
    limits.maxBytes = maxBytes;
    limits.maxRetryAfterMs = timeouts_.maxRetryAfterMs;
    limits.nowEpochSeconds = win::NowEpochSeconds();
    limits.resumeRecordFrom = kResumeRecordFrom;
    limits.ownRange = attempt.ownRange;
    const Answer answer = ReadAnswer(request.get(), status);
    sink.Heard(answer);
    const Judgement judgement = Judge(answer, attempt.from, limits);
    if (const Verdict prepared = Prepare(judgement, sink, attempt, outcome); prepared != Verdict::Done)
        return prepared;
    return Pump(BodyReaderHandles{connection, request}, sink, maxBytes, judgement.length,
                judgement.continues ? offset : 0, attempt, outcome);
}

InternetTransfer::Verdict InternetTransfer::Prepare(const Judgement& judgement, DownloadSink& sink, Attempt& attempt,
                                                    FetchOutcome& outcome) {
    switch (judgement.step) {
        case Judgement::Step::Take:
            break;
        case Judgement::Step::StartOver:
            attempt.from = ResumePoint{};
            attempt.startOver = true;
            [[fallthrough]];
        case Judgement::Step::Retry:
        case Judgement::Step::Fail:
            outcome.error = judgement.error;
            attempt.retryAfterMs = judgement.retryAfterMs;
            return judgement.step == Judgement::Step::Fail ? Verdict::Fail : Verdict::Retry;
    }
    if (judgement.continues) {
        outcome.resumedFrom = attempt.from.bytes;
    } else {
        if (attempt.from.bytes > 0 && !sink.Begin(0)) {  // a 200 to a range request: the whole again, from the start
            NoteSinkFailure(outcome, "cannot write the target file: " + sink.LastError());
            return Verdict::Fail;
        }
        attempt.from = judgement.resumable;
        if (judgement.record)
            sink.Resumable(ResumeRecord{attempt.url, judgement.resumable.validator, judgement.resumable.total});
    }
    if (judgement.length && !sink.Reserve(*judgement.length)) {
        NoteSinkFailure(outcome, sink.LastError());
        return Verdict::Fail;
    }
    return Verdict::Done;
}

InternetTransfer::Verdict InternetTransfer::Pump(BodyReaderHandles handles, DownloadSink& sink,
                                                 std::uint64_t maxBytes, const std::optional<std::uint64_t>& length,
                                                 std::uint64_t base, Attempt& attempt, FetchOutcome& outcome) {
    RateFloor floor(timeouts_);
    constexpr std::uint64_t kStartFastAbove = 16 * 1024;
    // A partial update's ranges start careful: a fast read returns only when
    // its megabyte is whole, and the player would see nothing of a batch of
    // ranges until it had all come. The reader goes fast once they come fast.
    BodyReader reader(handles.connection, handles.request, timeouts_.speedTimeMs,
                      !attempt.careful && !attempt.ownRange && length && *length > kStartFastAbove, fastReads_);
    const std::uint64_t share = rate_ ? ReadSizeWithin(rate_->BytesPerSecond()) : 0;
    const std::string slower =
        "slower than " + std::to_string(timeouts_.speedLimitBytes) + " bytes in " + std::to_string(timeouts_.speedTimeMs) + " ms";
    // When the body is cut, what arrived stays for the next attempt to continue.
    auto cut = [&](std::string why) {
        outcome.error = std::move(why);
        if (!attempt.from.validator.empty()) attempt.from.bytes = base + outcome.bytes;
        return Verdict::Retry;
    };
    for (;;) {
        const char* data = nullptr;
        DWORD got = 0, readError = 0;
        std::uint64_t granted = 0;
        if (rate_) {
            ULONGLONG waited = 0;
            granted = rate_->Take(share, stop_, waited);
            floor.Waited(waited);
            if (granted == 0) {
                NoteSinkFailure(outcome, "stopped: the run has ended");
                return Verdict::Fail;
            }
        }
        const BodyReader::Status read = reader.Next(data, got, readError, static_cast<DWORD>(granted));
        if (granted > got) rate_->GiveBack(granted - got);
        if (read == BodyReader::Status::Failed) return cut(ErrorText("body cut short", readError));
        if (read == BodyReader::Status::Abandoned) {
            outcome.readAbandoned = true;
            return cut(slower + " (a read did not finish)");
        }
        if (read == BodyReader::Status::End) break;
        outcome.bytes += got;
        if (std::optional<std::string> over = OverTheBody(outcome.bytes, base, maxBytes, length)) {
            outcome.error = std::move(*over);
            return Verdict::Fail;
        }
        if (!sink.Write(data, got)) {
            NoteSinkFailure(outcome, "cannot write the target file: " + sink.LastError());
            return Verdict::Fail;
        }
        if (!floor.Holds(got)) return cut(slower);
    }
    if (length && outcome.bytes != *length)
        return cut("body cut short: " + std::to_string(outcome.bytes) + " of " + std::to_string(*length) + " bytes");
    if (std::string why; !sink.Complete(why)) {
        // Not the bytes released (a body cut without a length, or changed on
        // the way): none of it is kept for a range request.
        outcome.error = why;
        attempt.from = ResumePoint{};
        return Verdict::Retry;
    }
    outcome.ok = true;
    return Verdict::Done;
}

}  // namespace vt::launcher
