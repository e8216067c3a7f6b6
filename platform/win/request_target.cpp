#include "platform/win/request_target.h"

namespace vt::win {

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
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return std::nullopt;
    return RequestTarget{host, parts.nPort, std::string(path) + extra, parts.nScheme == INTERNET_SCHEME_HTTPS};
}

std::optional<std::string> QueryHeader(HINTERNET request, DWORD query) {
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    if (!::HttpQueryInfoA(request, query, value, &size, nullptr)) return std::nullopt;
    return std::string(value, size);
}

}  // namespace vt::win
