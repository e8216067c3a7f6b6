#include "launcher/win/internet_transfer.h"

#include <vector>

#include "platform/win/failure.h"

namespace vt::launcher {
namespace {

constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;

bool IsTransient(DWORD error) {
    return error == ERROR_INTERNET_TIMEOUT || error == ERROR_INTERNET_CONNECTION_RESET ||
           error == ERROR_INTERNET_CONNECTION_ABORTED || error == ERROR_HTTP_INVALID_SERVER_RESPONSE ||
           error == ERROR_INTERNET_INCORRECT_HANDLE_STATE;
}

std::string ErrorText(const char* what, DWORD code) { return std::string(what) + " (WinINet error " + std::to_string(code) + ")"; }

}  // namespace

std::string UrlForRequest(const std::string& url) {
    std::string result = url;
    const std::size_t scheme = result.find("://");
    for (std::size_t i = scheme == std::string::npos ? 0 : scheme + 3; i < result.size(); ++i)
        if (result[i] == '\\') result[i] = '/';
    return result;
}

std::optional<RequestTarget> CrackUrl(const std::string& url) {
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    char host[256] = {}, path[4096] = {}, extra[4096] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof extra;
    if (!::InternetCrackUrlA(url.c_str(), 0, 0, &parts)) return std::nullopt;
    return RequestTarget{host, parts.nPort, std::string(path) + extra, parts.nScheme == INTERNET_SCHEME_HTTPS};
}

InternetTransfer::InternetTransfer(TransferTimeouts timeouts)
    : timeouts_(timeouts), session_(::InternetOpenA("VT_Update", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)) {
    if (!session_) win::ThrowSystemError("Cannot open an internet session");
    ::InternetSetOptionA(session_.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeouts_.connectMs, sizeof(DWORD));
    ::InternetSetOptionA(session_.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeouts_.receiveMs, sizeof(DWORD));
    ::InternetSetOptionA(session_.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeouts_.receiveMs, sizeof(DWORD));
}

FetchOutcome InternetTransfer::Fetch(const std::string& url, DownloadSink& sink) {
    const std::string requestUrl = UrlForRequest(url);
    FetchOutcome outcome;
    const ULONGLONG begin = ::GetTickCount64();
    const std::optional<RequestTarget> target = CrackUrl(requestUrl);
    if (!target) {
        outcome.error = "not a URL: " + requestUrl;
        return outcome;
    }
    DWORD backoff = timeouts_.firstBackoffMs;
    for (int attempt = 1; attempt <= timeouts_.attempts; ++attempt) {
        outcome = FetchOutcome{};
        outcome.attempts = attempt;
        ::DeleteUrlCacheEntryA(requestUrl.c_str());
        const Verdict verdict = FetchOnce(*target, sink, outcome);
        if (verdict != Verdict::Retry || attempt == timeouts_.attempts) break;
        ::Sleep(backoff);
        backoff *= 3;
    }
    ::DeleteUrlCacheEntryA(requestUrl.c_str());
    outcome.elapsedMs = static_cast<DWORD>(::GetTickCount64() - begin);
    return outcome;
}

InternetTransfer::Verdict InternetTransfer::FetchOnce(const RequestTarget& target, DownloadSink& sink,
                                                      FetchOutcome& outcome) {
    if (!sink.Begin()) {
        outcome.error = "cannot write the target file";
        return Verdict::Fail;
    }
    // Connect and request separately: the time-outs must be set on the request
    // handle, since Wine's WinINet does not apply the session's to a request.
    UniqueInternetHandle connection(::InternetConnectA(session_.get(), target.host.c_str(), target.port, nullptr, nullptr,
                                                       INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        outcome.error = ErrorText("cannot connect", ::GetLastError());
        return Verdict::Fail;
    }
    UniqueInternetHandle request(::HttpOpenRequestA(connection.get(), "GET", target.object.c_str(), nullptr, nullptr,
                                                    nullptr, kRequestFlags | (target.secure ? INTERNET_FLAG_SECURE : 0), 0));
    if (!request) {
        outcome.error = ErrorText("cannot open the request", ::GetLastError());
        return Verdict::Fail;
    }
    ::InternetSetOptionA(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeouts_.receiveMs, sizeof(DWORD));
    ::InternetSetOptionA(request.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeouts_.receiveMs, sizeof(DWORD));
    if (!::HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
        const DWORD error = ::GetLastError();
        outcome.error = ErrorText("request failed", error);
        return IsTransient(error) ? Verdict::Retry : Verdict::Fail;
    }

    DWORD status = 0, size = sizeof status;
    if (!::HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        outcome.error = "no HTTP status";
        return Verdict::Fail;
    }
    outcome.status = status;
    if (status < 200 || status > 299) {
        outcome.error = "HTTP status " + std::to_string(status);
        return status >= 500 || status == 429 ? Verdict::Retry : Verdict::Fail;
    }

    char lengthText[32] = {};
    DWORD lengthSize = sizeof lengthText;
    const bool hasLength = ::HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, nullptr);
    const std::uint64_t expected = hasLength ? std::stoull(lengthText) : 0;

    std::vector<char> buffer(1024 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::InternetReadFile(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
            const DWORD error = ::GetLastError();
            outcome.error = ErrorText("body cut short", error);
            return Verdict::Retry;
        }
        if (got == 0) break;
        if (!sink.Write(buffer.data(), got)) {
            outcome.error = "cannot write the target file";
            return Verdict::Fail;
        }
        outcome.bytes += got;
    }
    if (hasLength && outcome.bytes != expected) {
        outcome.error = "body cut short: " + std::to_string(outcome.bytes) + " of " + std::to_string(expected) + " bytes";
        return Verdict::Retry;
    }
    outcome.ok = true;
    return Verdict::Done;
}

}  // namespace vt::launcher
