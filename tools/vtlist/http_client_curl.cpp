#include <curl/curl.h>

#include <mutex>
#include <string>

#include "platform/text.h"
#include "tools/vtlist/http_client.h"

namespace vt::vtlist {
namespace {

// curl_global_init is not thread-safe; once, before the first request.
void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Receiver {
    CURL* handle;
    std::string* body;
    const BodyPieces* stream;
    std::uint64_t maxBytes;
    std::uint64_t got = 0;
    bool over = false;
    bool notGood = false;  // an answer other than 2xx: its body is not read (its status is what counts)
};

// Returning less than was given makes libcurl end the transfer.
std::size_t Receive(char* data, std::size_t size, std::size_t count, void* into) {
    auto& r = *static_cast<Receiver*>(into);
    const std::size_t bytes = size * count;
    long status = 0;
    curl_easy_getinfo(r.handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        r.notGood = true;
        return 0;
    }
    if (bytes > r.maxBytes - r.got) {
        r.over = true;
        return 0;
    }
    r.got += bytes;
    if (*r.stream) (*r.stream)(data, bytes);
    else r.body->append(data, bytes);
    return bytes;
}

struct EasyHandle {
    CURL* handle = curl_easy_init();
    curl_slist* headers = nullptr;
    ~EasyHandle() {
        curl_slist_free_all(headers);
        if (handle) curl_easy_cleanup(handle);
    }
};

}  // namespace

HttpAnswer HttpRequest(const std::string& method, const std::string& url, const std::string& range,
                       const HttpSettings& settings, std::uint64_t maxBytes, const BodyPieces& stream) {
    InitOnce();
    HttpAnswer answer;
    EasyHandle easy;
    if (!easy.handle) {
        answer.error = "libcurl could not start a request";
        return answer;
    }
    CURL* h = easy.handle;
    easy.headers = curl_slist_append(easy.headers, "Cache-Control: no-cache");
    easy.headers = curl_slist_append(easy.headers, "Pragma: no-cache");
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, easy.headers);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // several threads ask at once
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.timeoutMs));
    // The launcher's rate floor: libcurl counts bytes a second over the
    // window, so kRateFloorBytes in the window is that many over its seconds.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, (static_cast<long>(kRateFloorBytes) + kRateWindowSeconds - 1) / kRateWindowSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kRateWindowSeconds);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "vtlist check");
    if (!settings.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, settings.caFile.c_str());
    if (method == "HEAD") curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    if (!range.empty()) {
        const std::string bytes = StartsWith(range, "bytes=") ? range.substr(6) : range;
        curl_easy_setopt(h, CURLOPT_RANGE, bytes.c_str());
    }
    Receiver receiver{h, &answer.body, &stream, maxBytes};
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Receive);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &receiver);
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    const CURLcode result = curl_easy_perform(h);
    if (receiver.notGood) {
        long status = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        answer.status = static_cast<int>(status);
        return answer;
    }
    if (receiver.over) {
        answer.error = "the answer is longer than the " + std::to_string(maxBytes) + " bytes it may be";
        answer.body.clear();
        return answer;
    }
    if (result != CURLE_OK) {
        answer.error = std::string("no answer: ") + (error[0] ? error : curl_easy_strerror(result));
        answer.body.clear();
        return answer;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    answer.status = static_cast<int>(status);
    return answer;
}

}  // namespace vt::vtlist
