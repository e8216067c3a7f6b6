// The HTTP client of `vtlist check`, asking as players' launchers do:
// natively libcurl (http and https with the system's certificate authorities,
// redirects, the proxies of http_proxy/https_proxy as users expect), in
// vtlist.exe WinINet as the launcher itself uses it (the system's trust
// store and proxy settings). Redirects are followed (up to five); "no-cache"
// is asked for, as the launcher never takes a cached answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vt::vtlist {

// The most a body kept in memory may be (a start page, a list, a side file,
// a block index): a 100,000-file list is about 10 MiB.
inline constexpr std::uint64_t kMaxKeptBody = 64ull * 1024 * 1024;
// Bodies are read within the launcher's rate floor: at least this many bytes
// in every kRateWindowSeconds, or the answer fails like a time-out.
inline constexpr std::uint64_t kRateFloorBytes = 1024;
inline constexpr long kRateWindowSeconds = 30;

// Where a streamed body goes, piece by piece, instead of into `body`.
using BodyPieces = std::function<void(const char* data, std::size_t size)>;

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
// `range`: a "Range: bytes=..." value, or empty. A body longer than
// `maxBytes` ends the request at once (no status, the error says so), so an
// endless answer or a Content-Length of a terabyte costs nothing; with
// `stream` the body is handed over as it comes and not kept.
HttpAnswer HttpRequest(const std::string& method, const std::string& url, const std::string& range = "",
                       const HttpSettings& settings = {}, std::uint64_t maxBytes = kMaxKeptBody,
                       const BodyPieces& stream = {});

}  // namespace vt::vtlist
