// A URL taken apart as a WinINet request needs it (InternetCrackUrl with
// buffers of our own): the launcher's transfer and vtlist.exe's check ask
// the same way.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <optional>
#include <string>

namespace vt::win {

struct RequestTarget {
    std::string host;
    INTERNET_PORT port;
    std::string object;  // path and query
    bool secure;         // https
};

// Nothing when it is not an http or https URL.
std::optional<RequestTarget> CrackUrl(const std::string& url);

// A header of a request's answer (HttpQueryInfo's HTTP_QUERY_...); nothing
// when the answer has none (or one longer than 1 KiB, which no header the
// programs read may be).
std::optional<std::string> QueryHeader(HINTERNET request, DWORD query);

}  // namespace vt::win
