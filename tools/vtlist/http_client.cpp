#include "tools/vtlist/http_client.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) { ::closesocket(s); }
#else
#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
using Socket = int;
constexpr Socket kNoSocket = -1;
void CloseSocket(Socket s) { ::close(s); }
#endif

namespace vt::vtlist {
namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

bool SameNoCase(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
        if (!a[i]) return true;
    }
    return true;
}

struct SocketsUp {
    SocketsUp() {
#ifdef _WIN32
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
    }
};

class Connection {
public:
    explicit Connection(Socket s) : s_(s) {}
    ~Connection() {
        if (s_ != kNoSocket) CloseSocket(s_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Socket get() const { return s_; }

private:
    Socket s_;
};

struct Url {
    std::string host, port = "80", path;
};

bool ParseUrl(const std::string& text, Url& url, std::string& error) {
    const std::string scheme = "http://";
    if (text.compare(0, scheme.size(), scheme) != 0) {
        error = text.compare(0, 8, "https://") == 0 ? "https is not supported by vtlist check; check the http address"
                                                    : "not an http URL: " + text;
        return false;
    }
    const std::size_t slash = text.find('/', scheme.size());
    std::string authority = text.substr(scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
    url.path = slash == std::string::npos ? "/" : text.substr(slash);
    for (char& c : url.path)
        if (c == '\\') c = '/';
    if (const std::size_t colon = authority.rfind(':'); colon != std::string::npos) {
        url.port = authority.substr(colon + 1);
        authority.resize(colon);
    }
    url.host = authority;
    return !url.host.empty();
}

void SetTimeouts(Socket s, int ms) {
#ifdef _WIN32
    DWORD value = static_cast<DWORD>(ms);
#else
    timeval value{ms / 1000, (ms % 1000) * 1000};
#endif
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value);
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value), sizeof value);
}

std::string HeaderValue(const std::string& head, const std::string& name) {
    std::size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        if (head.size() - at > name.size() && SameNoCase(head.c_str() + at, name.c_str(), name.size()) &&
            head[at + name.size()] == ':') {
            std::size_t begin = head.find_first_not_of(' ', at + name.size() + 1);
            return head.substr(begin, head.find("\r\n", begin) - begin);
        }
    }
    return {};
}

// A chunked body's data; false when it is cut short.
bool Dechunk(const std::string& raw, std::string& body) {
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = raw.find("\r\n", at);
        if (end == std::string::npos) return false;
        const std::size_t size = std::strtoul(raw.c_str() + at, nullptr, 16);
        if (size == 0) return true;
        if (end + 2 + size > raw.size()) return false;
        body.append(raw, end + 2, size);
        at = end + 2 + size + 2;
    }
}

// The whole answer is in `raw`: its head, and its body as long as the head
// says (Content-Length, or a chunked body's last chunk).
bool AnswerComplete(const std::string& raw, bool head) {
    const std::size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos) return false;
    if (head) return true;
    const std::string headers = raw.substr(0, headEnd + 2);
    if (SameNoCase(HeaderValue(headers, "Transfer-Encoding").c_str(), "chunked", 7)) {
        std::string ignored;
        return Dechunk(raw.substr(headEnd + 4), ignored);
    }
    const std::string length = HeaderValue(headers, "Content-Length");
    return !length.empty() && raw.size() - (headEnd + 4) >= std::strtoull(length.c_str(), nullptr, 10);
}

HttpAnswer RequestOnce(const std::string& method, const Url& url, const std::string& range, int timeoutMs,
                       std::string& location) {
    static SocketsUp up;
    HttpAnswer answer;
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    if (::getaddrinfo(url.host.c_str(), url.port.c_str(), &hints, &found) != 0 || !found) {
        answer.error = "cannot resolve " + url.host;
        return answer;
    }
    Connection connection(::socket(found->ai_family, found->ai_socktype, found->ai_protocol));
    SetTimeouts(connection.get(), timeoutMs);
    const bool connected = connection.get() != kNoSocket &&
                           ::connect(connection.get(), found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
    ::freeaddrinfo(found);
    if (!connected) {
        answer.error = "cannot connect to " + url.host + ":" + url.port;
        return answer;
    }
    std::string request = method + " " + url.path + " HTTP/1.1\r\nHost: " + url.host + ":" + url.port +
                          "\r\nUser-Agent: vtlist\r\nCache-Control: no-cache\r\nPragma: no-cache\r\nConnection: close\r\n";
    if (!range.empty()) request += "Range: " + range + "\r\n";
    request += "\r\n";
    if (::send(connection.get(), request.data(), static_cast<int>(request.size()), kSendFlags) !=
        static_cast<int>(request.size())) {
        answer.error = "cannot send the request";
        return answer;
    }
    std::string raw;
    char buffer[16384];
    for (;;) {
        const int n = ::recv(connection.get(), buffer, sizeof buffer, 0);
        if (n == 0) break;
        if (n < 0) {
            if (raw.empty()) answer.error = "no answer (time-out or reset)";
            break;
        }
        raw.append(buffer, static_cast<std::size_t>(n));
        if (AnswerComplete(raw, method == "HEAD")) break;  // servers may keep the connection open all the same
    }
    const std::size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd == std::string::npos || raw.compare(0, 5, "HTTP/") != 0) {
        if (answer.error.empty()) answer.error = "not an HTTP answer";
        return answer;
    }
    const std::string head = raw.substr(0, headEnd + 2);
    answer.status = std::atoi(head.c_str() + head.find(' ') + 1);
    location = HeaderValue(head, "Location");
    if (method == "HEAD") return answer;
    const std::string rest = raw.substr(headEnd + 4);
    if (SameNoCase(HeaderValue(head, "Transfer-Encoding").c_str(), "chunked", 7)) {
        if (!Dechunk(rest, answer.body)) answer.error = "the chunked body is cut short";
    } else if (const std::string length = HeaderValue(head, "Content-Length"); !length.empty()) {
        answer.body = rest;
        if (rest.size() < std::strtoull(length.c_str(), nullptr, 10)) answer.error = "the body is cut short";
    } else {
        answer.body = rest;
    }
    return answer;
}

}  // namespace

HttpAnswer HttpRequest(const std::string& method, const std::string& url, const std::string& range, int timeoutMs) {
    std::string current = url;
    for (int hop = 0; hop < 6; ++hop) {
        Url parts;
        HttpAnswer answer;
        if (!ParseUrl(current, parts, answer.error)) return answer;
        std::string location;
        answer = RequestOnce(method, parts, range, timeoutMs, location);
        const bool redirect = answer.status == 301 || answer.status == 302 || answer.status == 303 ||
                              answer.status == 307 || answer.status == 308;
        if (!redirect || location.empty()) return answer;
        current = location[0] == '/' ? "http://" + parts.host + ":" + parts.port + location : location;
    }
    HttpAnswer tooMany;
    tooMany.error = "too many redirects";
    return tooMany;
}

}  // namespace vt::vtlist
