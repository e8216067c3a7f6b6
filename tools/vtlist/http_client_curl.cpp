#include <curl/curl.h>

#include <mutex>

#include "tools/vtlist/http_client.h"

namespace vt::vtlist {
namespace {

// curl_global_init is not thread-safe; once, before the first request.
void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::size_t Append(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
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
                       const HttpSettings& settings) {
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
    // A stall, as the launcher's rate floor: less than a byte a second for the whole wait.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(settings.timeoutMs / 1000 + 1));
    curl_easy_setopt(h, CURLOPT_USERAGENT, "vtlist check");
    if (!settings.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, settings.caFile.c_str());
    if (method == "HEAD") curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    if (!range.empty()) {
        const std::string bytes = range.rfind("bytes=", 0) == 0 ? range.substr(6) : range;
        curl_easy_setopt(h, CURLOPT_RANGE, bytes.c_str());
    }
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer.body);
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    const CURLcode result = curl_easy_perform(h);
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
