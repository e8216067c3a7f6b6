// vtlist.exe asks through WinINet, as VT_Update.exe does: the same trust
// store, proxy settings and TLS as the players' launchers. Redirects are
// followed here (INTERNET_FLAG_NO_AUTO_REDIRECT), at most five, by the
// launcher's own rule: Wine's WinINet follows a redirect to itself for ever.
#include <windows.h>
#include <wininet.h>

#include <vector>

#include "launcher/rules/http_rules.h"
#include "launcher/rules/internet_errors.h"
#include "platform/win/handles.h"
#include "platform/win/request_target.h"
#include "tools/vtlist/http_client.h"

namespace vt::vtlist {
namespace {

using Internet = win::UniqueInternetHandle;

// One request, no redirect followed; `location` set for a 3xx.
HttpAnswer Once(HINTERNET session, const std::string& method, const std::string& url, const std::string& range,
                std::string& location) {
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
    if (method == "HEAD") return answer;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        DWORD read = 0;
        if (!::InternetReadFile(request.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read)) {
            answer.error = launcher::InternetErrorText("the body was cut", ::GetLastError());
            answer.status = 0;
            answer.body.clear();
            return answer;
        }
        if (read == 0) break;
        answer.body.append(buffer.data(), read);
    }
    return answer;
}

}  // namespace

HttpAnswer HttpRequest(const std::string& method, const std::string& url, const std::string& range,
                       const HttpSettings& settings) {
    Internet session(::InternetOpenA("vtlist check", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return HttpAnswer{0, {}, launcher::InternetErrorText("WinINet cannot start", ::GetLastError())};
    DWORD timeout = static_cast<DWORD>(settings.timeoutMs);
    for (const DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT})
        ::InternetSetOptionA(session.get(), option, &timeout, sizeof timeout);
    std::string current = url;
    for (int redirects = 0;; ++redirects) {
        std::string location;
        HttpAnswer answer = Once(session.get(), method, current, range, location);
        if (answer.status < 300 || answer.status > 399 || location.empty()) return answer;
        const std::optional<std::string> next = launcher::ResolveRedirect(current, location);
        if (!next || redirects >= 5)
            return HttpAnswer{0, {}, "redirected " + std::string(next ? "more than five times" : "to what is not a URL") +
                                         " (last: " + location + ")"};
        current = *next;
    }
}

}  // namespace vt::vtlist
