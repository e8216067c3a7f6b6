// A small HTTP/1.1 client for `vtlist check`, on POSIX sockets and Winsock
// alike, so the same checks run on a publisher's Linux server and on Windows.
// http:// only; one request per connection; redirects followed (up to five);
// "no-cache" asked for, as the launcher never takes a cached answer.
#pragma once

#include <string>

namespace vt::vtlist {

struct HttpAnswer {
    int status = 0;       // 0 when no answer came
    std::string body;     // empty for HEAD
    std::string error;    // why no answer came
};

// `url` may hold "\" in its path (patch-list paths); it is sent as "/".
// `range`: a "Range: bytes=..." value, or empty. Waits at most `timeoutMs`
// for each connect and each read.
HttpAnswer HttpRequest(const std::string& method, const std::string& url, const std::string& range = "",
                       int timeoutMs = 30000);

}  // namespace vt::vtlist
