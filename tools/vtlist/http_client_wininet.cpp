// vtlist.exe asks through WinINet, as VT_Update.exe does: the same trust
// store, proxy settings and TLS as the players' launchers. Redirects are
// followed here (INTERNET_FLAG_NO_AUTO_REDIRECT), at most five, by the
// launcher's own rule: Wine's WinINet follows a redirect to itself for ever.
#include <windows.h>
#include <wininet.h>

#include <optional>
#include <string>
#include <vector>

#include "launcher/rules/http_rules.h"
#include "launcher/rules/internet_errors.h"
#include "platform/win/handles.h"
#include "platform/win/request_target.h"
#include "tools/vtlist/http_client.h"

namespace vt::vtlist {
namespace {

using Internet = win::UniqueInternetHandle;

// The body of a 2xx answer into `body` (or to `stream`), within the cap and
// the rate floor; why not, when it fails.
std::optional<std::string> ReadBody(HINTERNET request, std::uint64_t maxBytes, const BodyPieces& stream,
                                    std::string& body) {
    // The cap bounds what is kept; the rest of a longer answer is read and
    // dropped, not left unread: closing a request with its body unread
    // stalled under Wine 8 in a test (its WinINet drains the body on close,
    // a small read at a time). A streamed body is counted, not kept.
    bool tooLong = false;
    // Only what has arrived is read (Wine's InternetReadFile returns only
    // when its buffer is full), so the rate floor sees a dripping server.
    std::vector<char> buffer(64 * 1024);
    std::uint64_t got = 0, windowBytes = 0;
    ULONGLONG windowStart = ::GetTickCount64();
    for (;;) {
        DWORD available = 0, read = 0;
        if (!::InternetQueryDataAvailable(request, &available, 0, 0) ||
            (available > 0 && !::InternetReadFile(request, buffer.data(),
                                                  available < buffer.size() ? available : static_cast<DWORD>(buffer.size()),
                                                  &read)))
            return launcher::InternetErrorText("the body was cut", ::GetLastError());
        if (read == 0) break;
        tooLong = tooLong || read > maxBytes - got;
        got += read;
        if (stream) stream(buffer.data(), read);
        else if (!tooLong) body.append(buffer.data(), read);
        windowBytes += read;
        if (::GetTickCount64() - windowStart >= kRateWindowSeconds * 1000) {
            if (windowBytes < kRateFloorBytes)
                return "slower than " + std::to_string(kRateFloorBytes) + " bytes in " +
                       std::to_string(kRateWindowSeconds) + " s";
            windowStart = ::GetTickCount64();
            windowBytes = 0;
        }
    }
    // A streamed file's caller compares its size itself; a kept body over
    // the cap is no answer.
    if (tooLong && !stream) return "the answer is longer than the " + std::to_string(maxBytes) + " bytes it may be";
    return std::nullopt;
}

// One request, no redirect followed; `location` set for a 3xx.
HttpAnswer Once(HINTERNET session, const std::string& method, const std::string& url, const std::string& range,
                std::string& location, std::uint64_t maxBytes, const BodyPieces& stream) {
    HttpAnswer answer;
    const std::optional<win::RequestTarget> target = win::CrackUrl(url);
    if (!target) {
        answer.error = "not an http or https URL: " + url;
        return answer;
    }
    Internet connection(
        ::InternetConnectA(session, target->host.c_str(), target->port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_KEEP_CONNECTION;
    if (target->secure) flags |= INTERNET_FLAG_SECURE;
    Internet request(connection ? ::HttpOpenRequestA(connection.get(), method.c_str(), target->object.c_str(), nullptr,
                                                     nullptr, nullptr, flags, 0)
                                : nullptr);
    std::string headers = "Cache-Control: no-cache\r\n";
    if (!range.empty()) headers += "Range: " + range + "\r\n";
    if (!request || !::HttpSendRequestA(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()), nullptr, 0)) {
        answer.error = launcher::InternetErrorText("no answer", ::GetLastError());
        return answer;
    }
    DWORD status = 0, size = sizeof status;
    ::HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
    answer.status = static_cast<int>(status);
    if (status >= 300 && status <= 399) location = win::QueryHeader(request.get(), HTTP_QUERY_LOCATION).value_or("");
    // Another answer than 2xx: its status is what counts, its body is not read.
    if (method == "HEAD" || status < 200 || status > 299) return answer;
    if (std::optional<std::string> why = ReadBody(request.get(), maxBytes, stream, answer.body)) {
        answer.error = std::move(*why);
        answer.status = 0;
        answer.body.clear();
    }
    return answer;
}

}  // namespace

HttpAnswer HttpRequest(const std::string& method, const std::string& url, const std::string& range,
                       const HttpSettings& settings, std::uint64_t maxBytes, const BodyPieces& stream) {
    Internet session(::InternetOpenA("vtlist check", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return HttpAnswer{0, {}, launcher::InternetErrorText("WinINet cannot start", ::GetLastError())};
    DWORD timeout = static_cast<DWORD>(settings.timeoutMs);
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT})
        ::InternetSetOptionA(session.get(), option, &timeout, sizeof timeout);
    std::string current = url;
    for (int redirects = 0;; ++redirects) {
        std::string location;
        HttpAnswer answer = Once(session.get(), method, current, range, location, maxBytes, stream);
        if (answer.status < 300 || answer.status > 399 || location.empty()) return answer;
        const std::optional<std::string> next = launcher::ResolveRedirect(current, location);
        if (!next || redirects >= 5)
            return HttpAnswer{0, {}, "redirected " + std::string(next ? "more than five times" : "to what is not a URL") +
                                         " (last: " + location + ")"};
        current = *next;
    }
}

}  // namespace vt::vtlist
