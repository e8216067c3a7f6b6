// The HTTP client of `vtlist check`, asking as players' launchers do:
// natively libcurl (http and https with the system's certificate authorities,
// redirects, the proxies of http_proxy/https_proxy as users expect), in
// vtlist.exe WinINet as the launcher itself uses it (the system's trust
// store and proxy settings). Redirects are followed (up to five); "no-cache"
// is asked for, as the launcher never takes a cached answer.
#pragma once

#include <string>

namespace vt::vtlist {

struct HttpAnswer {
    int status = 0;       // 0 when no answer came
    std::string body;     // empty for HEAD
    std::string error;    // why no answer came
};

struct HttpSettings {
    std::string caFile;     // natively: a certificate authority (PEM) to trust besides the system's
    int timeoutMs = 30000;  // for the connection, and for a pause in the answer
};

// `url` is sent as it is (list paths go through EncodeUrlPath first).
// `range`: a "Range: bytes=..." value, or empty.
HttpAnswer HttpRequest(const std::string& method, const std::string& url, const std::string& range = "",
                       const HttpSettings& settings = {});

}  // namespace vt::vtlist
