#include "test_server.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>
#include <algorithm>
#include <filesystem>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketLength = int;
namespace {
void CloseSocket(std::intptr_t s) { ::closesocket(static_cast<SOCKET>(s)); }
void ShutDown(std::intptr_t s) { ::shutdown(static_cast<SOCKET>(s), SD_BOTH); }
constexpr char kSeparator = '\\';
bool TimedOut() { return ::WSAGetLastError() == WSAETIMEDOUT; }
}  // namespace
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
using SocketLength = socklen_t;
namespace {
void CloseSocket(std::intptr_t s) { ::close(static_cast<int>(s)); }
void ShutDown(std::intptr_t s) { ::shutdown(static_cast<int>(s), SHUT_RDWR); }
constexpr char kSeparator = '/';
bool TimedOut() { return errno == EAGAIN || errno == EWOULDBLOCK; }
}  // namespace
#endif

namespace vt::testing {
namespace {

#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;  // a client that went away is no reason to die
#else
constexpr int kSendFlags = 0;
#endif

// A header's value in a request head ("Range: bytes=5-"), case as sent; empty when absent.
std::string HeaderValue(const std::string& head, const std::string& name) {
    const std::string key = "\r\n" + name + ":";
    const std::size_t at = head.find(key);
    if (at == std::string::npos) return {};
    std::size_t begin = at + key.size();
    while (begin < head.size() && head[begin] == ' ') ++begin;
    const std::size_t end = head.find("\r\n", begin);
    return head.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// "bytes=N-" only (what the launcher asks); nothing for any other form.
bool ParseRangeStart(const std::string& range, std::uint64_t& start) {
    if (range.rfind("bytes=", 0) != 0 || range.empty() || range.back() != '-') return false;
    const std::string digits = range.substr(6, range.size() - 7);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 18) return false;
    start = std::stoull(digits);
    return true;
}

// "bytes=A-B,C-D,E-": every range inside a file of `size` bytes (an end past
// the file is cut to it, as RFC 9110 says); nothing for any other form, or
// "bytes=N-" alone, which the resume code above answers.
std::vector<std::pair<std::uint64_t, std::uint64_t>> ParseRanges(const std::string& range, std::uint64_t size) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;  // first, last (inclusive)
    if (range.rfind("bytes=", 0) != 0 || size == 0) return {};
    std::stringstream list(range.substr(6));
    for (std::string item; std::getline(list, item, ',');) {
        while (!item.empty() && item.front() == ' ') item.erase(0, 1);
        const std::size_t dash = item.find('-');
        const std::string first = item.substr(0, dash), last = dash == std::string::npos ? "" : item.substr(dash + 1);
        if (dash == std::string::npos || first.empty() || first.size() > 18 || last.size() > 18 ||
            first.find_first_not_of("0123456789") != std::string::npos ||
            last.find_first_not_of("0123456789") != std::string::npos)
            return {};
        const std::uint64_t from = std::stoull(first);
        const std::uint64_t to = last.empty() ? size - 1 : std::min<std::uint64_t>(std::stoull(last), size - 1);
        if (from > to || from >= size) return {};
        ranges.emplace_back(from, to);
    }
    if (ranges.size() == 1 && range.back() == '-') return {};
    return ranges;
}

// A link of `rate` bytes a second: before each piece, waits until the bytes
// sent so far would have taken their time (pieces of any size, the answer's
// heads and parts alike, keep the average).
class Pacer {
public:
    Pacer(std::uint64_t rate, const std::atomic<bool>& stopping) : rate_(rate), stopping_(stopping) {}
    // False when the server stops meanwhile.
    bool Before(std::uint64_t bytes) {
        if (rate_ == 0) return true;
        const auto due = start_ + std::chrono::microseconds(sent_ * 1000000 / rate_);
        while (std::chrono::steady_clock::now() < due && !stopping_)
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                due - std::chrono::steady_clock::now(), std::chrono::milliseconds(10)));
        sent_ += bytes;
        return !stopping_;
    }

private:
    std::uint64_t rate_;
    const std::atomic<bool>& stopping_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::uint64_t sent_ = 0;
};

// Closes with a TCP reset instead of an orderly end.
void Reset(std::intptr_t s) {
    linger l{};
    l.l_onoff = 1;
    l.l_linger = 0;
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
}

std::string Decode(const std::string& target) {
    std::string path = target.substr(0, target.find('?'));
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size()) {
            out += static_cast<char>(std::stoi(path.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += path[i];
        }
    }
    return out;
}

const char* Reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 206: return "Partial Content";
        case 302: return "Found";
        case 404: return "Not Found";
        case 429: return "Too Many Requests";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

std::string Head(int status, std::uint64_t length, const std::string& extra = "") {
    std::ostringstream h;
    h << "HTTP/1.1 " << status << ' ' << Reason(status) << "\r\nContent-Length: " << length
      << "\r\nCache-Control: public, max-age=3600\r\nLast-Modified: Mon, 28 Jan 2008 14:30:00 GMT\r\n" << extra << "\r\n";
    return h.str();
}

}  // namespace

bool TestServer::SendAll(std::intptr_t s, std::string_view data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int n = ::send(s, data.data() + sent, static_cast<int>(data.size() - sent), kSendFlags);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
        sent_ += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool TestServer::SendUnlessStopped(std::intptr_t s, std::string_view data) {
    // Under Wine a send blocked on a client that stopped reading is not woken
    // by a shutdown from another thread: send only what the socket takes now.
    constexpr std::size_t kPiece = 16 * 1024;
    for (std::size_t sent = 0; sent < data.size();) {
        if (stopping_) return false;
        fd_set writable;
        FD_ZERO(&writable);
#ifdef _WIN32
        FD_SET(static_cast<SOCKET>(s), &writable);
#else
        FD_SET(static_cast<int>(s), &writable);
#endif
        timeval wait{0, 50000};
        const int ready = ::select(static_cast<int>(s) + 1, nullptr, &writable, nullptr, &wait);
        if (ready < 0) return false;
        if (ready == 0) continue;
        const std::string_view piece = data.substr(sent, kPiece);
        if (!SendAll(s, piece)) return false;
        sent += piece.size();
    }
    return true;
}

std::string TestServer::ETagOf(const std::string& file) {
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    const auto time = std::filesystem::last_write_time(file, error);
    return "\"" + std::to_string(size) + "-" + std::to_string(time.time_since_epoch().count()) + "\"";
}

TestServer::TestServer(std::string rootFolder, std::uint16_t port) : root_(std::move(rootFolder)) {
#ifdef _WIN32
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
    listener_ = static_cast<std::intptr_t>(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 64);
    SocketLength length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

TestServer::~TestServer() {
    stopping_ = true;
#ifndef _WIN32
    ::shutdown(static_cast<int>(listener_), SHUT_RDWR);  // Linux: closing alone does not wake a blocked accept()
#endif
    CloseSocket(listener_);
    if (acceptor_.joinable()) acceptor_.join();
    {
        // A worker can be blocked sending to a client that stopped reading (a
        // body it refused, a cap it hit): shutting the connection down ends
        // the send, so the stop never waits for a client.
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::intptr_t s : open_) ShutDown(s);
    }
    for (std::thread& t : workers_) t.join();
#ifdef _WIN32
    ::WSACleanup();
#endif
}

bool TestServer::WaitUntilIdle(int ms) const {
    for (int waited = 0; answering_.load() > 0; waited += 5) {
        if (waited >= ms) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string TestServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

void TestServer::SetFault(const std::string& path, Fault fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[path] = std::move(fault);
}

void TestServer::ClearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

std::vector<LoggedRequest> TestServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

int TestServer::RequestCount(const std::string& target) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const LoggedRequest& r : log_) n += r.target == target;
    return n;
}

void TestServer::AcceptLoop() {
    while (!stopping_) {
        const std::intptr_t s = static_cast<std::intptr_t>(::accept(listener_, nullptr, nullptr));
        if (stopping_ || s < 0) {
            if (s >= 0) CloseSocket(s);
            break;
        }
        ++connections_;
        std::lock_guard<std::mutex> lock(mutex_);
        open_.insert(s);
        workers_.emplace_back([this, s] {
            Serve(s);
            {
                std::lock_guard<std::mutex> done(mutex_);
                open_.erase(s);  // before the close, so that a reused socket number is never forgotten
            }
            CloseSocket(s);
        });
    }
}

void TestServer::Serve(std::intptr_t s) {
    // A short receive time-out lets an idle kept-alive connection notice the
    // server's stop (shutdown() does not wake a blocked recv under Wine).
#ifdef _WIN32
    DWORD wait = 100;
#else
    timeval wait{0, 100000};
#endif
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
    // A head and its body go out as two sends: without TCP_NODELAY the body
    // waits for the client's delayed ACK of the head (40 ms and more), which
    // real servers avoid and which would swamp every latency measured here.
    const int noDelay = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    std::string buffer;
    char chunk[8192];
    for (;;) {
        std::size_t end;
        while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
            const int n = ::recv(s, chunk, sizeof chunk, 0);
            if (n < 0 && !stopping_ && TimedOut()) continue;
            if (n <= 0) return;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        const std::string head = buffer.substr(0, end);
        buffer.erase(0, end + 4);
        std::istringstream line(head.substr(0, head.find("\r\n")));
        std::string method, target;
        line >> method >> target;
        const bool close = head.find("Connection: close") != std::string::npos;
        if (!Answer(s, method, target, head) || close) return;
    }
}

bool TestServer::Answer(std::intptr_t s, const std::string& method, const std::string& target, const std::string& request) {
    struct Answering {  // counts the answers going on at once
        TestServer& server;
        explicit Answering(TestServer& owner) : server(owner) {
            const int now = ++server.answering_;
            for (int peak = server.peakAnswers_.load(); now > peak && !server.peakAnswers_.compare_exchange_weak(peak, now);) {
            }
        }
        ~Answering() { --server.answering_; }
    } answering(*this);
    const std::uint64_t arrived = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_).count());
    for (int waited = 0; waited < latencyMs_.load() && !stopping_; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(5, latencyMs_.load() - waited)));
    const std::string path = Decode(target);
    const std::string range = HeaderValue(request, "Range"), ifRange = HeaderValue(request, "If-Range");
    Fault fault;
    int number;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (auto it = faults_.find(path); it != faults_.end()) fault = it->second;
        number = ++served_[path];
    }
    auto log = [&](int status) {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.push_back({method, target, status, range, ifRange, HeaderValue(request, "Cache-Control"), arrived});
    };

    if (path == "/__stats") {  // for benchmarks: how many connections the clients opened
        log(200);
        std::size_t requests;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests = log_.size();
        }
        const std::string stats = "connections=" + std::to_string(connections_.load()) +
                                  "\r\nbytes=" + std::to_string(sent_.load()) + "\r\nrequests=" +
                                  std::to_string(requests) + "\r\n";
        return SendAll(s, Head(200, stats.size()) + stats);
    }
    std::string body;
    bool found = false;
    std::ifstream in;
    std::uint64_t fileSize = 0;
    std::string file = root_;
    if (path.find("..") == std::string::npos && !path.empty() && path[0] == '/') {
        for (char c : path) file += c == '/' ? kSeparator : c;
        // The decoded path is UTF-8, as the launcher encoded it; read as UTF-8
        // on Windows too, where a plain string means the ANSI code page.
        in.open(std::filesystem::path(std::u8string(file.begin(), file.end())), std::ios::binary | std::ios::ate);
        found = static_cast<bool>(in);
        if (found) {
            fileSize = static_cast<std::uint64_t>(in.tellg());
            in.seekg(0);
        }
        // Faults work on the body in memory; a plain answer streams the file,
        // so a benchmark's 1 GiB file needs no 1 GiB here either.
        const bool streamed = fault.kind == Fault::Kind::None || fault.kind == Fault::Kind::Stall ||
                              fault.kind == Fault::Kind::NoRanges || fault.kind == Fault::Kind::Truncate ||
                              fault.kind == Fault::Kind::IgnoreIfRange || fault.kind == Fault::Kind::Close ||
                              fault.kind == Fault::Kind::Throttle || fault.kind == Fault::Kind::SingleRange ||
                              fault.kind == Fault::Kind::DamageRanges;
        if (found && !streamed) {
            std::ostringstream content;
            content << in.rdbuf();
            body = content.str();
        }
    }
    const bool head = method == "HEAD";
    auto send = [&](int status, const std::string& bytes, const std::string& extra = "") {
        log(status);
        return SendAll(s, Head(status, bytes.size(), extra) + (head ? "" : bytes));
    };

    const std::string validators = found ? "ETag: " + ETagOf(file) + "\r\nAccept-Ranges: bytes\r\n" : "";
    switch (fault.kind) {
        case Fault::Kind::Status:
            return send(fault.status, fault.body, fault.headers);
        case Fault::Kind::FailTimes:
            if (number <= fault.count) return send(fault.status, fault.body, fault.headers);
            break;
        case Fault::Kind::NoRanges:
        case Fault::Kind::BadRange:
        case Fault::Kind::IgnoreIfRange:
        case Fault::Kind::Throttle:
        case Fault::Kind::SingleRange:
        case Fault::Kind::DamageRanges:
            break;
        case Fault::Kind::Close:
            if (fault.count > 0 && number > fault.count) break;
            log(0);
            ShutDown(s);
            return false;
        case Fault::Kind::NoLength:
            log(200);
            SendAll(s, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            if (found && !head) SendUnlessStopped(s, body);
            ShutDown(s);
            return false;
        case Fault::Kind::Reset:
            log(0);
            Reset(s);
            return false;
        case Fault::Kind::Redirect:
            return send(302, "", "Location: " + fault.location + "\r\n");
        case Fault::Kind::Stall:
            for (int waited = 0; waited < fault.ms && !stopping_; waited += 50)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            break;
        case Fault::Kind::Truncate:  // streamed below
            break;
        case Fault::Kind::ChunkedCut: {
            log(200);
            std::ostringstream chunked;
            chunked << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" << std::hex << body.size() << "\r\n"
                    << body.substr(0, body.size() / 2);
            SendAll(s, chunked.str());
            return false;
        }
        case Fault::Kind::Changing:
            body += std::to_string(number);
            break;
        case Fault::Kind::Raw:
            log(0);
            SendAll(s, fault.body);
            Reset(s);
            return false;
        case Fault::Kind::Drip:
            log(200);
            if (!SendAll(s, Head(200, body.size(), validators) + body.substr(0, std::min(fault.bytes, body.size()))))
                return false;
            for (std::size_t i = std::min(fault.bytes, body.size()); i < body.size() && !stopping_; ++i) {
                for (int waited = 0; waited < fault.ms && !stopping_; waited += 10)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                if (!SendAll(s, body.substr(i, 1))) return false;
            }
            return false;
        case Fault::Kind::None:
            break;
    }
    if (!found && fault.kind != Fault::Kind::Changing) return send(404, "<html>404 Not Found</html>");
    const bool inMemory = fault.kind == Fault::Kind::Changing || fault.kind == Fault::Kind::FailTimes ||
                          fault.kind == Fault::Kind::BadRange;
    if (fault.kind == Fault::Kind::BadRange && !range.empty())  // not where the client stopped
        return send(206, body.substr(0, body.size() / 2),
                    "Content-Range: bytes 0-" + std::to_string(body.size() / 2 - 1) + "/" + std::to_string(body.size()) +
                        "\r\n" + validators);
    if (inMemory && fault.kind != Fault::Kind::FailTimes)
        return send(200, body, fault.kind == Fault::Kind::BadRange ? validators : "");
    const bool ranges = fault.kind != Fault::Kind::NoRanges;
    if (auto asked = ranges && ifRange.empty() ? ParseRanges(range, fileSize) : decltype(ParseRanges(range, 0)){};
        !asked.empty()) {
        if (fault.kind == Fault::Kind::SingleRange) asked.resize(1);
        return AnswerRanges(s, in, file, fileSize, asked, fault, head, log);
    }
    // The file itself, streamed; the rest of it for a range request whose
    // If-Range still matches (the ETag, or the Last-Modified date).
    std::uint64_t start = 0;
    const std::string etag = ETagOf(file);
    const bool current = ifRange.empty() || ifRange == etag || ifRange == "Mon, 28 Jan 2008 14:30:00 GMT" ||
                         fault.kind == Fault::Kind::IgnoreIfRange;
    const bool partial = ranges && current && ParseRangeStart(range, start) && start > 0 && start < fileSize;
    const int status = partial ? 206 : 200;
    std::string extra = ranges ? "ETag: " + etag + "\r\nAccept-Ranges: bytes\r\n" : "";
    if (partial)
        extra += "Content-Range: bytes " + std::to_string(start) + "-" + std::to_string(fileSize - 1) + "/" +
                 std::to_string(fileSize) + "\r\n";
    else
        start = 0;
    log(status);
    if (!SendAll(s, Head(status, fileSize - start, extra))) return false;
    if (head) return true;
    // A cut: this answer's body ends after `bytes`, with a reset.
    const bool cut = fault.kind == Fault::Kind::Truncate && (fault.count == 0 || number <= fault.count);
    std::uint64_t allowed = cut ? fault.bytes : ~std::uint64_t{0};
    in.clear();
    in.seekg(static_cast<std::streamoff>(start));
    // Throttled: a tenth of a second's worth per piece, paced.
    const bool throttled = fault.kind == Fault::Kind::Throttle && fault.bytes > 0;
    Pacer pacer(throttled ? fault.bytes : 0, stopping_);
    std::vector<char> chunk(throttled ? std::max<std::size_t>(fault.bytes / 10, 1) : std::size_t{1} << 20);
    for (std::uint64_t left = fileSize - start; left > 0;) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        if (n > allowed) n = static_cast<std::size_t>(allowed);
        if (n > 0 && !pacer.Before(n)) return false;
        if (n == 0) {
            // An orderly end, not a reset: a reset may make the client's
            // system drop bytes it has received but not yet handed over, and
            // a test of continuing must know how much arrived.
            ShutDown(s);
            if (!fault.body.empty()) {
                in.close();
                std::ofstream(file, std::ios::binary | std::ios::trunc) << fault.body;
                std::lock_guard<std::mutex> lock(mutex_);
                faults_.erase(path);
            }
            return false;
        }
        if (!in.read(chunk.data(), static_cast<std::streamsize>(n))) return false;
        // A client may abandon a body with a fault (a 200 to its range
        // request): such a send must not hold the server's stop.
        const std::string_view piece(chunk.data(), n);
        if (!(fault.kind == Fault::Kind::None ? SendAll(s, piece) : SendUnlessStopped(s, piece))) return false;
        left -= n;
        allowed -= n;
    }
    return true;
}

bool TestServer::AnswerRanges(std::intptr_t s, std::ifstream& in, const std::string& file, std::uint64_t fileSize,
                              const std::vector<std::pair<std::uint64_t, std::uint64_t>>& asked, const Fault& fault,
                              bool head, const std::function<void(int)>& log) {
    // One range: a plain 206. Several: multipart/byteranges, each part with
    // its own Content-Range, as nginx sends them.
    const std::string boundary = "00000000000000000042";
    const std::string total = "/" + std::to_string(fileSize);
    std::vector<std::string> heads;
    std::uint64_t length = 0;
    for (const auto& [first, last] : asked) {
        heads.push_back(asked.size() == 1 ? ""
                                          : "\r\n--" + boundary + "\r\nContent-Type: application/octet-stream\r\n" +
                                                "Content-Range: bytes " + std::to_string(first) + "-" +
                                                std::to_string(last) + total + "\r\n\r\n");
        length += heads.back().size() + (last - first + 1);
    }
    const std::string tail = asked.size() == 1 ? "" : "\r\n--" + boundary + "--\r\n";
    length += tail.size();
    std::string extra = "ETag: " + ETagOf(file) + "\r\nAccept-Ranges: bytes\r\n";
    extra += asked.size() == 1 ? "Content-Range: bytes " + std::to_string(asked[0].first) + "-" +
                                     std::to_string(asked[0].second) + total + "\r\n"
                               : "Content-Type: multipart/byteranges; boundary=" + boundary + "\r\n";
    log(206);
    if (!SendAll(s, Head(206, length, extra))) return false;
    if (head) return true;
    const bool throttled = fault.kind == Fault::Kind::Throttle && fault.bytes > 0;
    Pacer pacer(throttled ? fault.bytes : 0, stopping_);
    std::string piece;
    for (std::size_t i = 0; i < asked.size(); ++i) {
        if (!SendAll(s, heads[i])) return false;
        piece.resize(static_cast<std::size_t>(asked[i].second - asked[i].first + 1));
        in.clear();
        in.seekg(static_cast<std::streamoff>(asked[i].first));
        if (!in.read(piece.data(), static_cast<std::streamsize>(piece.size()))) return false;
        if (fault.kind == Fault::Kind::DamageRanges) piece[0] = static_cast<char>(piece[0] ^ 0x55);
        const std::size_t step = throttled ? std::max<std::size_t>(fault.bytes / 10, 1) : piece.size();
        for (std::size_t at = 0; at < piece.size(); at += step) {
            const std::string_view part = std::string_view(piece).substr(at, step);
            if (!pacer.Before(part.size()) || !SendUnlessStopped(s, part)) return false;
        }
    }
    return SendAll(s, tail);
}

}  // namespace vt::testing
